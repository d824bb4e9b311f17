#pragma once

// The download engine's one judgement of an attempt: what the transfer's callbacks recorded in,
// what to do next out. Pure, so that every case can be tried without a server.

#include <curl/curl.h>

#include <cstdint>
#include <optional>
#include <string>

namespace veltrin {

// What one attempt met: the last response's head (the one after any redirects), the body bytes
// written, and once it is over, the transport's result.
struct AttemptFacts {
    long status = 0; // 0: no response
    std::string contentType{};
    std::int64_t length = -1;                 // the body's Content-Length; -1 when not given
    std::optional<std::int64_t> rangeStart{}; // of its Content-Range
    std::optional<std::int64_t> rangeTotal{}; // the whole body's length, as that Content-Range says
    std::string validator{};                  // its strong ETag, or else its Last-Modified
    std::int64_t partBytes = 0;               // on disk in the part file as the body began; -1: gone
    std::int64_t written = 0;                 // body bytes this attempt wrote
    int openError = 0;                        // errno of making the part file
    int writeError = 0;                       // errno of writing it
    bool partGone = false;                    // its folder is there, the part was removed from it
    bool stalled = false;                     // the stall watch ended the transfer
    bool viaProxy = false;                    // the transfer went through a proxy
    std::string proxyFailure{};               // the proxy's failure in its words, once over; empty: none
    std::optional<CURLcode> result{};         // none while the transfer runs
    std::string detail{};                     // libcurl's error buffer
};

// What the attempts before this one left.
struct DownloadProgress {
    std::int64_t saved = 0;    // bytes in the part file, asked to go on from
    std::int64_t total = -1;   // the whole body's length; -1 while unknown
    std::string validator{};   // of the body the part file holds
    std::int64_t furthest = 0; // the most bytes any attempt has left on disk
    int attempt = 0;           // the retries so far
    int retries = 5;           // how many are allowed
    bool mayFindAgain = false; // the stream's address may be asked of its watch page again
};

struct AttemptVerdict {
    enum class Kind {
        GoOn,            // the body may go on the part file (only while the transfer runs)
        Finished,        // the whole body is in the part file
        StartOver,       // what the part file holds is no use: empty it, then try again after a pause
        RetryAfterPause, // try again after a pause for the rest
        Failed,
        FindAgain, // the address no longer answers (signed addresses expire): ask the watch page again
    };
    Kind kind = Kind::GoOn;
    std::string reason{};    // why it failed, or why it is tried again
    bool fromStart = false;  // GoOn, Finished: the body is the whole, not the rest: the part starts over
    std::int64_t total = -1; // GoOn, Finished: the whole body's length as now known
    int attempt = 0;         // StartOver, RetryAfterPause: the retry that comes
    std::int64_t saved = 0;  // the bytes the part file holds once this verdict is carried out
};

// How one of several connections of a download ended, each fetching a range of the part.
enum class LaneEnd {
    Done,     // its range is whole
    Free,     // it ended short: its range waits for another connection
    BackOff,  // the server wants fewer connections: this one closes and no more are opened
    NoRanges, // the server no longer sends parts: one connection from now on
    Changed,  // another version of the video: the whole download starts over
    Whole,    // judged as the download's one attempt would be (Judge): the last connection running
};

// Judges a connection that asked for its range from before.saved, with If-Range. rangeDone: every
// byte of its range is in the part; othersRunning: the download has other connections under way.
LaneEnd JudgeLane(const AttemptFacts& facts, const DownloadProgress& before, bool rangeDone, bool othersRunning);

// Judges an attempt from its facts: while the transfer runs (no result yet) at the first byte of
// the body, from its head alone; once it is over, from all of them.
AttemptVerdict Judge(const AttemptFacts& facts, const DownloadProgress& before);

} // namespace veltrin
