#include "net/curl_setup.h"

#include "net/proxy.h"

#include <cstdlib>
#include <mutex>

namespace veltrin::net {

namespace {

// Ends the transfer when the watch fires; connecting has a limit of its own. A kept-alive
// connection is never connected anew, but the request is sent on it all the same: either moment
// starts the watch.
int Watch(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto& watch = *static_cast<StallWatch*>(user);
    if (watch.stop != nullptr && watch.stop->load()) {
        return 1;
    }
    const auto now = std::chrono::steady_clock::now();
    if (watch.held) {
        watch.lastProgress = now;
        return 0;
    }
    curl_off_t connected = 0;
    curl_off_t sent = 0;
    curl_easy_getinfo(watch.easy, CURLINFO_CONNECT_TIME_T, &connected);
    curl_easy_getinfo(watch.easy, CURLINFO_PRETRANSFER_TIME_T, &sent);
    if ((connected == 0 && sent == 0) || received != watch.lastReceived) {
        watch.lastReceived = received;
        watch.lastProgress = now;
        return 0;
    }
    if (now - watch.lastProgress > std::chrono::seconds(watch.seconds)) {
        watch.stalled = true;
        return 1;
    }
    return 0;
}

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Whether libcurl's reading of the environment sends url through a proxy. (A host no_proxy names
// goes direct all the same; a failure to reach it is then told as the proxy's.)
bool EnvironmentNamesProxy(const std::string& url) {
    const bool https = url.size() >= 8 && curl_strnequal(url.c_str(), "https://", 8);
    return (https ? Named("https_proxy") || Named("HTTPS_PROXY") : Named("http_proxy")) || Named("all_proxy") ||
           Named("ALL_PROXY");
}

// The user gave a name and password the proxy would not take, or gave none.
std::string AskedForPassword(bool userGiven) {
    return userGiven ? "the proxy refused the user name and password" : "the proxy asks for a user name and password";
}

bool UserGiven() {
    const ProxyChoice choice = CurrentProxy();
    return choice.mode == ProxyMode::Manual && !choice.user.empty();
}

} // namespace

ProxyOptions ProxyOptionsFor(const ProxyChoice& choice) {
    ProxyOptions options;
    switch (choice.mode) {
    case ProxyMode::Direct: options.noProxy = "*"; break; // whatever the environment says
    case ProxyMode::System: options.environment = true; break;
    case ProxyMode::Manual:
        options.proxy = ProxyAddress(choice);
        switch (choice.scheme) {
        case ProxyScheme::Http: options.type = CURLPROXY_HTTP; break;
        case ProxyScheme::Https: options.type = CURLPROXY_HTTPS; break;
        case ProxyScheme::Socks5: options.type = CURLPROXY_SOCKS5; break;
        case ProxyScheme::Socks5h: options.type = CURLPROXY_SOCKS5_HOSTNAME; break;
        }
        options.user = choice.user;
        options.password = choice.password;
        break;
    }
    return options;
}

void InitialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void StallWatch::Restart() {
    stalled = false;
    lastReceived = 0;
    lastProgress = std::chrono::steady_clock::now();
}

bool ApplyCommonOptions(CURL* easy, const TransferSetup& setup, StallWatch& watch, char* errorBuffer) {
    const std::string url(setup.url);
    const std::string userAgent(setup.userAgent);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (!userAgent.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                     static_cast<long>(setup.http11 ? CURL_HTTP_VERSION_1_1 : CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, setup.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    const bool fromHttps = url.size() >= 8 && curl_strnequal(url.c_str(), "https://", 8);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     fromHttps && !setup.httpsToHttpRedirects ? "https" : "http,https");
    // A handle is used again: every proxy option is set, or put back to libcurl's default.
    const ProxyOptions proxy = ProxyOptionsFor(CurrentProxy());
    const auto text = [](const std::string& value, bool set) { return set ? value.c_str() : nullptr; };
    curl_easy_setopt(easy, CURLOPT_PROXY, text(proxy.proxy, !proxy.environment));
    curl_easy_setopt(easy, CURLOPT_NOPROXY, text(proxy.noProxy, !proxy.environment));
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, proxy.type);
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, text(proxy.user, !proxy.user.empty()));
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, text(proxy.password, !proxy.user.empty()));
    if (!setup.caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXY_CAINFO, std::string(setup.caFile).c_str());
    }
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!setup.caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, std::string(setup.caFile).c_str());
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, setup.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // A transfer stopped while a host name is being looked up ends at once; the lookup's thread is
    // left to finish by itself rather than holding the window's close, or a new Go, until it does.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    watch.easy = easy;
    watch.Restart();
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Watch);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &watch);
    errorBuffer[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    return !proxy.proxy.empty() || (proxy.environment && EnvironmentNamesProxy(url));
}

std::string FailureReason(CURLcode code, std::string_view errorBuffer) {
    const std::string detail = " (" + std::string(errorBuffer.empty() ? curl_easy_strerror(code) : errorBuffer) + ")";
    switch (code) {
    case CURLE_COULDNT_CONNECT: return "the connection was refused" + detail;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return "the host name is unknown" + detail;
    case CURLE_UNSUPPORTED_PROTOCOL: return "only http and https links can be fetched" + detail;
    case CURLE_URL_MALFORMAT: return "the link is not a valid address" + detail;
    case CURLE_TOO_MANY_REDIRECTS: return "the server redirects too often" + detail;
    case CURLE_OPERATION_TIMEDOUT: return "the server took too long" + detail;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return "the server's certificate cannot be trusted" + detail;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED: return "the secure connection could not be made" + detail;
    case CURLE_SEND_ERROR: return "the connection broke while the request was sent" + detail;
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3: return "the connection broke" + detail;
    case CURLE_PARTIAL_FILE: return "the server closed the connection before the end" + detail;
    case CURLE_GOT_NOTHING: return "the server closed the connection without answering" + detail;
    case CURLE_WEIRD_SERVER_REPLY: return "the server's answer is not HTTP" + detail;
    case CURLE_BAD_CONTENT_ENCODING: return "the server's compressed answer is broken" + detail;
    case CURLE_FILESIZE_EXCEEDED: return "the response is larger than the size limit";
    case CURLE_WRITE_ERROR: return "the data cannot be saved" + detail;
    case CURLE_OUT_OF_MEMORY: return "the computer is out of memory";
    case CURLE_ABORTED_BY_CALLBACK: return "the transfer was stopped";
    default: return "the transfer failed" + detail;
    }
}

std::optional<std::string> ProxyFailure(CURL* easy, CURLcode code, std::string_view errorBuffer) {
    const std::string detail = " (" + std::string(errorBuffer.empty() ? curl_easy_strerror(code) : errorBuffer) + ")";
    long connectCode = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode != 0 && connectCode / 100 != 2) { // the answer to CONNECT
        if (connectCode == 407) {
            return AskedForPassword(UserGiven());
        }
        if (connectCode >= 500) {
            return "the proxy could not reach the server (it answered " + std::to_string(connectCode) + ")";
        }
        return "the proxy refused the connection (it answered " + std::to_string(connectCode) + ")";
    }
    switch (code) {
    case CURLE_COULDNT_CONNECT: return "the proxy cannot be reached" + detail;
    case CURLE_COULDNT_RESOLVE_PROXY: return "the proxy's host name is unknown" + detail;
    case CURLE_OPERATION_TIMEDOUT: {
        curl_off_t sent = 0; // the request itself never went: the proxy kept it waiting
        curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &sent);
        return sent == 0 ? std::optional("the proxy did not answer in time" + detail) : std::nullopt;
    }
    case CURLE_PROXY: {
        long error = CURLPX_OK;
        curl_easy_getinfo(easy, CURLINFO_PROXY_ERROR, &error);
        switch (static_cast<CURLproxycode>(error)) {
        case CURLPX_NO_AUTH:
        case CURLPX_USER_REJECTED:
        case CURLPX_IDENTD:
        case CURLPX_IDENTD_DIFFER: return AskedForPassword(UserGiven()) + detail;
        case CURLPX_RESOLVE_HOST: return "the proxy does not know the host name" + detail;
        case CURLPX_REPLY_CONNECTION_REFUSED:
        case CURLPX_REPLY_HOST_UNREACHABLE:
        case CURLPX_REPLY_NETWORK_UNREACHABLE:
        case CURLPX_REPLY_TTL_EXPIRED:
        case CURLPX_REPLY_GENERAL_SERVER_FAILURE: return "the proxy could not reach the server" + detail;
        case CURLPX_REPLY_NOT_ALLOWED:
        case CURLPX_REQUEST_FAILED: return "the proxy refused the connection" + detail;
        case CURLPX_CLOSED: return "the proxy closed the connection" + detail;
        default: return "the proxy failed" + detail;
        }
    }
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        // Before any answer to CONNECT, or to the request itself when the proxy relays it.
        if (connectCode == 0) {
            return "the proxy closed the connection" + detail;
        }
        return std::nullopt;
    default: return std::nullopt;
    }
}

std::optional<std::string> ProxyStatusFailure(long status, bool viaProxy) {
    if (status == 407) {
        return AskedForPassword(UserGiven());
    }
    if (viaProxy && (status == 502 || status == 504)) {
        return "the proxy could not reach the server (it answered " + std::to_string(status) + ")";
    }
    // Some proxies (tinyproxy among them) answer 500 when they cannot reach the server; a server's
    // own 500 through the proxy cannot be told from it, and is no page either.
    if (viaProxy && status == 500) {
        return "the proxy or the server behind it failed (it answered 500)";
    }
    return std::nullopt;
}

} // namespace veltrin::net
