#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace veltrin {

// One find-and-replace step of the parameter decoding chain. Texts are UTF-8.
struct ChainStep {
    std::string_view find;
    std::string_view replacement;
};

inline constexpr std::size_t kDecodingChainLength = 225;

// The chain in the order it runs. Each step replaces every occurrence of its find text in the
// output of the step before. The order carries meaning: "%252" runs before "%22".."%2F", so a
// doubly encoded character of those codes comes out plain, while "%2520" and "%2521" stay "%20"
// and "%21"; "%25" runs before "%26".."%FF", so those are decoded twice.
extern const std::array<ChainStep, kDecodingChainLength> kDecodingChain;

} // namespace veltrin
