#include "net/download_engine.h"

#include "extract/file_name.h"
#include "extract/link.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <variant>

#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kProgressEvery = std::chrono::milliseconds(250);
constexpr long kBufferBytes = 512 * 1024;

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string FileName(const DownloadTarget& target, const std::string& extension, int n) {
    if (!extension.empty()) {
        return NumberedFileName(target.stem, extension, n);
    }
    return n > 1 ? target.stem + " (" + std::to_string(n) + ")" : target.stem;
}

std::string Strerror(int error) { return std::strerror(error); }

// Whether a failure of the transfer may pass if tried again. Once the server has sent part of the
// file, a name that does not resolve or a handshake that breaks is the network going away for a
// while, not a wrong address.
bool Passing(CURLcode code, bool serverReachedBefore) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_SSL_CONNECT_ERROR: return serverReachedBefore;
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK: // the stall watch
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return true;
    default: return false;
    }
}

} // namespace

const char* DownloadStateName(DownloadState state) {
    switch (state) {
    case DownloadState::Queued: return "queued";
    case DownloadState::Downloading: return "downloading";
    case DownloadState::Paused: return "paused";
    case DownloadState::Retrying: return "retrying";
    case DownloadState::Finished: return "finished";
    case DownloadState::Failed: return "failed";
    case DownloadState::Cancelled: return "cancelled";
    }
    return "";
}

struct DownloadEngine::Impl {
    struct Transfer {
        DownloadInfo info;
        DownloadTarget target;
        CURL* easy = nullptr;
        std::FILE* part = nullptr;
        fs::path partPath;
        int number = 1; // of the name chosen
        std::string extension;
        std::int64_t offset = 0;   // bytes on disk when this attempt started
        std::int64_t furthest = 0; // the most bytes on disk that any attempt has left
        bool started = false;      // this attempt's body has begun
        long status = 0;
        std::optional<std::int64_t> rangeStart; // of the last response's Content-Range
        std::optional<std::int64_t> rangeTotal; // the whole body's length, as that Content-Range says
        std::string badPart;                    // why a partial answer cannot go on the part file
        bool webPage = false;                   // an answer that is a web page, not a stream
        std::string responseValidator;          // the last response's strong ETag, or its Last-Modified
        std::string validator;                  // the one of the body the part file holds
        curl_slist* requestHeaders = nullptr;
        int writeError = 0;
        bool stalled = false;
        Clock::time_point lastBytes;
        Clock::time_point nextTry;
        Clock::time_point lastReport;
        std::int64_t bytesAtLastReport = 0;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        Impl* engine = nullptr;
    };

    enum class Command { Pause, Resume, Cancel };

    Options options;
    Listener listener;
    CURLM* multi = nullptr;
    std::thread worker;

    mutable std::mutex mutex;
    std::map<int, DownloadInfo> published;        // guarded by mutex
    std::deque<std::pair<int, Transfer*>> added;  // guarded by mutex
    std::deque<std::pair<int, Command>> commands; // guarded by mutex
    bool stopping = false;                        // guarded by mutex
    int lastId = 0;                               // guarded by mutex

    std::map<int, std::unique_ptr<Transfer>> transfers; // the worker's own

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
        {
            std::lock_guard lock(mutex);
            published[t.info.id] = t.info;
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

    // Opens the part file under a name that neither a file nor another part file has.
    bool OpenPart(Transfer& t, const std::string& contentType) {
        t.extension = t.target.extension ? *t.target.extension : StreamExtension(std::nullopt, contentType);
        for (int n = 1; n < 10000; ++n) {
            const fs::path file = t.target.folder / FileName(t.target, t.extension, n);
            fs::path part = file;
            part += ".part";
            std::error_code ignored;
            if (fs::exists(file, ignored) || fs::is_symlink(file, ignored)) {
                continue;
            }
            const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) {
                if (errno == EEXIST) {
                    continue;
                }
                t.writeError = errno;
                return false;
            }
            t.part = ::fdopen(fd, "wb");
            t.partPath = part;
            t.number = n;
            t.info.file = file;
            return true;
        }
        t.writeError = EEXIST;
        return false;
    }

    // The part file open for writing: the one of an earlier attempt, or a new one.
    bool EnsurePart(Transfer& t, const std::string& contentType) {
        if (t.part != nullptr) {
            return true;
        }
        if (t.partPath.empty()) {
            return OpenPart(t, contentType);
        }
        t.part = std::fopen(t.partPath.c_str(), "ab");
        if (t.part == nullptr) {
            t.writeError = errno;
        }
        return t.part != nullptr;
    }

    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (!t.started) {
            t.started = true;
            curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &t.status);
            if (t.status >= 300) {
                return 0; // an error page is not the video
            }
            if (!t.engine->BeginBody(t)) {
                return 0;
            }
        }
        if (std::fwrite(data, 1, bytes, t.part) != bytes) {
            t.writeError = errno;
            return 0;
        }
        t.info.received += static_cast<std::int64_t>(bytes);
        t.lastBytes = Clock::now();
        return bytes;
    }

    // The response's head has arrived: where its body goes.
    bool BeginBody(Transfer& t) {
        char* type = nullptr;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_TYPE, &type);
        if (type != nullptr && strncasecmp(type, "text/html", 9) == 0) {
            t.webPage = true; // a sign-in or error page served as a success
            return false;
        }
        if (!EnsurePart(t, type ? type : "")) {
            return false;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const bool partial = t.status == 206;
        std::error_code error;
        if (partial && t.rangeStart != t.offset) {
            t.badPart = "the server sent another part than the one asked for";
        } else if (partial && ((t.info.total >= 0 && t.rangeTotal && *t.rangeTotal != t.info.total) ||
                               (t.offset > 0 && !t.validator.empty() && !t.responseValidator.empty() &&
                                t.responseValidator != t.validator))) {
            // Another length, or another validator from a server that does not honour If-Range.
            t.badPart = "the video has changed on the server since";
        } else if (partial && fs::file_size(t.partPath, error) != static_cast<std::uintmax_t>(t.offset)) {
            t.badPart = "the part saved so far was removed or changed"; // while paused, say
        }
        if (t.offset > 0 && (!partial || !t.badPart.empty())) {
            // The whole body in place of the rest, or a part that cannot go on the file: start over.
            if (std::fflush(t.part) != 0 || ::ftruncate(::fileno(t.part), 0) != 0 ||
                std::fseek(t.part, 0, SEEK_SET) != 0) {
                t.writeError = errno;
                return false;
            }
            t.offset = 0;
            t.info.received = 0;
        }
        if (!t.badPart.empty()) {
            return false;
        }
        if (t.offset == 0) {
            t.validator = t.responseValidator;
        }
        // A part, even one nobody asked for, says how long the whole body is.
        t.info.total = partial && t.rangeTotal ? *t.rangeTotal : length >= 0 ? t.offset + length : -1;
        return true;
    }

    // Keeps the Content-Range and the validator of the last response, the one after any redirects.
    static size_t Header(char* data, size_t size, size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        std::string_view line(data, size * count);
        if (line.starts_with("HTTP/")) {
            t.rangeStart.reset();
            t.rangeTotal.reset();
            t.responseValidator.clear();
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
            t.rangeStart = number(line.substr(6));
            if (const auto slash = line.find('/'); slash != std::string_view::npos) {
                t.rangeTotal = number(line.substr(slash + 1));
            }
        } else if (name == "etag" && line.starts_with('"')) { // a weak one may not be used for a range
            t.responseValidator = line;
        } else if (name == "last-modified" && t.responseValidator.empty()) {
            t.responseValidator = line;
        }
        return size * count;
    }

    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& t = *static_cast<Transfer*>(user);
        curl_off_t connected = 0;
        curl_off_t sent = 0;
        curl_easy_getinfo(t.easy, CURLINFO_CONNECT_TIME_T, &connected);
        curl_easy_getinfo(t.easy, CURLINFO_PRETRANSFER_TIME_T, &sent);
        const auto now = Clock::now();
        if (connected == 0 && sent == 0) {
            t.lastBytes = now;
            return 0;
        }
        if (now - t.lastBytes > std::chrono::seconds(t.engine->options.stallSeconds)) {
            t.stalled = true;
            return 1;
        }
        return 0;
    }

    void Start(Transfer& t) {
        t.easy = curl_easy_init();
        t.started = false;
        t.status = 0;
        t.writeError = 0;
        t.stalled = false;
        t.badPart.clear();
        t.webPage = false;
        t.rangeStart.reset();
        t.rangeTotal.reset();
        t.errorBuffer[0] = '\0';
        t.offset = t.info.received;
        t.lastBytes = Clock::now();
        CURL* e = t.easy;
        curl_easy_setopt(e, CURLOPT_URL, t.info.url.c_str());
        curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str());
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_PROXY, "");
        curl_easy_setopt(e, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!options.caFile.empty()) {
            curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
        }
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kBufferBytes);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::Write);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::Header);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::Progress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
        curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
        const std::string range = std::to_string(t.offset) + "-";
        curl_easy_setopt(e, CURLOPT_RANGE, t.offset > 0 ? range.c_str() : nullptr);
        if (t.offset > 0 && !t.validator.empty()) {
            // The rest of the same body, or the whole body again if it has changed since.
            t.requestHeaders = curl_slist_append(nullptr, ("If-Range: " + t.validator).c_str());
            curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.requestHeaders);
        }
        curl_multi_add_handle(multi, e);
        SetState(t, DownloadState::Downloading);
    }

    void StopTransfer(Transfer& t) {
        if (t.easy) {
            curl_multi_remove_handle(multi, t.easy);
            curl_easy_cleanup(t.easy);
            t.easy = nullptr;
        }
        curl_slist_free_all(t.requestHeaders);
        t.requestHeaders = nullptr;
        if (t.part) {
            std::fclose(t.part);
            t.part = nullptr;
        }
    }

    void RemovePart(Transfer& t) {
        StopTransfer(t);
        if (!t.partPath.empty()) {
            ::unlink(t.partPath.c_str());
            t.partPath.clear();
        }
        t.info.received = 0;
    }

    void Fail(Transfer& t, const std::string& reason) {
        RemovePart(t);
        SetState(t, DownloadState::Failed, reason);
    }

    // The part file gets the final name, never over an existing file.
    void Finish(Transfer& t) {
        char* type = nullptr;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_TYPE, &type);
        if (!EnsurePart(t, type ? type : "")) { // an empty body opens no file on its way
            Fail(t, "the folder cannot be written: " + Strerror(t.writeError));
            return;
        }
        // Every byte is handed to the system before the file gets its name. (Not forced to the disk:
        // an fsync of a large video costs more than the whole transfer on an ordinary disk.)
        const bool flushed = std::fflush(t.part) == 0;
        const int flushError = errno;
        const bool closed = std::fclose(t.part) == 0;
        const int closeError = errno;
        t.part = nullptr;
        if (flushed && !closed) {
            Fail(t, "the file cannot be written: " + Strerror(closeError));
            return;
        }
        if (!flushed) {
            Fail(t, "the file cannot be written: " + Strerror(flushError));
            return;
        }
        for (int n = t.number;; ++n) {
            const fs::path file = t.target.folder / FileName(t.target, t.extension, n);
            if (::link(t.partPath.c_str(), file.c_str()) == 0) {
                ::unlink(t.partPath.c_str());
                t.info.file = file;
                break;
            }
            if (errno == EEXIST) {
                continue;
            }
            // A file system without hard links: a rename that refuses to replace.
            if (::renameat2(AT_FDCWD, t.partPath.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) == 0) {
                t.info.file = file;
                break;
            }
            if (errno == EEXIST) {
                continue;
            }
            Fail(t, "the file cannot be named " + file.filename().string() + ": " + Strerror(errno));
            return;
        }
        t.partPath.clear();
        t.info.total = t.info.received;
        StopTransfer(t);
        SetState(t, DownloadState::Finished);
    }

    void Retry(Transfer& t, const std::string& reason) {
        StopTransfer(t);
        if (t.info.received > t.furthest) {
            // A server that drops now and then, but gets further each time, is not failing.
            t.furthest = t.info.received;
            t.info.attempt = 0;
        }
        if (t.info.attempt >= options.retries) {
            Fail(t, reason + " (tried " + std::to_string(options.retries + 1) + " times)");
            return;
        }
        ++t.info.attempt;
        t.nextTry = Clock::now() + options.firstPause * (1 << (t.info.attempt - 1));
        SetState(t, DownloadState::Retrying, reason);
    }

    void Done(Transfer& t, CURLcode code) {
        long status = t.status;
        if (status == 0) {
            curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        }
        if (!t.badPart.empty()) {
            Retry(t, t.badPart);
            return;
        }
        if (t.webPage) {
            Fail(t, "the server sent a web page, not the video");
            return;
        }
        if (status == 416 && t.offset > 0) {
            if (t.rangeTotal == t.offset && (t.info.total < 0 || t.info.total == t.offset)) {
                Finish(t); // the break came after the last byte
            } else {
                RemovePart(t); // the body is now shorter than the part: start over
                Retry(t, "the server has no such part");
            }
            return;
        }
        if (t.writeError != 0) {
            Fail(t, t.partPath.empty() ? "the folder cannot be written: " + Strerror(t.writeError)
                                       : "the file cannot be written: " + Strerror(t.writeError));
            return;
        }
        // Besides the server's own failures, "took too long" and "too many requests" pass too.
        if (status >= 500 || status == 408 || status == 429) {
            Retry(t, "the server answered " + std::to_string(status));
            return;
        }
        if (status >= 400) {
            Fail(t, "the server answered " + std::to_string(status));
            return;
        }
        if (code == CURLE_OK && status >= 300) {
            Fail(t, "the server redirected without saying where (" + std::to_string(status) + ")");
            return;
        }
        if (code != CURLE_OK) {
            const std::string detail = t.stalled          ? "the server stopped sending"
                                       : t.errorBuffer[0] ? t.errorBuffer
                                                          : curl_easy_strerror(code);
            if (Passing(code, t.furthest > 0 || t.info.received > 0)) {
                Retry(t, detail);
            } else {
                Fail(t, detail);
            }
            return;
        }
        if (t.info.total >= 0 && t.info.received != t.info.total) {
            Retry(t, "the server sent " + std::to_string(t.info.received) + " of " + std::to_string(t.info.total) +
                         " bytes");
            return;
        }
        Finish(t);
    }

    int Active() const {
        return static_cast<int>(std::count_if(transfers.begin(), transfers.end(), [](const auto& entry) {
            const DownloadState s = entry.second->info.state;
            return s == DownloadState::Downloading || s == DownloadState::Retrying;
        }));
    }

    void Apply(int id, Command command) {
        const auto found = transfers.find(id);
        if (found == transfers.end()) {
            return;
        }
        Transfer& t = *found->second;
        const DownloadState s = t.info.state;
        const bool over = s == DownloadState::Finished || s == DownloadState::Failed || s == DownloadState::Cancelled;
        switch (command) {
        case Command::Pause:
            if (!over && s != DownloadState::Paused) {
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
            if (!over) {
                RemovePart(t);
                SetState(t, DownloadState::Cancelled);
            }
            break;
        }
    }

    void Run() {
        // Background work: the window's thread goes first when both want the processor.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
        for (;;) {
            std::deque<std::pair<int, Transfer*>> newTransfers;
            std::deque<std::pair<int, Command>> newCommands;
            bool stop = false;
            {
                std::lock_guard lock(mutex);
                newTransfers.swap(added);
                newCommands.swap(commands);
                stop = stopping;
            }
            for (auto& [id, transfer] : newTransfers) {
                transfers[id].reset(transfer);
            }
            for (const auto& [id, command] : newCommands) {
                Apply(id, command);
            }
            if (stop) {
                for (auto& [id, t] : transfers) {
                    Apply(id, Command::Cancel);
                }
                return;
            }
            const auto now = Clock::now();
            for (auto& [id, t] : transfers) {
                if (t->info.state == DownloadState::Retrying && now >= t->nextTry) {
                    Start(*t);
                }
            }
            for (auto& [id, t] : transfers) {
                if (t->info.state == DownloadState::Queued && Active() < options.mostAtOnce) {
                    Start(*t);
                }
            }
            int running = 0;
            curl_multi_perform(multi, &running);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg == CURLMSG_DONE) {
                    Transfer* t = nullptr;
                    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
                    Done(*t, message->data.result);
                }
            }
            for (auto& [id, t] : transfers) {
                if (t->info.state == DownloadState::Downloading) {
                    Publish(*t, false);
                }
            }
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
    }
};

DownloadEngine::DownloadEngine(Options options, Listener listener) : m_impl(std::make_unique<Impl>()) {
    InitialiseCurlOnce();
    m_impl->options = std::move(options);
    m_impl->listener = std::move(listener);
    m_impl->multi = curl_multi_init();
    m_impl->worker = std::thread([impl = m_impl.get()] { impl->Run(); });
}

DownloadEngine::~DownloadEngine() {
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    curl_multi_wakeup(m_impl->multi);
    m_impl->worker.join();
    curl_multi_cleanup(m_impl->multi);
}

int DownloadEngine::Add(const std::string& url, const DownloadTarget& target) {
    auto transfer = std::make_unique<Impl::Transfer>();
    transfer->target = target;
    transfer->engine = m_impl.get();
    transfer->info.url = url;
    int id = 0;
    {
        std::lock_guard lock(m_impl->mutex);
        id = ++m_impl->lastId;
        transfer->info.id = id;
        m_impl->published[id] = transfer->info;
        m_impl->added.emplace_back(id, transfer.release());
    }
    curl_multi_wakeup(m_impl->multi);
    return id;
}

void DownloadEngine::Pause(int id) {
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->commands.emplace_back(id, Impl::Command::Pause);
    }
    curl_multi_wakeup(m_impl->multi);
}

void DownloadEngine::Resume(int id) {
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->commands.emplace_back(id, Impl::Command::Resume);
    }
    curl_multi_wakeup(m_impl->multi);
}

void DownloadEngine::Cancel(int id) {
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->commands.emplace_back(id, Impl::Command::Cancel);
    }
    curl_multi_wakeup(m_impl->multi);
}

void DownloadEngine::CancelAll() {
    {
        std::lock_guard lock(m_impl->mutex);
        for (const auto& [id, info] : m_impl->published) {
            m_impl->commands.emplace_back(id, Impl::Command::Cancel);
        }
    }
    curl_multi_wakeup(m_impl->multi);
}

int DownloadEngine::Unfinished() const {
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(std::count_if(m_impl->published.begin(), m_impl->published.end(), [](const auto& entry) {
        const DownloadState s = entry.second.state;
        return s != DownloadState::Finished && s != DownloadState::Failed && s != DownloadState::Cancelled;
    }));
}

std::optional<DownloadInfo> DownloadEngine::Info(int id) const {
    std::lock_guard lock(m_impl->mutex);
    const auto found = m_impl->published.find(id);
    return found == m_impl->published.end() ? std::nullopt : std::optional(found->second);
}

} // namespace veltrin
