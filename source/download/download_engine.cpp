#include "download/download_engine.h"

#include "core/file_name.h"
#include "core/link.h"
#include "core/progress.h"
#include "download/attempt_verdict.h"
#include "download/connection_plan.h"
#include "net/curl_setup.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Kind = AttemptVerdict::Kind;

constexpr auto kProgressEvery = std::chrono::milliseconds(250);
// How often the record names the bytes handed to the system: what a killed process loses at most.
constexpr auto kNoteEvery = std::chrono::milliseconds(250);
constexpr long kBufferBytes = 512 * 1024;
// How long the download's speed is measured with a number of connections before another is added.
constexpr auto kRateWindow = std::chrono::milliseconds(1000);
// All downloads together, to one host: more looks like an attack to a server.
constexpr int kMostPerHost = 8;
constexpr int kMostConnections = 8;
constexpr std::int64_t kOpenEnd = INT64_MAX;

// "scheme://host:port" of an address: what connections are counted by.
std::string HostOf(const std::string& url) {
    const auto scheme = url.find("://");
    const auto from = scheme == std::string::npos ? 0 : scheme + 3;
    return url.substr(0, url.find_first_of("/?#", from));
}

std::string Strerror(int error) { return std::strerror(error); }

// The address a look-up found, brought back to the engine's loop; one the engine no longer
// needs finds it gone.
struct LookUps {
    std::mutex mutex;
    std::function<void(int id, int round, std::optional<std::string> address)> deliver; // empty once the engine is gone
};

} // namespace

struct DownloadEngine::Impl {
    // What one attempt has: its transfer, and the facts its callbacks record for the verdict.
    struct Transfer;
    struct Attempt {
        Transfer* t = nullptr;
        CURL* easy = nullptr;
        curl_slist* requestHeaders = nullptr;
        DownloadProgress before;
        AttemptFacts facts;
        bool began = false; // the head has been judged at the body's first byte
        net::StallWatch watch;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        // With several connections, the span this one fetches; -1: the one connection, appending.
        int span = -1;
        std::int64_t askedEnd = kOpenEnd; // the end of the range asked for: the span's may come sooner
        bool reachedEnd = false;          // its span is whole, and the rest of the answer not wanted
        bool held = false;                // paused by the speed limit
    };

    // A range of the part while several connections fetch it (see PartRange).
    struct Span {
        std::int64_t start = 0;
        std::int64_t pos = 0; // bytes before it are in the part
        std::int64_t end = 0;
        std::int64_t saved = 0;
        std::int64_t written = 0;
        Attempt* lane = nullptr; // the connection fetching it
    };

    struct Transfer {
        DownloadInfo info;
        DownloadTarget target;
        PartFile file;             // owned (locked) while this download holds it
        std::FILE* part = nullptr; // the part file, open for writing
        std::int64_t furthest = 0; // the most bytes on disk that any attempt has left
        std::string validator;     // of the body the part file holds
        Attempt attempt;
        Clock::time_point nextTry;
        Clock::time_point lastReport;
        std::int64_t bytesAtLastReport = 0;
        Impl* engine = nullptr;
        std::optional<Continuation> continuation; // only with a known extension
        std::int64_t synced = 0;                  // bytes at the part's start forced to the disk
        std::int64_t written = 0;                 // bytes at the part's start handed to the system
        Clock::time_point lastKeep;
        Clock::time_point lastNote;
        bool foundAgain = false; // the address has been asked for again since bytes last came
        bool whole = false;      // its part, adopted, holds the whole body already
        int lookUp = 0;          // the round of the look-up of its address under way; 0: none
        std::string lostAddress; // why the address was looked up again
        std::function<std::optional<std::string>()> findAddress;
        // Empty while one connection fetches the part from its start (t.attempt, appending). Else
        // the part has its whole length and t.attempt and lanes each fetch a span of it.
        std::vector<Span> spans;
        std::vector<std::unique_ptr<Attempt>> lanes;
        int most = 1;           // connections allowed now: the cap, lowered when the server refuses more
        bool noSplit = false;   // the server stopped sending parts: one connection from now on
        bool confirmed = false; // a span's answer of this round showed ranges are honoured
        Clock::time_point windowStart;
        std::int64_t windowBytes = 0;
        int windowLanes = -1; // connections throughout the window under way; -1: it does not count
        double rateWith[kMostConnections + 1] = {}; // bytes a second measured with n connections
        // The part forced to the disk beside the engine's thread, and what that names once done:
        // the bytes at the part's start, or each span's written end, as it began.
        std::future<int> keeping;
        std::int64_t keepingTo = 0;
        std::vector<std::int64_t> keepingEnds;
    };

    enum class Command { Pause, Resume, Cancel };

    Options options;
    std::atomic<int> mostAtOnce{3};
    Listener listener;
    CURLM* multi = nullptr;
    std::thread worker; // started by the first Add

    mutable std::mutex mutex;
    std::condition_variable wake;                 // the worker, when it has no transfer to wait on
    mutable std::condition_variable ended;        // those waiting for a download's end
    std::map<int, DownloadInfo> published;        // guarded by mutex
    std::deque<std::pair<int, Transfer*>> added;  // guarded by mutex
    std::deque<std::pair<int, Command>> commands; // guarded by mutex
    std::deque<std::tuple<int, int, std::optional<std::string>>> addresses; // looked up; guarded by mutex
    std::shared_ptr<LookUps> lookUps = std::make_shared<LookUps>();
    int lookUpRounds = 0;
    bool stopping = false; // guarded by mutex
    int lastId = 0;        // guarded by mutex

    std::map<int, std::unique_ptr<Transfer>> transfers; // the worker's own
    SpeedBucket bucket;                                 // the worker's own
    std::atomic<std::int64_t> speedLimit{0};
    std::atomic<int> connections{1}; // Options::connections, as SetConnections changed it
    bool held = false;               // some transfer waits for the speed limit

    static void ResetAttempt(Transfer& t) {
        t.attempt = {};
        t.attempt.t = &t;
    }

    static int Running(const Transfer& t) {
        return (t.attempt.easy ? 1 : 0) +
               static_cast<int>(
                   std::count_if(t.lanes.begin(), t.lanes.end(), [](const auto& l) { return l->easy != nullptr; }));
    }

    template <typename F> static void ForEachLane(Transfer& t, F f) {
        if (t.attempt.easy) {
            f(t.attempt);
        }
        for (auto& lane : t.lanes) {
            if (lane->easy) {
                f(*lane);
            }
        }
    }

    int OnHost(const std::string& host) const {
        int open = 0;
        for (const auto& [id, t] : transfers) {
            open += HostOf(t->info.url) == host ? Running(*t) : 0;
        }
        return open;
    }

    void Publish(Transfer& t, bool always) {
        const auto now = Clock::now();
        if (!always && now - t.lastReport < kProgressEvery) {
            return;
        }
        const double seconds = std::chrono::duration<double>(now - t.lastReport).count();
        if (t.info.state == DownloadState::Downloading && seconds > 0) {
            const double rate = static_cast<double>(t.info.received - t.bytesAtLastReport) / seconds;
            t.info.bytesPerSecond = t.info.bytesPerSecond == 0 ? rate : 0.7 * t.info.bytesPerSecond + 0.3 * rate;
        } else if (t.info.state != DownloadState::Downloading) {
            t.info.bytesPerSecond = 0;
        }
        t.lastReport = now;
        t.bytesAtLastReport = t.info.received;
        t.info.validator = t.validator;
        {
            std::lock_guard lock(mutex);
            published[t.info.id] = t.info;
        }
        if (IsEnded(t.info.state)) {
            ended.notify_all();
        }
        if (listener) {
            listener(t.info);
        }
    }

    void SetState(Transfer& t, DownloadState state, std::string reason = {}) {
        t.info.state = state;
        t.info.reason = std::move(reason);
        Publish(t, true);
    }

    // Takes the first free name for the part: one a continuation's stream left is continued,
    // or emptied when it cannot be. False when the folder cannot be written.
    bool Adopt(Transfer& t) {
        const std::string extension =
            t.target.extension ? *t.target.extension : StreamExtension(std::nullopt, t.attempt.facts.contentType);
        if (!t.continuation) {
            t.attempt.facts.openError = t.file.Create(t.target, extension);
            t.info.file = t.file.File();
            return t.attempt.facts.openError == 0;
        }
        const Continuation& c = *t.continuation;
        const auto note = [&t](const std::string& text) { t.info.note += (t.info.note.empty() ? "" : "; ") + text; };
        PartUse use;
        if ((t.attempt.facts.openError = t.file.Adopt(t.target, extension, c.stream, c.afresh, use, note)) != 0) {
            return false;
        }
        t.info.file = t.file.File();
        const std::int64_t kept = use.kind == PartUse::Kind::Continue ? use.from : 0;
        t.whole = use.record.whole && kept == use.record.total;
        t.info.received = t.synced = t.written = t.furthest = kept;
        t.validator = use.record.validator;
        t.info.total = kept > 0 || !use.record.ranges.empty() ? use.record.total : -1;
        t.spans.clear();
        for (const PartRange& r : use.record.ranges) {
            t.spans.push_back({r.start, r.written, r.end, r.saved, r.written});
        }
        const std::string shown = "\"" + t.file.Path().filename().string() + "\"";
        if (t.whole && c.keepWhole) {
            note(shown + " is whole already");
        } else if (kept > 0) {
            note("continuing " + shown + " after " + ByteSize(kept));
        } else if (!use.reason.empty()) {
            note(shown + " started over: " + use.reason);
        }
        // A part made now gets its record as its body begins: a part without one starts over.
        const bool made = use.kind == PartUse::Kind::StartOver && use.reason.empty();
        t.attempt.facts.openError = made ? 0 : t.file.WriteRecord(Record(t), true);
        return t.attempt.facts.openError == 0;
    }

    PartRecord Record(const Transfer& t) const {
        PartRecord record{t.continuation->stream,
                          t.continuation->page,
                          t.info.url,
                          t.validator,
                          t.info.total,
                          t.synced,
                          t.written,
                          BootId()};
        for (const Span& s : t.spans) {
            record.ranges.push_back({s.start, s.end, s.saved, s.written});
        }
        std::sort(record.ranges.begin(), record.ranges.end(),
                  [](const PartRange& a, const PartRange& b) { return a.start < b.start; });
        return record;
    }

    // Names in the record the bytes handed to the system; durable: forced to the disk first.
    // 0, or the errno that stopped it. A failure leaves the record naming fewer bytes, never more.
    int Note(Transfer& t, bool durable) {
        const auto now = Clock::now();
        t.lastNote = now;
        if (durable) {
            t.lastKeep = now;
        }
        if (!t.continuation || !t.file.Owned()) {
            return 0;
        }
        if (!t.spans.empty()) {
            // Each connection writes straight to the part: what it has written is the system's.
            for (Span& s : t.spans) {
                s.written = s.pos;
            }
            if (durable && ::fdatasync(t.file.Descriptor()) != 0) {
                return errno;
            }
            t.synced = t.written = 0;
            for (Span& s : t.spans) {
                s.saved = durable ? s.written : s.saved;
                t.synced += s.saved - s.start;
                t.written += s.written - s.start;
            }
            return t.file.WriteRecord(Record(t), durable);
        }
        if (t.part != nullptr && std::fflush(t.part) != 0) {
            return errno;
        }
        struct stat st {};
        if ((durable && ::fdatasync(t.file.Descriptor()) != 0) || ::fstat(t.file.Descriptor(), &st) != 0) {
            return errno;
        }
        t.written = std::min<std::int64_t>(t.info.received, st.st_size);
        if (durable) {
            t.synced = t.written;
        }
        return t.file.WriteRecord(Record(t), durable);
    }

    // Whether the part can still be written where it belongs, now and then while bytes arrive:
    // 0, or why not.
    int Check(Transfer& t) {
        struct stat st {};
        if (::stat(t.file.Path().c_str(), &st) != 0 || ::access(t.target.folder.c_str(), W_OK) != 0) {
            return errno;
        }
        return Keep(t);
    }

    // As Note(t, true), but the part is forced to the disk beside the engine's thread, which goes
    // on receiving meanwhile (a sync of a fast download's last seconds takes as long again); the
    // bytes it named are named saved once it is done. 0, or the errno of the last one.
    int Keep(Transfer& t) {
        if (t.keeping.valid()) {
            if (t.keeping.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                return Note(t, false);
            }
            if (const int error = t.keeping.get()) {
                return error;
            }
            t.synced = std::max(t.synced, std::min(t.keepingTo, t.written));
            for (std::size_t i = 0; i < t.keepingEnds.size() && i < t.spans.size(); ++i) {
                Span& s = t.spans[i];
                s.saved = std::max(s.saved, std::min(t.keepingEnds[i], s.written));
            }
        }
        if (const int error = Note(t, false)) {
            return error;
        }
        t.lastKeep = Clock::now();
        if (!t.continuation || !t.file.Owned()) {
            return 0;
        }
        t.keepingTo = t.written;
        t.keepingEnds.clear();
        PartRecord record = Record(t);
        record.saved = record.written;
        for (PartRange& r : record.ranges) {
            r.saved = r.written;
        }
        for (const Span& s : t.spans) {
            t.keepingEnds.push_back(s.written);
        }
        t.keeping = std::async(std::launch::async, [fd = t.file.Descriptor(), record, &file = t.file] {
            return ::fdatasync(fd) != 0 ? errno : file.WriteRecord(record, true);
        });
        return 0;
    }

    // Waits for the part forced to the disk beside the engine's thread, before the part changes.
    static void Settle(Transfer& t) {
        if (t.keeping.valid()) {
            t.keeping.wait();
            t.keeping = {};
        }
    }

    // The part file open for writing: the one of an earlier attempt, or a new one.
    bool EnsurePart(Transfer& t) {
        if (t.part != nullptr) {
            return true;
        }
        if (t.file.Path().empty() && !Adopt(t)) {
            return false;
        }
        t.part = std::fopen(t.file.Path().c_str(), "ab");
        if (t.part == nullptr) {
            t.attempt.facts.openError = errno; // the part cannot be made again: its folder went, say
        }
        return t.part != nullptr;
    }

    // What the head of the last response says, and what the part file holds as its body begins.
    static void ReadHead(Attempt& a) {
        const Transfer& t = *a.t;
        AttemptFacts& facts = a.facts;
        curl_easy_getinfo(a.easy, CURLINFO_RESPONSE_CODE, &facts.status);
        char* type = nullptr;
        curl_easy_getinfo(a.easy, CURLINFO_CONTENT_TYPE, &type);
        facts.contentType = type ? type : "";
        curl_off_t length = -1;
        curl_easy_getinfo(a.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        facts.length = length;
        std::error_code error;
        const auto size = t.file.Path().empty() ? 0 : fs::file_size(t.file.Path(), error);
        facts.partBytes = error ? -1 : static_cast<std::int64_t>(size);
        if (a.span >= 0) { // the part has its whole length: what counts is that it still has
            facts.partBytes = facts.partBytes == t.info.total ? a.before.saved : -1;
        }
    }

    // Whether the download may go on with several connections from the head of its first answer:
    // a part of the body, with something that tells its versions apart, and enough of it to come.
    bool Splittable(const Transfer& t, const Attempt& a, const AttemptVerdict& verdict) const {
        return connections.load() > 1 && !t.noSplit && a.facts.status == 206 && !verdict.fromStart &&
               !a.facts.validator.empty() && verdict.total >= 0 &&
               verdict.total - verdict.saved >= std::max<std::int64_t>(options.splitFrom, 1) && t.file.Owned();
    }

    // The part takes its whole length, the first connection the span after what it holds and the
    // others join it. 0, or the errno that stopped it (the disk full, say: found now, not half-way).
    int Split(Transfer& t, Attempt& a, const AttemptVerdict& verdict) {
        if (t.part != nullptr) {
            if (std::fflush(t.part) != 0) {
                return errno;
            }
            std::fclose(t.part);
            t.part = nullptr;
        }
        const int fd = t.file.Descriptor();
        if (::fallocate(fd, 0, 0, verdict.total) != 0 && (errno != EOPNOTSUPP || ::ftruncate(fd, verdict.total) != 0)) {
            return errno;
        }
        const std::int64_t offset = verdict.saved;
        t.spans.clear();
        if (offset > 0) {
            t.spans.push_back({0, offset, offset, std::min(t.synced, offset), offset});
        }
        t.spans.push_back({offset, offset, verdict.total, offset, offset, &a});
        a.span = static_cast<int>(t.spans.size()) - 1;
        t.most = connections.load();
        t.confirmed = true;
        RestartWindow(t);
        return 0;
    }

    static void RestartWindow(Transfer& t) {
        t.windowStart = Clock::now();
        t.windowBytes = t.info.received;
        t.windowLanes = -1;
    }

    // The body begins: judged by the head, it goes on the part file, from its start or after
    // what is there, or nowhere.
    bool BeginBody(Attempt& a) {
        Transfer& t = *a.t;
        a.began = true;
        ReadHead(a);
        const AttemptVerdict verdict = Judge(a.facts, a.before);
        if (a.span >= 0) {
            // A span's answer: only the very part asked for, of the same version, goes on the part.
            const bool same = verdict.kind == Kind::GoOn && a.facts.status == 206 &&
                              JudgeLane(a.facts, a.before, false, true) == LaneEnd::Free;
            t.confirmed = t.confirmed || same;
            return same;
        }
        if (verdict.kind != Kind::GoOn || !EnsurePart(t)) {
            return false;
        }
        if (verdict.fromStart && (std::fflush(t.part) != 0 || ::ftruncate(::fileno(t.part), 0) != 0 ||
                                  std::fseek(t.part, 0, SEEK_SET) != 0)) {
            a.facts.writeError = errno;
            return false;
        }
        if (verdict.saved == 0) {
            t.validator = a.facts.validator;
        }
        if (verdict.fromStart) {
            t.info.note = "the video has changed on the server since; starting over";
        }
        t.info.received = verdict.saved;
        t.info.total = verdict.total;
        t.synced = std::min(t.synced, verdict.saved);
        t.written = std::min(t.written, verdict.saved);
        t.lastKeep = t.lastNote = Clock::now();
        if (Splittable(t, a, verdict) && (a.facts.writeError = Split(t, a, verdict)) != 0) {
            return false;
        }
        // Named before a byte of this body is written: a record never speaks for another body's bytes.
        if (t.continuation) {
            a.facts.openError = t.file.WriteRecord(Record(t), true);
        }
        return a.facts.openError == 0;
    }

    // The bytes received go on the speed limit's account; past it, the connection waits.
    void Spend(Attempt& a, std::int64_t bytes) {
        if (bucket.Rate() == 0) {
            return;
        }
        const auto now = Clock::now();
        bucket.Spend(bytes, now);
        if (!a.held && bucket.Wait(now) > Clock::duration::zero()) {
            a.held = a.watch.held = held = true;
            curl_easy_pause(a.easy, CURLPAUSE_RECV);
        }
    }

    // Writes all of data at offset: 0, or the errno that stopped it.
    static int WriteAt(int fd, const char* data, std::size_t bytes, std::int64_t offset) {
        while (bytes > 0) {
            const ssize_t n = ::pwrite(fd, data, bytes, offset);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                return n < 0 ? errno : ENOSPC;
            }
            data += n;
            bytes -= static_cast<std::size_t>(n);
            offset += n;
        }
        return 0;
    }

    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto& a = *static_cast<Attempt*>(user);
        Transfer& t = *a.t;
        const size_t bytes = size * count;
        if (!a.began && !t.engine->BeginBody(a)) {
            return 0;
        }
        size_t kept = bytes;
        if (a.span >= 0) {
            Span& s = t.spans[static_cast<std::size_t>(a.span)];
            // A span another connection took the second half of ends sooner than asked.
            kept = static_cast<size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(bytes), s.end - s.pos));
            if (const int error = WriteAt(t.file.Descriptor(), data, kept, s.pos)) {
                a.facts.writeError = error;
                return 0;
            }
            s.pos += static_cast<std::int64_t>(kept);
            a.reachedEnd = s.pos == s.end && a.askedEnd > s.end;
        } else if (std::fwrite(data, 1, bytes, t.part) != bytes) {
            a.facts.writeError = errno;
            return 0;
        }
        a.facts.written += static_cast<std::int64_t>(kept);
        t.info.received += static_cast<std::int64_t>(kept);
        t.engine->Spend(a, static_cast<std::int64_t>(kept));
        const auto now = Clock::now();
        const bool keep = now - t.lastKeep >= t.engine->options.keepEvery;
        if (keep || now - t.lastNote >= kNoteEvery) {
            if (const int error = keep ? t.engine->Check(t) : t.engine->Note(t, false)) {
                a.facts.openError = error;
                a.facts.partGone = keep && error == ENOENT && ::access(t.target.folder.c_str(), W_OK) == 0;
                return 0;
            }
        }
        return a.reachedEnd ? 0 : bytes;
    }

    // Keeps the Content-Range and the validator of the last response, the one after any redirects.
    static size_t Header(char* data, size_t size, size_t count, void* user) {
        AttemptFacts& facts = static_cast<Attempt*>(user)->facts;
        std::string_view line(data, size * count);
        if (line.starts_with("HTTP/")) {
            facts.rangeStart.reset();
            facts.rangeTotal.reset();
            facts.validator.clear();
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            return size * count;
        }
        std::string name(line.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        line = TrimWhiteSpace(line.substr(colon + 1));
        if (name == "content-range" && line.starts_with("bytes ")) {
            // "bytes 100-999/1000", or "bytes */1000" when no part was sent
            const auto number = [](std::string_view text) -> std::optional<std::int64_t> {
                std::int64_t value = 0;
                const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
                return error == std::errc() && end != text.data() ? std::optional(value) : std::nullopt;
            };
            facts.rangeStart = number(line.substr(6));
            if (const auto slash = line.find('/'); slash != std::string_view::npos) {
                facts.rangeTotal = number(line.substr(slash + 1));
            }
        } else if (!HeaderSafe(line)) {
            return size * count;                              // never sent back in an If-Range
        } else if (name == "etag" && line.starts_with('"')) { // a weak one may not be used for a range
            facts.validator = line;
        } else if (name == "last-modified" && facts.validator.empty()) {
            facts.validator = line;
        }
        return size * count;
    }

    // The request of a connection: the one connection from where the part ends, or a span.
    void Open(Transfer& t, Attempt& a) {
        a.t = &t;
        const Span* span = a.span >= 0 ? &t.spans[static_cast<std::size_t>(a.span)] : nullptr;
        a.before = {span ? span->pos : t.info.received, t.info.total,    t.validator,
                    span ? kOpenEnd : t.furthest, // a span's retries are counted by the download
                    span ? 0 : t.info.attempt,          options.retries, t.findAddress && !t.foundAgain};
        a.easy = curl_easy_init();
        a.facts.viaProxy = net::ApplyCommonOptions(a.easy,
                                                   {.url = t.info.url,
                                                    .userAgent = options.userAgent,
                                                    .caFile = options.caFile,
                                                    .connectTimeoutSeconds = options.connectTimeoutSeconds},
                                                   a.watch, a.errorBuffer);
        a.watch.seconds = options.stallSeconds;
        CURL* e = a.easy;
        // Under a limit, small reads: a large one is a burst the limit then pays off in silence.
        const std::int64_t limit = speedLimit.load();
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE,
                         limit > 0 ? std::min(ReadSizeUnder(limit), kBufferBytes) : kBufferBytes);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::Write);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &a);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::Header);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &a);
        curl_easy_setopt(e, CURLOPT_PRIVATE, &a);
        // A validator no header may carry asks for the whole body, which replaces the part.
        const bool safe = HeaderSafe(t.validator);
        const std::int64_t offset = safe ? a.before.saved : 0;
        std::string range;
        if (span) {
            a.askedEnd = span->end;
            range = std::to_string(span->pos) + "-" + std::to_string(span->end - 1);
        } else if (offset > 0 || (connections.load() > 1 && !t.noSplit)) {
            // From the start, too, when more connections may come: the answer tells whether they can.
            range = std::to_string(offset) + "-";
        }
        curl_easy_setopt(e, CURLOPT_RANGE, range.empty() ? nullptr : range.c_str());
        if ((offset > 0 || span) && !t.validator.empty()) {
            // The rest of the same body, or the whole body again if it has changed since.
            a.requestHeaders = curl_slist_append(nullptr, ("If-Range: " + t.validator).c_str());
            curl_easy_setopt(e, CURLOPT_HTTPHEADER, a.requestHeaders);
        }
        curl_multi_add_handle(multi, e);
    }

    // The next span for a free connection of t: false when none is worth one.
    bool Assign(Transfer& t, Attempt& a) {
        std::vector<PartSpan> spans;
        for (const Span& s : t.spans) {
            spans.push_back({s.start, s.pos, s.end, s.lane != nullptr});
        }
        const NextRange next = PlanNextRange(spans, std::max<std::int64_t>(options.splitPiece, 1));
        if (next.kind == NextRange::Kind::None) {
            return false;
        }
        std::size_t index = next.index;
        if (next.kind == NextRange::Kind::Halve) {
            const std::int64_t end = t.spans[index].end;
            t.spans[index].end = next.at;
            t.spans.push_back({next.at, next.at, end, next.at, next.at});
            index = t.spans.size() - 1;
        }
        a.span = static_cast<int>(index);
        t.spans[index].lane = &a;
        return true;
    }

    void Start(Transfer& t) {
        ResetAttempt(t);
        if (t.continuation && !t.file.Owned() && !Adopt(t)) {
            Fail(t, "the folder cannot be written: " + Strerror(t.attempt.facts.openError));
            return;
        }
        // Left whole for the step after by a run stopped during that step: nothing is to be asked.
        if (t.whole && t.continuation->keepWhole) {
            KeepWhole(t);
            return;
        }
        if (!t.spans.empty()) {
            // Several connections' part: one connection first, the others once it has its answer.
            t.confirmed = false;
            t.most = std::clamp(connections.load(), 1, std::max(t.most, 1));
            if (!Assign(t, t.attempt)) {
                Finish(t);
                return;
            }
            RestartWindow(t);
        }
        Open(t, t.attempt);
        SetState(t, DownloadState::Downloading);
    }

    // Closes a connection; another request may be made on it afterwards.
    void Close(Attempt& a) {
        if (a.easy) {
            curl_multi_remove_handle(multi, a.easy);
            curl_easy_cleanup(a.easy);
        }
        curl_slist_free_all(a.requestHeaders);
        Transfer* t = a.t;
        if (t && a.span >= 0 && static_cast<std::size_t>(a.span) < t->spans.size()) {
            t->spans[static_cast<std::size_t>(a.span)].lane = nullptr;
        }
        a = {};
        a.t = t;
    }

    void StopTransfer(Transfer& t, bool keep = true) {
        Settle(t);
        Close(t.attempt);
        for (auto& lane : t.lanes) {
            Close(*lane);
        }
        t.lanes.clear();
        if (!t.spans.empty() && keep) {
            Note(t, true);
        }
        if (t.part) {
            if (keep) {
                Note(t, true);
            }
            std::fclose(t.part);
            t.part = nullptr;
        }
    }

    void RemovePart(Transfer& t) {
        StopTransfer(t, false);
        t.spans.clear();
        t.file.Remove();
        t.info.received = t.synced = t.written = 0;
    }

    // What the part holds is no use. A continuable download's part stays, emptied and locked.
    void StartOver(Transfer& t) {
        if (!t.continuation || !t.file.Owned()) {
            RemovePart(t);
            return;
        }
        StopTransfer(t, false);
        t.spans.clear();
        t.validator.clear();
        t.info.received = t.synced = t.written = 0;
        t.file.Relock();                     // the part may have been removed or replaced meanwhile
        t.file.WriteRecord(Record(t), true); // its errors come again at the next attempt
        if (t.file.Owned()) {
            static_cast<void>(::ftruncate(t.file.Descriptor(), 0));
        }
    }

    // The server no longer sends parts: one connection goes on after the spans' first unbroken
    // run of bytes, as a download of one connection does.
    void Collapse(Transfer& t) {
        StopTransfer(t, false);
        std::sort(t.spans.begin(), t.spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
        std::int64_t written = 0;
        std::int64_t saved = 0;
        bool savedWhole = true;
        for (const Span& s : t.spans) {
            savedWhole = savedWhole && saved == s.start;
            saved = savedWhole ? s.saved : saved;
            written = s.pos;
            if (s.pos < s.end) {
                break;
            }
        }
        t.spans.clear();
        t.noSplit = true;
        t.info.received = t.written = written;
        t.synced = std::min(saved, written);
        if (t.file.Owned()) {
            static_cast<void>(::ftruncate(t.file.Descriptor(), written));
            if (t.continuation) {
                t.file.WriteRecord(Record(t), true);
            }
        }
    }

    // Stops the download for good. A continuable one with bytes on the disk keeps its part and
    // record, unlocked, for a later run; any other loses its part.
    void StopKeeping(Transfer& t) {
        StopTransfer(t);
        struct stat st {};
        if (t.continuation && t.file.Owned() && t.synced > 0 && ::stat(t.file.Path().c_str(), &st) == 0) {
            t.file.Release();
            t.info.received = t.synced;
            return;
        }
        RemovePart(t);
    }

    void Fail(Transfer& t, const std::string& reason) {
        StopKeeping(t);
        SetState(t, DownloadState::Failed, reason);
    }

    // The address no longer answers: the watch page is asked for it again, once until bytes come,
    // beside the engine's thread, as a page may take its time; the download waits, retrying.
    void FindAgain(Transfer& t, const std::string& reason) {
        StopTransfer(t);
        if (!t.findAddress) {
            Fail(t, reason);
            return;
        }
        t.lookUp = ++lookUpRounds;
        t.lostAddress = reason;
        std::thread([find = t.findAddress, lookUps = lookUps, id = t.info.id, round = t.lookUp] {
            std::optional<std::string> address = find();
            std::lock_guard lock(lookUps->mutex);
            if (lookUps->deliver) {
                lookUps->deliver(id, round, std::move(address));
            }
        }).detach();
        SetState(t, DownloadState::Retrying, reason + "; asking the watch page for the stream's address again");
    }

    // What a look-up found, if its download still waits for it.
    void Found(int id, int round, const std::optional<std::string>& address) {
        const auto it = transfers.find(id);
        if (it == transfers.end() || it->second->lookUp != round) {
            return;
        }
        Transfer& t = *it->second;
        t.lookUp = 0;
        const bool usable = address && !address->empty() && *address != t.info.url;
        if (usable) {
            t.info.url = *address;
            t.foundAgain = true;
        }
        if (t.info.state != DownloadState::Retrying) {
            return; // paused meanwhile: the address found serves its resumption
        }
        if (!usable) {
            Fail(t, t.lostAddress);
            return;
        }
        t.nextTry = Clock::now();
        SetState(t, DownloadState::Retrying, t.lostAddress + "; the watch page gave the stream's address again");
    }

    // The part file gets the final name, never over an existing file.
    void Finish(Transfer& t) {
        Settle(t);
        if (!t.spans.empty()) {
            StopTransfer(t, false);
            const bool whole =
                std::all_of(t.spans.begin(), t.spans.end(), [](const Span& s) { return s.pos == s.end; });
            std::error_code error;
            if (!whole || static_cast<std::int64_t>(fs::file_size(t.file.Path(), error)) != t.info.total || error) {
                Fail(t, "the part saved so far was removed or changed"); // never named whole when it is not
                return;
            }
            t.spans.clear();
        } else if (!EnsurePart(t)) { // an empty body opens no file on its way
            Fail(t, "the folder cannot be written: " +
                        Strerror(t.attempt.facts.openError ? t.attempt.facts.openError : t.attempt.facts.writeError));
            return;
        } else {
            // Every byte is handed to the system before the file gets its name. (Not forced to the
            // disk: an fsync of a large video costs more than the whole transfer on an ordinary disk.)
            const bool flushed = std::fflush(t.part) == 0;
            const int flushError = errno;
            const bool closed = std::fclose(t.part) == 0;
            const int closeError = errno;
            t.part = nullptr;
            if (!flushed || !closed) {
                Fail(t, "the file cannot be written: " + Strerror(flushed ? closeError : flushError));
                return;
            }
        }
        if (t.continuation && t.continuation->keepWhole) {
            KeepWhole(t);
            return;
        }
        fs::path named;
        if (const int error = t.file.Finish(named)) {
            const bool gone = error == ENOENT && ::access(t.target.folder.c_str(), W_OK) == 0;
            Fail(t, gone ? "the part saved so far was removed"
                         : "the file cannot be named " + named.filename().string() + ": " + Strerror(error));
            return;
        }
        t.info.file = named;
        t.info.total = t.info.received;
        StopTransfer(t);
        SetState(t, DownloadState::Finished);
    }

    // The part stays as it is, whole, for the step after; its record says so, forced to the disk.
    void KeepWhole(Transfer& t) {
        t.info.total = t.written = t.info.received;
        PartRecord record = Record(t);
        record.whole = true;
        if (const int error = t.file.WriteRecord(record, true)) {
            Fail(t, "the file cannot be written: " + Strerror(error));
            return;
        }
        t.file.Release(); // for the step after, which removes it
        StopTransfer(t);
        SetState(t, DownloadState::Finished);
    }

    // Another attempt after a pause, or the end when the retries are used up.
    void Retry(Transfer& t, int attempt, const std::string& reason) {
        t.info.attempt = attempt;
        t.nextTry = Clock::now() + options.firstPause * (1 << (attempt - 1));
        SetState(t, DownloadState::Retrying, reason);
    }

    void Done(Attempt& a, CURLcode code) {
        Transfer& t = *a.t;
        if (a.facts.written > 0) {
            t.foundAgain = false;
        }
        if (!a.began) {
            // No body came: an empty one still makes a file; nothing else needs the part file.
            code == CURLE_OK ? static_cast<void>(BeginBody(a)) : ReadHead(a);
        }
        a.facts.result = code;
        a.facts.detail = a.errorBuffer;
        a.facts.stalled = a.watch.stalled;
        if (a.facts.viaProxy && code != CURLE_OK) {
            a.facts.proxyFailure = net::ProxyFailure(a.easy, code, a.errorBuffer).value_or("");
        }
        if (a.span >= 0) {
            LaneDone(t, a);
            return;
        }
        const AttemptVerdict verdict = Judge(a.facts, a.before);
        switch (verdict.kind) {
        case Kind::GoOn: // a transfer that is over always has a verdict
        case Kind::Finished: Finish(t); return;
        case Kind::Failed: Fail(t, verdict.reason); return;
        case Kind::FindAgain: FindAgain(t, verdict.reason); return;
        case Kind::StartOver: StartOver(t); break;
        case Kind::RetryAfterPause: StopTransfer(t); break;
        }
        t.furthest = std::max(t.furthest, verdict.saved);
        Retry(t, verdict.attempt, verdict.reason);
    }

    // One of several connections has ended: its span is whole, or waits for another connection,
    // or the download as a whole is judged.
    void LaneDone(Transfer& t, Attempt& a) {
        const Span& span = t.spans[static_cast<std::size_t>(a.span)];
        const bool others = Running(t) > 1;
        const LaneEnd end = JudgeLane(a.facts, a.before, a.reachedEnd || span.pos == span.end, others);
        switch (end) {
        case LaneEnd::Done:
            Close(a);
            if (Assign(t, a)) { // it takes over what is left
                Open(t, a);
                return;
            }
            DropLane(t, a);
            if (Running(t) == 0) {
                Finish(t);
            }
            return;
        case LaneEnd::BackOff: t.most = std::max(1, Running(t) - 1); [[fallthrough]];
        case LaneEnd::Free:
            Close(a);
            DropLane(t, a);
            if (Running(t) == 0) { // cannot happen with others running; kept for safety
                Retry(t, 1, "a connection ended early");
            }
            return;
        case LaneEnd::NoRanges:
            Collapse(t);
            t.nextTry = Clock::now();
            SetState(t, DownloadState::Retrying,
                     "the server no longer sends parts of the video; one connection goes on");
            return;
        case LaneEnd::Changed: {
            StartOver(t);
            const int attempt = NextAttempt(t);
            if (attempt > 0) {
                Retry(t, attempt, "the video has changed on the server since");
            }
            return;
        }
        case LaneEnd::Whole: break;
        }
        const AttemptVerdict verdict = Judge(a.facts, a.before);
        switch (verdict.kind) {
        case Kind::Failed: Fail(t, verdict.reason); return;
        case Kind::FindAgain: FindAgain(t, verdict.reason); return;
        case Kind::StartOver: StartOver(t); break;
        case Kind::GoOn:
        case Kind::Finished:
        case Kind::RetryAfterPause: StopTransfer(t); break;
        }
        const std::string reason = verdict.reason.empty() ? "the server sent less than asked for" : verdict.reason;
        if (const int attempt = NextAttempt(t, reason)) {
            Retry(t, attempt, reason);
        }
    }

    // The retry that comes for a download of several connections, counted afresh when it got further
    // than ever; 0 when they are used up, and it has failed.
    int NextAttempt(Transfer& t, const std::string& reason = "the video has changed on the server since") {
        const int attempt = t.info.received > t.furthest ? 0 : t.info.attempt;
        t.furthest = std::max(t.furthest, t.info.received);
        if (attempt >= options.retries) {
            Fail(t, reason + " (tried " + std::to_string(options.retries + 1) + " times)");
            return 0;
        }
        return attempt + 1;
    }

    // A connection with nothing to fetch goes; the first stays, idle, for the next round.
    static void DropLane(Transfer& t, Attempt& a) {
        if (&a != &t.attempt) {
            std::erase_if(t.lanes, [&a](const auto& lane) { return lane.get() == &a; });
        }
    }

    // Adds a connection to a download that has shown the server sends parts, while each one
    // added has raised its speed, below its cap and the host's.
    void Widen(Transfer& t, Clock::time_point now) {
        const int running = Running(t);
        if (now - t.windowStart >= kRateWindow) {
            if (t.windowLanes == running) {
                t.rateWith[running] = static_cast<double>(t.info.received - t.windowBytes) /
                                      std::chrono::duration<double>(now - t.windowStart).count();
            }
            t.windowStart = now;
            t.windowBytes = t.info.received;
            t.windowLanes = running;
        }
        if (!t.confirmed || running == 0 || running >= std::min(t.most, connections.load()) ||
            OnHost(HostOf(t.info.url)) >= kMostPerHost) {
            return;
        }
        if (running > 1) {
            if (t.rateWith[running] == 0) {
                return; // not measured yet
            }
            if (t.rateWith[running - 1] > 0 && t.rateWith[running] < 1.1 * t.rateWith[running - 1]) {
                t.most = running; // another connection no longer raises the speed
                return;
            }
        }
        auto lane = std::make_unique<Attempt>();
        lane->t = &t;
        if (!Assign(t, *lane)) {
            return;
        }
        Open(t, *lane);
        t.lanes.push_back(std::move(lane));
        std::fill(std::begin(t.rateWith) + running + 1, std::end(t.rateWith), 0.0);
        t.windowStart = now; // measured with the connection it has now
        t.windowBytes = t.info.received;
        t.windowLanes = running + 1;
    }

    int Active() const {
        return static_cast<int>(std::count_if(transfers.begin(), transfers.end(), [](const auto& entry) {
            const DownloadState s = entry.second->info.state;
            return IsRunning(s) && s != DownloadState::Queued;
        }));
    }

    void Apply(int id, Command command) {
        const auto found = transfers.find(id);
        if (found == transfers.end()) {
            return;
        }
        Transfer& t = *found->second;
        const DownloadState s = t.info.state;
        switch (command) {
        case Command::Pause:
            if (!IsEnded(s) && s != DownloadState::Paused) {
                StopTransfer(t);
                SetState(t, DownloadState::Paused);
            }
            break;
        case Command::Resume:
            if (s == DownloadState::Paused) {
                t.info.attempt = 0;
                SetState(t, DownloadState::Queued);
            }
            break;
        case Command::Cancel:
            if (!IsEnded(s)) {
                RemovePart(t);
                SetState(t, DownloadState::Cancelled);
            }
            break;
        }
    }

    // Starts what is due, moves the transfers on and reports; when the worker must look again by
    // itself at the latest, if ever.
    std::optional<Clock::time_point> Step() {
        if (bucket.Rate() != speedLimit.load()) {
            bucket.SetRate(speedLimit.load(), Clock::now());
        }
        if (held && bucket.Wait(Clock::now()) == Clock::duration::zero()) {
            held = false;
            for (auto& [id, t] : transfers) {
                ForEachLane(*t, [](Attempt& a) {
                    if (a.held) {
                        a.held = a.watch.held = false;
                        curl_easy_pause(a.easy, CURLPAUSE_CONT);
                    }
                });
            }
        }
        // A download that ends makes room for one queued.
        for (bool freed = true; freed;) {
            for (auto& [id, t] : transfers) {
                if (t->info.state == DownloadState::Retrying && t->lookUp == 0 && Clock::now() >= t->nextTry) {
                    Start(*t);
                }
            }
            for (auto& [id, t] : transfers) {
                if (t->info.state == DownloadState::Queued && Active() < mostAtOnce.load()) {
                    Start(*t);
                }
            }
            int running = 0;
            curl_multi_perform(multi, &running);
            freed = false;
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg == CURLMSG_DONE) {
                    Attempt* a = nullptr;
                    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &a);
                    Done(*a, message->data.result);
                    freed = true;
                }
            }
        }
        std::optional<Clock::time_point> next;
        const auto earliest = [&next](Clock::time_point when) { next = next ? std::min(*next, when) : when; };
        if (held) {
            earliest(Clock::now() + bucket.Wait(Clock::now()));
        }
        for (auto& [id, t] : transfers) {
            if (t->info.state == DownloadState::Downloading && !t->spans.empty()) {
                Widen(*t, Clock::now());
                earliest(t->windowStart + kRateWindow);
            }
            if (t->info.state == DownloadState::Downloading) {
                Publish(*t, false);
                earliest(t->lastReport + kProgressEvery);
            } else if (t->info.state == DownloadState::Retrying && t->lookUp == 0) {
                earliest(t->nextTry);
            }
        }
        return next;
    }

    void Run() {
        // Background work: the window's thread goes first when both want the processor.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
        const auto news = [this] { return stopping || !added.empty() || !commands.empty() || !addresses.empty(); };
        for (;;) {
            std::deque<std::pair<int, Transfer*>> newTransfers;
            std::deque<std::pair<int, Command>> newCommands;
            std::deque<std::tuple<int, int, std::optional<std::string>>> newFound;
            bool stop = false;
            {
                std::lock_guard lock(mutex);
                newTransfers.swap(added);
                newCommands.swap(commands);
                newFound.swap(addresses);
                stop = stopping;
            }
            for (auto& [id, transfer] : newTransfers) {
                transfers[id].reset(transfer);
                // A queued continuation holds its part from the start: another process, such as a
                // window on another display continuing the same list, leaves it alone meanwhile.
                if (transfer->continuation && transfer->target.extension) {
                    if (Adopt(*transfer)) {
                        Publish(*transfer, true); // its name, and what it continues, are known now
                    } else {
                        Fail(*transfer, "the folder cannot be written: " + Strerror(transfer->attempt.facts.openError));
                    }
                }
            }
            for (const auto& [id, command] : newCommands) {
                Apply(id, command);
            }
            for (const auto& [id, round, address] : newFound) {
                Found(id, round, address);
            }
            if (stop) {
                for (auto& [id, t] : transfers) {
                    if (t->continuation && !IsEnded(t->info.state)) {
                        StopKeeping(*t);
                    } else {
                        Apply(id, Command::Cancel);
                    }
                }
                return;
            }
            const std::optional<Clock::time_point> next = Step();
            const bool transferring = std::any_of(transfers.begin(), transfers.end(),
                                                  [](const auto& entry) { return Running(*entry.second) > 0; });
            if (transferring) {
                // Woken by the sockets, libcurl's own timers, the next report due or curl_multi_wakeup.
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
                    next.value_or(Clock::now() + kProgressEvery) - Clock::now());
                curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::clamp<long>(wait.count(), 0, INT_MAX)),
                                nullptr);
                continue;
            }
            std::unique_lock lock(mutex);
            if (next) {
                wake.wait_until(lock, *next, news); // a retry's pause
            } else {
                wake.wait(lock, news); // nothing to time: only a call wakes the worker
            }
        }
    }

    // Tells the worker of news, whether it waits on its transfers or on nothing.
    void Notify() {
        wake.notify_one();
        curl_multi_wakeup(multi);
    }

    void Queue(int id, Command command) {
        {
            std::lock_guard lock(mutex);
            commands.emplace_back(id, command);
        }
        Notify();
    }
};

DownloadEngine::DownloadEngine(Options options, Listener listener) : m_impl(std::make_unique<Impl>()) {
    net::InitialiseCurl();
    m_impl->options = std::move(options);
    m_impl->mostAtOnce = std::max(1, m_impl->options.mostAtOnce);
    m_impl->connections = std::clamp(m_impl->options.connections, 1, kMostConnections);
    m_impl->speedLimit = std::max<std::int64_t>(m_impl->options.speedLimit, 0);
    m_impl->listener = std::move(listener);
    m_impl->multi = curl_multi_init();
    m_impl->lookUps->deliver = [impl = m_impl.get()](int id, int round, std::optional<std::string> address) {
        {
            std::lock_guard lock(impl->mutex);
            impl->addresses.emplace_back(id, round, std::move(address));
        }
        impl->Notify();
    };
}

DownloadEngine::~DownloadEngine() {
    {
        // A look-up still under way ends by itself, and finds nothing to tell.
        std::lock_guard lock(m_impl->lookUps->mutex);
        m_impl->lookUps->deliver = nullptr;
    }
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->Notify();
    if (m_impl->worker.joinable()) {
        m_impl->worker.join();
    }
    curl_multi_cleanup(m_impl->multi);
}

int DownloadEngine::Add(const std::string& url, const DownloadTarget& target) { return Add(url, target, {}); }

int DownloadEngine::Add(const std::string& url, const DownloadTarget& target, Continuation continuation) {
    auto transfer = std::make_unique<Impl::Transfer>();
    transfer->target = target;
    transfer->findAddress = std::move(continuation.findAddress);
    // Only a name known before the first answer can be looked for in a later run.
    if (!continuation.stream.video.empty() && target.extension) {
        transfer->continuation = std::move(continuation);
    }
    transfer->engine = m_impl.get();
    transfer->attempt.t = transfer.get();
    transfer->most = m_impl->connections.load();
    transfer->info.url = url;
    int id = 0;
    {
        std::lock_guard lock(m_impl->mutex);
        id = ++m_impl->lastId;
        transfer->info.id = id;
        m_impl->published[id] = transfer->info;
        m_impl->added.emplace_back(id, transfer.release());
        if (!m_impl->worker.joinable()) {
            m_impl->worker = std::thread([impl = m_impl.get()] { impl->Run(); });
        }
    }
    m_impl->Notify();
    return id;
}

void DownloadEngine::SetSpeedLimit(std::int64_t bytesPerSecond) {
    m_impl->speedLimit = std::max<std::int64_t>(bytesPerSecond, 0);
    m_impl->Notify();
}

void DownloadEngine::SetConnections(int most) {
    m_impl->connections = std::clamp(most, 1, kMostConnections);
    m_impl->Notify();
}

void DownloadEngine::SetMostAtOnce(int most) {
    m_impl->mostAtOnce = std::max(1, most);
    m_impl->Notify(); // a higher limit starts queued downloads now
}

void DownloadEngine::Pause(int id) { m_impl->Queue(id, Impl::Command::Pause); }

void DownloadEngine::Resume(int id) { m_impl->Queue(id, Impl::Command::Resume); }

void DownloadEngine::Cancel(int id) { m_impl->Queue(id, Impl::Command::Cancel); }

void DownloadEngine::CancelAll() {
    {
        std::lock_guard lock(m_impl->mutex);
        for (const auto& [id, info] : m_impl->published) {
            m_impl->commands.emplace_back(id, Impl::Command::Cancel);
        }
    }
    m_impl->Notify();
}

int DownloadEngine::Unfinished() const {
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(std::count_if(m_impl->published.begin(), m_impl->published.end(),
                                          [](const auto& entry) { return !IsEnded(entry.second.state); }));
}

std::optional<DownloadInfo> DownloadEngine::Info(int id) const {
    std::lock_guard lock(m_impl->mutex);
    const auto found = m_impl->published.find(id);
    return found == m_impl->published.end() ? std::nullopt : std::optional(found->second);
}

std::optional<DownloadInfo> DownloadEngine::Wait(int id) const {
    std::unique_lock lock(m_impl->mutex);
    const auto found = m_impl->published.find(id);
    if (found == m_impl->published.end()) {
        return std::nullopt;
    }
    // The map's nodes stay where they are: found sees every later report.
    m_impl->ended.wait(lock, [&] { return IsEnded(found->second.state); });
    return found->second;
}

std::optional<DownloadInfo> DownloadEngine::Wait(int id, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_impl->mutex);
    const auto found = m_impl->published.find(id);
    if (found == m_impl->published.end()) {
        return std::nullopt;
    }
    m_impl->ended.wait_for(lock, limit, [&] { return IsEnded(found->second.state); });
    return found->second;
}

} // namespace veltrin
