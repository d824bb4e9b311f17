#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrin {

inline constexpr std::string_view kParameterStartMarker = "flashvars";
inline constexpr std::string_view kParameterEndMarker = "</script>";

// The stretch of the page text from the first "flashvars" up to, not including, the first
// "</script>" that starts after the first character of that word. Nothing when either is missing.
// The view points into pageText.
std::optional<std::string_view> FindParameterWindow(std::string_view pageText);

// Runs the decoding chain over the parameter window and gives the parameter block. The result is
// exactly what the 225 replace-all passes of kDecodingChain give one after the other, computed in a
// single pass over the text. Never fails; the text never grows.
std::string DecodeParameters(std::string_view window);

} // namespace veltrin
