#pragma once

// The decoding chain done the slow, obvious way: 225 passes of replace-all, each over the output of
// the one before. The program's single-pass decoder must agree with it on every input.

#include "core/decoding_chain.h"

#include <string>
#include <string_view>

namespace veltrin::testing {

inline std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (auto at = text.find(find); at != std::string_view::npos; at = text.find(find, from)) {
        out.append(text, from, at - from);
        out.append(replacement);
        from = at + find.size();
    }
    out.append(text, from);
    return out;
}

inline std::string LiteralChain(std::string_view window) {
    std::string text(window);
    for (const ChainStep& step : kDecodingChain) {
        text = ReplaceAll(text, step.find, step.replacement);
    }
    return text;
}

} // namespace veltrin::testing
