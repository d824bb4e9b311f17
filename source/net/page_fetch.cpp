#include "net/page_fetch.h"

#include "core/link.h"
#include "net/http_request.h"

namespace veltrin {

std::unique_ptr<HttpRequest> CreateConfiguredRequest() {
    auto request = std::make_unique<HttpRequest>();
    request->Option(RequestOption::EnableHttp1_1, true);
    request->Option(RequestOption::EnableHttpsToHttpRedirects, true);
    request->Option(RequestOption::EnableRedirects, true);
    request->Option(RequestOption::UserAgentString, std::string(kUserAgent));
    return request;
}

std::string FetchPageText(HttpRequest& request, std::string_view link) {
    request.Open(TrimWhiteSpace(link));
    request.Send();
    return request.ResponseText();
}

FetchedPage TryFetchPage(HttpRequest& request, const std::string& link) {
    try {
        return {FetchPageText(request, link), {}};
    } catch (const HttpRequestError& e) {
        return {{}, e.what()};
    } catch (const std::bad_alloc&) {
        return {{}, "out of memory"};
    }
}

} // namespace veltrin
