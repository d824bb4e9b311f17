#include "core/file_name.h"

#include "core/link.h"
#include "core/parameters.h"
#include "core/windows1252.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <utility>

namespace veltrin {

namespace {

constexpr std::size_t kMostStemBytes = 200;

// The containers that format codes and response types name.
constexpr std::pair<int, std::string_view> kFormatContainers[] = {
    {37, "mp4"}, {22, "mp4"}, {18, "mp4"},  {35, "flv"},  {34, "flv"},  {5, "flv"},
    {17, "3gp"}, {36, "3gp"}, {43, "webm"}, {44, "webm"}, {45, "webm"}, {46, "webm"}};
constexpr std::pair<std::string_view, std::string_view> kTypeContainers[] = {
    {"video/mp4", "mp4"}, {"video/webm", "webm"}, {"video/x-flv", "flv"}, {"video/3gpp", "3gp"}};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// %XX escapes as bytes; with plusIsSpace, "+" as a space (form encoding).
std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (plusIsSpace && text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

// The form-decoded value of the first field called name in fields joined by "&".
std::optional<std::string> Field(std::string_view fields, std::string_view name) {
    while (!fields.empty()) {
        const auto amp = fields.find('&');
        const std::string_view field = fields.substr(0, amp);
        if (field.size() > name.size() && field.starts_with(name) && field[name.size()] == '=') {
            // A form-encoded value holds no quotes or white space: one there ends the script's
            // string that the last field stands in.
            std::string_view value = field.substr(name.size() + 1);
            value = value.substr(0, value.find_first_of("\"' \t\r\n<"));
            return SanitizeUtf8(PercentDecode(value, true));
        }
        fields = amp == std::string_view::npos ? std::string_view{} : fields.substr(amp + 1);
    }
    return std::nullopt;
}

// The usual named entities and numeric ones; anything else stays as written.
std::string DecodeEntities(std::string_view text) {
    static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\u00A0"}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto semicolon = text.find(';', i);
        if (text[i] != '&' || semicolon == std::string_view::npos || semicolon - i > 10) {
            out += text[i];
            continue;
        }
        const std::string_view name = text.substr(i + 1, semicolon - i - 1);
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty() && code > 0 &&
                code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                AppendUtf8(out, code);
                i = semicolon;
                continue;
            }
        }
        const auto named =
            std::find_if(std::begin(kNamed), std::end(kNamed), [&](const auto& e) { return e.first == name; });
        if (named != std::end(kNamed)) {
            out += named->second;
            i = semicolon;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> HtmlTitle(std::string_view page) {
    std::string lower(page.substr(0, std::min<std::size_t>(page.size(), 1 << 20)));
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto open = lower.find("<title");
    if (open == std::string::npos) {
        return std::nullopt;
    }
    const auto start = lower.find('>', open);
    const auto end = lower.find("</title", start);
    if (start == std::string::npos || end == std::string::npos) {
        return std::nullopt;
    }
    std::string title(TrimWhiteSpace(DecodeEntities(page.substr(start + 1, end - start - 1))));
    constexpr std::string_view kSiteSuffix = " - Clipvane";
    if (title.ends_with(kSiteSuffix)) {
        title.resize(title.size() - kSiteSuffix.size());
    }
    title = std::string(TrimWhiteSpace(title));
    return title.empty() ? std::nullopt : std::optional(title);
}

// Length of the UTF-8 sequence that starts with byte c.
std::size_t SequenceLength(unsigned char c) { return c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

bool Unsafe(std::string_view character) {
    if (character.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(character[0]);
        return c < 0x20 || c == 0x7F ||
               std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
    }
    // C1 controls, and the direction marks and overrides that can make "evil\u202Ecod.exe" look
    // like something else.
    static constexpr std::string_view kUnsafe[] = {"\u0080", "\u0081", "\u0085", "\u009F", "\u200E",
                                                   "\u200F", "\u202A", "\u202B", "\u202C", "\u202D",
                                                   "\u202E", "\u2066", "\u2067", "\u2068", "\u2069"};
    if (character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
        static_cast<unsigned char>(character[1]) < 0xA0) {
        return true;
    }
    return std::find(std::begin(kUnsafe), std::end(kUnsafe), character) != std::end(kUnsafe);
}

std::string_view TrimSpacesAndDots(std::string_view text) {
    const auto first = text.find_first_not_of(" .");
    return first == std::string_view::npos ? std::string_view{}
                                           : text.substr(first, text.find_last_not_of(" .") - first + 1);
}

} // namespace

namespace {

// The player parameters' fields, decoded, the first one starting after the script's quote.
std::string ParameterFields(std::string_view window) {
    std::string fields = SanitizeUtf8(PercentDecode(window, false));
    // The window starts with the script's own words ("flashvars: \"" or "flashvars=\""): the
    // first field starts after the quote.
    if (const auto quote = fields.find_first_of("\"'"); quote < fields.find('&')) {
        fields.erase(0, quote + 1);
    }
    return fields;
}

std::string TrimmedField(const std::string& fields, std::string_view name) {
    const auto value = Field(fields, name);
    return value ? std::string(TrimWhiteSpace(*value)) : std::string();
}

} // namespace

VideoNames NamesOnPage(std::string_view pageText, std::optional<std::string_view> window) {
    VideoNames names;
    if (window) {
        const std::string fields = ParameterFields(*window);
        names.title = TrimmedField(fields, "title");
        names.id = TrimmedField(fields, "video_id");
    }
    if (names.title.empty()) {
        names.title = HtmlTitle(pageText).value_or(names.id.empty() ? "video" : names.id);
    }
    return names;
}

std::optional<int> FormatCode(std::string_view entry) {
    const auto marker = entry.find("itag=");
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digits = entry.substr(marker + 5);
    int code = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + std::min<std::size_t>(digits.size(), 6), code);
    return error == std::errc() && end != digits.data() ? std::optional(code) : std::nullopt;
}

std::optional<std::string> FormatExtension(std::optional<int> code) {
    const auto row = std::find_if(std::begin(kFormatContainers), std::end(kFormatContainers),
                                  [&](const auto& r) { return code == r.first; });
    return row == std::end(kFormatContainers) ? std::nullopt : std::optional<std::string>(row->second);
}

std::string StreamExtension(std::optional<int> code, std::string_view contentType) {
    if (auto extension = FormatExtension(code)) {
        return *std::move(extension);
    }
    std::string type(TrimWhiteSpace(contentType.substr(0, contentType.find(';'))));
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto row = std::find_if(std::begin(kTypeContainers), std::end(kTypeContainers),
                                  [&](const auto& r) { return type == r.first; });
    return std::string(row == std::end(kTypeContainers) ? "mp4" : row->second);
}

std::string DownloadStem(std::string_view title, std::string_view qualityLabel) {
    const std::string suffix = qualityLabel.empty() ? std::string() : " (" + std::string(qualityLabel) + ")";
    std::string safe;
    const std::string valid = SanitizeUtf8(title);
    for (std::size_t i = 0; i < valid.size();) {
        const std::size_t length = std::min(SequenceLength(static_cast<unsigned char>(valid[i])), valid.size() - i);
        const std::string_view character(valid.data() + i, length);
        safe += Unsafe(character) ? std::string_view("_") : character;
        i += length;
    }
    std::string_view kept = TrimSpacesAndDots(safe);
    const std::size_t room = kMostStemBytes - std::min(kMostStemBytes, suffix.size());
    if (kept.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(kept[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        kept = TrimSpacesAndDots(kept.substr(0, cut));
    }
    return (kept.empty() ? std::string("video") : std::string(kept)) + suffix;
}

std::string NumberedFileName(std::string_view stem, std::string_view extension, int n) {
    std::string name(stem);
    if (n > 1) {
        name += " (" + std::to_string(n) + ")";
    }
    return name + "." + std::string(extension);
}

DownloadPlan PlanDownload(const LinkMatch& row, std::string_view title) {
    return {RequestAddress(row.entry), DownloadStem(title, row.quality ? row.quality->label : "video"),
            FormatExtension(FormatCode(row.entry))};
}

} // namespace veltrin
