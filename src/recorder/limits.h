// The force limits a quality engineer sets per press, kept in limits.ini in
// the working directory, and the verdict on a recording's peak force. No
// window here: the panel, the report and the CSV file show what Judge says.
#pragma once

#include "recorder/report_data.h"

#include <map>
#include <string>

/// Lower and upper limit of the peak force, in tons.
struct ForceLimits {
    double lowerTons = 0;
    double upperTons = 0;
};

/// Limits by press name.
using LimitTable = std::map<std::string, ForceLimits>;

extern const char* const kLimitsFile;

/// The highest limit a press can have, in tons.
constexpr double kMaxLimitTons = 10000;

/// Finite, 0 < lower <= upper <= 10 000 t; otherwise false with the reason.
bool ValidLimits(const ForceLimits& limits, std::string* why);

/// Reads limits.ini: one line "lower_t,upper_t,press name" per press; lines
/// starting with '#' and empty lines are skipped. A line that cannot be read
/// (numbers missing, or not as ValidLimits asks, or no name)
/// is ignored, and `ignored` gets its line numbers ("3, 7"). A missing file is
/// an empty table.
LimitTable ReadLimits(const std::string& path, std::string* ignored = nullptr);

/// Writes the table through a temporary file renamed into place; false with
/// the reason when that fails (the old file is then untouched).
bool WriteLimits(const std::string& path, const LimitTable& table, std::string* error);

enum class Verdict { None, Pass, Fail };

struct Judgement {
    Verdict verdict = Verdict::None;
    std::string reason; ///< why it failed, "peak 516.3 t above 500.0 t"
};

/// The verdict on a recording: none without limits; PASS when the peak force,
/// at the recorded resolution of 0.0001 t, lies within them and the recording
/// is whole; FAIL otherwise. A recording
/// that is `incomplete` ("" when whole) is never PASS.
Judgement Judge(const RecordingResults& results, const ForceLimits* limits,
                const std::string& incomplete);

/// "Result: PASS" or "Result: FAIL (peak 516.3 t above 500.0 t)"; "" for none.
std::string ResultText(const Judgement& judgement);

/// "400.0 t … 500.0 t" as shown on the page and the panel.
std::string LimitsText(const ForceLimits& limits);
