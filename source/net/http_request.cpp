#include "net/http_request.h"

#include "text/windows1252.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>

namespace veltrin {

namespace {

constexpr std::size_t kKeptBufferBytes = std::size_t{32} << 20;

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Lowercase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() &&
           (text.front() == ' ' || text.front() == '\t' || text.front() == '"' || text.front() == '\'')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '"' || text.back() == '\'')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string CharsetOf(std::string_view contentType) {
    const std::string lower = Lowercase(contentType);
    std::string_view rest(lower);
    while (!rest.empty()) {
        const auto semicolon = rest.find(';');
        std::string_view parameter = Trim(rest.substr(0, semicolon));
        rest = semicolon == std::string_view::npos ? std::string_view{} : rest.substr(semicolon + 1);
        if (parameter.substr(0, 8) == "charset=") {
            return std::string(Trim(parameter.substr(8)));
        }
    }
    return {};
}

// Says in a user's words what went wrong, with libcurl's own detail where it adds anything.
std::string Explain(CURLcode code, const std::string& detail, long overallSeconds) {
    switch (code) {
    case CURLE_COULDNT_CONNECT: return "the connection was refused (" + detail + ")";
    case CURLE_COULDNT_RESOLVE_HOST: return "the host name is unknown (" + detail + ")";
    case CURLE_UNSUPPORTED_PROTOCOL: return "only http and https links can be fetched (" + detail + ")";
    case CURLE_URL_MALFORMAT: return "the link is not a valid address (" + detail + ")";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR: return "the server's certificate cannot be trusted (" + detail + ")";
    case CURLE_OPERATION_TIMEDOUT:
        return "the server took too long (more than " + std::to_string(overallSeconds) + " s)";
    case CURLE_FILESIZE_EXCEEDED: return "the response is larger than the size limit";
    case CURLE_TOO_MANY_REDIRECTS: return "the server redirects too often (" + detail + ")";
    default: return detail;
    }
}

} // namespace

std::string BodyToText(std::string_view body, std::string_view contentType) {
    const std::string charset = CharsetOf(contentType);
    if (charset == "iso-8859-1" || charset == "latin1" || charset == "iso_8859-1" || charset == "l1") {
        return Latin1ToUtf8(body);
    }
    if (charset == "windows-1252" || charset == "cp1252" || charset == "x-cp1252") {
        return Windows1252ToUtf8(body);
    }
    if (charset == "us-ascii" || charset == "ascii") {
        return AsciiToUtf8(body);
    }
    return SanitizeUtf8(body);
}

struct HttpRequest::State {
    CURL* curl = nullptr;
    Limits limits;
    bool followRedirects = false;
    bool httpsToHttpRedirects = false;
    bool opened = false;
    bool received = false;
    std::string url;
    std::string userAgent;
    std::string body;
    std::string contentType;
    bool bodyTooLarge = false;
    bool stalled = false;
    const std::atomic<bool>* stop = nullptr;
    curl_off_t lastReceived = 0;
    std::chrono::steady_clock::time_point lastProgress;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // Ends a transfer that has received nothing for the stall limit once connected. (libcurl's own
    // low-speed check averages over several seconds, so a trickle keeps it from ever firing.)
    static int Progress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
        auto* self = static_cast<State*>(user);
        if (self->stop != nullptr && self->stop->load()) {
            return 1;
        }
        const auto now = std::chrono::steady_clock::now();
        // Connecting has its own limit. A kept-alive connection is never connected anew, but the
        // request is sent on it all the same: either moment starts the watch.
        curl_off_t connectTime = 0;
        curl_off_t requestSentTime = 0;
        curl_easy_getinfo(self->curl, CURLINFO_CONNECT_TIME_T, &connectTime);
        curl_easy_getinfo(self->curl, CURLINFO_PRETRANSFER_TIME_T, &requestSentTime);
        if ((connectTime == 0 && requestSentTime == 0) || received != self->lastReceived) {
            self->lastReceived = received;
            self->lastProgress = now;
            return 0;
        }
        if (now - self->lastProgress > std::chrono::seconds(self->limits.stallSeconds)) {
            self->stalled = true;
            return 1;
        }
        return 0;
    }

    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<State*>(user);
        const size_t bytes = size * count;
        if (self->body.size() + bytes > self->limits.maxBodyBytes) {
            self->bodyTooLarge = true;
            return 0; // ends the transfer with a write error
        }
        self->body.append(data, bytes);
        return bytes;
    }

    void Check(CURLcode code, const char* what) const {
        if (code != CURLE_OK) {
            throw HttpRequestError(std::string(what) + ": " + curl_easy_strerror(code));
        }
    }
};

HttpRequest::HttpRequest() : m_state(std::make_unique<State>()) {
    InitialiseCurlOnce();
    State& s = *m_state;
    s.curl = curl_easy_init();
    if (s.curl == nullptr) {
        throw HttpRequestError("the HTTP request object cannot be created");
    }
    curl_easy_setopt(s.curl, CURLOPT_WRITEFUNCTION, &State::Write);
    curl_easy_setopt(s.curl, CURLOPT_WRITEDATA, &s);
    curl_easy_setopt(s.curl, CURLOPT_ERRORBUFFER, s.errorBuffer);
    curl_easy_setopt(s.curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(s.curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(s.curl, CURLOPT_XFERINFOFUNCTION, &State::Progress);
    curl_easy_setopt(s.curl, CURLOPT_XFERINFODATA, &s);
    curl_easy_setopt(s.curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(s.curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(s.curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(s.curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // Never a proxy, whatever the environment says.
    curl_easy_setopt(s.curl, CURLOPT_PROXY, "");
    curl_easy_setopt(s.curl, CURLOPT_NOPROXY, "*");
}

HttpRequest::~HttpRequest() {
    if (m_state && m_state->curl) {
        curl_easy_cleanup(m_state->curl);
    }
}

void HttpRequest::Option(RequestOption option, const OptionValue& value) {
    State& s = *m_state;
    const bool* flag = std::get_if<bool>(&value);
    const std::string* text = std::get_if<std::string>(&value);
    switch (option) {
    case RequestOption::UserAgentString:
        if (!text) {
            throw HttpRequestError("the User-Agent option takes text");
        }
        s.userAgent = *text;
        s.Check(curl_easy_setopt(s.curl, CURLOPT_USERAGENT, s.userAgent.c_str()), "User-Agent");
        return;
    case RequestOption::EnableRedirects:
        if (!flag) {
            throw HttpRequestError("the redirect option takes true or false");
        }
        s.followRedirects = *flag;
        return;
    case RequestOption::EnableHttpsToHttpRedirects:
        if (!flag) {
            throw HttpRequestError("the https-to-http option takes true or false");
        }
        s.httpsToHttpRedirects = *flag;
        return;
    case RequestOption::EnableHttp1_1:
        if (!flag) {
            throw HttpRequestError("the HTTP/1.1 option takes true or false");
        }
        s.Check(curl_easy_setopt(s.curl, CURLOPT_HTTP_VERSION,
                                 static_cast<long>(*flag ? CURL_HTTP_VERSION_1_1 : CURL_HTTP_VERSION_1_0)),
                "HTTP version");
        return;
    }
    throw HttpRequestError("unknown request option " + std::to_string(static_cast<int>(option)));
}

void HttpRequest::SetProxy(int setting) {
    if (setting != kProxySettingDirect) {
        throw HttpRequestError("only direct connections are supported");
    }
    State& s = *m_state;
    s.Check(curl_easy_setopt(s.curl, CURLOPT_PROXY, ""), "proxy");
    s.Check(curl_easy_setopt(s.curl, CURLOPT_NOPROXY, "*"), "proxy");
}

void HttpRequest::Open(std::string_view method, std::string_view url) {
    State& s = *m_state;
    if (method != "GET") {
        throw HttpRequestError("only GET is supported");
    }
    s.opened = false;
    s.received = false;
    s.body.clear();
    // The buffer is kept for the next fetch, unless an unusually large page left it huge.
    if (s.body.capacity() > kKeptBufferBytes) {
        s.body.shrink_to_fit();
    }
    s.contentType.clear();
    s.bodyTooLarge = false;
    s.url.assign(url);
    s.Check(curl_easy_setopt(s.curl, CURLOPT_URL, s.url.c_str()), "address");
    s.Check(curl_easy_setopt(s.curl, CURLOPT_HTTPGET, 1L), "method");
    s.Check(curl_easy_setopt(s.curl, CURLOPT_FOLLOWLOCATION, s.followRedirects ? 1L : 0L), "redirects");
    const bool fromHttps = Lowercase(url.substr(0, 8)) == "https://";
    const char* redirectSchemes = (fromHttps && !s.httpsToHttpRedirects) ? "https" : "http,https";
    s.Check(curl_easy_setopt(s.curl, CURLOPT_REDIR_PROTOCOLS_STR, redirectSchemes), "redirects");
    s.Check(curl_easy_setopt(s.curl, CURLOPT_CONNECTTIMEOUT, s.limits.connectTimeoutSeconds), "time-out");
    s.Check(curl_easy_setopt(s.curl, CURLOPT_TIMEOUT, s.limits.overallSeconds), "time-out");
    s.Check(curl_easy_setopt(s.curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(s.limits.maxBodyBytes)),
            "size limit");
    s.opened = true;
}

void HttpRequest::Send() {
    State& s = *m_state;
    if (!s.opened) {
        throw HttpRequestError("Send without Open");
    }
    s.opened = false;
    s.errorBuffer[0] = '\0';
    s.stalled = false;
    s.lastReceived = 0;
    s.lastProgress = std::chrono::steady_clock::now();
    const CURLcode code = curl_easy_perform(s.curl);
    if (code != CURLE_OK) {
        s.body.clear();
        const std::string detail = s.errorBuffer[0] ? s.errorBuffer : curl_easy_strerror(code);
        curl_off_t connectTime = 0;
        curl_easy_getinfo(s.curl, CURLINFO_CONNECT_TIME_T, &connectTime);
        const bool neverConnected = code == CURLE_OPERATION_TIMEDOUT && connectTime == 0;
        const bool stopped = s.stop != nullptr && s.stop->load();
        const std::string reason = stopped          ? "stopped"
                                   : s.bodyTooLarge ? "the response is larger than the size limit"
                                   : s.stalled      ? "the server stopped sending"
                                   : neverConnected ? "the server took no connection within " +
                                                          std::to_string(s.limits.connectTimeoutSeconds) + " s"
                                                    : Explain(code, detail, s.limits.overallSeconds);
        throw HttpRequestError(reason);
    }
    char* contentType = nullptr;
    if (curl_easy_getinfo(s.curl, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType) {
        s.contentType = contentType;
    }
    s.received = true;
}

std::string HttpRequest::ResponseText() const {
    const State& s = *m_state;
    if (!s.received) {
        throw HttpRequestError("no response has been received");
    }
    return BodyToText(s.body, s.contentType);
}

long HttpRequest::Status() const {
    long status = 0;
    curl_easy_getinfo(m_state->curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

void HttpRequest::SetStop(const std::atomic<bool>* stop) { m_state->stop = stop; }

void HttpRequest::SetLimitsForTesting(const Limits& limits) { m_state->limits = limits; }

void HttpRequest::TrustCertificateAuthorityForTesting(const std::string& caFile) {
    m_state->Check(curl_easy_setopt(m_state->curl, CURLOPT_CAINFO, caFile.c_str()), "certificate authority");
}

} // namespace veltrin
