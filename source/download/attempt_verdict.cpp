#include "download/attempt_verdict.h"

#include "net/curl_setup.h"

#include <cstring>

#include <strings.h>

namespace veltrin {

namespace {

using Kind = AttemptVerdict::Kind;

AttemptVerdict Failed(std::string reason) { return {Kind::Failed, std::move(reason)}; }

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

// Another attempt after a pause, unless the retries are used up. One that got further into the
// file than any before starts the count afresh: a server that drops now and then is not failing.
AttemptVerdict Again(Kind kind, std::string reason, std::int64_t saved, const DownloadProgress& before) {
    const int attempt = saved > before.furthest ? 0 : before.attempt;
    if (attempt >= before.retries) {
        return Failed(reason + " (tried " + std::to_string(before.retries + 1) + " times)");
    }
    AttemptVerdict verdict{kind, std::move(reason)};
    verdict.attempt = attempt + 1;
    verdict.saved = saved;
    return verdict;
}

// From the response's head alone: GoOn, with where the body goes, or the verdict it already makes.
AttemptVerdict JudgeHead(const AttemptFacts& facts, const DownloadProgress& before) {
    const long status = facts.status;
    const std::int64_t offset = before.saved;
    const std::string answered = "the server answered " + std::to_string(status);
    if (status == 416 && offset > 0) {
        if (facts.rangeTotal == offset && (before.total < 0 || before.total == offset)) {
            AttemptVerdict verdict{Kind::Finished, {}}; // the break came after the last byte
            verdict.total = verdict.saved = offset;
            return verdict;
        }
        return Again(Kind::StartOver, "the server has no such part", 0, before); // the body is now shorter
    }
    if (status == 416 && facts.rangeTotal == 0) { // an empty body has no first byte to ask from
        AttemptVerdict verdict{Kind::Finished, {}};
        verdict.total = verdict.saved = 0;
        return verdict;
    }
    if (const auto proxy = net::ProxyStatusFailure(status, facts.viaProxy)) {
        // A password the proxy wants does not come by waiting; a server it could not reach may.
        return status == 407 ? Failed(*proxy) : Again(Kind::RetryAfterPause, *proxy, offset, before);
    }
    // Besides the server's own failures, "took too long" and "too many requests" pass too.
    if (status >= 500 || status == 408 || status == 429) {
        return Again(Kind::RetryAfterPause, answered, offset, before);
    }
    if ((status == 403 || status == 404 || status == 410) && before.mayFindAgain) {
        return {Kind::FindAgain, answered};
    }
    if (status >= 400) {
        return Failed(answered);
    }
    if (status >= 300) {
        return Failed("the server redirected without saying where (" + std::to_string(status) + ")");
    }
    if (strncasecmp(facts.contentType.c_str(), "text/html", 9) == 0) {
        return Failed("the server sent a web page, not the video"); // a sign-in or error page served as a success
    }
    const bool partial = status == 206;
    if (partial) {
        const char* wrong = nullptr;
        if (facts.rangeStart != offset) {
            wrong = "the server sent another part than the one asked for";
        } else if ((before.total >= 0 && facts.rangeTotal && *facts.rangeTotal != before.total) ||
                   (offset > 0 && !before.validator.empty() && !facts.validator.empty() &&
                    facts.validator != before.validator)) {
            // Another length, or another validator from a server that does not honour If-Range.
            wrong = "the video has changed on the server since";
        } else if (facts.partBytes != offset) {
            wrong = "the part saved so far was removed or changed"; // while paused, say
        }
        if (wrong) {
            return Again(Kind::StartOver, wrong, 0, before);
        }
    }
    AttemptVerdict verdict{Kind::GoOn, {}};
    verdict.fromStart = offset > 0 && !partial; // the whole body in place of the rest
    const std::int64_t base = verdict.fromStart ? 0 : offset;
    // A part, even one nobody asked for, says how long the whole body is.
    verdict.total = partial && facts.rangeTotal ? *facts.rangeTotal : facts.length >= 0 ? base + facts.length : -1;
    verdict.saved = base + facts.written;
    return verdict;
}

} // namespace

AttemptVerdict Judge(const AttemptFacts& facts, const DownloadProgress& before) {
    const CURLcode code = facts.result.value_or(CURLE_OK);
    // No answer, or a redirect that could not be followed: the transport's failure tells why.
    const bool redirectFailed =
        facts.status >= 300 && facts.status < 400 && code != CURLE_OK && code != CURLE_WRITE_ERROR;
    AttemptVerdict verdict{Kind::GoOn, {}};
    verdict.total = before.total;
    verdict.saved = before.saved + facts.written;
    if (facts.status > 0 && !redirectFailed) {
        verdict = JudgeHead(facts, before);
    }
    if (verdict.kind != Kind::GoOn || !facts.result) {
        return verdict;
    }
    if (facts.partGone) {
        return Failed("the part saved so far was removed"); // never blamed on a folder that is there
    }
    if (facts.openError != 0) {
        return Failed("the folder cannot be written: " + std::string(std::strerror(facts.openError)));
    }
    if (facts.writeError != 0) {
        return Failed("the file cannot be written: " + std::string(std::strerror(facts.writeError)));
    }
    if (code != CURLE_OK) {
        std::string reason = facts.stalled                 ? "the server stopped sending"
                             : !facts.proxyFailure.empty() ? facts.proxyFailure
                                                           : net::FailureReason(code, facts.detail);
        if (Passing(code, before.furthest > 0 || verdict.saved > 0)) {
            return Again(Kind::RetryAfterPause, std::move(reason), verdict.saved, before);
        }
        return Failed(std::move(reason));
    }
    if (verdict.total >= 0 && verdict.saved != verdict.total) {
        return Again(Kind::RetryAfterPause,
                     "the server sent " + std::to_string(verdict.saved) + " of " + std::to_string(verdict.total) +
                         " bytes",
                     verdict.saved, before);
    }
    verdict.kind = Kind::Finished;
    verdict.total = verdict.saved;
    return verdict;
}

LaneEnd JudgeLane(const AttemptFacts& facts, const DownloadProgress& before, bool rangeDone, bool othersRunning) {
    if (rangeDone) {
        return LaneEnd::Done;
    }
    if (facts.openError != 0 || facts.writeError != 0) {
        return LaneEnd::Whole;
    }
    const long status = facts.status;
    if (status >= 200 && status < 300 && status != 206) {
        // The whole body for a range asked with If-Range: a server that ignores ranges, or another
        // version; without a validator the two cannot be told apart.
        return !facts.validator.empty() && facts.validator == before.validator ? LaneEnd::NoRanges : LaneEnd::Changed;
    }
    const bool sameVersion = !facts.validator.empty() && facts.validator == before.validator;
    const bool otherTotal = status == 206 && facts.rangeTotal && *facts.rangeTotal != before.total;
    if (status == 416 || (otherTotal && !sameVersion) ||
        (status == 206 && !facts.validator.empty() && facts.validator != before.validator)) {
        return LaneEnd::Changed;
    }
    if (status == 206 && facts.partBytes != before.saved) {
        return LaneEnd::Whole;
    }
    // Another part, or another length, of the very version asked for: a server whose ranges
    // cannot be trusted past the first. The bytes kept so far are good: one connection goes on.
    if (sameVersion && (otherTotal || (status == 206 && facts.rangeStart != before.saved))) {
        return LaneEnd::NoRanges;
    }
    if (!othersRunning) {
        return LaneEnd::Whole;
    }
    if (status >= 300 || (status == 206 && facts.rangeStart != before.saved)) {
        return LaneEnd::BackOff; // 403, 429, 503 and the like: a connection too many
    }
    const CURLcode code = facts.result.value_or(CURLE_OK);
    if (code == CURLE_OK || (code == CURLE_PARTIAL_FILE && !facts.stalled)) {
        return LaneEnd::Free; // ended short, the server still there
    }
    return LaneEnd::BackOff; // reset, refused or stalled
}

} // namespace veltrin
