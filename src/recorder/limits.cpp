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

std::string Tons(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f t", decimals, value);
    return text;
}

/// The force at the resolution it is recorded with (0.0001 t).
double AtResolution(double tons) {
    return std::round(tons * 10000) / 10000;
}

/// The fewest decimals, one to four, that show `a` and `b` as they differ.
int DecimalsToTellApart(double a, double b) {
    for (int d = 1; d < 4; ++d)
        if (Tons(a, d) != Tons(b, d)) return d;
    return 4;
}

/// One decimal, or as many as the value has at 0.0001 t.
std::string LimitTons(double value) {
    for (int d = 1; d < 4; ++d)
        if (std::fabs(std::stod(Tons(value, d)) - value) < 0.00005) return Tons(value, d);
    return Tons(value, 4);
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

Judgement Judge(const RecordingResults& results, const ForceLimits* limits,
                const std::string& incomplete) {
    Judgement j;
    if (limits == nullptr) return j;
    j.verdict = Verdict::Fail;
    // Judged at the resolution the CSV file has, and told with as many
    // decimals as it takes to show the difference: never "500.8 t above 500.8 t".
    const double peak = AtResolution(results.peakForceTons);
    const double upper = AtResolution(limits->upperTons), lower = AtResolution(limits->lowerTons);
    auto told = [&](const char* how, double limit) {
        const int d = DecimalsToTellApart(peak, limit);
        return "peak " + Tons(peak, d) + " " + how + " " + Tons(limit, d);
    };
    if (!results.any)
        j.reason = "nothing recorded";
    else if (peak > upper)
        j.reason = told("above", upper);
    else if (peak < lower)
        j.reason = told("below", lower);
    else if (!incomplete.empty())
        j.reason = "recording incomplete: " + incomplete;
    else
        j.verdict = Verdict::Pass;
    return j;
}

std::string ResultText(const Judgement& judgement) {
    switch (judgement.verdict) {
    case Verdict::None:
        return "";
    case Verdict::Pass:
        return "Result: PASS";
    case Verdict::Fail:
        break;
    }
    return "Result: FAIL (" + judgement.reason + ")";
}

std::string LimitsText(const ForceLimits& limits) {
    return LimitTons(limits.lowerTons) + " \xE2\x80\xA6 " + LimitTons(limits.upperTons);
}

bool ValidLimits(const ForceLimits& limits, std::string* why) {
    const bool valid = std::isfinite(limits.lowerTons) && std::isfinite(limits.upperTons) &&
                       limits.lowerTons > 0 && limits.lowerTons <= limits.upperTons &&
                       limits.upperTons <= kMaxLimitTons;
    if (!valid && why)
        *why = "The limits must be numbers of tons with 0 < lower \xE2\x89\xA4 upper \xE2\x89\xA4 "
               "10000.";
    return valid;
}
