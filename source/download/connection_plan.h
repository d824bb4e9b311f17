#pragma once

// How a download shares out its ranges among its connections, and how the engine's speed limit
// is shared among every transfer: pure, so that each case can be tried without a server or a clock.

#include <chrono>
#include <cstdint>
#include <span>

namespace veltrin {

// A range of the part one connection fetches: bytes [start, pos) are in the part, [pos, end) to come.
struct PartSpan {
    std::int64_t start = 0;
    std::int64_t pos = 0;
    std::int64_t end = 0;
    bool busy = false; // a connection fetches it now
};

struct NextRange {
    enum class Kind {
        None,  // nothing worth a connection of its own
        Take,  // fetch span `index` from its pos
        Halve, // span `index` ends at `at`; the connection fetches from there to its old end
    };
    Kind kind = Kind::None;
    std::size_t index = 0;
    std::int64_t at = 0;
};

// What a free connection fetches: the largest unfinished span no connection fetches; else the
// second half of what is left of the largest span another fetches, so that no download crawls to
// its end on one slow connection; never a piece below `piece` bytes, nor a span about to end.
NextRange PlanNextRange(std::span<const PartSpan> spans, std::int64_t piece);

// A token bucket for one limit shared by all transfers: each takes what it received, the bucket
// may run into debt, and every transfer waits until the debt is paid. A rate of 0: no limit.
class SpeedBucket {
public:
    using Clock = std::chrono::steady_clock;

    void SetRate(std::int64_t bytesPerSecond, Clock::time_point now);
    std::int64_t Rate() const { return m_rate; }
    void Spend(std::int64_t bytes, Clock::time_point now);
    // How long the transfers must wait before they receive more: zero when they may go on.
    Clock::duration Wait(Clock::time_point now);

private:
    void Refill(Clock::time_point now);

    std::int64_t m_rate = 0;
    double m_tokens = 0;
    Clock::time_point m_last{};
};

// How much one read of a transfer takes under a limit of rate bytes a second: an eighth of a
// second's worth, so that the limit is paid in short waits rather than long silences; within
// what libcurl accepts.
long ReadSizeUnder(std::int64_t rate);

} // namespace veltrin
