#include "recorder/limits.h"

#include "recorder/file_access.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

const char* const kLimitsFile = "limits.ini";

namespace {

bool ParseNumber(const std::string& text, double& value) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t\r");
    if (begin == std::string::npos) return false;
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

} // namespace

LimitTable ReadLimits(const std::string& path, std::string* ignored) {
    LimitTable table;
    std::string content;
    if (!ReadWholeFile(path, content)) return table;
    std::istringstream in(content);
    std::string line, bad;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        const size_t first = line.find(',');
        const size_t second = first == std::string::npos ? first : line.find(',', first + 1);
        ForceLimits limits;
        std::string name = second == std::string::npos ? "" : line.substr(second + 1);
        if (second == std::string::npos || name.empty() ||
            !ParseNumber(line.substr(0, first), limits.lowerTons) ||
            !ParseNumber(line.substr(first + 1, second - first - 1), limits.upperTons) ||
            !ValidLimits(limits, nullptr)) {
            bad += (bad.empty() ? "" : ", ") + std::to_string(number);
            continue;
        }
        table[name] = limits;
    }
    if (ignored) *ignored = bad;
    return table;
}

bool WriteLimits(const std::string& path, const LimitTable& table, std::string* error) {
    const std::string temporary = path + ".tmp";
    FILE* out = OpenPath(temporary, "wb");
    if (out == nullptr) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    std::fputs("# Force limits of the peak force per press: lower_t,upper_t,press\n", out);
    for (const auto& [name, limits] : table) {
        char numbers[64];
        auto end = std::to_chars(numbers, numbers + 30, limits.lowerTons).ptr;
        *end++ = ',';
        end = std::to_chars(end, numbers + 62, limits.upperTons).ptr;
        std::fprintf(out, "%.*s,%s\n", static_cast<int>(end - numbers), numbers, name.c_str());
    }
    const bool written = std::fflush(out) == 0 && !std::ferror(out) && SyncFile(out);
    const int savedErrno = errno;
    if (std::fclose(out) != 0 || !written || !RenameOver(temporary, path)) {
        if (error) *error = std::strerror(written ? errno : savedErrno);
        RemovePath(temporary);
        return false;
    }
    return true;
}
