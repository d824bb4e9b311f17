#include "download/part_file.h"

#include "core/file_name.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin {

namespace {

namespace fs = std::filesystem;
using Kind = PartUse::Kind;

constexpr std::string_view kMagic = "veltrin-part ";
// 1: no boot and no written figure. 2: both. 3: the ranges of several connections as well.
constexpr int kVersion = 3;
constexpr const char* kPart = ".part";
constexpr const char* kRecord = ".part.resume";

std::optional<std::int64_t> Number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

bool Control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// A value stays on its line, and out of any header, whatever a server sent.
std::string Clean(std::string value) {
    std::replace_if(value.begin(), value.end(), Control, ' ');
    return value;
}

// "start-end/saved/written" for each range, comma-separated: in order, from 0 to total, each
// start <= saved <= written <= end.
bool ParseRanges(std::string_view text, std::int64_t total, std::vector<PartRange>& ranges) {
    std::int64_t next = 0;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto dash = item.find('-');
        const auto slash = item.find('/');
        const auto second = slash == std::string_view::npos ? slash : item.find('/', slash + 1);
        if (dash == std::string_view::npos || slash < dash || second == std::string_view::npos) {
            return false;
        }
        const auto start = Number(item.substr(0, dash));
        const auto end = Number(item.substr(dash + 1, slash - dash - 1));
        const auto saved = Number(item.substr(slash + 1, second - slash - 1));
        const auto written = Number(item.substr(second + 1));
        if (!start || !end || !saved || !written || *start != next || *saved < *start || *written < *saved ||
            *end < *written || *end <= *start) {
            return false;
        }
        ranges.push_back({*start, *end, *saved, *written});
        next = *end;
    }
    return !ranges.empty() && next == total;
}

// The record, or why it cannot be used: nothing for a record of a later version.
std::optional<PartRecord> Parse(std::string_view text, std::string& problem) {
    const auto lineEnd = text.find('\n');
    const std::string_view first = text.substr(0, lineEnd);
    const auto version = first.starts_with(kMagic) ? Number(first.substr(kMagic.size())) : std::nullopt;
    if (!version || *version < 1) {
        problem = text.empty() ? "its record is empty" : "its record is not one";
        return std::nullopt;
    }
    if (*version > kVersion) {
        problem = "it was made by a newer version of Veltrin";
        return std::nullopt;
    }
    std::map<std::string, std::string, std::less<>> fields;
    for (std::size_t at = lineEnd; at != std::string_view::npos && at + 1 < text.size();) {
        const auto end = text.find('\n', at + 1);
        const std::string_view line = text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        const auto equals = line.find('=');
        const std::string key(line.substr(0, equals));
        if (equals == std::string_view::npos || !fields.emplace(key, line.substr(equals + 1)).second) {
            problem = "its record is damaged (" + Clean(key) + (equals == std::string_view::npos ? ")" : " twice)");
            return std::nullopt;
        }
        if (std::ranges::any_of(line, Control)) {
            problem = "its record is damaged (a control character in " + key + ")";
            return std::nullopt;
        }
        at = end;
    }
    std::vector<const char*> keys = {"video", "format", "page", "address", "validator", "total", "saved"};
    if (*version >= 2) {
        keys.insert(keys.end(), {"written", "boot"});
    }
    if (*version >= 3) {
        keys.push_back("ranges");
    }
    for (const char* key : keys) {
        if (!fields.contains(key)) {
            problem = std::string("its record is damaged (no ") + key + ")";
            return std::nullopt;
        }
    }
    const auto format = Number(fields["format"]);
    const auto total = Number(fields["total"]);
    const auto saved = Number(fields["saved"]);
    const auto written = *version >= 2 ? Number(fields["written"]) : saved;
    const auto whole = fields.find("whole");
    const bool isWhole = whole != fields.end() && whole->second == "1";
    if (!format || !total || !saved || !written || *saved < 0 || *written < *saved || *total < -1 ||
        (*total >= 0 && *written > *total) || fields["video"].empty() ||
        (whole != fields.end() && whole->second != "0" && !(isWhole && *written == *total))) {
        problem = "its record is damaged";
        return std::nullopt;
    }
    std::vector<PartRange> ranges;
    if (*version >= 3 && !ParseRanges(fields["ranges"], *total, ranges)) {
        problem = "its record is damaged (ranges)";
        return std::nullopt;
    }
    const std::string& address = fields["address"];
    if (!address.starts_with("http://") && !address.starts_with("https://")) {
        problem = "its record names no web address";
        return std::nullopt;
    }
    return PartRecord{{fields["video"], static_cast<int>(*format)},
                      fields["page"],
                      address,
                      fields["validator"],
                      *total,
                      *saved,
                      *written,
                      fields["boot"],
                      isWhole,
                      std::move(ranges)};
}

int WriteRecordFile(const fs::path& path, const PartRecord& record, bool durable) {
    const std::string text = RecordText(record);
    // A durable record may be written beside the engine's thread while it writes another.
    const std::string temporary = path.string() + (durable ? ".kept" : ".new");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && (!durable || ::fsync(fd) == 0);
    const int error = written ? 0 : errno == 0 ? EIO : errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int failed = written ? errno : error;
        ::unlink(temporary.c_str());
        return failed;
    }
    if (durable) { // the rename itself, to the disk
        if (const int dir = ::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return 0;
}

std::optional<std::string> ReadRecordFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // A record is a few hundred bytes; one that is not is no record.
    std::string text(65536, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// Whether the file open as fd is still the one named path, and under no other name (as a part
// that finished meanwhile would be).
bool NamedOnlyThere(int fd, const fs::path& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
           named.st_dev == held.st_dev && held.st_nlink == 1;
}

} // namespace

std::string RecordText(const PartRecord& r) {
    std::string ranges;
    for (const PartRange& range : r.ranges) {
        ranges += (ranges.empty() ? "" : ",") + std::to_string(range.start) + "-" + std::to_string(range.end) + "/" +
                  std::to_string(range.saved) + "/" + std::to_string(std::max(range.written, range.saved));
    }
    // A record of one range stays readable by the build before ranges.
    const std::string version = r.ranges.empty() ? "2" : std::to_string(kVersion);
    return std::string(kMagic) + version + "\nvideo=" + Clean(r.stream.video) +
           "\nformat=" + std::to_string(r.stream.format) + "\npage=" + Clean(r.page) + "\naddress=" + Clean(r.address) +
           "\nvalidator=" + Clean(r.validator) + "\ntotal=" + std::to_string(r.total) +
           "\nsaved=" + std::to_string(r.saved) + "\nwritten=" + std::to_string(std::max(r.written, r.saved)) +
           "\nboot=" + Clean(r.boot) + (r.whole ? "\nwhole=1\n" : "\n") +
           (ranges.empty() ? "" : "ranges=" + ranges + "\n");
}

const std::string& BootId() {
    static const std::string id = [] {
        std::string text;
        std::getline(std::ifstream("/proc/sys/kernel/random/boot_id"), text);
        return Clean(text);
    }();
    return id;
}

bool HeaderSafe(std::string_view text) { return std::ranges::none_of(text, Control); }

PartUse JudgePart(std::optional<std::string_view> recordText, const StreamIdentity& wanted, std::int64_t partBytes,
                  bool afresh, std::string_view boot) {
    if (!recordText) {
        // Made a moment ago by a run that stopped before it could say what it holds, or by hand.
        return {Kind::StartOver, {}, 0, partBytes > 0 ? "it has no record of what it holds" : ""};
    }
    std::string problem;
    std::optional<PartRecord> record = Parse(*recordText, problem);
    if (!record) {
        return {problem.find("newer") != std::string::npos ? Kind::LeaveAlone : Kind::StartOver, {}, 0, problem};
    }
    if (record->stream != wanted) {
        return {Kind::LeaveAlone, {}, 0, "it holds another stream"};
    }
    if (afresh) {
        return {Kind::StartOver, {}, 0, "asked to start afresh"};
    }
    if (record->saved > partBytes) {
        return {Kind::StartOver, {}, 0, "it holds fewer bytes than its record names"};
    }
    // What a killed process wrote is in the part; what a machine that went down had not forced
    // to the disk may not be, whatever the part's length says.
    const bool sameBoot = !record->boot.empty() && record->boot == boot;
    std::int64_t from = sameBoot ? std::min(record->written, partBytes) : record->saved;
    if (!record->ranges.empty()) {
        // The part was made whole-length at once: each range is judged as one connection's part.
        from = 0;
        for (PartRange& range : record->ranges) {
            if (range.saved > partBytes) {
                return {Kind::StartOver, {}, 0, "it holds fewer bytes than its record names"};
            }
            range.written = sameBoot ? std::clamp(partBytes, range.saved, range.written) : range.saved;
            from += range.written - range.start;
        }
    }
    // (A whole part is joined to nothing: it needs none.)
    if (from > 0 && record->validator.empty() && !(record->whole && from == record->total)) {
        // The length alone cannot tell two versions apart.
        return {Kind::StartOver, {}, 0, "the server gave nothing to tell its versions apart by"};
    }
    return {Kind::Continue, std::move(*record), from, {}};
}

fs::path PartPathOf(const fs::path& file) { return fs::path(file) += kPart; }

fs::path RecordPathOf(const fs::path& file) { return fs::path(file) += kRecord; }

bool PartHeldElsewhere(const fs::path& file) {
    const int fd = ::open(PartPathOf(file).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::optional<PartRecord> ReadPartRecordOf(const fs::path& file) {
    std::string problem;
    const auto text = ReadRecordFile(RecordPathOf(file));
    return text ? Parse(*text, problem) : std::nullopt;
}

bool RemovePartOf(const fs::path& file) {
    const fs::path part = PartPathOf(file);
    const int fd = ::open(part.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // Held while both go: no other process adopts the part between the two.
    ::unlink(part.c_str());
    ::unlink(RecordPathOf(file).c_str());
    if (fd >= 0) {
        ::close(fd);
    }
    return true;
}

fs::path PartFile::NameAt(int n) const {
    std::string name = NumberedFileName(m_target.stem, m_extension, n);
    if (m_extension.empty()) {
        name.pop_back(); // no extension, and no dot
    }
    return m_target.folder / name;
}

void PartFile::Take(int fd, int n, const fs::path& file) {
    m_fd = fd;
    m_number = n;
    m_file = file;
    m_part = PartPathOf(file);
}

int PartFile::Create(const DownloadTarget& target, const std::string& extension) {
    PartUse made;
    return Adopt(target, extension, {}, true, made, {});
}

int PartFile::Adopt(const DownloadTarget& target, const std::string& extension, const StreamIdentity& wanted,
                    bool afresh, PartUse& use, const std::function<void(const std::string&)>& note) {
    Release();
    m_target = target;
    m_extension = extension;
    // Without a stream, only a part made now is this download's: there is no record to judge by.
    const bool fresh = wanted.video.empty();
    for (int n = 1; n < 10000; ++n) {
        const fs::path file = NameAt(n);
        std::error_code ignored;
        // A file the user chose to replace is replaced once the new one is whole.
        if (!(target.replace && n == 1) && (fs::exists(file, ignored) || fs::is_symlink(file, ignored))) {
            continue;
        }
        const fs::path part = PartPathOf(file);
        bool made = false;
        int fd = fresh ? -1 : ::open(part.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && (fresh || errno == ENOENT)) {
            made = true;
            fd = ::open(part.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        }
        if (fd < 0) {
            if (errno == EEXIST || errno == ELOOP) {
                continue;
            }
            return errno;
        }
        // Another live process writes it; or it finished meanwhile and has the final name as well.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !NamedOnlyThere(fd, part)) {
            ::close(fd);
            continue;
        }
        struct stat st {};
        ::fstat(fd, &st);
        use = fresh ? PartUse{} : JudgePart(ReadRecordFile(RecordPathOf(file)), wanted, st.st_size, afresh);
        if (use.kind == Kind::LeaveAlone) {
            if (made) {
                ::unlink(part.c_str());
            }
            ::close(fd);
            note("\"" + part.filename().string() + "\" left alone: " + use.reason);
            continue;
        }
        Take(fd, n, file);
        // A part of several ranges keeps its whole length: each range goes on where its record says.
        const std::int64_t kept = use.kind != Kind::Continue  ? 0
                                  : use.record.ranges.empty() ? use.from
                                                              : use.record.total;
        // Bytes after those the record vouches for may not be the body's. (An empty part is not
        // truncated: the file system would then force the new bytes out at its close.)
        const bool ranges = use.kind == Kind::Continue && !use.record.ranges.empty();
        if ((st.st_size > kept || (ranges && st.st_size < kept)) && ::ftruncate(fd, kept) != 0) {
            return errno;
        }
        return 0;
    }
    return EEXIST;
}

void PartFile::Relock() {
    if (m_fd >= 0 && NamedOnlyThere(m_fd, m_part)) {
        return;
    }
    ::close(m_fd);
    m_fd = ::open(m_part.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_EX | LOCK_NB);
    }
}

int PartFile::WriteRecord(const PartRecord& record, bool durable) const {
    return WriteRecordFile(RecordPathOf(m_file), record, durable);
}

int PartFile::Finish(fs::path& named) {
    for (int n = m_number;; ++n) {
        named = NameAt(n);
        if (m_target.replace && n == 1) {
            if (::rename(m_part.c_str(), named.c_str()) != 0) {
                return errno;
            }
            break;
        }
        if (::link(m_part.c_str(), named.c_str()) == 0) {
            ::unlink(m_part.c_str());
            break;
        }
        if (errno == EEXIST) {
            continue;
        }
        // A file system without hard links: a rename that refuses to replace.
        if (::renameat2(AT_FDCWD, m_part.c_str(), AT_FDCWD, named.c_str(), RENAME_NOREPLACE) == 0) {
            break;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    ::unlink(RecordPathOf(m_file).c_str());
    m_file = named;
    m_part.clear();
    Release();
    return 0;
}

void PartFile::Remove() {
    if (!m_part.empty()) {
        ::unlink(m_part.c_str());
        ::unlink(RecordPathOf(m_file).c_str());
        m_part.clear();
    }
    Release();
}

void PartFile::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace veltrin
