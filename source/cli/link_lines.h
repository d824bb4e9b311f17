#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltrin::cli {

// What a line of a list of links is: a link to fetch, a line that is no link (and why), or the
// input's end because it is no text or cannot be read, after which nothing more is read.
struct LinkLine {
    enum class Kind { Link, Bad, Unreadable };
    Kind kind = Kind::Link;
    std::size_t number = 0; // the line's number, from 1; 0 for a link given as an argument
    std::string text;       // Link: the address to fetch; Bad, Unreadable: why, in the program's words
    std::string given;      // the line as it stands, trimmed
};

// A link as the command line takes it from a list: the address to fetch, or why it is none.
LinkLine CheckListedLink(std::string_view text, std::size_t number = 0);

// The same video whatever the link's host or other parameters: a watch link's "v", else the
// address itself.
std::string VideoKey(std::string_view address);

// Reads a list of links one line at a time, as it comes, and never more than one line's worth
// into memory: white space around a line goes, blank lines and lines starting with "#" are
// skipped, CR LF ends a line as LF does. A line over 64 KB is a bad line, read through to its end
// and dropped; a NUL byte or another control character ends the reading as binary input.
class LinkLines {
public:
    // Reads up to size bytes into buffer: 0 at the end, -1 on an error (errno says which).
    using Read = std::function<long(char* buffer, std::size_t size)>;
    static constexpr std::size_t kLongestLine = 64 * 1024;

    explicit LinkLines(Read read) : m_read(std::move(read)) {}
    // The next line that is not skipped; nothing once the input has ended.
    std::optional<LinkLine> Next();

private:
    bool Fill();
    LinkLine Unreadable(); // binary input: nothing more is read

    Read m_read;
    std::string m_buffer;
    std::size_t m_at = 0;
    std::size_t m_number = 0;
    bool m_ended = false;
    int m_error = 0;
};

} // namespace veltrin::cli
