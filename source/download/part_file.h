#pragma once

// The part file a download writes ("<file>.part") and the small record beside it
// ("<file>.part.resume") that lets a later run continue it: their names, the lock that says a
// live process owns them, the record's text, and the final rename. Nothing else spells them.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

// Where a download goes: "<stem>.<extension>" in folder, or "<stem> (2).<extension>" and so on
// when that exists. No extension: it follows the response's Content-Type. An empty one: none.
struct DownloadTarget {
    std::filesystem::path folder;
    std::string stem;
    std::optional<std::string> extension;
    // The user chose to replace a file of the name: it is, once the download has finished whole.
    bool replace = false;
};

// Which stream a download is: the same video and format code, whatever address a watch page
// fetched again signs it with.
struct StreamIdentity {
    std::string video; // the video's id (or, without one, its watch page)
    int format = -1;   // the format code; -1 when the address names none
    bool operator==(const StreamIdentity&) const = default;
};

// One range of a part several connections fetch: [start, end) of the body, the bytes up to saved
// forced to the disk, those up to written handed to the system.
struct PartRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t saved = 0;
    std::int64_t written = 0;
    bool operator==(const PartRange&) const = default;
};

struct PartRecord {
    StreamIdentity stream;
    std::string page;        // the watch page's link
    std::string address;     // the stream's address the bytes came from
    std::string validator;   // its strong ETag, else its Last-Modified; empty when it gave neither
    std::int64_t total = -1; // the whole body's length; -1 while unknown
    std::int64_t saved = 0;  // bytes at the part's start forced to the disk
    // Bytes at the part's start the process had handed to the system, and the boot they were
    // handed in: they survive the process, not the machine. A record of the first version names
    // neither (written = saved, boot empty).
    std::int64_t written = 0;
    std::string boot{};
    // The whole body is in the part, kept under the part's name for a step still to come (the
    // sound taken out of it) so that a stop meanwhile leaves no second name; written = total.
    bool whole = false;
    // Empty while one connection fetches the part from its start. Else the ranges, in order, from
    // the first byte to total; saved and written then sum up theirs.
    std::vector<PartRange> ranges{};
    bool operator==(const PartRecord&) const = default;
};

// "veltrin-part 2" and a key=value line for each field ("whole=1" only when whole); "veltrin-part
// 3" with ranges as well. A value's line ends and other control characters become spaces.
std::string RecordText(const PartRecord& record);

// This boot's id (/proc/sys/kernel/random/boot_id); empty when the system does not tell it.
const std::string& BootId();

// Whether text may go into a request's header: no control character in it.
bool HeaderSafe(std::string_view text);

// What to do with a part file met under the name a download wants.
struct PartUse {
    enum class Kind {
        Continue,   // go on after `from` bytes (the part is cut to them)
        StartOver,  // empty the part and start from the first byte
        LeaveAlone, // not this download's to touch: take the next free name
    };
    Kind kind = Kind::StartOver;
    PartRecord record{};   // Continue: what the record says
    std::int64_t from = 0; // Continue: the bytes at the part's start that are trusted; with ranges,
                           // their sum, and each range's written end is the one trusted
    std::string reason{};  // why it starts over or is left alone; empty when nothing needs saying
};

// Judges a part of partBytes bytes by its record's text (none: no record beside it) for the
// stream wanted; afresh: the user asked to start over rather than continue. In the boot that
// wrote it, a part is trusted up to the bytes written; after another, up to those saved; so is
// each of its ranges. A part trusted whole is continued without a validator: nothing is to be
// joined to it.
PartUse JudgePart(std::optional<std::string_view> recordText, const StreamIdentity& wanted, std::int64_t partBytes,
                  bool afresh, std::string_view boot = BootId());

// The part file of the final file, and its record.
std::filesystem::path PartPathOf(const std::filesystem::path& file);
std::filesystem::path RecordPathOf(const std::filesystem::path& file);
// A live process (this one included) holds the part of file: it is that process's to continue.
bool PartHeldElsewhere(const std::filesystem::path& file);
// The record beside the part of file, when it has a usable one.
std::optional<PartRecord> ReadPartRecordOf(const std::filesystem::path& file);
// Removes the part of file and its record; false, touching nothing, when a live process holds it.
bool RemovePartOf(const std::filesystem::path& file);

// The part file a download owns: made or adopted under the first free name, locked (flock)
// while owned, and given the final name at the end.
class PartFile {
public:
    PartFile() = default;
    ~PartFile() { Release(); }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Makes a new part under the first name that neither a file nor another part has: 0, or the
    // errno that stopped it.
    int Create(const DownloadTarget& target, const std::string& extension);
    // Takes the first name whose part no live process holds, judged by the record beside it: a
    // part this stream left is kept up to the bytes its record vouches for, or emptied when it
    // cannot be; another stream's, or a newer program's, is left alone (and told to note).
    // 0, or the errno that stopped it; use says what became of the part taken.
    int Adopt(const DownloadTarget& target, const std::string& extension, const StreamIdentity& wanted, bool afresh,
              PartUse& use, const std::function<void(const std::string&)>& note);
    // The part under the name is locked afresh when it was removed or replaced meanwhile.
    void Relock();
    // Replaces the record: durable, forced to the disk; else only handed to the system, which
    // a killed process does not undo. 0, or the errno of the step that failed.
    int WriteRecord(const PartRecord& record, bool durable) const;
    // Gives the part the final name, never over another file (but the one the user chose to
    // replace), and removes its record. 0, or the errno that stopped it, with the name tried.
    int Finish(std::filesystem::path& named);
    // Removes the part and its record.
    void Remove();
    // Lets the part go, unlocked, for a later run.
    void Release();

    bool Owned() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    const std::filesystem::path& Path() const { return m_part; }
    const std::filesystem::path& File() const { return m_file; }

private:
    std::filesystem::path NameAt(int n) const;
    void Take(int fd, int n, const std::filesystem::path& file);

    DownloadTarget m_target;
    std::string m_extension;
    int m_number = 1;
    std::filesystem::path m_file;
    std::filesystem::path m_part;
    int m_fd = -1;
};

} // namespace veltrin
