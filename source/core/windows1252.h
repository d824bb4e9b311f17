#pragma once

#include <string>
#include <string_view>

namespace veltrin {

// Text inside the program is UTF-8. These turn bytes from outside into it and back.

// Appends the code point in UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// Bytes read as UTF-8; every invalid sequence becomes U+FFFD (one per maximal invalid subpart).
std::string SanitizeUtf8(std::string_view bytes);

// Each byte as the Windows-1252 character; the five bytes that code page leaves unassigned map to
// the C1 controls of the same number, as the platform's own conversion does.
std::string Windows1252ToUtf8(std::string_view bytes);

// Each byte as the Unicode character of the same number.
std::string Latin1ToUtf8(std::string_view bytes);

// Bytes below 0x80 as they are, every other byte as U+FFFD.
std::string AsciiToUtf8(std::string_view bytes);

// UTF-8 text to Windows-1252 bytes; each character the code page lacks, and each invalid UTF-8
// sequence, becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

} // namespace veltrin
