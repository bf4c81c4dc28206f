// libFuzzer target: the reading decoder must take any bytes without a fault.
#include "recorder/decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader hands over at most 127 bytes and a zero byte; try both shapes.
    std::vector<char> text(data, data + size);
    DecodeReading(text.data(), text.size());
    text.push_back('\0');
    auto value = DecodeReading(text.data(), text.size());
    if (value && (*value > 2147483647LL || *value < -2147483647LL)) __builtin_trap();
    return 0;
}
