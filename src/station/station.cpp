// The station's job: the cycle fed with readings, the alarm, the journal, the
// kept recording with its verdict, the report's choice and the record store.
// The link's life cycle is in station_link.cpp.
#include "station/station.h"

#include "plant/plant_sender.h"
#include "records/file_access.h"
#include "records/integrity.h"
#include "records/record_writer.h"
#include "station/local_time.h"
#include "station/press_register.h"
#include "station/report_data.h"
#include "station/translate.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>

Station::Station(StationExecutor& executor, StationListener& listener)
    : m_executor(executor), m_listener(listener) {}

Station::~Station() {
    // What is still queued for the store is written before anything goes;
    // what waits for the plant server stays in the store's outbox.
    m_recordWriter.reset();
    m_plantSender.reset();
    // Every worker ends here, before anything they report to is gone (and
    // before the token their posted tasks check).
    m_connectThread.reset();
    m_link.reset();
    m_closing.clear();
    if (m_cycle.m_recording) {
        // Ended without EndForExit: its journal ends whole, so the next start
        // keeps it from there.
        m_cycle.Disarm(RecordEnd::ProgramClosed);
        m_stoppedAt = m_clock->Now().seconds;
        const Recording closed = CurrentRecording();
        m_journal.AppendLine(JournalKeptLines(closed));
        m_journal.Close(closed.incomplete);
    } else {
        m_journal.Discard();
    }
}

void Station::Later(std::function<void()> task) {
    m_executor.Post([alive = std::weak_ptr<int>(m_alive), task = std::move(task)] {
        if (alive.lock()) task();
    });
}

void Station::LaterAfter(int ms, std::function<void()> task) {
    m_executor.PostAfter(ms, [alive = std::weak_ptr<int>(m_alive), task = std::move(task)] {
        if (alive.lock()) task();
    });
}

//-----------------------------------------------------------------------------
// The cycle

bool Station::Start(const RecordingSetup& setup, bool endWhenReleased,
                    const std::string& reportDirectory, std::string* why) {
    if (Running()) return false;
    m_setup = setup;
    m_endWhenReleased = endWhenReleased;
    // The zero at rest: a press that shows pressure with no stroke (a
    // drifting transmitter, a trapped pressure) is noted in the recording.
    if (const int rest = RestPressure(); rest > kRestLimitBar) {
        const std::string note = "pressure at rest " + std::to_string(rest) +
                                 " bar before Start (more than " + std::to_string(kRestLimitBar) +
                                 " bar: check the transmitter's zero)";
        m_setup.calibrationNote += (m_setup.calibrationNote.empty() ? "" : "; ") + note;
    }
    if (m_connected && m_haveReading && m_lastBar <= 4) m_setup.restBar = m_lastBar;
    // A recording that could not be kept through a crash is not started.
    std::string reason;
    if (!m_journal.Open(reportDirectory, FileStamp(m_setup.armedAt), JournalHeader(m_setup),
                        SteadyClock::now(), &reason)) {
        if (why)
            *why = "The recording cannot start: its journal cannot be written in the folder " +
                   reportDirectory + "/recordings (" + reason +
                   ").\nChoose another folder with Modify \xE2\x86\x92 Change PDF Directory, or "
                   "free the disk.";
        return false;
    }
    m_journalDirectory = reportDirectory;
    // A clock earlier than the last recording would date this one before
    // it: told on the banner while it runs, and noted in the recording.
    m_clockBehind = m_setup.armedAt < m_newestStop;
    m_cycle.Arm();
    m_listener.OnStateChanged();
    return true;
}

int Station::RestPressure() const {
    // Above 4 bar the press is in a stroke, not at rest.
    return m_connected && m_haveReading && !Running() && m_lastBar <= 4 ? m_lastBar : 0;
}

void Station::Stop() {
    if (Running()) FinishCycle(RecordEnd::Operator, true);
}

void Station::PostRecordEnd(RecordEnd why) {
    const int generation = m_cycle.Generation();
    Later([this, generation, why] { OnRecordEnd(generation, why); });
}

void Station::OnRecordEnd(int generation, RecordEnd why) {
    // Record-end events queued by an earlier cycle, or after this one has
    // already ended, have nothing to end: one question per cycle.
    if (generation != m_cycle.Generation() || !Running()) return;
    FinishCycle(why, true);
}

void Station::CheckReadingsStopped() {
    // The recording ends with the sample that reaches its length; the
    // countdown ends it only when readings no longer come.
    if (!m_cycle.m_recording || m_cycle.m_lengthReached) return;
    if (SteadyClock::now() - m_cycle.m_lastSampleArrival > std::chrono::seconds(1))
        PostRecordEnd(RecordEnd::ReadingsStopped);
}

void Station::EndForExit() {
    if (Running()) FinishCycle(RecordEnd::ProgramClosed, false);
}

bool Station::Acknowledge(const std::string& idleOperator) {
    const std::string who = Running() ? m_setup.job.operatorId : idleOperator;
    if (!m_alarmWatch.Acknowledge(m_clock->Now().seconds, who)) return false;
    m_listener.OnStateChanged();
    return true;
}

int Station::SecondsLeft(SteadyTime now) const {
    CycleInputs inputs;
    inputs.recordLengthSeconds = m_setup.recordLengthSeconds;
    inputs.endWhenReleased = m_endWhenReleased;
    return m_cycle.SecondsLeft(now, inputs);
}

void Station::ApplyReadings(const std::vector<Reading>& readings) {
    if (readings.empty()) return;
    m_readingsApplied += static_cast<long long>(readings.size());

    CycleInputs inputs;
    inputs.recordLengthSeconds = m_setup.recordLengthSeconds;
    inputs.surface = m_setup.surface;
    inputs.endWhenReleased = m_endWhenReleased;
    inputs.pollMs = LinkOptions().pollMs;
    // The wall clock once a batch, for the dates an alarm keeps (a batch
    // spans milliseconds).
    const int64_t now = m_clock->Now().seconds;

    ReadingsStep step;
    step.firstNew = m_cycle.m_times.size();
    bool sound = false;
    int lastBar = m_lastBar;
    for (const Reading& reading : readings) {
        // Well formed, but no pressure a press can hold: garbage, counted.
        if (reading.bar > kMaxPlausibleBar || reading.bar < -kMaxPlausibleBar) {
            ++m_garbageReadings;
            if (m_cycle.m_recording && !m_cycle.m_lengthReached) ++m_garbageInRecording;
            continue;
        }
        lastBar = reading.bar;
        // The last second and a half of readings: whether the pressure rises.
        m_recentBars.emplace_back(reading.arrival, reading.bar);
        while (reading.arrival - m_recentBars.front().first > std::chrono::milliseconds(1500))
            m_recentBars.pop_front();
        ReadingEffects fx = m_cycle.OnReading(reading.bar, reading.arrival, inputs);
        if (fx.recordingStarted) {
            m_garbageInRecording = 0;
            m_clockNote.clear();
            if (m_cycle.m_recordStartWall.seconds < m_newestStop)
                m_clockNote = "the PC's clock read " +
                              IsoDateTime(m_cycle.m_recordStartWall.seconds) +
                              " at the start, earlier than the end of the recording before (" +
                              IsoDateTime(m_newestStop) + ")";
            step.recordingStarted = step.restarted = true;
            step.firstNew = 0;
            m_done = false;
            m_journal.AppendLine(JournalStartLine(m_cycle.m_recordStartWall.seconds));
            m_alarmWatch.BeginRecording();
        }
        // The alarm watches every reading, whether a recording runs or not.
        const double seconds =
            m_cycle.m_recording
                ? std::chrono::duration<double>(reading.arrival - m_cycle.m_recordStart).count()
                : -1;
        const bool wasLatched = m_alarmWatch.Latched();
        const AlarmWatch::Step alarm =
            m_alarmWatch.OnReading(reading.bar, WatchedThreshold(), reading.arrival, now, seconds);
        if (m_alarmWatch.Latched() && !wasLatched) m_alarmSince = reading.arrival;
        sound = sound || alarm.sound;
        if (fx.recordEnd) {
            PostRecordEnd(RecordEnd::Completed);
            step.lengthReached = true;
        }
        if (fx.appended) {
            step.appended = true;
            step.fitX = fx.fitXMax;
            step.fitY = fx.fitYMax;
        }
        if (reading.bar <= 4) m_lowSinceDone = true;
    }
    step.bar = lastBar;
    m_haveReading = true;
    m_lastBar = step.bar;
    if (step.appended) {
        const auto& times = m_cycle.m_times;
        for (size_t i = step.firstNew; i < times.size(); ++i)
            m_journal.Append(times[i], m_cycle.m_forces[i], m_cycle.m_pressures[i]);
        m_journal.FlushIfDue(SteadyClock::now());
    }
    if (sound) m_listener.OnAlarmSound();
    m_listener.OnReadings(step);
}

Recording Station::CurrentRecording() const {
    Recording r;
    r.setup = m_setup;
    r.times = m_cycle.m_times;
    r.forces = m_cycle.m_forces;
    r.pressures = m_cycle.m_pressures;
    r.startedAt = m_cycle.m_recordStartWall.seconds;
    r.stoppedAt = m_stoppedAt;
    r.incomplete = m_cycle.IncompleteText();
    // A sample missing from the curve: not a whole recording.
    if (r.incomplete.empty() && m_garbageInRecording > 0)
        r.incomplete = std::to_string(m_garbageInRecording) + " readings beyond " +
                       std::to_string(kMaxPlausibleBar) + " bar left out (garbage from the module)";
    r.startNote = m_cycle.StartNote();
    r.clockNote = m_clockNote;
    r.alarms = m_alarmWatch.RecordingAlarms();
    if (!m_journal.Problem().empty())
        r.journalProblem =
            "the journal of this recording could not be written (" + m_journal.Problem() + ")";
    return r;
}

void Station::FinishCycle(RecordEnd why, bool ask) {
    const bool wasRecording = m_cycle.Disarm(why);
    m_stoppedAt = m_clock->Now().seconds;
    if (!wasRecording) m_journal.Discard(); // armed, but nothing was recorded
    m_listener.OnCycleEnded(wasRecording);
    if (!wasRecording) return;
    // An alarm of this recording still latched is acknowledged before the
    // recording is kept, so the page and the store say when and by whom.
    const std::vector<AlarmRecord> alarms = m_alarmWatch.RecordingAlarms();
    if (ask && m_alarmWatch.Latched() && !alarms.empty()) {
        m_listener.AskToAcknowledge(TrFormat("ALARM during this recording: %s.\nPress OK to "
                                             "acknowledge it.",
                                             AlarmText(alarms.back(), true).c_str()));
        Acknowledge(m_setup.job.operatorId);
    }
    m_lastRecording = CurrentRecording();
    m_newestStop = std::max(m_newestStop, m_lastRecording->stoppedAt);
    const std::string incomplete = m_lastRecording->incomplete;
    // The journal gets everything the recording is kept with, and its end
    // line, before the store is asked: until the store holds the recording,
    // its journal is what keeps it (the next start brings it in).
    m_journal.AppendLine(JournalKeptLines(*m_lastRecording));
    m_journal.Close(!incomplete.empty() ? incomplete
                    : !m_cycle.EndText().empty()
                        ? m_cycle.EndText()
                        : "completed at " + CsvNumber(m_cycle.LastTime()) + " s");
    if (!m_journal.Problem().empty())
        m_lastRecording->journalProblem =
            "the journal of this recording could not be written (" + m_journal.Problem() + ")";
    // What its CSV file will hold is fixed now; the store and the page both
    // carry its hash.
    m_lastRecording->csvSha256 = Sha256Hex(CurveCsvText(*m_lastRecording));
    // Kept before the report question: answering No loses nothing.
    StoreRecording(*m_lastRecording,
                   incomplete.empty() ? RecordStatus::Complete : RecordStatus::Incomplete,
                   m_journal.Path());
    m_done = true;
    m_lowSinceDone = false;
    // Summed once: the banner shows them on every reading until the next start.
    m_doneResults = m_lastRecording->Results();
    m_doneJudgement = m_lastRecording->Judged();
    m_doneIncomplete = !incomplete.empty();
    m_listener.OnRecordingKept(*m_lastRecording);
    const std::string lost = "Module disconnected. Please check the Wi-Fi connection and retry.";
    if (!ask) {
        if (why == RecordEnd::Disconnected) m_listener.ShowError(lost);
        return;
    }
    if (m_connected) {
        ++m_reportQuestions;
        m_listener.AskForReport(*m_lastRecording);
    } else {
        m_listener.ShowError(lost);
    }
}

BannerInputs Station::BannerState() const {
    BannerInputs in;
    if (m_connected)
        in.link = LinkPhase::Connected;
    else if (m_reconnecting)
        in.link = LinkPhase::Reconnecting;
    else if (m_connectThread)
        in.link = LinkPhase::Connecting;
    in.address = AddressText();
    in.reconnectAttempt = m_reconnectAttempt;
    in.haveReading = m_haveReading;
    in.bar = m_lastBar;
    // Rising: 3 bar or more above the lowest of the last 1.5 s, not a
    // transmitter's jitter about a pressure held.
    if (!m_recentBars.empty()) {
        int lowest = m_lastBar;
        for (const auto& [at, bar] : m_recentBars)
            lowest = std::min(lowest, bar);
        in.pressureRising = m_lastBar - lowest >= kRisingBar;
    }
    in.surface = m_setup.surface;
    in.armed = m_cycle.m_armed;
    in.recording = m_cycle.m_recording && !m_cycle.m_lengthReached;
    // Told at once when the verdict can no longer be PASS for it.
    if (in.recording && m_cycle.StartBar() >= kStartedUnderPressureBar)
        in.startNote = m_cycle.StartNote();
    in.clockBehind = Running() && m_clockBehind;
    in.calibrationOverdue = Running() && m_setup.calibrationNote.rfind(kCalibrationOverdue, 0) == 0;
    in.alarmThreshold = WatchedThreshold();
    in.journalProblem = m_journal.IsOpen() ? m_journal.Problem() : "";
    in.storeProblem = m_storeProblem;
    in.alarmAbove = m_connected && m_alarmWatch.Above();
    in.alarmLatched = m_connected && m_alarmWatch.Latched();
    if (const AlarmRecord* alarm = m_alarmWatch.Last()) in.alarm = *alarm;
    if (in.alarmLatched)
        in.aboveThresholdMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - m_alarmSince)
                .count();
    in.done = m_done;
    in.lowSinceDone = m_lowSinceDone;
    in.results = m_doneResults;
    if (m_done && m_lastRecording)
        in.doneJob = m_lastRecording->setup.job.axleDesignation + " " +
                     m_lastRecording->setup.job.mountingSide;
    in.judgement = m_doneJudgement;
    in.incomplete = m_doneJudgement.verdict == Verdict::Incomplete ||
                    (m_doneJudgement.verdict == Verdict::None && m_doneIncomplete);
    return in;
}

//-----------------------------------------------------------------------------
// The report

Recording Station::ToPrint(const RecordingSetup& idle) const {
    if (m_cycle.m_recording) {
        // Printed while it runs: what was recorded so far, never taken for a
        // whole recording.
        Recording running = CurrentRecording();
        running.stoppedAt = m_clock->Now().seconds;
        char text[64];
        std::snprintf(text, sizeof text, "printed during the recording at %.1f s",
                      running.LastTime());
        running.incomplete = text;
        return running;
    }
    // Also after a new job was armed: the last recording with its own job.
    if (m_lastRecording) return *m_lastRecording;
    // Nothing recorded yet: a page of the job as it stands, marked so.
    Recording nothing;
    nothing.setup = idle;
    nothing.stoppedAt = m_clock->Now().seconds;
    return nothing;
}

void Station::ReportWritten(const Recording& recording, const std::string& pdfPath,
                            const std::string& csvPath, const std::string& pageSha256) {
    if (!m_recordWriter || !m_lastRecording || recording.setup.uuid != m_lastRecording->setup.uuid)
        return;
    const std::string uuid = recording.setup.uuid;
    const int64_t printedAt = m_clock->Now().seconds;
    m_recordWriter->Post(
        [=](RecordStore& store, std::string* why) {
            return store.SetReportFiles(uuid, pdfPath, csvPath, printedAt, why) &&
                   store.SetReportHash(uuid, pageSha256, why, printedAt);
        },
        [this](bool ok, const std::string& why) {
            if (!ok) Later([this, why] { OnStoreFailed(why); });
            // The page's seal goes to the plant server now, not with the next recording.
            if (ok && m_plantSender) m_plantSender->Nudge();
        });
}

//-----------------------------------------------------------------------------
// The record store

void Station::OpenRecordStore(const std::string& path, const std::string& plantServer) {
    // The writer first: it nudges the sender.
    m_recordWriter.reset();
    m_plantSender.reset();
    m_storeLock.reset();
    m_storePath = path;
    m_plantServer = plantServer;
    m_storeProblem.clear();
    std::string why;
    // One program writes a store: a second one, from another working
    // directory, is told instead of mixing its recordings in.
    m_storeLock = std::make_unique<FileLock>();
    if (!m_storeLock->Acquire(path + ".lock", &why)) {
        m_storeLock.reset();
        Later([this, why] { OnStoreFailed(why); });
        return;
    }
    std::unique_ptr<RecordStore> store = RecordStore::Open(path, &why);
    if (!store) {
        Later([this, why] { OnStoreFailed(why); });
        return;
    }
    store->QueueForPlant(!plantServer.empty());
    m_programs = store->Programs();
    m_newestStop = store->NewestStop();
    m_storeDamaged = false;
    m_recordWriter = std::make_unique<RecordWriter>(std::move(store));
    // SQLite's own check first, on the writer's thread (a large store takes
    // a while): nothing is written to a damaged store, it is left as it is.
    m_recordWriter->Post([](RecordStore& store, std::string* why) { return store.QuickCheck(why); },
                         [this](bool ok, const std::string& why) {
                             if (ok) return;
                             m_recordWriter->Refuse(why);
                             Later([this, why] {
                                 m_storeDamaged = true;
                                 OnStoreFailed(why);
                             });
                         });
    if (plantServer.empty()) return;
    m_plantSender =
        std::make_unique<PlantSender>(path, plantServer, [this](const PlantSendStatus& status) {
            const std::string waiting = WaitingText(status);
            const std::string text =
                waiting.empty() ? "No recording waiting for the plant server" : waiting;
            Later([this, text] { m_listener.OnPlantStatus(text); });
        });
}

void Station::StoreRecording(const Recording& recording, RecordStatus status,
                             const std::string& journalPath) {
    if (!m_recordWriter) return;
    Recording stored = recording;
    if (stored.csvSha256.empty()) stored.csvSha256 = Sha256Hex(CurveCsvText(stored));
    const int64_t now = m_clock->Now().seconds;
    m_recordWriter->Post(
        [stored = std::move(stored), status, journalPath, now](RecordStore& store,
                                                               std::string* why) {
            if (!store.Add(stored, status, nullptr, why)) return false;
            // Held by the store: its journal is done.
            if (!journalPath.empty()) MarkJournalStored(journalPath, now);
            return true;
        },
        [this](bool ok, const std::string& why) {
            if (!ok) Later([this, why] { OnStoreFailed(why); });
            if (ok) Later([this] { OnStoreWrote(); });
            // On the writer's thread, which ends before the sender does.
            if (ok && m_plantSender) m_plantSender->Nudge();
        });
}

void Station::AskEarlier(const std::string& axle, const std::string& side, int64_t now) {
    if (!m_recordWriter || axle.empty()) return;
    LocalTime day = ToLocalTime(now);
    day.hour = day.minute = day.second = 0;
    const int64_t from = FromLocalTime(day);
    auto found = std::make_shared<std::vector<RecordSummary>>();
    m_recordWriter->Post(
        [axle, side, from, found](RecordStore& store, std::string*) {
            *found = store.OfAxleSide(axle, side, from);
            return true;
        },
        [this, axle, side, found](bool ok, const std::string&) {
            if (ok)
                Later([this, axle, side, found] {
                    m_listener.OnEarlierRecordings(axle, side, *found);
                });
        });
}

void Station::FlushRecordStore() {
    if (m_recordWriter) m_recordWriter->Drain();
}

void Station::OnStoreFailed(const std::string& why) {
    const bool told = !m_storeProblem.empty();
    m_storeProblem = why.empty() ? "cannot be written" : why;
    m_listener.OnStateChanged();
    // A full or read-only store is tried again, so what waits in journals
    // comes in without a new recording; a damaged one is left alone.
    if (m_recordWriter && !m_storeDamaged && !m_storeRetryDue && !m_journalDirectory.empty()) {
        m_storeRetryDue = true;
        LaterAfter(m_storeRetryMs, [this] {
            m_storeRetryDue = false;
            if (!m_storeProblem.empty()) KeepJournals(m_journalDirectory);
        });
    }
    if (told) return;
    m_listener.ShowError("The record store " + m_storePath + " cannot be used: " + m_storeProblem +
                         ".\nRecordings are still kept in their journals and CSV files.");
}

void Station::OnStoreWrote() {
    if (m_storeProblem.empty() || m_storeDamaged) return;
    m_storeProblem.clear();
    m_listener.OnStateChanged();
    if (!m_journalDirectory.empty()) KeepJournals(m_journalDirectory);
}

namespace {

/// The journals whose recordings were brought into the store.
struct JournalsKept {
    std::vector<std::string> paths;
    std::vector<bool> whole; ///< ended whole, or interrupted
};

/// Brings every journal of `directory` whose recording `store` does not hold
/// into it, leaving `current` (the one being written) alone. False, with the
/// reason, when the store failed; what came in before stays in `kept`.
bool BringInJournals(RecordStore& store, const std::string& directory, const std::string& current,
                     int64_t now, JournalsKept& kept, std::string* why) {
    for (const JournalFile& journal : FindJournals(directory)) {
        // Done, being written, or ended by an earlier version (which kept
        // its recording itself).
        if (journal.stored || journal.path == current || (journal.ended && !journal.whole))
            continue;
        if (!journal.uuid.empty() && store.Contains(journal.uuid)) {
            // Kept before a crash let it be marked.
            if (!journal.ended) MarkJournalInterrupted(journal.path);
            MarkJournalStored(journal.path, now);
            continue;
        }
        // Armed when the program ended, nothing recorded: nothing to keep.
        if (!journal.ended && !JournalHasRecording(journal.path)) {
            RemovePath(journal.path);
            continue;
        }
        Recording recording;
        if (!ReadJournal(journal.path, recording)) continue;
        if (recording.setup.uuid.empty()) {
            // Its identity goes into the journal before the store has it.
            recording.setup.uuid = NewRecordingId();
            if (!AddJournalIdentity(journal.path, recording.setup.uuid)) continue;
        }
        RecordStatus status = RecordStatus::Interrupted;
        if (journal.whole) {
            status =
                recording.incomplete.empty() ? RecordStatus::Complete : RecordStatus::Incomplete;
        } else {
            char ended[96];
            std::snprintf(ended, sizeof ended, "interrupted at %.1f s (the program ended)",
                          recording.LastTime());
            recording.incomplete = ended;
        }
        recording.csvSha256 = Sha256Hex(CurveCsvText(recording));
        if (!store.Add(recording, status, nullptr, why)) return false;
        // Marked only once the store holds it: a crash before leaves it to
        // the next start, one after finds it in the store.
        if (!journal.ended) MarkJournalInterrupted(journal.path);
        MarkJournalStored(journal.path, now);
        kept.paths.push_back(journal.path);
        kept.whole.push_back(journal.whole);
    }
    return true;
}

/// What the operator is told of them: each by its start, ten at most.
std::string KeptText(const JournalsKept& kept) {
    constexpr size_t kNamed = 10;
    std::string text;
    for (size_t i = 0; i < kept.paths.size() && i < kNamed; ++i) {
        const std::string when = JournalStartText(kept.paths[i]), path = kept.paths[i];
        text += (text.empty() ? "" : "\n") +
                (kept.whole[i] ? TrFormat("The recording of %s was only in its journal %s; it is "
                                          "now in the record store.",
                                          when.c_str(), path.c_str())
                               : TrFormat("The recording of %s was interrupted; its data is in %s.",
                                          when.c_str(), path.c_str()));
    }
    if (kept.paths.size() > kNamed)
        text += "\n" + TrFormat("And %d more.", static_cast<int>(kept.paths.size() - kNamed));
    return text;
}

} // namespace

void Station::KeepJournals(const std::string& reportDirectory) {
    m_journalDirectory = reportDirectory;
    if (!m_recordWriter) return; // they wait in their journals for a store
    const std::string current = m_journal.IsOpen() ? m_journal.Path() : "";
    const int64_t now = m_clock->Now().seconds;
    auto kept = std::make_shared<JournalsKept>();
    m_recordWriter->Post(
        [reportDirectory, current, now, kept](RecordStore& store, std::string* why) {
            return BringInJournals(store, reportDirectory, current, now, *kept, why);
        },
        [this, kept](bool ok, const std::string& why) {
            Later([this, kept, ok, why] {
                if (!kept->paths.empty()) {
                    if (m_plantSender) m_plantSender->Nudge();
                    OnStoreWrote();
                    const bool interrupted = std::find(kept->whole.begin(), kept->whole.end(),
                                                       false) != kept->whole.end();
                    m_listener.OnJournalsKept(KeptText(*kept), interrupted);
                }
                if (!ok) OnStoreFailed(why);
            });
        });
}
