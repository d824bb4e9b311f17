#include "cli/link_lines.h"

#include "core/link.h"
#include "core/watch_links.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace veltrin::cli {

namespace {

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\r') || c == 0x7f; }

// Whether the bytes are UTF-8: a list read as text holds nothing else.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace

LinkLine CheckListedLink(std::string_view text, std::size_t number) {
    const std::string_view bare = TrimWhiteSpace(text);
    LinkLine line{LinkLine::Kind::Bad, number, {}, std::string(bare.substr(0, LinkLines::kLongestLine))};
    if (bare.size() > LinkLines::kLongestLine) {
        line.text = "longer than 64 KB";
        return line;
    }
    if (!IsUtf8(bare)) {
        line.text = "not text";
        return line;
    }
    const LinkToFetch checked = CheckLink(bare);
    if (checked.kind == LinkToFetch::Kind::Refused) {
        line.text = kOnlyHttpLinks;
        return line;
    }
    // What cannot stand in a link, or a bare word that names no host a browser would try.
    if (bare.find_first_of(" \t\"<>") != std::string_view::npos ||
        bare.find_first_of(".:/") == std::string_view::npos) {
        line.text = "not a link";
        return line;
    }
    line.kind = LinkLine::Kind::Link;
    line.text = checked.address;
    return line;
}

std::string VideoKey(std::string_view address) {
    const std::string_view video = VideoOf(address);
    return video.empty() ? std::string(address.substr(0, address.find('#'))) : "v=" + std::string(video);
}

bool LinkLines::Fill() {
    if (m_ended) {
        return false;
    }
    m_buffer.erase(0, m_at);
    m_at = 0;
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + 16384);
    long got = 0;
    do {
        got = m_read(m_buffer.data() + had, m_buffer.size() - had);
    } while (got < 0 && errno == EINTR);
    m_buffer.resize(had + static_cast<std::size_t>(std::max(got, 0L)));
    m_ended = got <= 0;
    if (got < 0) {
        m_error = errno;
    }
    return got > 0;
}

LinkLine LinkLines::Unreadable() {
    m_buffer.clear();
    m_at = 0;
    m_ended = true;
    return {LinkLine::Kind::Unreadable,
            m_number + 1,
            "is not text: line " + std::to_string(m_number + 1) + " holds a NUL byte or another control character",
            {}};
}

std::optional<LinkLine> LinkLines::Next() {
    for (;;) {
        // One line: up to its LF, or the input's end; more than kLongestLine is read and let go.
        std::size_t end = m_buffer.find('\n', m_at);
        bool tooLong = false;
        while (end == std::string::npos) {
            if (m_buffer.size() - m_at > kLongestLine) {
                if (std::any_of(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_at), m_buffer.end(),
                                [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
                    return Unreadable();
                }
                tooLong = true; // what was read of it goes; the rest is read through to its end
                m_buffer.clear();
                m_at = 0;
            }
            if (!Fill()) {
                break;
            }
            end = m_buffer.find('\n', m_at);
        }
        if (end == std::string::npos && m_at == m_buffer.size() && !tooLong) {
            if (m_error != 0) {
                const int error = std::exchange(m_error, 0);
                return LinkLine{LinkLine::Kind::Unreadable,
                                m_number + 1,
                                std::string("cannot be read: ") +
                                    (strerrordesc_np(error) ? strerrordesc_np(error) : "unknown error"),
                                {}};
            }
            return std::nullopt;
        }
        const std::size_t stop = end == std::string::npos ? m_buffer.size() : end;
        const std::string_view text(m_buffer.data() + m_at, stop - m_at);
        m_at = end == std::string::npos ? m_buffer.size() : end + 1;
        ++m_number;
        tooLong = tooLong || text.size() > kLongestLine;
        if (std::any_of(text.begin(), text.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
            --m_number;
            return Unreadable();
        }
        if (tooLong) {
            return LinkLine{LinkLine::Kind::Bad, m_number, "longer than 64 KB", {}};
        }
        const std::string_view bare = TrimWhiteSpace(text);
        if (bare.empty() || bare.front() == '#') {
            continue;
        }
        return CheckListedLink(bare, m_number);
    }
}

} // namespace veltrin::cli
