// Dates and times as the operator reads them: the local time of one wall-clock
// instant, in the formats of the page, the CSV file and the report's name.
// Every date the program shows or writes comes from here, so a report made at
// 00:20 in summer carries that day, whatever the offset from UTC.
#pragma once

#include <cstdint>
#include <string>

/// The broken-down local time of `epochSeconds` (the zone the process runs in).
struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
LocalTime ToLocalTime(int64_t epochSeconds);
/// The same for UTC (the page's metadata dates).
LocalTime ToUtcTime(int64_t epochSeconds);
/// The wall-clock seconds of a local date and time (the zone's rules decide
/// summer time).
int64_t FromLocalTime(const LocalTime& local);
/// Reads "2026-12-08 18:40:22", "2026-12-08" or "20261208" (with an optional
/// time "18:40:22" given apart) as local time; false when it is none of them.
bool ParseLocalDateTime(const std::string& date, const std::string& time, int64_t& epochSeconds);

/// A day typed as the lists show it, "2026-12-09": true with the wall-clock
/// seconds of its local midnight. False, with what is wrong in the operator's
/// language, for any other form ("12/09/2026", a two-digit year) or a day
/// that is none ("2026-02-30").
bool ParseIsoDay(const std::string& text, int64_t& dayStart, std::string* why);

/// "2026-12-08 18:40:22" (ISO 8601, local): the page and the CSV file.
std::string IsoDateTime(int64_t epochSeconds);
/// "2026-12-08".
std::string IsoDate(int64_t epochSeconds);
/// "18:40:22".
std::string IsoTime(int64_t epochSeconds);
/// "20261208": the date in a report's file name, which other systems read.
std::string FileDate(int64_t epochSeconds);
/// "20261208-184022": the name of a recording's journal.
std::string FileStamp(int64_t epochSeconds);
