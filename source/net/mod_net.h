#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace veltrin {
class HttpRequest;
}

namespace modNet {

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)";

// Creates the shared request object and sets its four options in their fixed order.
std::unique_ptr<veltrin::HttpRequest> CreateConfiguredRequest();

// The page text at link, fetched without the white space at its ends, which no server would take; throws
// HttpRequestError with the reason when the fetch fails. The response status is not looked at: an error page's body is
// returned like any other.
std::string FetchPage(veltrin::HttpRequest& httpURL, std::string_view link);

// As FetchPage, but empty text for a blank link and on any failure.
std::string GetPage(veltrin::HttpRequest* httpURL, std::string link);

} // namespace modNet
