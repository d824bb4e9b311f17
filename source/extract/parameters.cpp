#include "extract/parameters.h"

#include "extract/decoding_chain.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace veltrin {

std::optional<std::string_view> FindParameterWindow(std::string_view pageText) {
    const auto start = pageText.find(kParameterStartMarker);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const auto end = pageText.find(kParameterEndMarker, start + 1);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return pageText.substr(start, end - start);
}

namespace {

// The single pass relies on three facts about the chain, all checked when the rule table is built:
// every find text but one is an escape "%" + two capital hexadecimal digits; the odd one, "%252",
// is "%25" followed by "2"; and no replacement is longer than its find text.
//
// Model: every character of the working text carries the number of the step that wrote it (0 for
// input). Step s decodes an escape only when all three of its characters already existed before
// step s, that is when s is greater than each of their numbers. Escapes cannot overlap one
// another (an escape starts with "%", which is no hexadecimal digit), so the only contest between
// steps is "%252" against "%25", settled by one character of look-ahead. Everything else can be
// decided the moment an escape's last character is written, and a decoded character can only form
// a new escape together with what stands before it. So the output is built left to right like a
// stack: after each character is appended, the tail is reduced for as long as it ends in an escape
// that a later step would still decode.

constexpr int UpperHexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Characters that can take part in an escape; only their step numbers are ever looked at.
constexpr bool IsEscapeCharacter(char c) { return c == '%' || UpperHexValue(c) >= 0; }

struct EscapeRule {
    std::uint8_t step = 0; // 1-based position in the chain; 0 when no step decodes this code
    std::string_view replacement;
};

struct RuleTable {
    std::array<EscapeRule, 256> byCode{};
    std::uint8_t doubleEscapeStep = 0; // the "%252" step
    std::string_view doubleEscapeReplacement;
    std::uint8_t percentCode = 0x25;
};

constexpr RuleTable BuildRules() {
    RuleTable table;
    for (std::size_t i = 0; i < kDecodingChain.size(); ++i) {
        const auto& [find, replacement] = kDecodingChain[i];
        const auto step = static_cast<std::uint8_t>(i + 1);
        if (find == "%252") {
            table.doubleEscapeStep = step;
            table.doubleEscapeReplacement = replacement;
            continue;
        }
        const int code = UpperHexValue(find[1]) * 16 + UpperHexValue(find[2]);
        table.byCode[static_cast<std::size_t>(code)] = {step, replacement};
    }
    return table;
}

// The table is built from the chain itself: only code can drift from it, never data.
const RuleTable kRules = BuildRules();

class ChainDecoder {
public:
    explicit ChainDecoder(std::size_t sizeHint) { m_out.reserve(sizeHint); }

    void Run(std::string_view in) {
        const char* const data = in.data();
        const std::size_t n = in.size();
        std::size_t i = 0;
        while (i < n) {
            if (m_pendingDoubleEscape || TailHoldsPercent()) {
                PushInput(data[i++]);
                continue;
            }
            if (data[i] != '%') {
                // Nothing in the tail can start an escape, so input up to the next "%" passes as is.
                const void* next = std::memchr(data + i, '%', n - i);
                const std::size_t stop = next ? static_cast<std::size_t>(static_cast<const char*>(next) - data) : n;
                m_out.append(data + i, stop - i);
                i = stop;
                continue;
            }
            // An escape made only of input characters: decoded at once, unless it is "%25",
            // which might still be the start of "%252".
            if (i + 2 < n) {
                const int hi = UpperHexValue(data[i + 1]);
                const int lo = UpperHexValue(data[i + 2]);
                if (hi >= 0 && lo >= 0) {
                    const auto code = static_cast<std::uint8_t>(hi * 16 + lo);
                    const EscapeRule& rule = kRules.byCode[code];
                    if (rule.step != 0 && code != kRules.percentCode) {
                        Emit(rule.replacement, rule.step);
                        i += 3;
                        continue;
                    }
                }
            }
            PushInput(data[i++]);
        }
        if (m_pendingDoubleEscape) {
            ResolvePercentEscape();
        }
    }

    std::string Take() { return std::move(m_out); }

private:
    struct Written {
        std::size_t position;
        std::uint8_t step;
    };

    bool TailHoldsPercent() const {
        const std::size_t n = m_out.size();
        return (n >= 1 && m_out[n - 1] == '%') || (n >= 2 && m_out[n - 2] == '%');
    }

    std::uint8_t StepAt(std::size_t position) const {
        for (auto it = m_written.rbegin(); it != m_written.rend() && it->position >= position; ++it) {
            if (it->position == position) {
                return it->step;
            }
        }
        return 0;
    }

    void Truncate(std::size_t size) {
        m_out.resize(size);
        while (!m_written.empty() && m_written.back().position >= size) {
            m_written.pop_back();
        }
    }

    void Emit(std::string_view text, std::uint8_t step) {
        for (const char c : text) {
            if (IsEscapeCharacter(c)) {
                m_written.push_back({m_out.size(), step});
            }
            m_out.push_back(c);
        }
    }

    void PushInput(char c) {
        if (m_pendingDoubleEscape) {
            m_pendingDoubleEscape = false;
            if (c == '2') {
                Truncate(m_out.size() - 3);
                Emit(kRules.doubleEscapeReplacement, kRules.doubleEscapeStep);
                Reduce();
                return;
            }
            ResolvePercentEscape();
        }
        m_out.push_back(c);
        Reduce();
    }

    // The tail "%25" was not followed by "2": it is an ordinary escape after all.
    void ResolvePercentEscape() {
        m_pendingDoubleEscape = false;
        const EscapeRule& rule = kRules.byCode[kRules.percentCode];
        Truncate(m_out.size() - 3);
        Emit(rule.replacement, rule.step);
        Reduce();
    }

    void Reduce() {
        while (m_out.size() >= 3) {
            const std::size_t n = m_out.size();
            if (m_out[n - 3] != '%') {
                return;
            }
            const int hi = UpperHexValue(m_out[n - 2]);
            const int lo = UpperHexValue(m_out[n - 1]);
            if (hi < 0 || lo < 0) {
                return;
            }
            const auto code = static_cast<std::uint8_t>(hi * 16 + lo);
            const EscapeRule& rule = kRules.byCode[code];
            const std::uint8_t written = std::max({StepAt(n - 3), StepAt(n - 2), StepAt(n - 1)});
            if (rule.step <= written) {
                return; // no step left in the chain decodes it
            }
            if (code == kRules.percentCode && written < kRules.doubleEscapeStep) {
                m_pendingDoubleEscape = true; // "%252" would win if a "2" follows
                return;
            }
            Truncate(n - 3);
            Emit(rule.replacement, rule.step);
        }
    }

    std::string m_out;
    std::vector<Written> m_written; // escape characters written by a step, by position
    bool m_pendingDoubleEscape = false;
};

} // namespace

std::string DecodeParameters(std::string_view window) {
    ChainDecoder decoder(window.size());
    decoder.Run(window);
    return decoder.Take();
}

} // namespace veltrin
