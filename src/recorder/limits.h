// The force limits a quality engineer sets per press, kept in limits.ini in
// the working directory. No window here.
#pragma once

#include "records/recording.h"

#include <map>
#include <string>

/// Limits by press name.
using LimitTable = std::map<std::string, ForceLimits>;

extern const char* const kLimitsFile;

/// Reads limits.ini: one line "lower_t,upper_t,press name" per press; lines
/// starting with '#' and empty lines are skipped. A line that cannot be read
/// (numbers missing, or not as ValidLimits asks, or no name)
/// is ignored, and `ignored` gets its line numbers ("3, 7"). A missing file is
/// an empty table.
LimitTable ReadLimits(const std::string& path, std::string* ignored = nullptr);

/// Writes the table through a temporary file renamed into place; false with
/// the reason when that fails (the old file is then untouched).
bool WriteLimits(const std::string& path, const LimitTable& table, std::string* error);
