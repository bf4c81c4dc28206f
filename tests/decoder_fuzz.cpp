// libFuzzer target: the reading decoder takes any bytes without a fault, and
// the readings it finds do not depend on how the bytes were split.
#include "link/reading_decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* text = reinterpret_cast<const char*>(data);
    // The first byte chooses where the rest is split.
    const size_t cut = 1 + data[0] % size;
    std::vector<int> whole, split;
    ReadingStream one;
    one.Feed(text + 1, size - 1, whole);
    ReadingStream two;
    two.Feed(text + 1, cut - 1, split);
    two.Feed(text + cut, size - cut, split);
    if (whole != split) __builtin_trap();
    return 0;
}
