#include "download/part_file.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace veltrin {
namespace {

using namespace std::string_literals;

// Of a 1000-byte body, 500 bytes forced to the disk and 800 handed to the system in boot b1.
const PartRecord kHalf{{"abc", 22}, "http://w", "http://s", "\"v1\"", 1000, 500, 800, "b1"};
const std::string kText = RecordText(kHalf);
// What the build before boot ids wrote.
const std::string kFirst =
    "veltrin-part 1\nvideo=abc\nformat=22\npage=http://w\naddress=http://s\nvalidator=\"v1\"\ntotal=1000\nsaved=500\n";

// Two connections' ranges of it: 0-400 whole (300 forced out), 400-1000 up to 700 (600 forced out).
// Filled in after a copy: GCC 12 at -O3 takes a listed one's strings for uninitialised.
const PartRecord kRanges = [] {
    PartRecord r = kHalf;
    r.written = 700;
    r.ranges = {{0, 400, 300, 400}, {400, 1000, 600, 700}};
    return r;
}();
const std::string kRangesText = RecordText(kRanges);

std::string With(const std::function<void(PartRecord&)>& change) {
    PartRecord r = kHalf;
    change(r);
    return RecordText(r);
}

std::string Replaced(std::string_view from, std::string_view to, std::string text = kText) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(JudgePart, ContinuesOnlyWhatItsRecordVouchesFor) {
    const struct {
        std::optional<std::string> record;
        std::int64_t partBytes;
        std::string use;
        const char* boot = "b1";
        bool afresh = false;
    } rows[] = {
        {kText, 900, "continue from 800"},       // killed: what it wrote is in the part
        {kText, 700, "continue from 700"},       // not all it wrote reached the part
        {kText, 900, "continue from 500", "b2"}, // the machine went down: only what was forced out
        {kText, 900, "continue from 500", ""},
        {kFirst, 900, "continue from 500"},
        {kText.substr(0, kText.size() - 3), 900, "continue from 500"}, // cut short: its boot is not this one
        {kText, 499, "start over: it holds fewer bytes than its record names"},
        {With([](auto& r) { r.saved = r.written = 0, r.total = -1, r.validator = ""; }), 0, "continue from 0"},
        {With([](auto& r) { r.validator = "\"v1\"\nsaved=999"; }), 999, "continue from 800"}, // stays on its line
        {With([](auto& r) { r.validator = ""; }), 900,
         "start over: the server gave nothing to tell its versions apart by"},
        {kText, 900, "start over: asked to start afresh", "b1", true},
        {std::nullopt, 0, "start over"},
        {std::nullopt, 10, "start over: it has no record of what it holds"},
        {"", 500, "start over: its record is empty"},
        {"veltrin-part x\n", 500, "start over: its record is not one"},
        {kText.substr(0, kText.find("total=")), 500, "start over: its record is damaged (no total)"},
        {kFirst.substr(0, kFirst.find("saved=")), 500, "start over: its record is damaged (no saved)"},
        {Replaced("saved=500", "saved=500\nsaved=900"), 900, "start over: its record is damaged (saved twice)"},
        {Replaced("\"v1\"", "\"v1\0\r\""s), 900,
         "start over: its record is damaged (a control character in validator)"},
        {Replaced("\"v1\"", "\"v1\"\x7f"), 900, "start over: its record is damaged (a control character in validator)"},
        {Replaced("http://s", "file:///s"), 900, "start over: its record names no web address"},
        {With([](auto& r) { r.written = 1001; }), 5000, "start over: its record is damaged"},
        {kText + "whole=1\n", 900, "start over: its record is damaged"}, // whole, yet 800 of 1000 bytes
        {With([](auto& r) { r.validator = "", r.written = 1000, r.whole = true; }), 1000, "continue from 1000"},
        {"veltrin-part 4\nranges=0-1\n", 500, "leave alone: it was made by a newer version of Veltrin"},
        // Each range as one connection's part: its written end in this boot, its saved one after another.
        {kRangesText, 1000, "continue from 700 (400 700)"},
        {kRangesText, 1000, "continue from 500 (300 600)", "b2"},
        {kRangesText, 650, "continue from 650 (400 650)"},
        {kRangesText, 599, "start over: it holds fewer bytes than its record names"},
        {Replaced("/400,400-", "/400,500-", kRangesText), 1000, "start over: its record is damaged (ranges)"},
        {Replaced("/300/400", "/300/200", kRangesText), 1000, "start over: its record is damaged (ranges)"},
        {With([](auto& r) { r.stream.video = "abd"; }), 500, "leave alone: it holds another stream"},
        {With([](auto& r) { r.stream.format = 18; }), 500, "leave alone: it holds another stream", "b1", true},
    };
    for (const auto& row : rows) {
        const PartUse use = JudgePart(row.record, {"abc", 22}, row.partBytes, row.afresh, row.boot);
        const char* kinds[] = {"continue from ", "start over", "leave alone"};
        std::string said = kinds[static_cast<int>(use.kind)];
        if (use.kind == PartUse::Kind::Continue) {
            said += std::to_string(use.from);
            EXPECT_EQ(use.record.address, "http://s");
            for (const PartRange& range : use.record.ranges) {
                said +=
                    (range.start == 0 ? " (" : " ") + std::to_string(range.written) + (range.end == 1000 ? ")" : "");
            }
        }
        EXPECT_EQ(said + (use.reason.empty() ? "" : ": " + use.reason), row.use) << row.record.value_or("none");
    }
}

// The record as written is the record read, this build's and the one before; a part another
// process holds is never removed.
TEST(PartFile, RecordReadBackAndHeldPartKept) {
    testing::TemporaryFolder folder;
    const auto file = folder / "Clip.mp4";
    const PartRecord whole{kHalf.stream, "http://w", "http://s", "\"v1\"", 1000, 500, 1000, "b1", true};
    for (const auto& [text, record] :
         {std::pair{kText, kHalf},
          {kRangesText, kRanges},
          {RecordText(whole), whole},
          {kFirst, PartRecord{kHalf.stream, "http://w", "http://s", "\"v1\"", 1000, 500, 500, ""}}}) {
        std::ofstream(RecordPathOf(file)) << text;
        EXPECT_EQ(ReadPartRecordOf(file), record) << text;
    }
    std::ofstream(PartPathOf(file)) << "bytes";
    const int other = ::open(PartPathOf(file).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_TRUE(PartHeldElsewhere(file));
    EXPECT_FALSE(RemovePartOf(file));
    EXPECT_TRUE(std::filesystem::exists(PartPathOf(file)) && std::filesystem::exists(RecordPathOf(file)));
    ::close(other);
    EXPECT_TRUE(RemovePartOf(file));
    EXPECT_FALSE(std::filesystem::exists(PartPathOf(file)) || std::filesystem::exists(RecordPathOf(file)));
}

} // namespace
} // namespace veltrin
