// A mounting program: how one bearing type is judged. It names the bearing
// designations it is for (a pattern such as "TBU 130x230*"), the presses it
// may run on, its record length and alarm threshold, and the criteria a
// recorded curve must meet. A program is read from and written to JSON, and
// the recording made with it carries it whole, so a page can always say what
// it was judged by.
#pragma once

#include <string>
#include <vector>

enum class CriterionKind { Peak, Hold, Drop, Window, Envelope };

/// "peak", "hold", "drop", "window" or "envelope", as the JSON names them.
const char* KindName(CriterionKind kind);

/// One point of an envelope: the band the force must lie in at `seconds`
/// after the start of the rise.
struct EnvelopePoint {
    double seconds = 0, lowerTons = 0, upperTons = 0;
};

/// One criterion; which fields count depends on its kind.
struct Criterion {
    CriterionKind kind = CriterionKind::Peak;
    double minTons = 0, maxTons = 0;                         ///< peak, window
    double aboveTons = 0, minSeconds = 0;                    ///< hold
    double maxDecayPct = -1;                                 ///< hold; negative: not judged
    double maxPct = 0;                                       ///< drop
    double fromSeconds = 0, toSeconds = 0;                   ///< window
    double kSigma = 3, minWidthTons = 10, stepSeconds = 0.1; ///< envelope
    std::vector<EnvelopePoint> envelope;                     ///< empty: not taught yet
    std::vector<std::string> taughtFrom;                     ///< the recordings it was taught from
};

struct Program {
    std::string name;
    int version = 1;
    std::string bearing;              ///< pattern of the designations it is for
    std::vector<std::string> presses; ///< empty: any press
    int recordLengthSeconds = 0;      ///< 0: as typed on the panel
    int alarmThresholdBar = 0;        ///< 0: the press's own
    std::string description;
    std::vector<Criterion> criteria;

    /// "TBU 130x230 v3"
    std::string Title() const;
    /// Whether it may run on `press` (any press when none is named).
    bool RunsOn(const std::string& press) const;
};

/// The program in `json`; false with the fault in `why` ("criterion 2
/// (hold): min_s must be above 0"). An envelope that is not taught yet is a
/// fault unless `untaughtAllowed` (a program about to be taught).
bool ParseProgram(const std::string& json, Program& program, std::string* why,
                  bool untaughtAllowed = false);
/// The program as JSON: indented for a file, or on one line.
std::string ProgramJson(const Program& program, bool indented = true);
/// The faults of a program made in code (the same checks as ParseProgram).
bool ValidProgram(const Program& program, std::string* why, bool untaughtAllowed = false);

/// Whether `designation` matches `pattern`: "*" stands for any characters,
/// "?" for one; letters are compared without case, and spaces at either end
/// do not count.
bool MatchesBearing(const std::string& pattern, const std::string& designation);

/// The program for a bearing on a press among `programs`: the one whose
/// pattern matches with the most characters spelt out. Null when none
/// matches; null with `why` when only programs for other presses match, or
/// two match equally.
const Program* ProgramFor(const std::vector<Program>& programs, const std::string& designation,
                          const std::string& press, std::string* why);
