#include "station/local_time.h"

#include "station/translate.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

LocalTime BrokenDown(int64_t epochSeconds, bool utc) {
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm parts{};
#ifdef _WIN32
    if ((utc ? gmtime_s(&parts, &t) : localtime_s(&parts, &t)) != 0) return LocalTime{};
#else
    if ((utc ? gmtime_r(&t, &parts) : localtime_r(&t, &parts)) == nullptr) return LocalTime{};
#endif
    LocalTime local;
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    return local;
}

} // namespace

LocalTime ToLocalTime(int64_t epochSeconds) {
    return BrokenDown(epochSeconds, false);
}

LocalTime ToUtcTime(int64_t epochSeconds) {
    return BrokenDown(epochSeconds, true);
}

namespace {

std::string Formatted(int64_t epochSeconds, bool date, bool time, const char* dateFormat,
                      const char* between, const char* timeFormat) {
    const LocalTime t = ToLocalTime(epochSeconds);
    char text[64] = "";
    int n = 0;
    if (date) n = std::snprintf(text, sizeof text, dateFormat, t.year, t.month, t.day);
    if (date && time) n += std::snprintf(text + n, sizeof text - n, "%s", between);
    if (time) std::snprintf(text + n, sizeof text - n, timeFormat, t.hour, t.minute, t.second);
    return text;
}

} // namespace

std::string IsoDateTime(int64_t s) {
    return Formatted(s, true, true, "%04d-%02d-%02d", " ", "%02d:%02d:%02d");
}

std::string IsoDate(int64_t s) {
    return Formatted(s, true, false, "%04d-%02d-%02d", "", "");
}

std::string IsoTime(int64_t s) {
    return Formatted(s, false, true, "", "", "%02d:%02d:%02d");
}

std::string FileDate(int64_t s) {
    return Formatted(s, true, false, "%04d%02d%02d", "", "");
}

std::string FileStamp(int64_t s) {
    return Formatted(s, true, true, "%04d%02d%02d", "-", "%02d%02d%02d");
}

int64_t FromLocalTime(const LocalTime& local) {
    std::tm parts{};
    parts.tm_year = local.year - 1900;
    parts.tm_mon = local.month - 1;
    parts.tm_mday = local.day;
    parts.tm_hour = local.hour;
    parts.tm_min = local.minute;
    parts.tm_sec = local.second;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&parts));
}

bool ParseIsoDay(const std::string& text, int64_t& dayStart, std::string* why) {
    auto digits = [&](size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i)
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        return true;
    };
    const bool shaped = text.size() == 10 && digits(0, 4) && text[4] == '-' && digits(5, 2) &&
                        text[7] == '-' && digits(8, 2);
    if (!shaped) {
        if (why) *why = TrFormat("write the date as year-month-day, %s", "2026-12-09");
        return false;
    }
    LocalTime t;
    t.year = std::atoi(text.substr(0, 4).c_str());
    t.month = std::atoi(text.substr(5, 2).c_str());
    t.day = std::atoi(text.substr(8, 2).c_str());
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    const int last =
        t.month >= 1 && t.month <= 12 ? kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0) : 0;
    if (t.year < 1970 || t.day < 1 || t.day > last) {
        if (why) *why = TrFormat("%s is no day", text.c_str());
        return false;
    }
    dayStart = FromLocalTime(t);
    return true;
}

bool ParseLocalDateTime(const std::string& date, const std::string& time, int64_t& epochSeconds) {
    LocalTime t;
    char rest[32] = "";
    const bool iso = std::sscanf(date.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.year, &t.month, &t.day,
                                 &t.hour, &t.minute, &t.second) >= 3;
    const bool compact =
        !iso && date.size() == 8 &&
        std::sscanf(date.c_str(), "%4d%2d%2d%31s", &t.year, &t.month, &t.day, rest) == 3;
    if (!iso && !compact) return false;
    if (!time.empty() &&
        std::sscanf(time.c_str(), "%2d:%2d:%2d", &t.hour, &t.minute, &t.second) != 3)
        return false;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
    epochSeconds = FromLocalTime(t);
    return true;
}
