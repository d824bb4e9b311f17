#include "core/parameters.h"

#include "core/decoding_chain.h"

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
    bool writesEscapeCharacter = false;
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
        bool writesEscapeCharacter = false;
        for (const char c : replacement) {
            writesEscapeCharacter = writesEscapeCharacter || IsEscapeCharacter(c);
        }
        table.byCode[static_cast<std::size_t>(code)] = {step, writesEscapeCharacter, replacement};
    }
    return table;
}

// The table is built from the chain itself: only code can drift from it, never data.
const RuleTable kRules = BuildRules();

constexpr std::array<std::int8_t, 256> BuildHexTable() {
    std::array<std::int8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(UpperHexValue(static_cast<char>(c)));
    }
    return table;
}
constexpr auto kHexValue = BuildHexTable();

// Code of the escape whose two digits start at p, or -1.
inline int EscapeCode(const char* p) {
    const int hi = kHexValue[static_cast<unsigned char>(p[0])];
    const int lo = kHexValue[static_cast<unsigned char>(p[1])];
    return (hi | lo) < 0 ? -1 : hi * 16 + lo;
}

class ChainDecoder {
public:
    // The chain never lengthens the text, so the output fits in the input's size.
    explicit ChainDecoder(std::size_t inputSize) : m_out(inputSize, '\0'), m_buffer(m_out.data()) {}

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
                // Runs between escapes are mostly short: look a few bytes ahead before memchr.
                std::size_t stop = i + 1;
                const std::size_t nearLimit = std::min(n, i + 16);
                while (stop < nearLimit && data[stop] != '%') {
                    ++stop;
                }
                if (stop == nearLimit && stop < n) {
                    const void* next = std::memchr(data + stop, '%', n - stop);
                    stop = next ? static_cast<std::size_t>(static_cast<const char*>(next) - data) : n;
                }
                Append(data + i, stop - i);
                i = stop;
                continue;
            }
            if (const std::size_t used = DecodeInputEscape(data + i, n - i)) {
                i += used;
                continue;
            }
            PushInput(data[i++]);
        }
        if (m_pendingDoubleEscape) {
            ResolvePercentEscape();
        }
    }

    std::string Take() {
        m_out.resize(m_size);
        return std::move(m_out);
    }

private:
    struct Written {
        std::size_t position;
        std::uint8_t step;
    };

    // Shortcuts for escapes made of input characters only, with no "%" in the two characters
    // before them: nothing before can join them, so their outcome is known at once. Returns how
    // many input characters were decoded, or 0 to leave them to the general path.
    std::size_t DecodeInputEscape(const char* p, std::size_t available) {
        if (available < 3) {
            return 0;
        }
        const int code = EscapeCode(p + 1);
        if (code < 0) {
            return 0;
        }
        if (code != kRules.percentCode) {
            const EscapeRule& rule = kRules.byCode[static_cast<std::size_t>(code)];
            if (rule.step == 0) {
                return 0;
            }
            Emit(rule);
            return 3;
        }
        // "%25" followed by two more digits: the common doubly encoded character.
        if (available < 5) {
            return 0;
        }
        const int inner = EscapeCode(p + 3);
        if (inner < 0) {
            return 0;
        }
        if (p[3] == '2') {
            // "%252Y": "%2" from the double-escape step, then "%2Y" decoded if its step comes later.
            // "%2520" and "%2521" stay escaped: the general path handles those.
            if (inner == 0x20 || inner == 0x21) {
                return 0;
            }
            if (inner == 0x25) {
                // "%2525XY", a character encoded three times: the "%" is back at the percent step,
                // and "%XY" follows when its step comes after that one.
                const int third = available >= 7 ? EscapeCode(p + 5) : -1;
                if (third <= kRules.percentCode) {
                    return 0;
                }
                Emit(kRules.byCode[static_cast<std::size_t>(third)]);
                return 7;
            }
            Emit(kRules.byCode[static_cast<std::size_t>(inner)]);
            return 5;
        }
        // "%25XY" with X not 2: the "%" comes back at the percent step, and "%XY" is decoded when
        // its step comes later, which holds for every code from 30 up.
        if (inner < 0x30) {
            return 0;
        }
        Emit(kRules.byCode[static_cast<std::size_t>(inner)]);
        return 5;
    }

    bool TailHoldsPercent() const {
        return (m_size >= 1 && m_buffer[m_size - 1] == '%') || (m_size >= 2 && m_buffer[m_size - 2] == '%');
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
        m_size = size;
        while (!m_written.empty() && m_written.back().position >= size) {
            m_written.pop_back();
        }
    }

    void Append(const char* text, std::size_t length) {
        if (length <= 8) {
            for (std::size_t k = 0; k < length; ++k) {
                m_buffer[m_size + k] = text[k];
            }
        } else {
            std::memcpy(m_buffer + m_size, text, length);
        }
        m_size += length;
    }

    void Emit(std::string_view text, std::uint8_t step, bool writesEscapeCharacter) {
        if (writesEscapeCharacter) {
            for (std::size_t k = 0; k < text.size(); ++k) {
                if (IsEscapeCharacter(text[k])) {
                    m_written.push_back({m_size + k, step});
                }
            }
        }
        Append(text.data(), text.size());
    }

    void Emit(const EscapeRule& rule) { Emit(rule.replacement, rule.step, rule.writesEscapeCharacter); }

    void PushInput(char c) {
        if (m_pendingDoubleEscape) {
            m_pendingDoubleEscape = false;
            if (c == '2') {
                Truncate(m_size - 3);
                Emit(kRules.doubleEscapeReplacement, kRules.doubleEscapeStep, true);
                Reduce();
                return;
            }
            ResolvePercentEscape();
        }
        m_buffer[m_size++] = c;
        Reduce();
    }

    // The tail "%25" was not followed by "2": it is an ordinary escape after all.
    void ResolvePercentEscape() {
        m_pendingDoubleEscape = false;
        Truncate(m_size - 3);
        Emit(kRules.byCode[kRules.percentCode]);
        Reduce();
    }

    void Reduce() {
        while (m_size >= 3) {
            const std::size_t n = m_size;
            if (m_buffer[n - 3] != '%') {
                return;
            }
            const int code = EscapeCode(m_buffer + n - 2);
            if (code < 0) {
                return;
            }
            const EscapeRule& rule = kRules.byCode[static_cast<std::size_t>(code)];
            const std::uint8_t written = std::max({StepAt(n - 3), StepAt(n - 2), StepAt(n - 1)});
            if (rule.step <= written) {
                return; // no step left in the chain decodes it
            }
            if (code == kRules.percentCode && written < kRules.doubleEscapeStep) {
                m_pendingDoubleEscape = true; // "%252" would win if a "2" follows
                return;
            }
            Truncate(n - 3);
            Emit(rule);
        }
    }

    std::string m_out;
    char* m_buffer;
    std::size_t m_size = 0;
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
