// A recording as one value: what was set when Start was pressed (the job, the
// press and its surface, the limits, the alarm threshold, the record length,
// the module) and what came of it (the samples, the times, how it ended). The
// cycle, the journal, the page, the CSV file and the verdict are made from
// this value only, so a report always describes the job that was recorded,
// whatever was typed or chosen after Start.
#pragma once

#include "recorder/limits.h"
#include "recorder/report_data.h"

#include <cstdint>
#include <string>
#include <vector>

extern const char* const kProgramVersion;

/// The job data as typed, UTF-8.
struct JobData {
    std::string operatorId, axleDesignation, mountingSide, bearingDesignation, productionDate,
        refurbishmentDate;
};

/// The longest job field the operator can type.
constexpr int kJobFieldMaxLength = 64;

/// Everything a recording's report says that is set before it starts.
struct RecordingSetup {
    JobData job;
    std::string pressName;
    double surface = 0; ///< cm²
    bool hasLimits = false;
    ForceLimits limits;
    int alarmThresholdBar = 0; ///< 0: no alarm
    int recordLengthSeconds = 0;
    std::string moduleAddress; ///< "127.0.0.1:65100"
    int64_t armedAt = 0;       ///< wall clock, seconds, when Start was pressed
    std::string version;
};

struct Recording {
    RecordingSetup setup;
    std::vector<double> times;  ///< seconds since the first sample
    std::vector<double> forces; ///< tons
    std::vector<int> pressures; ///< bar
    int64_t startedAt = 0;      ///< wall clock of the first sample, seconds
    int64_t stoppedAt = 0;      ///< wall clock of the end of the cycle, seconds
    std::string incomplete;     ///< how it ended before its length, or ""
    std::string startNote;      ///< "started at 380 bar: …", or ""
    std::string journalProblem; ///< why its journal could not be written, or ""

    bool Empty() const { return times.empty(); }
    double LastTime() const { return times.empty() ? 0 : times.back(); }
    RecordingResults Results() const;
    /// The verdict against the limits set at Start.
    Judgement Judged() const;
};

/// The record length as typed: whole seconds, digits only, 1 to 999. False,
/// with the reason for the operator, otherwise.
bool ParseRecordLength(const std::wstring& text, int& seconds, std::string* why);

/// The alarm threshold as typed: empty or digits only; 0 (no alarm) when
/// empty. False, with the reason, otherwise.
bool ParseAlarmThreshold(const std::wstring& text, int& bar, std::string* why);
