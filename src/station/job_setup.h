// The job's value at Start: what the operator typed and chose, with the press
// and the module in use, turned into the RecordingSetup that everything the
// report says comes from, or the reason for the operator why no recording can
// be made of it.
#pragma once

#include "records/recording.h"

#include <string>

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
};

/// The setup of a recording armed at `armedAt` (wall clock) with a new
/// identity; false, with the reason in `why`, when the press has no valid
/// surface, the record length or threshold cannot be read, or the limits are
/// not valid. `setup` holds what could be read either way (a page of the job
/// as it stands is printed from it).
bool MakeSetup(const JobFields& fields, int64_t armedAt, RecordingSetup& setup, std::string* why);

/// "" when Start may be pressed with these fields, else what is missing ("the
/// operator ID"); the hints shown beside each field.
std::string MissingForStart(const JobFields& fields, std::string* operatorHint = nullptr,
                            std::string* axleHint = nullptr, std::string* lengthHint = nullptr);
