#include "core/windows1252.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace veltrin {

namespace {

// Code points of bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Length of the ASCII run at the start of [p, end), eight bytes at a time where it can.
std::size_t AsciiPrefix(const unsigned char* p, const unsigned char* end) {
    const unsigned char* start = p;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080ULL) {
            break;
        }
        p += 8;
    }
    while (p < end && *p < 0x80) {
        ++p;
    }
    return static_cast<std::size_t>(p - start);
}

struct Decoded {
    char32_t cp;
    std::size_t length; // of the sequence, or of its maximal invalid subpart (at least 1)
    bool valid;
};

// Decodes the UTF-8 sequence that starts at p (p < end).
Decoded DecodeOne(const unsigned char* p, const unsigned char* end) {
    const unsigned char b0 = p[0];
    char32_t cp;
    std::size_t length;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 < 0x80) {
        return {b0, 1, true};
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) {
            lo = 0xA0; // no overlong forms
        } else if (b0 == 0xED) {
            hi = 0x9F; // no surrogates
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0) {
            lo = 0x90;
        } else if (b0 == 0xF4) {
            hi = 0x8F; // nothing past U+10FFFF
        }
    } else {
        return {kReplacementCharacter, 1, false};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (p + k >= end || p[k] < lo || p[k] > hi) {
            return {kReplacementCharacter, k, false};
        }
        cp = (cp << 6) | (p[k] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return {cp, length, true};
}

template <typename ByteToCodePoint> std::string SingleByteToUtf8(std::string_view bytes, ByteToCodePoint toCodePoint) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const std::size_t run = AsciiPrefix(p, end);
        out.append(reinterpret_cast<const char*>(p), run);
        p += run;
        if (p < end) {
            AppendUtf8(out, toCodePoint(*p++));
        }
    }
    return out;
}

// Copies runs of ASCII as they are and hands every other sequence, decoded, to onSequence.
template <typename OnSequence> std::string WalkUtf8(std::string_view bytes, OnSequence onSequence) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    std::string out;
    out.reserve(bytes.size());
    while (p < end) {
        const std::size_t run = AsciiPrefix(p, end);
        out.append(reinterpret_cast<const char*>(p), run);
        p += run;
        if (p < end) {
            const Decoded d = DecodeOne(p, end);
            onSequence(out, p, d);
            p += d.length;
        }
    }
    return out;
}

} // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string SanitizeUtf8(std::string_view bytes) {
    return WalkUtf8(bytes, [](std::string& out, const unsigned char* at, const Decoded& d) {
        if (d.valid) {
            out.append(reinterpret_cast<const char*>(at), d.length);
        } else {
            AppendUtf8(out, kReplacementCharacter);
        }
    });
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    return SingleByteToUtf8(
        bytes, [](unsigned char b) -> char32_t { return (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : b; });
}

std::string Latin1ToUtf8(std::string_view bytes) {
    return SingleByteToUtf8(bytes, [](unsigned char b) -> char32_t { return b; });
}

std::string AsciiToUtf8(std::string_view bytes) {
    return SingleByteToUtf8(bytes, [](unsigned char) -> char32_t { return kReplacementCharacter; });
}

std::string Utf8ToWindows1252(std::string_view utf8) {
    return WalkUtf8(utf8, [](std::string& out, const unsigned char*, const Decoded& d) {
        char byte = '?';
        if (d.valid && d.cp >= 0xA0 && d.cp <= 0xFF) {
            byte = static_cast<char>(d.cp);
        } else if (d.valid) {
            const auto high = std::find(kHighControls.begin(), kHighControls.end(), d.cp);
            if (high != kHighControls.end()) {
                byte = static_cast<char>(0x80 + (high - kHighControls.begin()));
            }
        }
        out.push_back(byte);
    });
}

} // namespace veltrin
