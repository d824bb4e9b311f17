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

std::string GetPage(veltrin::HttpRequest* httpURL, std::string link) {
    // Only spaces count as blank; the link itself goes out untrimmed.
    if (link.find_first_not_of(' ') == std::string::npos) {
        return {};
    }
    try {
        if (httpURL == nullptr) {
            return {};
        }
        httpURL->SetProxy(veltrin::kProxySettingDirect);
        httpURL->Open("GET", link);
        httpURL->Send();
        return httpURL->ResponseText();
    } catch (const veltrin::HttpRequestError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace modNet
