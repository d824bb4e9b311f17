#include "net/mod_net.h"

#include "core/link.h"
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

std::string FetchPage(veltrin::HttpRequest& httpURL, std::string_view link) {
    httpURL.SetProxy(veltrin::kProxySettingDirect);
    httpURL.Open("GET", veltrin::TrimWhiteSpace(link));
    httpURL.Send();
    return httpURL.ResponseText();
}

std::string GetPage(veltrin::HttpRequest* httpURL, std::string link) {
    if (veltrin::TrimWhiteSpace(link).empty() || httpURL == nullptr) {
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
