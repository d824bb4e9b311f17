#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace veltrin {

// Option numbers of the request object, as the program sets them at start-up.
enum class RequestOption : int {
    UserAgentString = 0,
    EnableRedirects = 6,
    EnableHttpsToHttpRedirects = 12,
    EnableHttp1_1 = 17,
};

// Any operation of HttpRequest that cannot complete throws this; what() says why in words a user
// can act on, such as "the connection was refused".
class HttpRequestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's one HTTP request object: created once, configured with Option, then used for one
// synchronous GET after the other with Open, Send and ResponseText, through the proxy chosen
// (SetProxy in net/proxy.h) when the transfer starts. It keeps
// one connection cache for its whole life, so fetches from the same server reuse the connection.
class HttpRequest {
public:
    using OptionValue = std::variant<bool, std::string>;

    // Bounds that keep a dead or hostile server from holding the window for ever.
    struct Limits {
        long connectTimeoutSeconds = 60;
        long stallSeconds = 30;    // a transfer that receives nothing for this long fails
        long overallSeconds = 120; // a trickling server cannot hold a fetch longer than this
        std::size_t maxBodyBytes = std::size_t{256} << 20;
    };

    HttpRequest();
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // A value of the wrong type turns the option off.
    void Option(RequestOption option, const OptionValue& value);
    // Prepares a GET of url, the only method there is.
    void Open(std::string_view url);
    // Returns once the whole response is there; throws on any failure of the transfer.
    void Send();
    // The body of the last response as UTF-8 text, honouring the charset the server declared.
    std::string ResponseText() const;
    // The HTTP status of the last response.
    long Status() const;

    // While *stop is true, a transfer under way ends within a second and Send throws; another
    // thread may set it. Null: nothing stops a transfer but its limits.
    void SetStop(const std::atomic<bool>* stop);

    // For tests only; the program never calls these.
    void SetLimitsForTesting(const Limits& limits);
    void TrustCertificateAuthorityForTesting(const std::string& caFile);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Turns a response body into UTF-8 text by the charset parameter of its Content-Type: UTF-8,
// ISO-8859-1, Windows-1252 and US-ASCII are honoured; anything else, or none, is read as UTF-8.
std::string BodyToText(std::string_view body, std::string_view contentType);

} // namespace veltrin
