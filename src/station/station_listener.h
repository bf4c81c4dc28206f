// What the station tells the one who shows it, and how it hands work to that
// one's thread. The station runs on one thread (the GUI thread in the
// program); its link and store workers hand every outcome to it through the
// executor, and it calls its listener on that thread only, in the order
// things happened.
#pragma once

#include "records/recording.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct RecordSummary;

/// Runs tasks on the station's thread, in the order they were posted.
class StationExecutor {
  public:
    virtual ~StationExecutor() = default;
    /// Queues `task`; callable from any thread.
    virtual void Post(std::function<void()> task) = 0;
    /// Queues `task` to run once `ms` milliseconds have passed.
    virtual void PostAfter(int ms, std::function<void()> task) = 0;
};

/// What one batch of readings did.
struct ReadingsStep {
    int bar = 0;                   ///< the batch's last reading
    bool recordingStarted = false; ///< a recording began in this batch
    bool restarted = false;        ///< the curve starts anew (its samples from 0)
    bool appended = false;         ///< samples from `firstNew` on are new
    std::size_t firstNew = 0;
    double fitX = 0, fitY = 0;  ///< the view the curve asks for
    bool lengthReached = false; ///< the recording has its length: the countdown stops
};

/// The station's listener: every call on the station's thread.
class StationListener {
  public:
    virtual ~StationListener() = default;
    /// The link, the cycle, the alarm or the store changed: the banner, the
    /// buttons and the status line follow.
    virtual void OnStateChanged() = 0;
    /// A batch of readings was applied.
    virtual void OnReadings(const ReadingsStep& step) = 0;
    /// The alarm sound is due now.
    virtual void OnAlarmSound() = 0;
    /// The armed or running cycle ended; `recorded` when it had a recording
    /// (whose curve is now whole).
    virtual void OnCycleEnded(bool recorded) = 0;
    /// An alarm of the ending recording is still latched: the operator is
    /// told, and the station acknowledges it in the operator's name when
    /// this returns, before the recording is kept.
    virtual void AskToAcknowledge(const std::string& text) = 0;
    /// The recording was kept (its verdict is final).
    virtual void OnRecordingKept(const Recording& recording) = 0;
    /// The report question for the recording just kept.
    virtual void AskForReport(const Recording& recording) = 0;
    /// A notice that the station may close itself (the module lost); it
    /// returns when the notice is gone. True when the station closed it.
    virtual bool ShowLossNotice(const std::string& text) = 0;
    /// Closes the open loss notice: what it told is over.
    virtual void CloseLossNotice() = 0;
    /// An error for the operator (the module disconnected mid-recording,
    /// the store failed).
    virtual void ShowError(const std::string& text) = 0;
    /// Recordings kept only in their journals were brought into the record
    /// store (an interrupted one among them when `interrupted`): told once.
    virtual void OnJournalsKept(const std::string& text, bool interrupted) = 0;
    /// How the recordings for the plant server stand; "" when there is none.
    virtual void OnPlantStatus(const std::string& text) = 0;
    /// What the store holds of an axle side today (AskEarlier), newest first.
    virtual void OnEarlierRecordings(const std::string& axle, const std::string& side,
                                     const std::vector<RecordSummary>& found) {
        (void)axle, (void)side, (void)found;
    }
};
