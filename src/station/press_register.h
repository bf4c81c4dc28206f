// The press register: each press's identity, piston surface and calibration.
// Every force the program prints is pressure × surface, so the register is
// changed only by a quality engineer, and each change is an entry of the
// audit trail: the register is the newest intact entry of each press. The
// presses of superfici.ini become the register at the first start with it;
// afterwards the file follows the register, and an edit made outside the
// program is put back and kept in the trail. What a press's calibration
// allows on a given day is decided here too. No window here.
#pragma once

#include "records/record_store.h"
#include "station/settings.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class RecordStore;

struct Calibration {
    std::string certificate;
    std::string calibratedOn, dueOn; ///< "2026-03-02"
    std::string by;                  ///< the laboratory or person
    std::string reference;           ///< the reference gauge used
};

struct PressEntry {
    std::string name, serial;
    double surface = 0;        ///< cm² of the piston
    std::string surfaceSource; ///< where the figure comes from ("drawing 44-12")
    std::string module;        ///< the pressure module or transmitter's serial
    bool calibrated = false;   ///< a calibration is recorded
    Calibration calibration;
    /// Start allowed while the calibration is overdue: until when (wall
    /// clock seconds), by whom and why.
    int64_t overdueAllowedUntil = 0;
    std::string overdueAllowedBy, overdueReason;
};

/// The audit trail's names: a press's entry in the register, and
/// superfici.ini changed outside the program.
extern const char* const kPressRegisterChange; ///< "press register"
extern const char* const kSurfacesFileEdited;  ///< "superfici.ini edited outside the program"

/// The entry as the trail keeps it (JSON), and read back; false with the
/// reason for text that is no valid entry.
std::string PressEntryJson(const PressEntry& entry);
bool ParsePressEntry(const std::string& json, PressEntry& entry, std::string* why);
/// "" when the entry may be kept, else what is wrong with it in words.
std::string PressEntryProblem(const PressEntry& entry);

/// The register by press name, in the order the presses came into it.
struct PressRegister {
    std::vector<PressEntry> presses;
    const PressEntry* Find(const std::string& name) const;
};

/// The register as the trail's newest intact entry of each press holds it;
/// `unusable` gets a line for each press whose newest entry was changed or
/// cannot be read (that press is left out: its surface is not used).
PressRegister ReadPressRegister(RecordStore& store, std::vector<std::string>* unusable = nullptr);

/// Keeps `entry` as the press's newest entry, in the name and for the reason
/// of `change` (its who, pcName, at and reason).
bool KeepPressEntry(RecordStore& store, const PressEntry& entry, const PressEntry* before,
                    struct Change change, std::string* why);

/// Brings superfici.ini and the register together at start. With no press
/// in the register yet, the file's presses are taken into it, in the file's
/// order. Afterwards the register holds: a file that differs from it (a
/// surface changed, a press added, renamed or removed) is set back to the
/// register's presses (`*rewrite` set), and the edit is kept in the trail.
/// Returns the notes for the operator, one per difference.
std::vector<std::string> ReconcileSurfaces(PressList& presses, RecordStore& store,
                                           PressRegister& reg, const std::string& pcName,
                                           int64_t now, bool* rewrite);

/// A calibration that found the press out of tolerance: every recording of
/// the press since its last good calibration must be assessed.
extern const char* const kCalibrationOutOfTolerance; ///< "calibration out of tolerance"

struct OutOfTolerance {
    std::string press;
    std::string foundOn;     ///< the day it was found, "2026-12-01"
    std::string since;       ///< the last good calibration's day; "" none recorded
    std::string certificate; ///< of the calibration that found it
    int64_t at = 0;          ///< when it was recorded, and by whom
    std::string by, reason;
    /// The recordings to assess: the press's, stopped from the start of
    /// `since` to the end of `foundOn` (local days).
    RecordFilter Recordings() const;
};

/// Keeps the finding in the trail, in the name and for the reason of
/// `change`; refused, with the reason, for dates that are not YYYY-MM-DD,
/// a finding before the last good calibration, or one after `change.at`.
bool KeepOutOfTolerance(RecordStore& store, const OutOfTolerance& finding, Change change,
                        std::string* why);
/// Every finding the trail keeps, newest first (entries changed since they
/// were written left out).
std::vector<OutOfTolerance> OutOfToleranceFindings(RecordStore& store);
/// "Press A: out of tolerance found 2026-12-01 (certificate K-2299); its
/// recordings since 2026-03-02".
std::string OutOfToleranceText(const OutOfTolerance& finding, bool translated = false);

/// The press list the register gives, for superfici.ini.
PressList PressListOf(const PressRegister& reg);
/// Writes superfici.ini's line for `presses` through a temporary file; false
/// with the reason.
bool WritePressFile(const std::string& path, const PressList& presses, std::string* error);

/// How an overdue calibration is named on the banner and in a recording's note.
extern const char* const kCalibrationOverdue; ///< "CALIBRATION OVERDUE"

enum class CalibrationState { NotRecorded, Valid, DueSoon, Overdue, OverdueAllowed };

struct CalibrationStatus {
    CalibrationState state = CalibrationState::NotRecorded;
    int daysLeft = 0; ///< until the due date; negative once overdue
    std::string text; ///< for the panel: "calibration due in 5 days (2027-03-02)"
};

/// What the press's calibration allows at `now` (wall clock, local dates):
/// due within 14 days is said; the day after the due date it is overdue,
/// unless a quality engineer allowed Start until a time after `now`.
CalibrationStatus CalibrationAt(const PressEntry& entry, int64_t now);

/// The press's identity and calibration in one line, as the page and the
/// CSV file carry it: "Press A, serial 2019-114, surface 1250 cm² (piston
/// Ø 399 mm); module 00:1B:…; calibrated 2026-03-02, certificate K-2211, due
/// 2027-03-02".
std::string PressIdentityLine(const PressEntry& entry);
/// What a recording made at `now` notes of the calibration: "" unless it was
/// overdue, else that, who allowed Start, until when and why. (A calibration
/// not recorded is said by the identity line.)
std::string CalibrationNote(const PressEntry& entry, int64_t now);
