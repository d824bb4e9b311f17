#include "net/curl_setup.h"

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

} // namespace

void InitialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void StallWatch::Restart() {
    stalled = false;
    lastReceived = 0;
    lastProgress = std::chrono::steady_clock::now();
}

void ApplyCommonOptions(CURL* easy, const TransferSetup& setup, StallWatch& watch, char* errorBuffer) {
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
    // Never a proxy, whatever the environment says.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
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

} // namespace veltrin::net
