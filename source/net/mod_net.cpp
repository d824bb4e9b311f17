#include "net/mod_net.h"

#include "net/http_request.h"

namespace modNet {

std::unique_ptr<veltrin::HttpRequest> CreateConfiguredRequest() {
    using veltrin::RequestOption;
    auto request = std::make_unique<veltrin::HttpRequest>();
    request->Option(RequestOption::EnableHttp1_1, true);
    request->Option(RequestOption::EnableHttpsToHttpRedirects, true);
    request->Option(RequestOption::EnableRedirects, true);
    request->Option(RequestOption::UserAgentString, std::string(kUserAgent));
    return request;
}

std::string_view TrimLink(std::string_view link) {
    constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";
    const auto first = link.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    return link.substr(first, link.find_last_not_of(kWhiteSpace) - first + 1);
}

std::string FetchPage(veltrin::HttpRequest& httpURL, std::string_view link) {
    httpURL.SetProxy(veltrin::kProxySettingDirect);
    httpURL.Open("GET", TrimLink(link));
    httpURL.Send();
    return httpURL.ResponseText();
}

std::string GetPage(veltrin::HttpRequest* httpURL, std::string link) {
    if (TrimLink(link).empty() || httpURL == nullptr) {
        return {};
    }
    try {
        return FetchPage(*httpURL, link);
    } catch (const veltrin::HttpRequestError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace modNet
