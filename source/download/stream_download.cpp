#include "download/stream_download.h"

#include "core/file_name.h"
#include "core/go_pipeline.h"
#include "core/link.h"
#include "download/attempt_verdict.h"
#include "download/connection_plan.h"
#include "net/curl_setup.h"
#include "net/http_request.h"
#include "net/page_fetch.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace veltrin {

namespace {

using Clock = std::chrono::steady_clock;
using Kind = AttemptVerdict::Kind;

// One attempt of StreamInto: what its callbacks need and record.
struct StreamAttempt {
    int fd = -1;
    CURL* easy = nullptr;
    const DownloadProgress* before = nullptr;
    AttemptFacts facts;
    std::optional<AttemptVerdict> head; // the verdict at the body's first byte
    DownloadInfo* info = nullptr;
    const std::function<void()>* report = nullptr;
    SpeedBucket* bucket = nullptr;
    const std::atomic<bool>* stop = nullptr;

    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto& a = *static_cast<StreamAttempt*>(user);
        if (!a.head) {
            curl_easy_getinfo(a.easy, CURLINFO_RESPONSE_CODE, &a.facts.status);
            char* type = nullptr;
            curl_easy_getinfo(a.easy, CURLINFO_CONTENT_TYPE, &type);
            a.facts.contentType = type != nullptr ? type : "";
            curl_off_t length = -1;
            curl_easy_getinfo(a.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            a.facts.length = length;
            a.head = Judge(a.facts, *a.before);
            a.info->total = a.head->total;
        }
        if (a.head->kind != Kind::GoOn) {
            return 0;
        }
        for (size_t done = 0; done < size * count;) {
            const ssize_t written = ::write(a.fd, data + done, size * count - done);
            if (written < 0 && errno != EINTR) {
                a.facts.writeError = errno;
                return 0;
            }
            done += written > 0 ? static_cast<size_t>(written) : 0;
        }
        a.facts.written += static_cast<std::int64_t>(size * count);
        a.info->received = a.facts.written;
        (*a.report)();
        // The limit holds the reading itself: the only transfer of this thread waits here, in
        // steps a stop cuts short, and the stall watch sees bytes after every wait.
        a.bucket->Spend(static_cast<std::int64_t>(size * count), Clock::now());
        for (auto wait = a.bucket->Wait(Clock::now()); wait > Clock::duration::zero() && !*a.stop;
             wait = a.bucket->Wait(Clock::now())) {
            std::this_thread::sleep_for(std::min<Clock::duration>(wait, std::chrono::milliseconds(100)));
        }
        return *a.stop ? 0 : size * count;
    }
};

} // namespace

StreamIdentity IdentityOf(const PageStream& source) {
    return {source.videoId.empty() ? NormaliseLink(source.page) : source.videoId,
            FormatCode(source.stream.entry).value_or(-1)};
}

std::optional<std::string> FindStreamAddress(const std::string& page, int format) {
    try {
        const auto request = CreateConfiguredRequest();
        const GoFetched fetched =
            FetchGo(page, [&request](const std::string& link) { return TryFetchPage(*request, link); }, {});
        for (const LinkMatch& m : ScanStreamEntries(fetched.block)) {
            if (FormatCode(m.entry) == format) {
                return PlanDownload(m, {}).address;
            }
        }
    } catch (const HttpRequestError&) { // no request object could be made
    }
    return std::nullopt;
}

Continuation StreamContinuation(const StreamIdentity& stream, const std::string& page) {
    Continuation continuation{stream, page};
    continuation.findAddress = [page, format = stream.format] { return FindStreamAddress(page, format); };
    return continuation;
}

StreamDownload PlanStreamDownload(const PageStream& source, const std::filesystem::path& folder) {
    const DownloadPlan plan = PlanDownload(source.stream, source.title);
    return {plan.address, {folder, plan.stem, plan.extension}, StreamContinuation(IdentityOf(source), source.page)};
}

StreamEnd StreamInto(int fd, const StreamDownload& download, const DownloadEngine::Options& options,
                     const std::atomic<bool>& stop, const DownloadEngine::Listener& listener) {
    net::InitialiseCurl();
    DownloadInfo info;
    info.url = download.address;
    auto lastReport = Clock::now();
    std::int64_t bytesAtLastReport = 0;
    const std::function<void()> report = [&] {
        const auto now = Clock::now();
        if (now - lastReport < std::chrono::milliseconds(250)) {
            return;
        }
        const double rate = static_cast<double>(info.received - bytesAtLastReport) /
                            std::chrono::duration<double>(now - lastReport).count();
        info.bytesPerSecond = info.bytesPerSecond == 0 ? rate : 0.7 * info.bytesPerSecond + 0.3 * rate;
        lastReport = now;
        bytesAtLastReport = info.received;
        listener(info);
    };
    int outputError = 0;
    const auto end = [&](DownloadState state, std::string reason) {
        info.state = state;
        info.reason = std::move(reason);
        info.bytesPerSecond = 0;
        listener(info);
        return StreamEnd{info, outputError};
    };
    DownloadProgress before{.retries = options.retries,
                            .mayFindAgain = static_cast<bool>(download.continuation.findAddress)};
    SpeedBucket bucket;
    bucket.SetRate(options.speedLimit, Clock::now());
    for (;;) {
        if (stop) {
            return end(DownloadState::Cancelled, "stopped");
        }
        info.state = DownloadState::Downloading;
        listener(info);
        StreamAttempt a;
        a.fd = fd;
        a.easy = curl_easy_init();
        a.before = &before;
        a.info = &info;
        a.report = &report;
        a.bucket = &bucket;
        a.stop = &stop;
        net::StallWatch watch;
        watch.stop = &stop;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        a.facts.viaProxy = net::ApplyCommonOptions(a.easy,
                                                   {.url = info.url,
                                                    .userAgent = options.userAgent,
                                                    .caFile = options.caFile,
                                                    .connectTimeoutSeconds = options.connectTimeoutSeconds},
                                                   watch, errorBuffer);
        watch.seconds = options.stallSeconds;
        if (bucket.Rate() > 0) {
            // Small reads under a limit: one read is never a burst the limit must pay off in silence.
            curl_easy_setopt(a.easy, CURLOPT_BUFFERSIZE, ReadSizeUnder(bucket.Rate()));
        }
        curl_easy_setopt(a.easy, CURLOPT_WRITEFUNCTION, &StreamAttempt::Write);
        curl_easy_setopt(a.easy, CURLOPT_WRITEDATA, &a);
        const CURLcode code = curl_easy_perform(a.easy);
        if (!a.head) { // no body: the head is judged now
            a.Write(nullptr, 0, 0, &a);
        }
        if (a.facts.viaProxy && code != CURLE_OK) {
            a.facts.proxyFailure = net::ProxyFailure(a.easy, code, errorBuffer).value_or("");
        }
        curl_easy_cleanup(a.easy);
        if (stop) {
            return end(DownloadState::Cancelled, "stopped");
        }
        a.facts.result = code;
        a.facts.detail = errorBuffer;
        a.facts.stalled = watch.stalled;
        outputError = a.facts.writeError;
        const AttemptVerdict verdict = Judge(a.facts, before);
        if (verdict.kind == Kind::Finished || verdict.kind == Kind::GoOn) {
            info.total = info.received;
            return end(DownloadState::Finished, {});
        }
        if (verdict.kind == Kind::Failed || a.facts.written > 0) {
            return end(DownloadState::Failed, verdict.reason);
        }
        if (verdict.kind == Kind::FindAgain) {
            const auto address = download.continuation.findAddress();
            if (!address || address->empty() || *address == info.url) {
                return end(DownloadState::Failed, verdict.reason);
            }
            info.url = *address;
            before.mayFindAgain = false;
            info.reason = verdict.reason + "; the watch page gave the stream's address again";
        } else {
            info.attempt = before.attempt = verdict.attempt;
            info.reason = verdict.reason;
        }
        info.state = DownloadState::Retrying;
        listener(info);
        // A retry's pause (none for an address found again), cut short by a stop.
        const auto until =
            Clock::now() + (verdict.kind == Kind::FindAgain ? std::chrono::milliseconds(0)
                                                            : options.firstPause * (1 << (verdict.attempt - 1)));
        while (!stop && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

} // namespace veltrin
