#include "recorder/decoder.h"

#include "shell/settings.h"

#include <string>

namespace {

bool IsDelimiter(char c) {
    return c == ' ' || c == '\r';
}

enum class Expect { Sign, Value, Status, Trailer };

} // namespace

std::optional<int> DecodeReading(const char* text, std::size_t length) {
    Expect state = Expect::Sign;
    long long sign = 1;
    int value = 0;
    std::string token;
    std::size_t i = 0;
    for (;;) {
        // Next token: skip a run of delimiters, then take up to the next one.
        // A zero byte ends the text, as it ends a C string.
        while (i < length && text[i] != '\0' && IsDelimiter(text[i]))
            ++i;
        if (i >= length || text[i] == '\0') return std::nullopt;
        std::size_t start = i;
        while (i < length && text[i] != '\0' && !IsDelimiter(text[i]))
            ++i;
        token.assign(text + start, i - start);

        switch (state) {
        case Expect::Sign:
            if (token == "-") {
                sign = -1;
                state = Expect::Value;
            } else if (token == "+") {
                sign = 1;
                state = Expect::Value;
            }
            break;
        case Expect::Value: {
            // Out-of-range values are held at the ends of the range, so that
            // negating never overflows.
            long long v = static_cast<long long>(LeadingInt(token.c_str())) * sign;
            if (v > 2147483647LL) v = 2147483647LL;
            if (v < -2147483647LL) v = -2147483647LL;
            value = static_cast<int>(v);
            state = Expect::Status;
            break;
        }
        case Expect::Status: {
            int status = LeadingInt(token.c_str());
            state = (status == 0 || status == 3) ? Expect::Trailer : Expect::Sign;
            break;
        }
        case Expect::Trailer:
            return value;
        }
    }
}
