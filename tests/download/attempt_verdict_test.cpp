#include "download/attempt_verdict.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace veltrin {
namespace {

// A verdict in one line: what comes next, where the part file stands, and why.
std::string Said(const AttemptVerdict& v) {
    const char* kinds[] = {"go on", "finished", "start over", "retry", "failed", "find again"};
    std::string said = kinds[static_cast<int>(v.kind)];
    if (v.kind == AttemptVerdict::Kind::GoOn || v.kind == AttemptVerdict::Kind::Finished) {
        said += (v.fromStart ? " from 0" : "") + std::string(" at ") + std::to_string(v.saved) + "/" +
                std::to_string(v.total);
    } else if (v.kind == AttemptVerdict::Kind::StartOver || v.kind == AttemptVerdict::Kind::RetryAfterPause) {
        said += " #" + std::to_string(v.attempt) + " at " + std::to_string(v.saved);
    }
    return v.reason.empty() ? said : said + ": " + v.reason;
}

// A response's head; a part is the rest of a 1000-byte body after 500 bytes, under the ETag v1.
AttemptFacts Head(long status, std::int64_t length = -1, const char* type = "video/mp4") {
    AttemptFacts facts{.status = status, .contentType = type, .length = length};
    if (status == 206) {
        facts = {.status = 206, .rangeStart = 500, .rangeTotal = 1000, .validator = "\"v1\"", .partBytes = 500};
    }
    return facts;
}

// A 416: nothing after the bytes asked to go on from, of a body this long.
AttemptFacts NoPart(std::int64_t total) { return {.status = 416, .rangeTotal = total}; }

AttemptFacts Ended(AttemptFacts facts, std::int64_t written, CURLcode result = CURLE_OK) {
    facts.written = written;
    facts.result = result;
    facts.detail = "d"; // libcurl's words
    return facts;
}

template <typename Change> AttemptFacts With(AttemptFacts facts, Change change) {
    change(facts);
    return facts;
}

TEST(Judge, EveryAttemptEndsInOneVerdict) {
    const DownloadProgress none{}, half{.saved = 500, .total = 1000, .validator = "\"v1\"", .furthest = 500};
    const DownloadProgress usedUp{.furthest = 500, .attempt = 5}, all{.saved = 1000, .furthest = 1000};
    const DownloadProgress signedFor{.mayFindAgain = true}, signedHalf{.saved = 500, .mayFindAgain = true};
    const struct {
        AttemptFacts facts;
        DownloadProgress before;
        std::string verdict;
    } rows[] = {
        {Head(200, 1000), none, "go on at 0/1000"},
        {Head(206), half, "go on at 500/1000"},
        {Head(200, 1000), half, "go on from 0 at 0/1000"}, // the whole body for the rest
        {With(Head(206), [](auto& f) { f.rangeStart = f.partBytes = 0, f.rangeTotal = 5000; }), none,
         "go on at 0/5000"},
        {Head(200, 9, "Text/HTML; charset=utf-8"), none, "failed: the server sent a web page, not the video"},
        {Ended(Head(200, 1000), 1000), none, "finished at 1000/1000"},
        {Ended(Head(206), 500), half, "finished at 1000/1000"},
        {Ended(Head(200), 700), none, "finished at 700/700"},
        {Ended(Head(200, 0), 0), none, "finished at 0/0"},
        {Ended(NoPart(1000), 0), all, "finished at 1000/1000"},
        {Ended(NoPart(500), 0), half, "start over #1 at 0: the server has no such part"},
        {Ended(NoPart(300), 0), half, "start over #1 at 0: the server has no such part"},
        {With(Head(206), [](auto& f) { f.rangeStart = 0; }), half,
         "start over #1 at 0: the server sent another part than the one asked for"},
        {With(Head(206), [](auto& f) { f.rangeTotal = 1008; }), half,
         "start over #1 at 0: the video has changed on the server since"},
        {With(Head(206), [](auto& f) { f.validator = "\"v2\""; }), half,
         "start over #1 at 0: the video has changed on the server since"},
        {With(Head(206), [](auto& f) { f.partBytes = -1; }), half,
         "start over #1 at 0: the part saved so far was removed or changed"},
        {Ended(Head(429), 0, CURLE_WRITE_ERROR), half, "retry #1 at 500: the server answered 429"},
        {Ended(Head(408), 0), none, "retry #1 at 0: the server answered 408"},
        {Ended(Head(503), 0), half, "retry #1 at 500: the server answered 503"},
        {Ended(Head(503), 0), usedUp, "failed: the server answered 503 (tried 6 times)"},
        {Ended(Head(200, 1000), 400, CURLE_RECV_ERROR), none, "retry #1 at 400: the connection broke (d)"},
        {Ended(Head(200), 600, CURLE_PARTIAL_FILE), usedUp, // further than ever: the count starts afresh
         "retry #1 at 600: the server closed the connection before the end (d)"},
        {Ended(Head(200), 400, CURLE_PARTIAL_FILE), usedUp,
         "failed: the server closed the connection before the end (d) (tried 6 times)"},
        {With(Ended(Head(200), 400, CURLE_ABORTED_BY_CALLBACK), [](auto& f) { f.stalled = true; }), none,
         "retry #1 at 400: the server stopped sending"},
        {Ended(Head(200, 1000), 400), none, "retry #1 at 400: the server sent 400 of 1000 bytes"},
        {Ended({}, 0, CURLE_COULDNT_CONNECT), none, "retry #1 at 0: the connection was refused (d)"},
        {Ended({}, 0, CURLE_COULDNT_RESOLVE_HOST), none, "failed: the host name is unknown (d)"},
        {Ended({}, 0, CURLE_COULDNT_RESOLVE_HOST), half, "retry #1 at 500: the host name is unknown (d)"},
        {Ended(Head(404), 0, CURLE_WRITE_ERROR), none, "failed: the server answered 404"},
        {Ended(Head(410), 0), signedHalf, "find again: the server answered 410"},
        {Ended(Head(403), 0, CURLE_WRITE_ERROR), signedFor, "find again: the server answered 403"},
        {Ended(Head(401), 0), signedFor, "failed: the server answered 401"},
        {Ended(Head(416), 0), none, "failed: the server answered 416"},
        {Ended(Head(302), 0), none, "failed: the server redirected without saying where (302)"},
        {Ended(Head(302), 0, CURLE_TOO_MANY_REDIRECTS), none, "failed: the server redirects too often (d)"},
        {Ended(Head(302), 0, CURLE_UNSUPPORTED_PROTOCOL), none, "failed: only http and https links can be fetched (d)"},
        {With(Ended(Head(200), 0, CURLE_WRITE_ERROR), [](auto& f) { f.openError = ENOENT; }), none,
         "failed: the folder cannot be written: No such file or directory"},
        {With(Ended(Head(200), 0, CURLE_WRITE_ERROR), [](auto& f) { f.openError = ENOENT, f.partGone = true; }), none,
         "failed: the part saved so far was removed"},
        {With(Ended(Head(200), 300, CURLE_WRITE_ERROR), [](auto& f) { f.writeError = EFBIG; }), none,
         "failed: the file cannot be written: File too large"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Said(Judge(row.facts, row.before)), row.verdict);
    }
    for (int code = CURLE_OK + 1; code < CURL_LAST; ++code) { // libcurl's words never stand alone
        const std::string reason = Judge(Ended({}, 0, static_cast<CURLcode>(code)), none).reason;
        EXPECT_FALSE(reason.starts_with("d")) << code << ": " << reason;
    }
}

TEST(JudgeLane, BacksOffStartsOverOrGoesOnAlone) {
    const DownloadProgress before{.saved = 500, .total = 1000, .validator = "\"v1\""};
    const AttemptFacts part = Head(206);
    const auto ended = [&](CURLcode code, bool stalled = false) {
        return With(part, [=](auto& f) { f.result = code, f.stalled = stalled; });
    };
    const char* names[] = {"done", "free", "back off", "no ranges", "changed", "whole"};
    const struct {
        AttemptFacts facts;
        std::string end;
        bool others = true;
        bool rangeDone = false;
    } rows[] = {
        {ended(CURLE_WRITE_ERROR), "done", true, true}, // cut at its end
        {ended(CURLE_OK), "free"},                      // ended short
        {{.status = 403}, "back off"},
        {{.status = 429}, "back off"},
        {{.status = 503}, "back off"},
        {ended(CURLE_RECV_ERROR), "back off"},                               // reset
        {ended(CURLE_ABORTED_BY_CALLBACK, true), "back off"},                // stalled
        {With(part, [](auto& f) { f.rangeStart = 0; }), "no ranges", false}, // another part of the same version
        {With(part, [](auto& f) { f.rangeTotal = 900; }), "no ranges"},
        {With(part, [](auto& f) { f.rangeStart = 400, f.validator.clear(); }), "back off"},
        {With(part, [](auto& f) { f.rangeTotal = 900, f.validator.clear(); }), "changed"},
        {{.status = 200, .validator = "\"v1\""}, "no ranges"},
        {{.status = 200, .validator = "\"v2\""}, "changed"},
        {{.status = 200}, "changed"},
        {With(part, [](auto& f) { f.validator = "\"v2\""; }), "changed"},
        {{.status = 416, .rangeTotal = 900}, "changed"},
        {{.status = 403}, "whole", false}, // the last connection: judged as the download
        {ended(CURLE_OK), "whole", false},
        {With(part, [](auto& f) { f.writeError = ENOSPC; }), "whole"},
        {With(part, [](auto& f) { f.partBytes = -1; }), "whole"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        EXPECT_EQ(names[static_cast<int>(JudgeLane(r.facts, before, r.rangeDone, r.others))], r.end) << "row " << i;
    }
}

} // namespace
} // namespace veltrin
