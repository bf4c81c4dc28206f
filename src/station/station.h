// The press job without a window. The station owns what a job is made of:
// the link to the module with its life cycle (connect, reconnect with
// back-off, one incident per loss), the recording cycle, the alarm watch, the
// journal, the record store's writer and the plant sender, the setup taken at
// Start and the finished recording with its verdict. It takes commands and
// readings on its own thread, reads the wall clock only through its Clock,
// and tells one StationListener what happened.
#pragma once

#include "link/link.h"
#include "records/record_store.h"
#include "records/recording.h"
#include "station/alarm_watch.h"
#include "station/banner_state.h"
#include "station/cycle.h"
#include "station/journal.h"
#include "station/station_listener.h"

#include <memory>
#include <deque>
#include <optional>
#include <string>
#include <vector>

class FileLock;
class PlantSender;
class RecordWriter;

/// The most a press may show at rest, in bar.
constexpr int kRestLimitBar = 2;

class Station : private LinkListener {
  public:
    Station(StationExecutor& executor, StationListener& listener);
    /// Ends every worker first; a recording still running keeps its journal
    /// as "program closed".
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The module
    /// The module to connect to and the commands sent after each connection.
    /// True when a link to another module was closed for it: connect anew.
    bool SetModule(const std::string& address, int port, std::vector<std::string> startup);
    /// "127.0.0.1:65100".
    std::string AddressText() const;
    /// Starts a connection attempt; false when connected or one runs.
    bool Connect();
    /// Gives up the attempt under way.
    void CancelConnect();
    /// Why the last attempt failed ("connection refused"), "" after a success.
    const std::string& ConnectFailure() const { return m_connectFailure; }
    /// Closes the link, or ends the reconnection; a recording ends with it.
    void Disconnect();
    bool Connected() const { return m_connected; }
    bool Connecting() const { return m_connectThread != nullptr && !m_reconnecting; }
    bool Reconnecting() const { return m_reconnecting; }
    int ReconnectAttempt() const { return m_reconnectAttempt; }
    /// A link being closed is still winding down.
    bool Closing() const;

    // The job
    /// Arms a recording of `setup` (see MakeSetup); its journal is opened in
    /// `reportDirectory`. False, with the reason, when it cannot be written.
    bool Start(const RecordingSetup& setup, bool endWhenReleased,
               const std::string& reportDirectory, std::string* why);
    /// Stop: ends the armed or running cycle and asks for the report.
    void Stop();
    /// The countdown ran out: ends a recording whose readings stopped coming.
    void CheckReadingsStopped();
    /// Ends a running recording for the program's exit, without a question.
    void EndForExit();
    /// The threshold typed while no cycle runs, watched by the alarm.
    void SetIdleThreshold(int bar) { m_idleThreshold = bar; }
    /// Queues the end of the current cycle (the countdown's, or the record
    /// length's); one queued by an earlier cycle never ends a later one.
    void PostRecordEnd(RecordEnd why = RecordEnd::Completed);
    /// Counts as connected without a module, telling nothing: tests and
    /// benchmarks feed the readings themselves.
    void AssumeConnected(bool connected) { m_connected = connected; }
    /// Acknowledges the latched alarm in the name of the recording's operator,
    /// or of `idleOperator` when none runs; false when none was latched.
    bool Acknowledge(const std::string& idleOperator);
    /// The per-reading step for a batch of readings.
    void ApplyReadings(const std::vector<Reading>& readings);

    // The report
    /// What Print Report prints: the running recording so far (marked
    /// incomplete), else the last one that ended, else a page of `idle`.
    Recording ToPrint(const RecordingSetup& idle) const;
    /// The page of `recording` was written: the store learns where, and its
    /// hash (only for the last recording, the one the store holds).
    void ReportWritten(const Recording& recording, const std::string& pdfPath,
                       const std::string& csvPath, const std::string& pageSha256);

    // The record store
    /// Opens the store at `path` with its writer; with a plant server (a
    /// libpq connection string) each recording kept is also queued for it.
    /// A store that cannot be used is told once, and recordings are still
    /// kept in their journals and CSV files.
    void OpenRecordStore(const std::string& path, const std::string& plantServer = "");
    /// Hands a recording to the store's writer; its journal at
    /// `journalPath` is marked stored once the store holds it.
    void StoreRecording(const Recording& recording, RecordStatus status,
                        const std::string& journalPath = "");
    /// Asks the store, on its thread, which recordings of `axle` `side` ended
    /// since the start of the local day of `now`; the listener hears
    /// OnEarlierRecordings (nothing without a store).
    void AskEarlier(const std::string& axle, const std::string& side, int64_t now);
    /// Waits until everything handed to the store is written.
    void FlushRecordStore();
    /// Brings into the store, on its thread, every recording of
    /// `reportDirectory`'s journals that it does not hold: the ones a crash
    /// or a power cut interrupted, and the ones that ended while the store
    /// could not be written or before it had them. Each is told once
    /// (OnJournalsKept). Also done by itself while the store fails, and once
    /// it can be written again.
    void KeepJournals(const std::string& reportDirectory);
    const std::string& StorePath() const { return m_storePath; }
    /// How long after a failure the store is tried again (tests shorten it).
    void SetStoreRetry(int ms) { m_storeRetryMs = ms; }
    /// The mounting programs in force, as the store had them when it was
    /// opened or last told (SetPrograms).
    const std::vector<Program>& Programs() const { return m_programs; }
    void SetPrograms(std::vector<Program> programs) { m_programs = std::move(programs); }
    const std::string& StoreProblem() const { return m_storeProblem; }
    const std::string& PlantServerConnection() const { return m_plantServer; }
    PlantSender* Sender() { return m_plantSender.get(); }

    // What it stands at
    bool IsArmed() const { return m_cycle.m_armed; }
    bool IsRecording() const { return m_cycle.m_recording; }
    bool Running() const { return m_cycle.m_armed || m_cycle.m_recording; }
    const RecordingCycle& Cycle() const { return m_cycle; }
    /// The setup of the armed or running cycle (or the last one).
    const RecordingSetup& Setup() const { return m_setup; }
    const std::optional<Recording>& LastRecording() const { return m_lastRecording; }
    const AlarmWatch& Alarm() const { return m_alarmWatch; }
    /// Whole seconds until the running recording ends by itself, at `now`
    /// (steady clock): at its length, or two seconds after the release.
    int SecondsLeft(SteadyTime now) const;
    /// The threshold watched now: the setup's while a cycle runs.
    int WatchedThreshold() const { return Running() ? m_setup.alarmThresholdBar : m_idleThreshold; }
    /// The banner's inputs that the station knows (all but the countdown and,
    /// while idle, the selected press's surface).
    /// The pressure the press shows at rest while no cycle runs (0 without
    /// a reading, or in a stroke, above 4 bar): above kRestLimitBar it is
    /// told beside Start and noted in the next recording.
    int RestPressure() const;
    BannerInputs BannerState() const;
    long long ReadingsApplied() const { return m_readingsApplied; }
    /// Readings beyond any press's pressure, left out (never a sample).
    long long GarbageReadings() const { return m_garbageReadings; }
    int ReportQuestions() const { return m_reportQuestions; }
    /// Loss notices the station closed because the module came back.
    int LossNoticesClosed() const { return m_lossNoticesClosed; }

    /// Replaces the wall clock (tests place readings at exact instants).
    void SetClock(Clock& clock) {
        m_cycle.SetClock(clock);
        m_clock = &clock;
    }
    int64_t WallSeconds() const { return m_clock->Now().seconds; }

  private:
    // LinkListener, on the link's threads
    void OnReadingsWaiting(int linkId) override;
    void OnLinkLost(int linkId, LinkLoss loss) override;

    /// Runs `task` on the station's thread unless the station is gone.
    void Later(std::function<void()> task);
    void LaterAfter(int ms, std::function<void()> task);

    void OnRecordEnd(int generation, RecordEnd why);
    /// The stop half of the cycle: disarms, closes the journal, keeps the
    /// recording and asks for the report when `ask` and connected.
    void FinishCycle(RecordEnd why, bool ask);
    Recording CurrentRecording() const;
    void OnStoreFailed(const std::string& why);
    /// The store wrote again after failing: what waited in journals comes in.
    void OnStoreWrote();

    std::unique_ptr<ConnectThread> StartConnectThread();
    void OnConnectOutcome(ConnectResult& result);
    void StartLink(UniqueSocket socket);
    void DrainReadings(int linkId);
    void HandleLinkLost(int linkId, LinkLoss loss);
    void ScheduleReconnect();
    void OnReconnectDue(int generation);
    void StopReconnecting();
    void CloseLink();

    StationExecutor& m_executor;
    StationListener& m_listener;
    /// Tasks posted hold it weakly: one that runs after the station is gone
    /// does nothing.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    SystemClock m_systemClock;
    Clock* m_clock = &m_systemClock;
    RecordingCycle m_cycle{m_systemClock};
    RecordingSetup m_setup;
    bool m_endWhenReleased = true;
    int m_idleThreshold = 0;
    std::optional<Recording> m_lastRecording;
    int64_t m_stoppedAt = 0;
    RecordingJournal m_journal;
    AlarmWatch m_alarmWatch;
    SteadyTime m_alarmSince;
    int m_reportQuestions = 0;
    long long m_readingsApplied = 0;
    long long m_garbageReadings = 0;
    int m_garbageInRecording = 0;
    bool m_haveReading = false;
    int m_lastBar = 0;
    std::deque<std::pair<SteadyTime, int>> m_recentBars; ///< the last 1.5 s of readings
    bool m_done = false; ///< a cycle ended with a recording, and no new one started
    bool m_lowSinceDone = false;
    RecordingResults m_doneResults; ///< of the last recording, for the banner
    Judgement m_doneJudgement;
    bool m_doneIncomplete = false;

    std::unique_ptr<FileLock> m_storeLock;
    std::unique_ptr<RecordWriter> m_recordWriter;
    std::vector<Program> m_programs;
    std::unique_ptr<PlantSender> m_plantSender;
    std::string m_storePath, m_storeProblem, m_plantServer;
    std::string m_journalDirectory; ///< where journals are kept (the report directory)
    bool m_storeDamaged = false;    ///< refused for good: no retries
    bool m_storeRetryDue = false;
    int64_t m_newestStop = 0;   ///< when the store's latest recording ended
    std::string m_clockNote;    ///< of the running recording
    bool m_clockBehind = false; ///< at Start, the clock read earlier than m_newestStop
    int m_storeRetryMs = 10000;

    std::string m_address;
    int m_port = 0;
    std::vector<std::string> m_startup;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<ConnectThread> m_connectThread;
    std::vector<std::unique_ptr<DisconnectThread>> m_closing;
    std::vector<Reading> m_taken;
    std::string m_connectFailure;
    bool m_connected = false;
    bool m_reconnecting = false;
    int m_reconnectAttempt = 0;
    int m_reconnectGeneration = 0;
    int m_attemptCount = 0;
    int m_linkCount = 0;
    SteadyTime m_linkStartedAt; ///< a link that held 30 s ends the back-off
    bool m_lossNoticeOpen = false;
    int m_lossNoticesClosed = 0;
};
