#include "net/http_request.h"

#include "core/windows1252.h"
#include "net/curl_setup.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>

namespace veltrin {

namespace {

constexpr std::size_t kKeptBufferBytes = std::size_t{32} << 20;

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
    bool http11 = true;
    bool opened = false;
    bool received = false;
    std::string userAgent;
    std::string caFile;
    std::string body;
    std::string contentType;
    bool bodyTooLarge = false;
    bool viaProxy = false;
    net::StallWatch watch;
    char errorBuffer[CURL_ERROR_SIZE] = {};

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
};

HttpRequest::HttpRequest() : m_state(std::make_unique<State>()) {
    net::InitialiseCurl();
    State& s = *m_state;
    s.curl = curl_easy_init();
    if (s.curl == nullptr) {
        throw HttpRequestError("the HTTP request object cannot be created");
    }
    curl_easy_setopt(s.curl, CURLOPT_WRITEFUNCTION, &State::Write);
    curl_easy_setopt(s.curl, CURLOPT_WRITEDATA, &s);
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
    case RequestOption::UserAgentString: s.userAgent = text ? *text : std::string(); return;
    case RequestOption::EnableRedirects: s.followRedirects = flag && *flag; return;
    case RequestOption::EnableHttpsToHttpRedirects: s.httpsToHttpRedirects = flag && *flag; return;
    case RequestOption::EnableHttp1_1: s.http11 = flag && *flag; return;
    }
}

void HttpRequest::Open(std::string_view url) {
    State& s = *m_state;
    s.opened = false;
    s.received = false;
    s.body.clear();
    // The buffer is kept for the next fetch, unless an unusually large page left it huge.
    if (s.body.capacity() > kKeptBufferBytes) {
        s.body.shrink_to_fit();
    }
    s.contentType.clear();
    s.bodyTooLarge = false;
    s.viaProxy = net::ApplyCommonOptions(s.curl,
                                         {.url = url,
                                          .userAgent = s.userAgent,
                                          .caFile = s.caFile,
                                          .connectTimeoutSeconds = s.limits.connectTimeoutSeconds,
                                          .followRedirects = s.followRedirects,
                                          .httpsToHttpRedirects = s.httpsToHttpRedirects,
                                          .http11 = s.http11},
                                         s.watch, s.errorBuffer);
    curl_easy_setopt(s.curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(s.curl, CURLOPT_TIMEOUT, s.limits.overallSeconds);
    curl_easy_setopt(s.curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(s.limits.maxBodyBytes));
    s.opened = true;
}

void HttpRequest::Send() {
    State& s = *m_state;
    if (!s.opened) {
        throw HttpRequestError("Send without Open");
    }
    s.opened = false;
    s.errorBuffer[0] = '\0';
    s.watch.seconds = s.limits.stallSeconds;
    s.watch.Restart();
    const CURLcode code = curl_easy_perform(s.curl);
    if (code != CURLE_OK) {
        s.body.clear();
        curl_off_t connectTime = 0;
        curl_easy_getinfo(s.curl, CURLINFO_CONNECT_TIME_T, &connectTime);
        std::string reason;
        const auto proxy = s.viaProxy ? net::ProxyFailure(s.curl, code, s.errorBuffer) : std::nullopt;
        if (s.watch.stop != nullptr && s.watch.stop->load()) {
            reason = "stopped";
        } else if (s.bodyTooLarge) {
            reason = "the response is larger than the size limit";
        } else if (s.watch.stalled) {
            reason = "the server stopped sending";
        } else if (proxy) {
            reason = *proxy;
        } else if (code == CURLE_OPERATION_TIMEDOUT) {
            reason =
                connectTime == 0
                    ? "the server took no connection within " + std::to_string(s.limits.connectTimeoutSeconds) + " s"
                    : "the server took too long (more than " + std::to_string(s.limits.overallSeconds) + " s)";
        } else {
            reason = net::FailureReason(code, s.errorBuffer);
        }
        throw HttpRequestError(reason);
    }
    // What the proxy answers for itself is no page of the server's.
    if (const auto proxy = net::ProxyStatusFailure(Status(), s.viaProxy)) {
        s.body.clear();
        throw HttpRequestError(*proxy);
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

void HttpRequest::SetStop(const std::atomic<bool>* stop) { m_state->watch.stop = stop; }

void HttpRequest::SetLimitsForTesting(const Limits& limits) { m_state->limits = limits; }

void HttpRequest::TrustCertificateAuthorityForTesting(const std::string& caFile) { m_state->caFile = caFile; }

} // namespace veltrin
