// What the state banner above the plot says: the link's and the cycle's state
// in one line, with the live pressure and force. A function of the state and
// the last reading, without any window; the panel paints what it returns.
#pragma once

#include "station/limits.h"

#include <string>
#include <vector>

/// A rise of this many bar within 1.5 s is a stroke, not a jitter.
constexpr int kRisingBar = 3;

enum class LinkPhase { NotConnected, Connecting, Connected, Reconnecting };

/// Muted colours for the normal states; amber only for warnings, red only
/// for the alarm. Lost: the module's link is gone; grey with a red border,
/// never the alarm's red. Armed is not a warning and not amber.
enum class BannerColour { Grey, Blue, Amber, Green, Red, Slate, Lost, Armed };

struct BannerInputs {
    LinkPhase link = LinkPhase::NotConnected;
    std::string address; ///< "127.0.0.1:65100"
    int reconnectAttempt = 0;
    bool haveReading = false;    ///< a reading came on this link
    int bar = 0;                 ///< the last reading
    bool pressureRising = false; ///< it rose by kRisingBar or more in the last 1.5 s
    double surface = 0;          ///< cm² of the selected press
    bool armed = false;
    bool recording = false;
    int secondsLeft = 0;
    int alarmThreshold = 0;         ///< bar; 0: no alarm
    bool alarmAbove = false;        ///< the pressure is above the threshold now
    bool alarmLatched = false;      ///< an alarm waits to be acknowledged
    AlarmRecord alarm;              ///< the newest alarm
    long long aboveThresholdMs = 0; ///< how long the latched alarm has been on
    std::string journalProblem;     ///< why the running recording's journal fails, or ""
    std::string startNote;          ///< why the running recording's rise is missing, or ""
    /// The PC's clock read earlier than the end of the last recording at Start.
    bool clockBehind = false;
    /// The press's calibration is overdue (for a recording: it was at Start).
    bool calibrationOverdue = false;
    std::string storeProblem;  ///< why the record store cannot be written, or ""
    bool done = false;         ///< a cycle ended with a recording
    std::string doneJob;       ///< its axle and side: "AX-2026-0420 B"
    bool lowSinceDone = false; ///< a reading at or below 4 bar came since
    RecordingResults results;  ///< of that recording
    Judgement judgement;       ///< of that recording
    bool incomplete = false;   ///< that recording ended before its length
};

/// A piece of the banner's line; figures (pressure, force) and the state's
/// word are drawn large, the words between them shrink to fit.
struct BannerRun {
    std::string text; ///< UTF-8
    bool figure = false;
    bool state = false; ///< the state's word: as large as the figures
};

struct Banner {
    BannerColour colour = BannerColour::Grey;
    std::vector<BannerRun> runs;
    Verdict badge = Verdict::None; ///< PASS or FAIL shown at the right end
    bool incompleteBadge = false;  ///< INCOMPLETE there instead: a word of its own
    bool flashing = false;         ///< the alarm: lit and dimmed each half second
    bool lit = true;
    bool acknowledge = false; ///< room at the right end for the acknowledge button
    /// The runs as one line of text.
    std::string Line() const;
};

/// The banner for the state. After a recording the press still holds its
/// pressure: that is DONE, and only a new rise from 4 bar or below is told
/// as pressure rising without a recording.
Banner ComposeBanner(const BannerInputs& in);
