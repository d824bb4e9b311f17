#include "download/connection_plan.h"

#include <algorithm>
#include <cmath>

namespace veltrin {

namespace {

// A tenth of a second's worth: what the transfers may take at once after a quiet while.
double Burst(std::int64_t rate) { return static_cast<double>(rate) / 10; }

} // namespace

NextRange PlanNextRange(std::span<const PartSpan> spans, std::int64_t piece) {
    NextRange next;
    std::int64_t largest = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const PartSpan& s = spans[i];
        if (!s.busy && s.end - s.pos > largest) {
            largest = s.end - s.pos;
            next = {NextRange::Kind::Take, i, s.pos};
        }
    }
    if (next.kind == NextRange::Kind::Take) {
        return next;
    }
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const PartSpan& s = spans[i];
        const std::int64_t left = s.end - s.pos;
        if (s.busy && left >= 2 * std::max<std::int64_t>(piece, 1) && left > largest) {
            largest = left;
            next = {NextRange::Kind::Halve, i, s.pos + left / 2};
        }
    }
    return next;
}

void SpeedBucket::Refill(Clock::time_point now) {
    if (m_rate > 0 && now > m_last) {
        const double seconds = std::chrono::duration<double>(now - m_last).count();
        m_tokens = std::min(Burst(m_rate), m_tokens + seconds * static_cast<double>(m_rate));
    }
    m_last = std::max(m_last, now);
}

void SpeedBucket::SetRate(std::int64_t bytesPerSecond, Clock::time_point now) {
    Refill(now);
    const bool was = m_rate > 0;
    m_rate = std::max<std::int64_t>(bytesPerSecond, 0);
    if (m_rate > 0) {
        // A debt run up under a lower limit is paid at the new one; a new limit starts with a burst.
        m_tokens = was ? std::min(m_tokens, Burst(m_rate)) : Burst(m_rate);
    }
}

void SpeedBucket::Spend(std::int64_t bytes, Clock::time_point now) {
    if (m_rate > 0) {
        Refill(now);
        m_tokens -= static_cast<double>(bytes);
    }
}

long ReadSizeUnder(std::int64_t rate) { return static_cast<long>(std::clamp<std::int64_t>(rate / 8, 1024, 512 << 10)); }

SpeedBucket::Clock::duration SpeedBucket::Wait(Clock::time_point now) {
    Refill(now);
    if (m_rate == 0 || m_tokens >= 0) {
        return Clock::duration::zero();
    }
    return std::chrono::ceil<Clock::duration>(std::chrono::duration<double>(-m_tokens / static_cast<double>(m_rate)));
}

} // namespace veltrin
