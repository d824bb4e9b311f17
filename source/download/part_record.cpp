#include "download/part_record.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace veltrin {

namespace {

constexpr std::string_view kMagic = "veltrin-part ";
constexpr int kVersion = 1;

using Kind = PartUse::Kind;

std::optional<std::int64_t> Number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

// A value stays on its line whatever a server sent.
std::string OneLine(std::string value) {
    for (char& c : value) {
        c = c == '\n' || c == '\r' ? ' ' : c;
    }
    return value;
}

// The record, or why it cannot be used: nothing for a record of a later version.
std::optional<PartRecord> Parse(std::string_view text, std::string& problem) {
    const auto lineEnd = text.find('\n');
    const std::string_view first = text.substr(0, lineEnd);
    if (!first.starts_with(kMagic)) {
        problem = text.empty() ? "its record is empty" : "its record is not one";
        return std::nullopt;
    }
    const auto version = Number(first.substr(kMagic.size()));
    if (!version || *version < kVersion) {
        problem = "its record is not one";
        return std::nullopt;
    }
    if (*version > kVersion) {
        problem = "it was made by a newer version of Veltrin";
        return std::nullopt;
    }
    std::map<std::string, std::string, std::less<>> fields;
    for (std::size_t at = lineEnd; at != std::string_view::npos && at < text.size();) {
        const auto end = text.find('\n', at + 1);
        const std::string_view line = text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        if (const auto equals = line.find('='); equals != std::string_view::npos) {
            fields.emplace(line.substr(0, equals), line.substr(equals + 1));
        }
        at = end;
    }
    for (const char* key : {"video", "format", "page", "address", "validator", "total", "saved"}) {
        if (!fields.contains(key)) {
            problem = std::string("its record is damaged (no ") + key + ")";
            return std::nullopt;
        }
    }
    const auto format = Number(fields["format"]);
    const auto total = Number(fields["total"]);
    const auto saved = Number(fields["saved"]);
    if (!format || !total || !saved || *saved < 0 || *total < -1 || (*total >= 0 && *saved > *total) ||
        fields["video"].empty()) {
        problem = "its record is damaged";
        return std::nullopt;
    }
    return PartRecord{{fields["video"], static_cast<int>(*format)},
                      fields["page"],
                      fields["address"],
                      fields["validator"],
                      *total,
                      *saved};
}

} // namespace

std::string RecordText(const PartRecord& r) {
    return std::string(kMagic) + std::to_string(kVersion) + "\nvideo=" + OneLine(r.stream.video) +
           "\nformat=" + std::to_string(r.stream.format) + "\npage=" + OneLine(r.page) +
           "\naddress=" + OneLine(r.address) + "\nvalidator=" + OneLine(r.validator) +
           "\ntotal=" + std::to_string(r.total) + "\nsaved=" + std::to_string(r.saved) + "\n";
}

PartUse JudgePart(std::optional<std::string_view> recordText, const StreamIdentity& wanted, std::int64_t partBytes,
                  bool afresh) {
    if (!recordText) {
        // Made a moment ago by a run that stopped before it could say what it holds, or by hand.
        return {Kind::StartOver, {}, partBytes > 0 ? "it has no record of what it holds" : ""};
    }
    std::string problem;
    const std::optional<PartRecord> record = Parse(*recordText, problem);
    if (!record) {
        return {problem.find("newer") != std::string::npos ? Kind::LeaveAlone : Kind::StartOver, {}, problem};
    }
    if (record->stream != wanted) {
        return {Kind::LeaveAlone, {}, "it holds another stream"};
    }
    if (afresh) {
        return {Kind::StartOver, {}, "asked to start afresh"};
    }
    if (record->saved > 0 && record->validator.empty()) {
        // The length alone cannot tell two versions apart.
        return {Kind::StartOver, {}, "the server gave nothing to tell its versions apart by"};
    }
    if (record->saved > partBytes) {
        return {Kind::StartOver, {}, "it holds fewer bytes than its record names"};
    }
    return {Kind::Continue, *record, {}};
}

int WriteRecordFile(const std::string& path, const PartRecord& record) {
    const std::string text = RecordText(record);
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    const int error = written ? 0 : errno == 0 ? EIO : errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int failed = written ? errno : error;
        ::unlink(temporary.c_str());
        return failed;
    }
    // The rename itself, to the disk.
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

std::optional<std::string> ReadRecordFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    // A record is a few hundred bytes; one that is not is no record.
    for (size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < 65536;) {
        text.append(buffer, n);
    }
    std::fclose(file);
    return text;
}

} // namespace veltrin
