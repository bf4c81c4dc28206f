// The press job without a window, against press-sim on 127.0.0.1: connect,
// Start, a stroke that ends by itself after the release, the recording in a
// record store of the test's own, an alarm latched and acknowledged, the
// module lost mid-recording and back, a flapping module told once. The
// station runs on a loop of the test's own, as it runs on the GUI thread in
// the program.
#include "station/job_setup.h"
#include "station/station.h"

#include "records/record_store.h"
#include "sim_process.h"

#include <gtest/gtest.h>
#include <wx/filename.h>

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using Ms = std::chrono::milliseconds;

/// The station's thread: tasks posted from any thread, run by RunUntil.
class TestLoop : public StationExecutor {
  public:
    void Post(std::function<void()> task) override { PostAfter(0, std::move(task)); }
    void PostAfter(int ms, std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back({SteadyClock::now() + Ms(ms), m_sequence++, std::move(task)});
        m_wake.notify_one();
    }
    /// Runs what is due until `done` or `timeoutMs` passed; returns `done()`.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
        const SteadyTime end = SteadyClock::now() + Ms(timeoutMs);
        while (!done()) {
            if (SteadyClock::now() > end) return false;
            std::function<void()> task = Next(std::min(end, SteadyClock::now() + Ms(20)));
            if (task) task();
        }
        return true;
    }

  private:
    struct Task {
        SteadyTime due;
        long long sequence;
        std::function<void()> run;
    };
    /// The earliest due task, waiting for one until `until` at most.
    std::function<void()> Next(SteadyTime until) {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            auto first = m_tasks.end();
            for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it)
                if (first == m_tasks.end() || it->due < first->due ||
                    (it->due == first->due && it->sequence < first->sequence))
                    first = it;
            const SteadyTime now = SteadyClock::now();
            if (first != m_tasks.end() && first->due <= now) {
                std::function<void()> run = std::move(first->run);
                m_tasks.erase(first);
                return run;
            }
            if (now >= until) return nullptr;
            m_wake.wait_until(lock, first != m_tasks.end() ? std::min(until, first->due) : until);
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Task> m_tasks;
    long long m_sequence = 0;
};

/// Counts what the station tells, answers its questions as an operator
/// would, and holds a loss notice open (as a box is) until it is closed.
struct Operator : StationListener {
    explicit Operator(TestLoop& loop) : loop(loop) {}
    void OnStateChanged() override { ++states; }
    void OnReadings(const ReadingsStep& step) override {
        ++batches;
        if (step.recordingStarted) ++recordingsStarted;
    }
    void OnAlarmSound() override { ++sounds; }
    void OnCycleEnded(bool recorded) override { cyclesEnded += recorded; }
    void AskToAcknowledge(const std::string& text) override { acknowledgeBoxes.push_back(text); }
    void OnRecordingKept(const Recording& recording) override { kept.push_back(recording); }
    void AskForReport(const Recording&) override { ++reportQuestions; }
    bool ShowLossNotice(const std::string& text) override {
        notices.push_back(text);
        noticeOpen = true;
        loop.RunUntil([&] { return !noticeOpen || !holdNotice; }, 20000);
        const bool closedByStation = !noticeOpen;
        noticeOpen = false;
        return closedByStation;
    }
    void CloseLossNotice() override { noticeOpen = false; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void OnPlantStatus(const std::string&) override {}

    TestLoop& loop;
    bool holdNotice = true;
    bool noticeOpen = false;
    int states = 0, batches = 0, recordingsStarted = 0, sounds = 0, cyclesEnded = 0,
        reportQuestions = 0;
    std::vector<std::string> acknowledgeBoxes, notices, errors;
    std::vector<Recording> kept;
};

std::string FreshDirectory(const std::string& name) {
    static int counter = 0;
    const std::string dir = testing::TempDir() + "station_" + name + "_" +
                            std::to_string(getpid()) + "_" + std::to_string(++counter);
    wxFileName::Rmdir(wxString::FromUTF8(dir), wxPATH_RMDIR_RECURSIVE);
    wxFileName::Mkdir(wxString::FromUTF8(dir), 0777, wxPATH_MKDIR_FULL);
    return dir;
}

/// A station, its operator and a press-sim playing `profile` (time_s,bar).
struct Job {
    Job(const std::string& profile, std::vector<std::string> simArgs)
        : dir(FreshDirectory("job")), sim(Start(dir, profile, std::move(simArgs))),
          station(loop, op) {
        station.OpenRecordStore(dir + "/records.db");
        station.SetModule("127.0.0.1", sim.Port(), {});
    }
    static PressSimProcess Start(const std::string& dir, const std::string& profile,
                                 std::vector<std::string> args) {
        std::ofstream(dir + "/profile.csv") << profile;
        args.insert(args.begin(), {"--profile", dir + "/profile.csv", "--once", "--log-sends"});
        return PressSimProcess(PRESS_SIM_PATH, dir + "/sim.log", args);
    }
    bool Connect() {
        return station.Connect() && loop.RunUntil([&] { return station.Connected(); }, 5000);
    }
    /// Start with a job typed as an operator would, on a 1250 cm² press.
    bool StartJob(int thresholdBar, int lengthSeconds = 60) {
        JobFields fields;
        fields.job = {"OP7", "AX4711", "A", "TBU 130x230", "2024-03", "2026-10"};
        fields.recordLength = std::to_wstring(lengthSeconds);
        fields.alarmThreshold = std::to_wstring(thresholdBar);
        fields.pressName = "Press A";
        fields.surface = 1250;
        fields.hasLimits = true;
        fields.limits = {350, 420};
        fields.moduleAddress = station.AddressText();
        RecordingSetup setup;
        std::string why;
        return MakeSetup(fields, station.WallSeconds(), setup, &why) &&
               station.Start(setup, true, dir, &why);
    }
    Recording Stored(const std::string& uuid, RecordStatus* status) {
        station.FlushRecordStore();
        std::string why;
        std::unique_ptr<RecordStore> store = RecordStore::Open(dir + "/records.db", &why);
        Recording recording;
        if (store) store->Load(store->IdOf(uuid), recording, status);
        return recording;
    }

    std::string dir;
    TestLoop loop;
    Operator op{loop};
    PressSimProcess sim;
    Station station;
};

// A short stroke: idle, a rise to 300 bar (375 t on 1250 cm²) past a 250-bar
// alarm, a hold, the release, then idle.
const char* const kStroke = "0,0\n0.6,0\n1.2,300\n1.8,300\n2.1,0\n";

/// The pressures press-sim logged as sent ("send <microseconds> <bar>").
std::vector<int> SentBars(const std::string& log) {
    std::vector<int> bars;
    std::ifstream in(log);
    std::string word;
    long long us = 0;
    int bar = 0;
    for (std::string line; std::getline(in, line);)
        if (std::sscanf(line.c_str(), "send %lld %d", &us, &bar) == 2) bars.push_back(bar);
    return bars;
}

/// True when `recorded` is one unbroken run of `sent`: nothing lost,
/// nothing doubled, nothing out of order.
bool OneRunOf(const std::vector<int>& sent, const std::vector<int>& recorded) {
    if (recorded.empty()) return false;
    for (size_t i = 0; i + recorded.size() <= sent.size(); ++i)
        if (std::equal(recorded.begin(), recorded.end(), sent.begin() + i)) return true;
    return false;
}

} // namespace

TEST(StationJob, AStrokeEndsByItselfIsKeptWithItsAlarmAndIsAskedForOnce) {
    // As a real module delivers over Wi-Fi: padded, unpadded, split across
    // batches, several replies in one segment.
    for (const std::vector<std::string>& delivery : std::vector<std::vector<std::string>>{
             {}, {"--unpadded"}, {"--split"}, {"--coalesce", "3"}}) {
        SCOPED_TRACE(delivery.empty() ? "padded" : delivery[0]);
        Job job(kStroke, delivery);
        ASSERT_TRUE(job.Connect());
        ASSERT_TRUE(job.StartJob(250));
        EXPECT_TRUE(job.station.IsArmed());
        // It starts by itself above 4 bar and ends 2 s after the release.
        ASSERT_TRUE(job.loop.RunUntil([&] { return job.op.reportQuestions > 0; }, 15000));
        job.loop.RunUntil([] { return false; }, 300); // a late record-end asks nothing
        EXPECT_EQ(job.op.reportQuestions, 1);
        EXPECT_EQ(job.op.recordingsStarted, 1);
        ASSERT_EQ(job.op.kept.size(), 1u);
        const Recording& kept = job.op.kept[0];
        EXPECT_EQ(kept.incomplete, "");
        EXPECT_NE(job.station.Cycle().EndText().find("pressure released"), std::string::npos);
        EXPECT_NEAR(kept.Results().peakForceTons, ForceTons(300, 1250), 0.05);
        EXPECT_EQ(kept.Judged().verdict, Verdict::Pass);
        // Every reading the module sent during the stroke is a sample, once
        // and in order, however the replies were cut or merged.
        EXPECT_TRUE(OneRunOf(SentBars(job.sim.LogPath()), kept.pressures));
        // The alarm latched during the stroke was acknowledged in the
        // operator's name before the recording was kept.
        EXPECT_GE(job.op.sounds, 1);
        ASSERT_EQ(job.op.acknowledgeBoxes.size(), 1u);
        ASSERT_EQ(kept.alarms.size(), 1u);
        EXPECT_EQ(kept.alarms[0].acknowledgedBy, "OP7");
        EXPECT_EQ(kept.alarms[0].peakBar, 300);
        EXPECT_FALSE(job.station.Alarm().Latched());
        // In the store as it was kept, and no journal left to recover.
        RecordStatus status = RecordStatus::Interrupted;
        const Recording stored = job.Stored(kept.setup.uuid, &status);
        EXPECT_EQ(status, RecordStatus::Complete);
        EXPECT_EQ(stored.times.size(), kept.times.size());
        EXPECT_EQ(stored.alarms.size(), 1u);
        EXPECT_EQ(job.station.KeepInterruptedJournals(job.dir), "");
        EXPECT_TRUE(job.op.errors.empty());
        job.station.Disconnect();
        EXPECT_FALSE(job.station.Connected());
    }
}

TEST(StationJob, AModuleLostMidRecordingEndsItIncompleteAndTheNoticeClosesWhenItIsBack) {
    // The module closes, or goes silent, in the middle of the rise; press-sim
    // serves the next connection again.
    for (const char* fault : {"--close-after", "--stall-after", "--half-close-after"}) {
        SCOPED_TRACE(fault);
        Job job("0,0\n0.3,0\n1.5,300\n60,300\n", {fault, "14"});
        ASSERT_TRUE(job.Connect());
        ASSERT_TRUE(job.StartJob(0));
        ASSERT_TRUE(job.loop.RunUntil([&] { return !job.op.notices.empty(); }, 10000));
        // The notice was closed by the station once the module was back.
        EXPECT_TRUE(job.station.Connected());
        EXPECT_EQ(job.station.LossNoticesClosed(), 1);
        ASSERT_EQ(job.op.notices.size(), 1u);
        EXPECT_NE(job.op.notices[0].find("The recording ended early"), std::string::npos);
        // The recording is kept, INCOMPLETE, and no report question came.
        ASSERT_EQ(job.op.kept.size(), 1u);
        EXPECT_NE(job.op.kept[0].incomplete, "");
        EXPECT_NE(job.op.kept[0].Judged().verdict, Verdict::Pass);
        EXPECT_EQ(job.op.reportQuestions, 0);
        RecordStatus status = RecordStatus::Complete;
        job.Stored(job.op.kept[0].setup.uuid, &status);
        EXPECT_EQ(status, RecordStatus::Incomplete);
        EXPECT_FALSE(job.station.Running());
        job.station.Disconnect();
    }
}

TEST(StationJob, AFlappingModuleIsOneIncidentAndDisconnectEndsTheReconnection) {
    // Every connection is dropped after five polls; the operator leaves the
    // notice open and the station keeps reconnecting.
    Job job(kStroke, {"--close-after", "5"});
    job.op.holdNotice = false;
    ASSERT_TRUE(job.Connect());
    ASSERT_TRUE(job.loop.RunUntil([&] { return job.station.ReconnectAttempt() >= 3; }, 15000));
    EXPECT_EQ(job.op.notices.size(), 1u);
    EXPECT_TRUE(job.op.kept.empty());
    job.station.Disconnect();
    EXPECT_FALSE(job.station.Reconnecting());
    EXPECT_FALSE(job.station.Connected());
    job.loop.RunUntil([] { return false; }, 1200); // no reconnection is left to come
    EXPECT_FALSE(job.station.Connected());
    EXPECT_EQ(job.op.notices.size(), 1u);
}

TEST(StationJob, StartNamesWhatIsMissingAndAJournalThatCannotBeWritten) {
    JobFields fields;
    fields.recordLength = L"80";
    fields.surface = 1250;
    std::string operatorHint;
    EXPECT_EQ(MissingForStart(fields, &operatorHint), "the operator ID");
    EXPECT_EQ(operatorHint, "required for Start");
    fields.job.operatorId = "OP7";
    fields.job.axleDesignation = " \t";
    EXPECT_EQ(MissingForStart(fields), "the axle designation");
    fields.job.axleDesignation = "AX1";
    fields.recordLength = L"1000";
    EXPECT_EQ(MissingForStart(fields), "a record length of 1 to 999 s");
    fields.recordLength = L"999";
    EXPECT_EQ(MissingForStart(fields), "");

    RecordingSetup setup;
    std::string why;
    fields.surface = 0;
    EXPECT_FALSE(MakeSetup(fields, 1, setup, &why));
    EXPECT_NE(why.find("no valid surface"), std::string::npos);
    fields.surface = 1250;
    fields.hasLimits = true;
    fields.limits = {420, 350};
    EXPECT_FALSE(MakeSetup(fields, 1, setup, &why));
    fields.limits = {350, 420};
    ASSERT_TRUE(MakeSetup(fields, 1, setup, &why));
    EXPECT_EQ(setup.job.mountingSide, "A");
    EXPECT_EQ(setup.recordLengthSeconds, 999);

    TestLoop loop;
    Operator op(loop);
    Station station(loop, op);
    const std::string file = FreshDirectory("nojournal") + "/file";
    std::ofstream(file) << "not a folder";
    EXPECT_FALSE(station.Start(setup, true, file, &why));
    EXPECT_NE(why.find("The recording cannot start"), std::string::npos);
    EXPECT_FALSE(station.IsArmed());
}
