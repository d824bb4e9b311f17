#include "cli/list_download.h"

#include "cli/command_line.h"
#include "cli/link_lines.h"
#include "cli/progress_line.h"
#include "cli/run_parts.h"
#include "core/file_name.h"
#include "core/link.h"
#include "core/progress.h"
#include "core/windows1252.h"
#include "download/stream_download.h"
#include "library/download_store.h"
#include "net/page_fetch.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <set>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin::cli {

KeptList::KeptList(std::FILE* err) : m_err(err) {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "Veltrin";
        static char* argv[] = {name, nullptr};
        const std::string locale = std::setlocale(LC_ALL, nullptr);
        m_app = std::make_unique<QCoreApplication>(argc, argv);
        std::setlocale(LC_ALL, locale.c_str());
    }
    auto opened = DownloadStore::Open(DownloadStore::DefaultPath());
    m_store = std::move(opened.store);
    if (!opened.problem.isEmpty()) {
        std::fprintf(err, "Veltrin: %s\n", opened.problem.toStdString().c_str());
    }
}

KeptList::~KeptList() = default;

StoredDownload KeptList::Start(const PageStream& source, const StreamDownload& plan, KeepForm keep,
                               const std::string& sound) {
    // The row a stopped or failed run left for the same file goes on, as Retry would, rather than
    // a second row; one the engine would not finish stays running for the window to continue.
    const std::string path = TargetPath(plan.target);
    const std::vector<StoredDownload> before =
        m_store && !path.empty() ? m_store->OfStream(IdentityOf(source)) : std::vector<StoredDownload>();
    const auto left = std::ranges::find_if(before, [&](const StoredDownload& row) {
        return row.state != DownloadState::Finished && row.state != DownloadState::Cancelled && row.keep == keep &&
               row.target == path && !PartHeldElsewhere(row.target);
    });
    StoredDownload row;
    if (left != before.end()) {
        row = *left;
    } else {
        row.page = source.page;
        row.stream = IdentityOf(source);
        row.title = source.title;
        row.quality = source.stream.quality ? std::string(source.stream.quality->label) : std::string();
        row.started = QDateTime::currentSecsSinceEpoch();
        row.target = path;
        row.keep = keep;
        row.sound = sound;
    }
    row.address = plan.address;
    row.replace = false;
    row.state = DownloadState::Queued;
    row.reason.clear();
    row.ended = 0;
    if (m_store) {
        Kept(row.key != 0 ? m_store->Update(row) : (row.key = m_store->Add(row)) != 0);
    }
    return row;
}

void KeptList::Follow(StoredDownload& row, const DownloadInfo& info) {
    if (veltrin::Follow(row, info, QDateTime::currentSecsSinceEpoch()) && m_store) {
        Kept(m_store->Update(row));
    }
}

void KeptList::Kept(bool written) {
    if (!written && !m_warned) { // said once: the downloads go on all the same
        m_warned = true;
        std::fprintf(m_err, "Veltrin: the downloads list was not written: %s\n",
                     m_store->LastError().toStdString().c_str());
    }
}

std::string TargetPath(const DownloadTarget& target) {
    if (!target.extension) {
        return {};
    }
    return (target.folder / (target.stem + (target.extension->empty() ? "" : "." + *target.extension))).string();
}

namespace {

namespace fs = std::filesystem;

// A link of the list as the thread that reads the list and fetches the pages hands it on: its
// stream, or why it has none; or the list's end.
struct Fed {
    std::string link;     // as given
    std::size_t line = 0; // its line in the batch; 0 for an argument
    std::optional<PageStream> source{};
    std::string problem{};
    bool input = false; // the problem is the list's own: nothing more is read of it
    bool end = false;
};

// What the reading thread, the engine and the signals tell the thread that runs the list.
struct Shared {
    Waiting waiting; // its mutex guards the rest
    std::deque<Fed> fed;
    std::deque<DownloadInfo> news;
    bool feederDone = false;
};

void Hand(Shared& shared, Fed fed) {
    const std::lock_guard lock(shared.waiting.mutex);
    shared.fed.push_back(std::move(fed));
    shared.waiting.changed.notify_all();
}

// Reads the links, each video once, and fetches their pages one after another, as they come.
void Feed(const std::shared_ptr<Shared>& shared, const Job& job, int fd) {
    std::set<std::string> seen;
    const auto take = [&](const LinkLine& line) {
        if (line.kind != LinkLine::Kind::Link) {
            Hand(*shared, {line.given, line.number, std::nullopt, line.text, line.kind == LinkLine::Kind::Unreadable});
            return;
        }
        if (!seen.insert(VideoKey(line.text)).second) {
            return;
        }
        auto read = ReadWatchPage(line.text);
        if (const auto* problem = std::get_if<PageProblem>(&read)) {
            Hand(*shared, {line.given, line.number, std::nullopt, problem->message});
            return;
        }
        const WatchPage& page = std::get<WatchPage>(read);
        const auto match = ChooseStream(page.matches, job.quality, Keep::Video);
        if (!match) {
            const std::string quality = job.quality != nullptr ? std::string(job.quality->label) : "best";
            Hand(*shared, {line.given, line.number, std::nullopt, "the page has no " + quality + " stream"});
            return;
        }
        Hand(*shared,
             {line.given, line.number, PageStream{page.address, page.fetched.title, page.fetched.videoId, *match}});
    };
    if (job.batch) {
        // Waits for standard input that never ends a little at a time, so that a stop is heard.
        LinkLines lines([&](char* buffer, std::size_t size) -> long {
            for (;;) {
                if (shared->waiting.stop) {
                    return 0;
                }
                pollfd wanted{fd, POLLIN, 0};
                const int ready = ::poll(&wanted, 1, 200);
                if (ready > 0) {
                    return ::read(fd, buffer, size);
                }
                if (ready < 0 && errno != EINTR) {
                    return -1;
                }
            }
        });
        while (!shared->waiting.stop) {
            const auto line = lines.Next();
            if (!line) {
                break;
            }
            take(*line);
        }
    } else {
        for (const std::string& link : job.links) {
            if (shared->waiting.stop) {
                break;
            }
            take(CheckListedLink(link));
        }
    }
    Fed end;
    end.end = true;
    Hand(*shared, std::move(end));
}

// A download of the list, from its link to its end.
struct Item {
    enum class State { Running, Finished, Skipped, Failed, Paused };
    std::string link;
    std::size_t line = 0;
    std::string quality; // the one asked for, then the stream's
    PageStream source;
    State state = State::Running;
    std::string file;
    std::string error;
    int id = 0;
    StoredDownload row;
    DownloadInfo live;
};

// Progress on standard error: on a terminal a line a running download and a total line below,
// redrawn in place; elsewhere a line when one starts, ends or fails.
class ListReport {
public:
    explicit ListReport(std::FILE* err) : m_err(err), m_terminal(isatty(fileno(err)) == 1) {}

    // A line of its own, above the lines redrawn.
    void Say(const std::string& line) {
        Clear();
        std::fprintf(m_err, "Veltrin: %s\n", SanitizeUtf8(line).c_str());
        std::fflush(m_err);
    }
    bool Terminal() const { return m_terminal; }

    void Draw(const std::vector<Item>& items, bool now) {
        const auto time = std::chrono::steady_clock::now();
        if (!m_terminal || (!now && time - m_last < std::chrono::milliseconds(200))) {
            return;
        }
        m_last = time;
        winsize size{};
        const int columns = ::ioctl(fileno(m_err), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
        const int nameWidth = std::clamp(columns / 3, 10, 40);
        std::string text = Up();
        int lines = 0, finished = 0, failed = 0, running = 0;
        std::int64_t received = 0;
        for (const Item& item : items) {
            finished += item.state == Item::State::Finished || item.state == Item::State::Skipped;
            failed += item.state == Item::State::Failed;
            received += item.live.received;
            if (item.state != Item::State::Running) {
                continue;
            }
            ++running;
            if (item.live.state != DownloadState::Downloading && item.live.state != DownloadState::Retrying) {
                continue; // waiting for room
            }
            std::string name = Shown(DownloadStem(item.source.title, item.row.quality));
            if (name.size() > static_cast<std::size_t>(nameWidth)) {
                auto cut = static_cast<std::size_t>(nameWidth - 1);
                while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80) {
                    --cut; // not inside a character
                }
                name = name.substr(0, cut) + "~";
            }
            name.resize(static_cast<std::size_t>(nameWidth), ' ');
            const int percent = item.live.total > 0 ? static_cast<int>(item.live.received * 100 / item.live.total) : -1;
            text += name + " " +
                    ProgressLine(percent, ProgressText(item.live.received, item.live.total, item.live.bytesPerSecond),
                                 columns - nameWidth - 1) +
                    "\n";
            ++lines;
        }
        const std::string total = std::to_string(finished) + " of " + std::to_string(items.size()) + " finished, " +
                                  std::to_string(running) + " to go" +
                                  (failed > 0 ? ", " + std::to_string(failed) + " failed" : "") + "; " +
                                  ByteSize(received) + " received";
        // A line that wraps would take two rows, and the next drawing would go up one too few.
        text += total.substr(0, static_cast<std::size_t>(std::max(columns - 1, 1))) + "\n";
        m_drawn = lines + 1;
        std::fputs(text.c_str(), m_err);
        std::fflush(m_err);
    }

    void Clear() {
        if (m_drawn > 0) {
            std::fputs(Up().c_str(), m_err);
            m_drawn = 0;
        }
    }

private:
    std::string Up() const { return m_drawn > 0 ? "\033[" + std::to_string(m_drawn) + "A\r\033[J" : "\r\033[J"; }

    std::FILE* m_err;
    bool m_terminal;
    int m_drawn = 0;
    std::chrono::steady_clock::time_point m_last{};
};

// The link as a message names it: "LINK (line 3)" for a batch's.
std::string Named(const Item& item) {
    const std::string line = item.line > 0 ? "line " + std::to_string(item.line) : std::string();
    return item.link.empty() ? line : Shown(item.link) + (line.empty() ? "" : " (" + line + ")");
}

const char* StateWord(Item::State state) {
    switch (state) {
    case Item::State::Finished: return "finished";
    case Item::State::Skipped: return "skipped";
    case Item::State::Failed: return "failed";
    default: return "stopped";
    }
}

// {"link": ..., "video": ..., "title": ..., "quality": ..., "file": ..., "state": ..., "error": ...}
std::string JsonLine(const Item& item) {
    std::string text = "{";
    const auto field = [&](const char* name, const std::string& value, bool last = false) {
        text += '"';
        text += name;
        text += "\": ";
        if (value.empty()) {
            text += "null";
        } else {
            AppendJsonString(text, value);
        }
        text += last ? "}\n" : ", ";
    };
    field("link", item.link);
    field("video", item.source.videoId);
    field("title", item.source.title);
    field("quality", item.quality);
    field("file", item.file);
    field("state", StateWord(item.state));
    field("error", item.error, true);
    return text;
}

// The batch file opened as a file one can read lines of (fd), or the exit status after saying
// why it is none.
int OpenBatch(const std::string& path, std::FILE* err, int& fd) {
    fd = path == "-" ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat st {};
    const int error = fd < 0 ? errno : ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error == 0) {
        return kFound;
    }
    if (fd > 0) {
        ::close(fd);
    }
    std::fprintf(err, "Veltrin: cannot read the list of links %s: %s\n", Shown(path).c_str(), Reason(error));
    return kNoInput;
}

class ListRun {
public:
    ListRun(const Job& job, std::FILE* out, std::FILE* err, KeptList& list)
        : m_job(job), m_out(out), m_err(err), m_list(list), m_report(err) {}

    // A page read: its stream is skipped, or started (continued from a stopped run's part).
    void Begin(Fed fed, DownloadEngine& engine) {
        Item item;
        item.link = fed.link;
        item.line = fed.line;
        item.quality = m_job.quality != nullptr ? std::string(m_job.quality->label) : "best";
        if (!fed.source) {
            item.error = fed.problem;
            Fail(std::move(item), fed.input);
            return;
        }
        item.source = std::move(*fed.source);
        item.quality = item.source.stream.quality ? std::string(item.source.stream.quality->label) : item.quality;
        const StreamIdentity stream = IdentityOf(item.source);
        if (!m_streams.insert(stream.video + "\n" + std::to_string(stream.format)).second) {
            return; // the same video through another link
        }
        const std::vector<StoredDownload> before =
            m_list.Store() ? m_list.Store()->OfStream(stream) : std::vector<StoredDownload>();
        for (const StoredDownload& row : before) {
            std::error_code ignored;
            if (row.state == DownloadState::Finished && row.keep == KeepForm::Video &&
                fs::is_regular_file(row.target, ignored)) {
                item.state = Item::State::Skipped;
                item.file = row.target;
                m_report.Say("skipped " + Named(item) + ": downloaded before, as " + row.target);
                Output(item);
                m_items.push_back(std::move(item));
                return;
            }
        }
        StreamDownload plan = PlanStreamDownload(item.source, {});
        plan.target = TargetFor(m_job.output, plan.target);
        plan.continuation.afresh = m_job.afresh;
        item.row = m_list.Start(item.source, plan, KeepForm::Video);
        item.id = engine.Add(plan.address, plan.target, std::move(plan.continuation));
        m_items.push_back(std::move(item));
    }

    // The engine's news of a download.
    void Follow(const DownloadInfo& info) {
        const auto found = std::ranges::find_if(m_items, [&](const Item& i) { return i.id == info.id; });
        if (found == m_items.end()) {
            return;
        }
        Item& item = *found;
        const DownloadState was = item.live.state;
        const std::string note = item.live.note;
        item.live = info;
        m_list.Follow(item.row, info);
        const std::string name = info.file.empty() ? Named(item) : info.file.filename().string();
        if (!info.note.empty() && info.note != note) {
            m_report.Say(info.note);
        }
        switch (info.state) {
        case DownloadState::Downloading:
            if (was != DownloadState::Downloading && !m_report.Terminal()) {
                m_report.Say("downloading " + name);
            }
            break;
        case DownloadState::Retrying:
            if (!m_report.Terminal() || was != DownloadState::Retrying) {
                m_report.Say(name + ": " + info.reason + "; trying again");
            }
            break;
        case DownloadState::Finished:
            item.state = Item::State::Finished;
            item.file = info.file.string();
            if (!m_report.Terminal()) { // there the path printed and the total line say it
                m_report.Say("finished " + item.file);
            }
            Output(item);
            break;
        case DownloadState::Failed:
        case DownloadState::Cancelled:
            item.error = info.reason.empty() ? "cancelled" : info.reason;
            item.state = Item::State::Failed;
            m_report.Say("failed: " + Named(item) + ": " + item.error);
            Output(item);
            break;
        case DownloadState::Paused: item.state = Item::State::Paused; break;
        case DownloadState::Queued: break;
        }
        m_report.Draw(m_items, IsEnded(info.state));
    }

    bool Running() const {
        return std::ranges::any_of(m_items, [](const Item& i) { return i.state == Item::State::Running; });
    }
    std::vector<int> RunningIds() const {
        std::vector<int> ids;
        for (const Item& item : m_items) {
            if (item.state == Item::State::Running) {
                ids.push_back(item.id);
            }
        }
        return ids;
    }

    // How many finished, and each failure on a line of its own; the exit status.
    int Summary(bool interrupted) {
        m_report.Clear();
        int finished = 0, skipped = 0, paused = 0;
        std::vector<const Item*> failed;
        for (const Item& item : m_items) {
            finished += item.state == Item::State::Finished || item.state == Item::State::Skipped;
            skipped += item.state == Item::State::Skipped;
            paused += item.state == Item::State::Paused || item.state == Item::State::Running;
            if (item.state == Item::State::Failed) {
                failed.push_back(&item);
            }
        }
        std::string line = std::to_string(finished) + " of " + std::to_string(m_items.size()) + " finished";
        line += skipped > 0 ? " (" + std::to_string(skipped) + " downloaded before, skipped)" : "";
        line += failed.empty() ? "" : ", " + std::to_string(failed.size()) + " failed";
        line += interrupted && paused > 0
                    ? ", " + std::to_string(paused) + " stopped; the same command goes on from there"
                    : "";
        m_report.Say(line);
        for (const Item* item : failed) {
            m_report.Say("failed: " + Named(*item) + ": " + item->error);
        }
        if (m_outputError != 0) {
            std::fprintf(m_err, "Veltrin: cannot write the saved paths: %s\n", Reason(m_outputError));
        }
        return interrupted ? kInterrupted : !failed.empty() ? kSomeFailed : m_outputError != 0 ? kOutputFailed : kFound;
    }

private:
    void Fail(Item item, bool input) {
        item.state = Item::State::Failed;
        if (input) {
            item.link = m_job.batch && *m_job.batch != "-" ? *m_job.batch : "standard input";
            item.line = 0;
        }
        m_report.Say("failed: " + Named(item) + ": " + item.error);
        Output(item);
        m_items.push_back(std::move(item));
        m_report.Draw(m_items, true);
    }

    void Output(const Item& item) {
        if (!m_job.json && item.state != Item::State::Finished) {
            return;
        }
        // A path printed below the lines redrawn would be wiped by the next drawing, when both
        // outputs are the terminal: it goes above them.
        m_report.Clear();
        // A reader that has gone stops no download; the summary says so, and the run is no success.
        if (m_outputError == 0 && !Write(m_out, m_job.json ? JsonLine(item) : item.file + "\n")) {
            m_outputError = errno;
        }
    }

    const Job& m_job;
    std::FILE* m_out;
    std::FILE* m_err;
    KeptList& m_list;
    ListReport m_report;
    std::vector<Item> m_items;
    std::set<std::string> m_streams;
    int m_outputError = 0;
};

} // namespace

int DownloadList(const Job& job, std::FILE* out, std::FILE* err) {
    if (job.output) {
        std::error_code ignored;
        if (TakesTheStream(*job.output) || !fs::is_directory(*job.output, ignored)) {
            return ReportUsage(
                {"with a list of links, --output names a folder, and " + Shown(*job.output) + " is not one"}, err);
        }
    }
    int fd = -1;
    if (job.batch) {
        if (const int status = OpenBatch(*job.batch, err, fd); status != kFound) {
            return status;
        }
    }
    int status = kFound;
    bool letGo = false;
    {
        const auto shared = std::make_shared<Shared>();
        // Taken before any thread starts, so that every thread leaves the signals to it.
        const SignalWatch watch(shared->waiting);
        KeptList list(err);
        ListRun run(job, out, err, list);
        DownloadEngine::Options options;
        options.userAgent = kUserAgent;
        options.mostAtOnce = job.jobs > 0 ? job.jobs : 3;
        options.connections = job.connections;
        options.speedLimit = job.limitRate;
        DownloadEngine engine(options, [shared](const DownloadInfo& info) {
            const std::lock_guard lock(shared->waiting.mutex);
            shared->news.push_back(info);
            shared->waiting.changed.notify_all();
        });
        // Reading standard input that never ends, or a slow page, must not hold the end of the run:
        // the thread owns what it uses and is let go if it does not end soon after a stop.
        std::thread feeder([shared, job, fd] {
            Feed(shared, job, fd);
            if (fd > 0) {
                ::close(fd);
            }
            const std::lock_guard lock(shared->waiting.mutex);
            shared->feederDone = true;
            shared->waiting.changed.notify_all();
        });
        bool fedAll = false;
        bool interrupted = false;
        std::unique_lock lock(shared->waiting.mutex);
        while (!interrupted && !(fedAll && !run.Running())) {
            shared->waiting.changed.wait(
                lock, [&] { return !shared->fed.empty() || !shared->news.empty() || shared->waiting.interrupted; });
            std::deque<Fed> fed = std::exchange(shared->fed, {});
            std::deque<DownloadInfo> news = std::exchange(shared->news, {});
            interrupted = shared->waiting.interrupted;
            lock.unlock();
            for (Fed& f : fed) {
                if (f.end) {
                    fedAll = true;
                } else if (!interrupted) {
                    run.Begin(std::move(f), engine);
                }
            }
            for (const DownloadInfo& info : news) {
                run.Follow(info);
            }
            lock.lock();
        }
        if (interrupted) {
            // Each running download pauses, its part and record on the disk, and its row says so.
            lock.unlock();
            for (const int id : run.RunningIds()) {
                engine.Pause(id);
            }
            lock.lock();
            while (run.Running()) {
                shared->waiting.changed.wait(lock, [&] { return !shared->news.empty(); });
                std::deque<DownloadInfo> news = std::exchange(shared->news, {});
                lock.unlock();
                for (const DownloadInfo& info : news) {
                    run.Follow(info);
                }
                lock.lock();
            }
        }
        shared->waiting.stop = true;
        const bool done =
            shared->waiting.changed.wait_for(lock, std::chrono::seconds(1), [&] { return shared->feederDone; });
        lock.unlock();
        if (done) {
            feeder.join();
        } else {
            feeder.detach();
        }
        status = run.Summary(interrupted);
        letGo = !done;
    }
    // A thread still in a page's fetch after a stop must not meet the program's end half-way.
    if (letGo) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace veltrin::cli
