#include "net/http_request.h"
#include "net/page_fetch.h"
#include "site/sample_site.h"
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

class PageFetch : public ::testing::Test {
protected:
    void SetUp() override {
        // A proxy the user's environment names is not used: every fetch here would fail through it.
        for (const char* name : kProxyVariables) {
            setenv(name, "http://127.0.0.1:1", 1);
        }
        m_request = CreateConfiguredRequest();
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

    // Each link's fetch gives the text, or "failed: " and the start of the reason, its row says.
    void ExpectFetches(const std::vector<std::pair<std::string, std::string>>& rows) {
        for (const auto& [link, expected] : rows) {
            const FetchedPage page = TryFetchPage(*m_request, link);
            const std::string got = page.failure.empty() ? page.text : "failed: " + page.failure;
            EXPECT_EQ(expected.starts_with("failed: ") ? got.substr(0, expected.size()) : got, expected) << link;
        }
    }

    LoopbackServer<> m_server; // after what its handlers touch, so it stops first
    std::unique_ptr<HttpRequest> m_request;
};

TEST_F(PageFetch, ReturnsTheBodyAsTextOrWhyNotAndTheNextFetchSeesNothingOfTheLast) {
    ExpectFetches({
        {m_server.Url("/big"), std::string(5000, 'b')},
        {m_server.Url("/empty"), ""},
        {"http://127.0.0.1:1/closed", "failed: the connection was refused"},
        {m_server.Url("/page"), "<html>hello</html>"},
        {m_server.Url("/missing"), "not here"}, // an error page's body is the result
        {m_server.Url("/cp1252"), "\u20ACuro"}, // the declared charset reaches the conversion
        {m_server.Url("/hop1"), "<html>hello</html>"},
        {" \t" + m_server.Url("/page") + "\r\n", "<html>hello</html>"}, // as copied from a terminal
        // Only the three headers of its own: no proxy, cookie or encoding negotiation.
        {m_server.Url("/headers"), "Accept Host User-Agent:Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)"},
        {m_server.Url("/loop"), "failed: the server redirects too often"},
        {m_server.Url("/to-file"), "failed: only http and https links can be fetched"},
        {"file:///etc/hostname", "failed: only http and https links can be fetched"},
        {m_server.Url("/cut"), "failed: the server closed the connection before the end"},
        {m_server.Url("/page"), "<html>hello</html>"},
    });
}

// The stall limit is shorter than the overall one: a stall watch that never fired would let the
// overall limit end the quiet transfers, in other words.
TEST_F(PageFetch, BoundsEndUntakenStalledSlowAndOversizedTransfers) {
    // A listening socket whose queue one connection fills: the next one is never taken.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int queued = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(queued, reinterpret_cast<sockaddr*>(&address), length), 0);

    m_request->SetLimitsForTesting(
        {.connectTimeoutSeconds = 1, .stallSeconds = 1, .overallSeconds = 3, .maxBodyBytes = 1000});
    ExpectFetches({
        {"http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/",
         "failed: the server took no connection within 1 s"},
        {m_server.Url("/stall"), "failed: the server stopped sending"},
        {m_server.Url("/page"), "<html>hello</html>"},
        {m_server.Url("/quiet-after-headers"), "failed: the server stopped sending"}, // on a kept-alive connection
        // A byte now and then does not stretch the overall limit.
        {m_server.Url("/trickle"), "failed: the server took too long (more than 3 s)"},
        {m_server.Url("/big"), "failed: the response is larger than the size limit"},
        {m_server.Url("/page"), "<html>hello</html>"},
    });
    close(queued);
    close(listener);
}

// A certificate authority and a server certificate of the tests' own, made with the build.
std::string TlsFile(const char* name) { return (fs::path(VELTRIN_TEST_TLS_DIR) / name).string(); }

TEST_F(PageFetch, HttpsRedirectsToPlainHttpAndBadCertificatesFail) {
    LoopbackServer<httplib::SSLServer> secure(TlsFile("server.pem").c_str(), TlsFile("server.key").c_str());
    secure->Get("/secure", [](const auto&, auto& res) { res.set_content("secret", "text/html"); });
    secure->Get("/down", [this](const auto&, auto& res) { res.set_redirect(m_server.Url("/page")); });
    secure.Start();

    ExpectFetches({{secure.Url("/secure", "https"), "failed: the server's certificate cannot be trusted"}});
    m_request->TrustCertificateAuthorityForTesting(TlsFile("ca.pem"));
    ExpectFetches({{secure.Url("/secure", "https"), "secret"}, {secure.Url("/down", "https"), "<html>hello</html>"}});
}

TEST(BodyToText, HonoursTheDeclaredCharset) {
    const struct {
        const char* contentType;
        std::string body, text;
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

// The sample site's watch pages decode, through the program's own fetch, into each video's title,
// id and qualities; a stream's address gives its bytes, a range of them too.
TEST(SampleSite, WatchPagesDecodeIntoTheirVideos) {
    testing::SampleSite site;
    const auto bytes = std::make_shared<const std::string>(std::string(69995, 'v') + "12345");
    site.Add({"a1", "Caf\u00E9 & \"bars\" 100%+1", {{22, bytes, "video/mp4"}, {5, bytes, "video/x-flv"}}});
    site.Add({"b-2_x", "url=x&quality=y", {{34, bytes, "video/x-flv"}, {17, bytes, "video/3gpp"}}});
    site.Start();
    const auto request = CreateConfiguredRequest();
    const auto fetch = [&](const std::string& link) { return TryFetchPage(*request, link); };
    for (const auto& [id, title, qualities] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"a1", "Caf\u00E9 & \"bars\" 100%+1", "720P 240p "},
             {"b-2_x", "url=x&quality=y", "360P Mobile "},
             {"none", "", ""}}) { // no video of the site: its error page
        const GoFetched fetched = FetchGo(site.WatchLink(id), fetch, site.AdvertisementPage());
        EXPECT_EQ(fetched.title + "|" + fetched.videoId + "|" + fetched.advertisementBlock.substr(0, 7),
                  title.empty() ? "||" : title + "|" + id + "|<iframe")
            << fetched.block;
        std::string labels;
        for (const LinkMatch& match : ScanStreamEntries(fetched.block)) {
            labels += std::string(match.quality->label) + " ";
            EXPECT_EQ(FetchPageText(*request, match.entry).substr(69990), "vvvvv12345") << match.entry;
        }
        EXPECT_EQ(labels, qualities);
    }
    const auto range = httplib::Client(site.Url("")).Get("/stream?v=a1&itag=5", {{"Range", "bytes=69995-"}});
    EXPECT_TRUE(range && range->status == 206 && range->body == "12345");
}

} // namespace
} // namespace veltrin
