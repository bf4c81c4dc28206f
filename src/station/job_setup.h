// The job's value at Start: what the operator typed and chose, with the press
// and the module in use, turned into the RecordingSetup that everything the
// report says comes from, or the reason for the operator why no recording can
// be made of it.
#pragma once

#include "records/recording.h"
#include "station/press_register.h"

#include <string>
#include <vector>

/// The fields and choices as they stand when Start is pressed.
struct JobFields {
    JobData job;
    std::wstring recordLength;   ///< as typed
    std::wstring alarmThreshold; ///< as typed
    std::string pressName;
    double surface = 0; ///< cm² of the press in use
    bool hasLimits = false;
    ForceLimits limits;
    int64_t limitsSetAt = 0;
    std::string limitsSetBy;
    std::string moduleAddress; ///< "127.0.0.1:65100"
    std::string pcName;
    const std::vector<Program>* programs = nullptr; ///< the mounting programs in force
    bool programRequired = false;                   ///< a bearing without a program is not mounted
    /// The press's entry in the press register; null when it has none (an
    /// installation without the register).
    const PressEntry* registered = nullptr;
    /// Start is refused for a press whose calibration is not recorded.
    bool calibrationRequired = false;
};

/// The mounting program for the typed bearing on the press, or null when
/// it is judged by the press's limits. `refusal` gets why Start cannot go
/// ahead ("" when it can): two programs match, the bearing's program is
/// for other presses, or a program is required and there is none.
const Program* ChosenProgram(const JobFields& fields, std::string* refusal);

/// The setup of a recording armed at `armedAt` (wall clock) with a new
/// identity, judged by the bearing's program (its record length and alarm
/// threshold, where it sets them, in place of the typed ones); false, with
/// the reason in `why`, when the press has no valid surface, its calibration
/// is overdue without a quality engineer's leave (or not recorded where a
/// calibration is required), the record
/// length or threshold cannot be read, the limits are not valid, or the
/// program refuses the job (see ChosenProgram). `setup` holds what could be read either way (a page
/// of the job as it stands is printed from it).
bool MakeSetup(const JobFields& fields, int64_t armedAt, RecordingSetup& setup, std::string* why);

/// "" when Start may be pressed with these fields, else what is missing ("the
/// operator ID"); the hints shown beside each field.
std::string MissingForStart(const JobFields& fields, std::string* operatorHint = nullptr,
                            std::string* axleHint = nullptr, std::string* lengthHint = nullptr);

/// What the panel says when an axle side is typed that was recorded earlier
/// today (`found`, newest first, as the store gave it): "AX-2026-0420 B
/// already has a FAIL today at 10:14", a FAIL named before any later PASS, so
/// that a re-mount never hides one. "" when there is none.
std::string EarlierNote(const std::string& axle, const std::string& side,
                        const std::vector<struct RecordSummary>& found);
