// The force limits a quality engineer sets per press, kept in limits.ini in
// the working directory. No window here.
#pragma once

#include "records/recording.h"

#include <map>
#include <string>
#include <vector>

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

class RecordStore;

/// The audit trail's names of what changed.
extern const char* const kLimitsChange;        ///< "force limits"
extern const char* const kLimitsFileEdited;    ///< "limits.ini edited outside the program"
extern const char* const kPasswordSetChange;   ///< "password set"
extern const char* const kWrongPasswordChange; ///< "wrong password"
/// Settings of the panel that move a verdict, kept as they change.
extern const char* const kAlarmThresholdChange;  ///< "alarm threshold"
extern const char* const kEndWhenReleasedChange; ///< "end when released"
extern const char* const kRecordLengthChange;    ///< "record length"
/// "quality key": the fingerprint of the password file, kept once for a
/// password set before fingerprints were kept.
extern const char* const kQualityKeyChange;

class QualityPassword;
class PasswordAttempts;
/// The wrong passwords since the last change a quality engineer signed,
/// newest first.
std::vector<struct Change> WrongPasswordsSinceSigned(const std::vector<struct Change>& newestFirst);
/// The wrong passwords since the last change a quality engineer signed, as
/// the audit trail (newest first) keeps them, with their wall-clock times:
/// the wait they ask for survives a restart.
PasswordAttempts AttemptsFromTrail(const std::vector<struct Change>& newestFirst);
/// Why the password file may not be used: "" when its fingerprint is the one
/// the trail kept when the password was set (or no fingerprint was kept yet).
std::string QualityKeyRefusal(RecordStore& store, const QualityPassword& password);
/// Keeps the password file's fingerprint in the trail when none is kept
/// for the password in force (one set by an earlier version).
bool KeepQualityKeyFingerprint(RecordStore& store, const QualityPassword& password,
                               const struct Change& who, std::string* why);

/// The limits as the audit trail keeps them: "350 t … 420 t", or "none".
std::string LimitsValue(const ForceLimits* limits);
/// Reads LimitsValue's text back; false when it is neither.
bool ParseLimitsValue(const std::string& text, bool* has, ForceLimits* limits);

/// When and by whom a press's limits were last set.
struct LimitsOrigin {
    int64_t at = 0; ///< wall clock, seconds
    std::string by;
};
using OriginTable = std::map<std::string, LimitsOrigin>;

/// Brings limits.ini's table and the audit trail together when the program
/// starts. For a press the trail knows, the trail holds: a file entry that
/// differs from it was edited outside the program, is put back as the trail
/// has it (`*rewrite` set) and is itself kept in the trail. A press the trail
/// does not know yet has its file entry taken into the trail once. `origins`
/// gets who set each press's limits and when. Returns the notes for the
/// operator, one per press edited outside the program.
std::vector<std::string> ReconcileLimits(LimitTable& table, RecordStore& store,
                                         OriginTable& origins, const std::string& pcName,
                                         int64_t now, bool* rewrite);

/// The alarm threshold of each press, in bar, kept in alarm.ini ("bar,press
/// name" a line) so it survives a restart.
using ThresholdTable = std::map<std::string, int>;
extern const char* const kThresholdsFile;
ThresholdTable ReadThresholds(const std::string& path);
bool WriteThresholds(const std::string& path, const ThresholdTable& table, std::string* error);

/// What a threshold means against the press's limits, for the operator where
/// it is set: "" when it lies between them (or there are none), else e.g.
/// "300 bar = 382.5 t: above the upper limit 380.0 t".
std::string ThresholdAgainstLimits(int bar, double surface, const ForceLimits* limits);
