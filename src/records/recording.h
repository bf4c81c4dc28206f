// A recording as one value: what was set when Start was pressed (the job, the
// press and its surface, the limits, the alarm threshold, the record length,
// the module) and what came of it (the samples, the times, how it ended). The
// cycle, the journal, the page, the CSV file and the verdict are made from
// this value only, so a report always describes the job that was recorded,
// whatever was typed or chosen after Start.
#pragma once

#include "judging/judge.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern const char* const kProgramVersion;

/// Lower and upper limit of the peak force, in tons.
struct ForceLimits {
    double lowerTons = 0;
    double upperTons = 0;
};

/// The highest limit a press can have, in tons.
constexpr double kMaxLimitTons = 10000;

/// Finite, 0 < lower <= upper <= 10 000 t; otherwise false with the reason.
bool ValidLimits(const ForceLimits& limits, std::string* why);

/// What a quality engineer reads off a recording: its peak force and when it
/// was reached, and its peak pressure.
struct RecordingResults {
    bool any = false;
    double peakForceTons = 0;
    double peakTimeSeconds = 0;
    int peakBar = 0;
};
RecordingResults Summarise(const std::vector<double>& times, const std::vector<double>& forces,
                           const std::vector<int>& pressures);

constexpr double kKiloNewtonPerTon = 9.80665;

/// The verdict on a recording with every criterion's finding.
using Judgement = CurveJudgement;

/// The rules a recording is judged by. 1: the peak between the press's
/// limits, the start under pressure only noted (recordings made before
/// mounting programs, judged again as they were signed); 2: a rise that is
/// not on the curve makes it INCOMPLETE.
constexpr int kJudgingRules = 2;

/// The program of a bearing with no program of its own: the press's limits
/// as its one criterion, the peak.
Program LimitsProgram(const ForceLimits& limits);

/// The limits the peak is judged against: the program's peak criterion, or
/// the press's `limits` without a program; false when there are none.
bool PeakLimitsOf(const Program* program, const ForceLimits* limits, ForceLimits& out);

/// "Result: PASS", "Result: FAIL (peak 516.3 t above 500.0 t)" or "Result:
/// INCOMPLETE (recording incomplete: module lost at 12.4 s)"; "" for none.
std::string ResultText(const Judgement& judgement);

/// "400.0 t … 500.0 t" as shown on the page and the panel.
std::string LimitsText(const ForceLimits& limits);

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
    /// The press's identity and calibration as the register gave them at
    /// Start ("Press A, serial 2019-114, surface 1250 cm² …"); "" for a
    /// recording made before the register.
    std::string pressIdentity;
    /// What was wrong with the measuring chain at Start: the calibration
    /// overdue (and who allowed Start), a pressure at rest; "" for nothing.
    std::string calibrationNote;
    /// The pressure the press showed at rest just before Start, in bar; -1
    /// when it was not known (no reading, or a recording from before).
    int restBar = -1;
    bool hasLimits = false;
    ForceLimits limits;
    int64_t limitsSetAt = 0; ///< when the limits were last set (wall clock), 0: unknown
    std::string limitsSetBy; ///< and by whom
    /// The mounting program chosen for the bearing; null: judged by the
    /// press's limits.
    std::shared_ptr<const Program> program;
    int judging = kJudgingRules; ///< the rules it is judged by
    int alarmThresholdBar = 0;   ///< 0: no alarm
    int recordLengthSeconds = 0;
    std::string moduleAddress; ///< "127.0.0.1:65100"
    int64_t armedAt = 0;       ///< wall clock, seconds, when Start was pressed
    std::string version;
    std::string uuid;   ///< the recording's identity, made at Start
    std::string pcName; ///< the PC that recorded it
};

/// A new random identity ("3f2a…", 32 hexadecimal digits, version 4 layout).
std::string NewRecordingId();

/// One alarm: the pressure above the threshold from its first reading above
/// to the first at or below it, and when and by whom it was acknowledged.
struct AlarmRecord {
    int thresholdBar = 0;
    int64_t startedAt = 0;    ///< wall clock, seconds
    double startSeconds = -1; ///< into the recording; negative: not seen in one
    int peakBar = 0;
    int64_t endedAt = 0;        ///< 0: still above
    double endSeconds = -1;     ///< into the recording; negative: ended after it
    int64_t acknowledgedAt = 0; ///< 0: not acknowledged
    std::string acknowledgedBy;
};

/// The alarms as the store keeps them, one line each; and read back (false
/// when the text is not such lines).
std::string PackAlarms(const std::vector<AlarmRecord>& alarms);
bool UnpackAlarms(const std::string& text, std::vector<AlarmRecord>& alarms);

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
    /// "the PC's clock read …, earlier than the last recording (…)", or "".
    std::string clockNote;
    std::string csvSha256;           ///< SHA-256 of its CSV file, once that is made
    std::vector<AlarmRecord> alarms; ///< the alarms of its time

    bool Empty() const { return times.empty(); }
    double LastTime() const { return times.empty() ? 0 : times.back(); }
    RecordingResults Results() const;
    /// The verdict by the program chosen at Start, or by the limits set
    /// then, under the rules it was recorded with; none with neither.
    Judgement Judged() const;
    /// What-if: the verdict `program` gives it under today's rules, the
    /// recording and its signed verdict left as they are.
    Judgement JudgedBy(const Program& program) const;
};

/// The record length as typed: whole seconds, digits only, 1 to 999. False,
/// with the reason for the operator, otherwise.
bool ParseRecordLength(const std::wstring& text, int& seconds, std::string* why);

/// The alarm threshold as typed: empty or digits only; 0 (no alarm) when
/// empty. False, with the reason, otherwise.
bool ParseAlarmThreshold(const std::wstring& text, int& bar, std::string* why);
