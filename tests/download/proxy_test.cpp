#include "download/download_engine.h"
#include "net/curl_setup.h"
#include "net/http_request.h"
#include "net/page_fetch.h"
#include "net/proxy.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What each proxy address becomes for libcurl, and the addresses refused with the reason.
TEST(Proxy, AddressBecomesCurlsOptionsOrIsRefused) {
    using O = net::ProxyOptions;
    const struct {
        std::string address;
        O options; // for an address refused: none
        std::string refused{};
    } cases[] = {
        {"", {.noProxy = "*"}},
        {"http://127.0.0.1:3128", {.proxy = "http://127.0.0.1:3128", .type = CURLPROXY_HTTP}},
        {"HTTPS://proxy.example:443/", {.proxy = "https://proxy.example:443", .type = CURLPROXY_HTTPS}},
        {"socks5://h:1080", {.proxy = "socks5://h:1080", .type = CURLPROXY_SOCKS5}},
        {"socks5h://me:p%40ss@h:1",
         {.proxy = "socks5h://h:1", .type = CURLPROXY_SOCKS5_HOSTNAME, .user = "me", .password = "p@ss"}},
        {"http://[::1]:3128", {.proxy = "http://[::1]:3128"}},
        {"http://proxy.example", {}, "has no port"},
        {"ftp://h:21", {}, "not ftp://"},
        {"h:3128", {}, "needs its kind"},
        {"http://::1:3128", {}, "put it in brackets"},
        {"http://[::1:3128", {}, "closing bracket"},
        {"http://h:0", {}, "from 1 to 65535, not 0"},
        {"http://h:65536", {}, "from 1 to 65535"},
        {"http://h:80/path", {}, "has a path"},
        {"http://:80", {}, "has no host"},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseProxyAddress(c.address);
        if (!c.refused.empty()) {
            ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.address;
            EXPECT_NE(std::get<std::string>(parsed).find(c.refused), std::string::npos)
                << std::get<std::string>(parsed);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<ProxyChoice>(parsed)) << c.address << ": " << std::get<std::string>(parsed);
        EXPECT_TRUE(net::ProxyOptionsFor(std::get<ProxyChoice>(parsed)) == c.options) << c.address;
    }
    EXPECT_TRUE(net::ProxyOptionsFor({.mode = ProxyMode::System}) == O{.environment = true});
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

// A proxy program of Debian's (tinyproxy or microsocks) on a port of its own, for the life of
// the object; the test fails, never skips, when the program is missing.
class ProxyProgram {
public:
    ProxyProgram(const fs::path& folder, std::vector<std::string> arguments) {
        EXPECT_TRUE(fs::exists(arguments[0])) << arguments[0] << " is missing: tools/install-deps installs it";
        std::vector<char*> argv;
        for (auto& a : arguments) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const std::string log = (folder / "proxy.log").string();
        m_pid = ::fork();
        if (m_pid == 0) {
            std::freopen(log.c_str(), "w", stdout);
            std::freopen(log.c_str(), "a", stderr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~ProxyProgram() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{.sin_family = AF_INET,
                        .sin_port = htons(static_cast<uint16_t>(port)),
                        .sin_addr = {htonl(INADDR_LOOPBACK)},
                        .sin_zero = {}};
    const bool accepted = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return accepted;
}

enum class Via { Tinyproxy, TinyproxyWithPassword, Microsocks, Nothing, Closer };

// Each way of reaching the origin: a page fetch and a download go through the proxy chosen (the
// origin sees tinyproxy's Via header) or not at all, and a proxy's failure is told as its own.
TEST(Proxy, EveryRequestGoesThroughTheProxyChosenOrSaysWhy) {
    testing::LoopbackServer origin;
    std::mutex mutex;
    std::vector<std::string> seen; // each request's path and Via header
    const std::string video(300 << 10, 'v');
    origin->Get("/(.*)", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        seen.push_back(req.path + (req.get_header_value("Via").find("tinyproxy") != std::string::npos ? " via" : ""));
        res.set_content(req.path == "/video" ? video : "<html>hi</html>",
                        req.path == "/video" ? "video/mp4" : "text/html");
    });
    origin.Start();
    const struct {
        const char* name;
        Via program;
        ProxyChoice choice;
        std::string failure;               // empty: fetched through it
        const char* environment = nullptr; // http_proxy, at the program's port
        std::string link = "/page";
    } cases[] = {
        {"direct, whatever the environment", Via::Tinyproxy, {}, "", "http://127.0.0.1:"},
        {"the system's", Via::Tinyproxy, {.mode = ProxyMode::System}, "", "http://127.0.0.1:"},
        {"http by hand", Via::Tinyproxy, {.mode = ProxyMode::Manual}, ""},
        {"none of its password", Via::TinyproxyWithPassword, {.mode = ProxyMode::Manual}, "the proxy asks for a user"},
        {"http with its password", Via::TinyproxyWithPassword, {ProxyMode::Manual, {}, {}, 0, "me", "pw"}, ""},
        {"socks5h with its password",
         Via::Microsocks,
         {ProxyMode::Manual, ProxyScheme::Socks5h, {}, 0, "me", "pw"},
         ""},
        {"socks5 without",
         Via::Microsocks,
         {.mode = ProxyMode::Manual, .scheme = ProxyScheme::Socks5},
         "the proxy asks for a user"},
        {"proxy down", Via::Nothing, {.mode = ProxyMode::Manual}, "the proxy cannot be reached"},
        {"closes after CONNECT", Via::Closer, {.mode = ProxyMode::Manual}, "the proxy closed", nullptr, "https"},
        {"server down behind it",
         Via::Tinyproxy,
         {.mode = ProxyMode::Manual},
         "could not reach the server",
         nullptr,
         "https://127.0.0.1:1/page"},
        {"its own failure page",
         Via::Tinyproxy,
         {.mode = ProxyMode::Manual},
         "the proxy or the server behind it failed",
         nullptr,
         "http://127.0.0.1:1/page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TemporaryFolder folder("veltrin-proxy");
        const int port = FreePort();
        std::optional<ProxyProgram> program;
        std::thread closer;
        const bool tinyproxy = c.program == Via::Tinyproxy || c.program == Via::TinyproxyWithPassword;
        if (tinyproxy) {
            std::ofstream(folder / "conf") << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                                           << (c.program == Via::Tinyproxy ? "" : "BasicAuth me pw\n");
            program.emplace(folder, std::vector<std::string>{"/usr/bin/tinyproxy", "-d", "-c", folder / "conf"});
        } else if (c.program == Via::Microsocks) {
            program.emplace(folder, std::vector<std::string>{"/usr/bin/microsocks", "-i", "127.0.0.1", "-p",
                                                             std::to_string(port), "-u", "me", "-P", "pw"});
        } else if (c.program == Via::Closer) { // takes the request, then hangs up
            closer = std::thread([port] {
                const int s = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
                ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
                ::listen(s, 1);
                for (int i = 0; i < 2; ++i) { // the first is the test's own look whether it listens
                    const int client = ::accept(s, nullptr, nullptr);
                    char request[512];
                    (void)::read(client, request, sizeof request);
                    ::close(client);
                }
                ::close(s);
            });
        }
        ASSERT_TRUE(c.program == Via::Nothing || testing::WaitUntil([&] { return Accepts(port); }, 5s));
        if (c.environment) {
            setenv("http_proxy", (c.environment + std::to_string(port)).c_str(), 1);
        }
        ProxyChoice choice = c.choice;
        choice.host = "127.0.0.1";
        choice.port = port;
        SetProxy(choice);
        seen.clear();
        const std::string link = c.link == "https"         ? origin.Url("/page", "https")
                                 : c.link.starts_with('/') ? origin.Url(c.link)
                                                           : c.link;
        const FetchedPage page = TryFetchPage(*CreateConfiguredRequest(), link);
        if (!c.failure.empty()) {
            EXPECT_NE(page.failure.find(c.failure), std::string::npos) << page.failure;
        } else {
            EXPECT_EQ(page.text, "<html>hi</html>") << page.failure;
            DownloadEngine engine({.retries = 0}, nullptr);
            const auto info = engine.Wait(engine.Add(origin.Url("/video"), {folder.Path(), "clip", "mp4"}), 20s);
            EXPECT_EQ(info->state, DownloadState::Finished) << info->reason;
            EXPECT_EQ(fs::file_size(folder / "clip.mp4"), video.size());
            const std::string via = tinyproxy && c.choice.mode != ProxyMode::Direct ? " via" : "";
            std::lock_guard lock(mutex);
            EXPECT_EQ(seen, (std::vector<std::string>{"/page" + via, "/video" + via}));
        }
        unsetenv("http_proxy");
        SetProxy({});
        if (closer.joinable()) {
            Accepts(port); // a request that never came to it ends its wait all the same
            closer.join();
        }
    }
}

} // namespace
} // namespace veltrin
