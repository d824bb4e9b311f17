#pragma once

// What continuing a download needs, kept in a small file beside its part file: which stream the
// part holds, where it came from, and how many of its bytes are known to be on the disk.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrin {

// Which stream a download is: the same video and format code, whatever address a watch page
// fetched again signs it with.
struct StreamIdentity {
    std::string video; // the video's id (or, without one, its watch page)
    int format = -1;   // the format code; -1 when the address names none
    bool operator==(const StreamIdentity&) const = default;
};

struct PartRecord {
    StreamIdentity stream;
    std::string page;        // the watch page's link
    std::string address;     // the stream's address the bytes came from
    std::string validator;   // its strong ETag, else its Last-Modified; empty when it gave neither
    std::int64_t total = -1; // the whole body's length; -1 while unknown
    std::int64_t saved = 0;  // bytes at the part's start known to be on the disk
};

// "veltrin-part 1" and a key=value line for each field.
std::string RecordText(const PartRecord& record);

// What to do with a part file met under the name a download wants.
struct PartUse {
    enum class Kind {
        Continue,   // go on after saved bytes (the part is cut to them)
        StartOver,  // empty the part and start from the first byte
        LeaveAlone, // not this download's to touch: take the next free name
    };
    Kind kind = Kind::StartOver;
    PartRecord record{};  // Continue: what the record says
    std::string reason{}; // why it starts over or is left alone; empty when nothing needs saying
};

// Judges a part of partBytes bytes by its record's text (none: no record beside it) for the
// stream wanted; afresh: the user asked to start over rather than continue.
PartUse JudgePart(std::optional<std::string_view> recordText, const StreamIdentity& wanted, std::int64_t partBytes,
                  bool afresh);

// Replaces the record at path with record, atomically: a temporary file in the same folder,
// forced to the disk, then renamed over it. 0, or the errno of the step that failed.
int WriteRecordFile(const std::string& path, const PartRecord& record);

// The record file's text; nothing when there is none or it cannot be read.
std::optional<std::string> ReadRecordFile(const std::string& path);

} // namespace veltrin
