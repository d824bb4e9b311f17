#pragma once

#include "core/go_pipeline.h"

#include <memory>
#include <string>
#include <string_view>

namespace veltrin {

class HttpRequest;

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)";

// Creates the shared request object and sets its four options in their fixed order.
std::unique_ptr<HttpRequest> CreateConfiguredRequest();

// The page text at link, fetched without the white space at its ends, which no server would take;
// throws HttpRequestError with the reason when the fetch fails. The response status is not looked
// at: an error page's body is returned like any other.
std::string FetchPageText(HttpRequest& request, std::string_view link);

// As FetchPageText, but what failed is told in the result rather than thrown: the fetch the Go
// pipeline takes.
FetchedPage TryFetchPage(HttpRequest& request, const std::string& link);

} // namespace veltrin
