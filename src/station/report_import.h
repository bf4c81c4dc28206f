// Reports written before the record store, brought into it: every
// Report_Mounting_*.csv of a folder, with or without the header lines that
// later versions write, read into a recording and added once. A file whose
// recording is already in the store is counted, not added again.
#pragma once

#include "records/record_store.h"

#include <string>
#include <utility>
#include <vector>

/// Reads the header lines and samples of a curve file as the program writes
/// it (dates and identity may be missing); false, with the reason, when it
/// is not one.
bool ReadCurveFile(const std::string& path, Recording& recording, std::string* why);

/// Reads a report's CSV file into a recording; false, with the reason, when
/// it is not one. Its identity is made from its name and content, so the
/// same file always gives the same one.
bool ReadReportCsv(const std::string& path, Recording& recording, std::string* why);

/// Whether a recording read from a file could have been made by the program:
/// the checks of Start (a surface, valid limits, a record length of 1 to
/// 999 s, fields of at most 64 characters) and of its end (from 1 to 200 000
/// samples, times from 0 rising and within the record length, pressures a
/// press can hold, forces that are the pressure on the surface, and a curve
/// that reached its length or its release unless it is marked INCOMPLETE).
/// False, with the first fault found.
bool PlausibleRecording(const Recording& recording, std::string* why);

/// The largest report file read: 200 000 samples and their header.
constexpr long long kMaxReportFileBytes = 16LL << 20;

struct ImportOutcome {
    int read = 0;                                             ///< added to the store
    int already = 0;                                          ///< in the store before
    std::vector<std::pair<std::string, std::string>> skipped; ///< file name, why
    std::string failure; ///< the store could not be written, or ""
    /// "12 reports read, 3 already in the store, 1 skipped:\n  name: why".
    std::string Summary() const;
};

/// Imports every report of `directory`; each recording carries `pcName`,
/// the PC that imported it, and says it was imported.
ImportOutcome ImportReports(const std::string& directory, RecordStore& store,
                            const std::string& pcName);
