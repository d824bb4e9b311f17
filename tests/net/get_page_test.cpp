#include "net/http_request.h"
#include "net/mod_net.h"
#include "support/loopback_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace veltrin {
namespace {

using testing::LoopbackServer;
using testing::ServeSlowly;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "ALL_PROXY", "all_proxy"};

class GetPage : public ::testing::Test {
protected:
    void SetUp() override {
        // A proxy the user's environment names is not used: every fetch here would fail through it.
        for (const char* name : kProxyVariables) {
            setenv(name, "http://127.0.0.1:1", 1);
        }
        m_request = modNet::CreateConfiguredRequest();
        auto& s = *m_server;
        s.Get("/page", [](const auto&, auto& res) { res.set_content("<html>hello</html>", "text/html"); });
        s.Get("/missing", [](const auto&, auto& res) {
            res.status = 404;
            res.set_content("not here", "text/html");
        });
        s.Get("/headers", [](const httplib::Request& req, auto& res) {
            std::string names;
            for (const auto& [name, value] : req.headers) {
                names += name.starts_with("REMOTE_") || name.starts_with("LOCAL_") ? "" : name + ' ';
            }
            res.set_content(names.substr(0, names.size() - 1) + ':' + req.get_header_value("User-Agent"), "text/plain");
        });
        s.Get("/empty", [](const auto&, auto& res) { res.set_content("", "text/html"); });
        s.Get("/cp1252",
              [](const auto&, auto& res) { res.set_content("\x80uro", "text/html; charset=\"windows-1252\""); });
        s.Get("/hop1", [this](const auto&, auto& res) { res.set_redirect(m_server.Url("/hop2")); });
        s.Get("/hop2", [](const auto&, auto& res) { res.set_redirect("/page", 301); });
        s.Get("/loop", [](const auto&, auto& res) { res.set_redirect("/loop"); });
        s.Get("/to-file", [](const auto&, auto& res) { res.set_redirect("file:///etc/hostname"); });
        s.Get("/big", [](const auto&, auto& res) { res.set_content(std::string(5000, 'b'), "text/plain"); });
        s.Get("/cut", [](const auto&, auto& res) {
            res.set_content_provider(1000, "text/html", [](size_t, size_t, httplib::DataSink& sink) {
                sink.write("only part", 9);
                return false; // drops the connection with most of the body unsent
            });
        });
        s.Get("/stall", [](const auto&, auto& res) {
            // Sends the first bytes, goes quiet for five seconds, then sends the rest.
            res.set_content_provider(10, "text/html", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0) {
                    sink.write("start", 5);
                } else {
                    std::this_thread::sleep_for(5s);
                    sink.write(" done", 5);
                }
                return true;
            });
        });
        static const std::string late = "late";
        s.Get("/quiet-after-headers", [](const auto&, auto& res) { ServeSlowly(res, late, "text/html", 4, 5s); });
        static const std::string trickle(12, 'x');
        s.Get("/trickle", [](const auto&, auto& res) { ServeSlowly(res, trickle, "text/html", 1, 400ms); });
        m_server.Start();
    }

    void TearDown() override {
        m_request.reset(); // closes the kept-alive connection, so the server can stop at once
        m_server.Stop();
        for (const char* name : kProxyVariables) {
            unsetenv(name);
        }
    }

    std::string Fetch(const std::string& link) { return modNet::GetPage(m_request.get(), link); }

    LoopbackServer<> m_server; // after what its handlers touch, so it stops first
    std::unique_ptr<HttpRequest> m_request;
};

TEST_F(GetPage, ReturnsTheBodyAsTextOrNothingAndTheNextFetchSeesNothingOfTheLast) {
    const struct {
        std::string link;
        std::string text;
    } cases[] = {
        {m_server.Url("/big"), std::string(5000, 'b')},
        {m_server.Url("/empty"), ""},
        {"http://127.0.0.1:1/closed", ""},
        {m_server.Url("/page"), "<html>hello</html>"},
        {m_server.Url("/missing"), "not here"}, // an error page's body is the result
        {m_server.Url("/cp1252"), "\u20ACuro"}, // the declared charset reaches the conversion
        {m_server.Url("/hop1"), "<html>hello</html>"},
        {" \t" + m_server.Url("/page") + "\r\n", "<html>hello</html>"}, // as copied from a terminal
        // Only the three headers of its own: no proxy, cookie or encoding negotiation.
        {m_server.Url("/headers"), "Accept Host User-Agent:Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)"},
        {m_server.Url("/loop"), ""},
        {m_server.Url("/to-file"), ""},
        {"file:///etc/hostname", ""},
        {m_server.Url("/cut"), ""}, // the connection cut in the body
        {" \t\r\n", ""},
        {m_server.Url("/page"), "<html>hello</html>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Fetch(c.link), c.text) << c.link;
    }
    EXPECT_EQ(modNet::GetPage(nullptr, m_server.Url("/page")), "") << "no request object";
}

TEST_F(GetPage, BoundsEndStalledAndOversizedTransfers) {
    m_request->SetLimitsForTesting({.stallSeconds = 1, .overallSeconds = 3, .maxBodyBytes = 1000});
    EXPECT_EQ(Fetch(m_server.Url("/stall")), "") << "the transfer went quiet for longer than allowed";
    ASSERT_EQ(Fetch(m_server.Url("/page")), "<html>hello</html>");
    EXPECT_EQ(Fetch(m_server.Url("/quiet-after-headers")), "") << "the watch holds on a kept-alive connection too";
    EXPECT_EQ(Fetch(m_server.Url("/trickle")), "") << "a byte now and then does not stretch the overall limit";
    EXPECT_EQ(Fetch(m_server.Url("/big")), "");
    EXPECT_EQ(Fetch(m_server.Url("/page")), "<html>hello</html>");
}

TEST_F(GetPage, ConnectLimitEndsAConnectionNobodyTakes) {
    // A listening socket whose queue one connection fills: the next one is never taken.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int queued = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(queued, reinterpret_cast<sockaddr*>(&address), length), 0);

    m_request->SetLimitsForTesting({.connectTimeoutSeconds = 1});
    m_request->Open("GET", "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/");
    try {
        m_request->Send();
        ADD_FAILURE() << "a connection nobody took was reported as a response";
    } catch (const HttpRequestError& error) {
        EXPECT_NE(std::string(error.what()).find("no connection within 1 s"), std::string::npos) << error.what();
    }
    close(queued);
    close(listener);
}

// A certificate authority and a server certificate of the tests' own, made with the build.
std::string TlsFile(const char* name) { return (fs::path(VELTRIN_TEST_TLS_DIR) / name).string(); }

TEST_F(GetPage, HttpsRedirectsToPlainHttpAndBadCertificatesFail) {
    LoopbackServer<httplib::SSLServer> secure(TlsFile("server.pem").c_str(), TlsFile("server.key").c_str());
    secure->Get("/secure", [](const auto&, auto& res) { res.set_content("secret", "text/html"); });
    secure->Get("/down", [this](const auto&, auto& res) { res.set_redirect(m_server.Url("/page")); });
    secure.Start();

    EXPECT_EQ(Fetch(secure.Url("/secure", "https")), "") << "an unknown authority is a failure";
    m_request->TrustCertificateAuthorityForTesting(TlsFile("ca.pem"));
    EXPECT_EQ(Fetch(secure.Url("/secure", "https")), "secret");
    EXPECT_EQ(Fetch(secure.Url("/down", "https")), "<html>hello</html>");
}

TEST(BodyToText, HonoursTheDeclaredCharset) {
    const struct {
        const char* contentType;
        std::string body;
        std::string text;
    } cases[] = {
        {"text/html; charset=ISO-8859-1", "\xE9", "\u00E9"},
        {"text/html; Charset=\"Windows-1252\"", "\x92", "\u2019"},
        {"text/html; charset=us-ascii", "a\x92", "a\uFFFD"},
        {"text/html; charset=UTF-8", "\xE2\x82\xAC", "\u20AC"},
        {"text/html; charset=shift_jis", "\xE9", "\uFFFD"},
        {"", "\xE2\x82", "\uFFFD"},
        {"text/html; boundary=x; charset=iso-8859-1", "\xFF", "\u00FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BodyToText(c.body, c.contentType), c.text) << c.contentType;
    }
}

} // namespace
} // namespace veltrin
