#pragma once

#include <string>
#include <string_view>

namespace veltrin {

// The text without the white space at its ends (space, tab, line breaks), which a link copied from
// a terminal or a mail often carries; empty when nothing else is there.
std::string_view TrimWhiteSpace(std::string_view text);

// Whether the two are the same but for the letter case of ASCII letters ("720P", "720p").
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The Go command's first step: a link that holds no "http://" gets it in front. A link that
// starts with "http://" or "https://" in any letter case, after any white space, is left alone,
// as is one that holds "http://" anywhere; nothing is trimmed.
std::string NormaliseLink(std::string_view link);

// What the Go command makes of a link typed, pasted or handed over, for the window and the command
// line alike: nothing for a blank one; a refusal, in these words, for one that names a scheme
// other than http or https (given "http://" in front, "ftp://x/" would be looked for on a host
// named "ftp"); else the address NormaliseLink gives.
inline constexpr std::string_view kOnlyHttpLinks = "only http and https links can be fetched";
struct LinkToFetch {
    enum class Kind { Blank, Refused, Fetch };
    Kind kind = Kind::Blank;
    std::string address; // Fetch: what to fetch
};
LinkToFetch CheckLink(std::string_view link);

// The address a browser asks for when a stream entry is followed in the results page, which is
// written in Windows-1252: the query goes as that page's bytes, the rest as UTF-8, and what may not
// stand in an address (white space, quotes, angle brackets, bytes above 127) as %XX. An entry the
// chain decoded from "caf%C3%A9" reads "cafÃ©", and this gives "caf%C3%A9" back.
std::string RequestAddress(std::string_view entry);

// Text as a message may show it: cut to 200 bytes, control characters as "?", UTF-8.
std::string Shown(std::string_view text);

} // namespace veltrin
