#pragma once

#include <memory>
#include <string>

namespace veltrin {
class HttpRequest;
}

namespace modNet {

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)";

// Creates the shared request object and sets its four options in their fixed order.
std::unique_ptr<veltrin::HttpRequest> CreateConfiguredRequest();

// The page text at link, or empty text for a blank link and on any failure. The response status
// is not looked at: an error page's body is returned like any other.
std::string GetPage(veltrin::HttpRequest* httpURL, std::string link);

} // namespace modNet
