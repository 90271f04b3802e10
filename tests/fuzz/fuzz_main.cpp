// The libFuzzer entry of one fuzz program; SEEDWELL_FUZZ_CHECK names its check.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken =
        seedwell::fuzz::SEEDWELL_FUZZ_CHECK({reinterpret_cast<const char*>(data), size});
    if (!broken.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
