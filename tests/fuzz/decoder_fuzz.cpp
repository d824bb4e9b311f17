// The single-pass decoder against the literal chain, on whatever the fuzzer makes up.
#include "core/parameters.h"
#include "support/literal_chain.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (veltrin::DecodeParameters(input) != veltrin::testing::LiteralChain(input)) {
        std::fprintf(stderr, "decoder and literal chain differ on \"%.*s\"\n", static_cast<int>(size), input.data());
        std::abort();
    }
    return 0;
}
