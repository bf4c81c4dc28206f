// The press job without a window, against press-sim on 127.0.0.1: connect,
// Start, a stroke that ends by itself after the release, the recording in a
// record store of the test's own, an alarm latched and acknowledged, the
// module lost mid-recording and back, a flapping module told once. The
// station runs on a loop of the test's own, as it runs on the GUI thread in
// the program.
#include "station/job_setup.h"
#include "station/station.h"

#include "records/file_access.h"
#include "records/record_store.h"
#include "manual_clock.h"
#include "sim_process.h"
#include "station/report_data.h"
#include "station/verify.h"
#include "test_loop.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <wx/filename.h>

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

namespace {

using Ms = std::chrono::milliseconds;

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
    void OnJournalsKept(const std::string& text, bool) override { journalsKept.push_back(text); }
    void OnPlantStatus(const std::string&) override {}

    TestLoop& loop;
    bool holdNotice = true;
    bool noticeOpen = false;
    int states = 0, batches = 0, recordingsStarted = 0, sounds = 0, cyclesEnded = 0,
        reportQuestions = 0;
    std::vector<std::string> acknowledgeBoxes, notices, errors, journalsKept;
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

/// A station of a test's own, connected without a module, on its clock.
struct ConnectedStation {
    ConnectedStation() {
        station.SetClock(clock);
        station.AssumeConnected(true);
    }
    TestLoop loop;
    Operator op{loop};
    ManualClock clock{1796752800};
    Station station{loop, op};
};

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
        job.station.KeepJournals(job.dir);
        job.station.FlushRecordStore();
        job.loop.RunUntil([] { return false; }, 50);
        EXPECT_TRUE(job.op.journalsKept.empty());
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

// A module that ignores the polls and floods the link with well-formed
// readings ends the recording within about a second, INCOMPLETE, saying so:
// memory and the journal stay bounded, and the link goes on.
TEST(StationJob, AFloodingModuleEndsTheRecordingIncompleteSayingSo) {
    for (const char* rate : {"20000", "1000000"}) {
        SCOPED_TRACE(rate);
        Job job("0,0\n", {"--flood", rate});
        ASSERT_TRUE(job.Connect());
        ASSERT_TRUE(job.StartJob(0));
        ASSERT_TRUE(job.loop.RunUntil([&] { return !job.op.kept.empty(); }, 10000));
        const Recording& kept = job.op.kept[0];
        EXPECT_EQ(kept.incomplete.rfind("module flooded the link at ", 0), 0u) << kept.incomplete;
        EXPECT_LE(kept.LastTime(), 1.5);
        // Never PASS (its readings climb past the upper limit: FAIL).
        EXPECT_NE(kept.Judged().verdict, Verdict::Pass);
        EXPECT_TRUE(job.station.Connected());
    }
}

// Fault mended: readings of +-2 147 483 647 bar were samples, and printed a
// 2.19e9 t peak. Beyond what a press can hold they are garbage: counted, left
// out, and the recording with a hole is INCOMPLETE, saying why.
TEST(StationJob, ReadingsNoPressCanHoldAreLeftOutAndTheRecordingSaysSo) {
    TestLoop loop;
    Operator op(loop);
    Station station(loop, op);
    station.AssumeConnected(true);
    JobFields fields;
    fields.job = {"OP7", "AX4711", "A", "TBU 130x230", "", ""};
    fields.recordLength = L"3";
    fields.surface = 1250;
    fields.hasLimits = true;
    fields.limits = {350, 420};
    RecordingSetup setup;
    std::string why;
    ASSERT_TRUE(MakeSetup(fields, station.WallSeconds(), setup, &why)) << why;
    ASSERT_TRUE(station.Start(setup, false, FreshDirectory("garbage"), &why)) << why;
    std::mt19937 random(3);
    const SteadyTime t0 = SteadyClock::now();
    // Samples due: from the first above 4 bar to the first at 3 s or later.
    int due = 0;
    bool reached = false;
    SteadyTime start;
    for (int i = 0; i < 60; ++i) {
        const auto at = t0 + Ms(i * 75 + static_cast<int>(random() % 31) - 15);
        int bar = i < 5 ? 0 : std::min(320, (i - 4) * 40) + static_cast<int>(random() % 5);
        if (i == 20) bar = 2147483647;
        if (i == 30) bar = -2147483647 - 1;
        if (i == 31) bar = 2001;
        station.ApplyReadings({Reading{bar, at}});
        if (i == 5) start = at;
        if (i >= 5 && bar <= 2000 && bar >= -2000 && !reached) {
            ++due;
            reached = at - start >= Ms(3000);
        }
    }
    ASSERT_TRUE(loop.RunUntil([&] { return !op.kept.empty(); }, 2000));
    const Recording& kept = op.kept[0];
    EXPECT_EQ(station.GarbageReadings(), 3);
    EXPECT_EQ(kept.incomplete, "3 readings beyond 2000 bar left out (garbage from the module)");
    EXPECT_LE(kept.Results().peakBar, 324);
    EXPECT_EQ(static_cast<int>(kept.pressures.size()), due);
    EXPECT_EQ(kept.Judged().verdict, Verdict::Incomplete);
}

// A station that ends while it records, without EndForExit, leaves the
// journal whole: the next start keeps the recording from it, once.
TEST(StationJob, ARecordingRunningWhenTheStationEndsIsKeptAtTheNextStart) {
    const std::string dir = FreshDirectory("ended");
    JobFields fields;
    fields.job = {"OP7", "AX4711", "A", "TBU 130x230", "", ""};
    fields.recordLength = L"60";
    fields.surface = 1250;
    RecordingSetup setup;
    std::string why;
    ASSERT_TRUE(MakeSetup(fields, 1796752800, setup, &why)) << why;
    {
        TestLoop loop;
        Operator op(loop);
        Station station(loop, op);
        station.AssumeConnected(true);
        ASSERT_TRUE(station.Start(setup, false, dir, &why)) << why;
        const SteadyTime t0 = SteadyClock::now();
        for (int i = 0; i < 30; ++i)
            station.ApplyReadings({Reading{100 + i, t0 + Ms(i * 75 + (i * 7) % 11)}});
    }
    TestLoop loop;
    Operator op(loop);
    Station station(loop, op);
    station.OpenRecordStore(dir + "/records.db");
    station.KeepJournals(dir);
    ASSERT_TRUE(loop.RunUntil([&] { return !op.journalsKept.empty(); }, 5000));
    station.FlushRecordStore();
    std::unique_ptr<RecordStore> store = RecordStore::Open(dir + "/records.db", &why);
    ASSERT_TRUE(store) << why;
    Recording kept;
    RecordStatus status = RecordStatus::Complete;
    ASSERT_TRUE(store->Load(store->IdOf(setup.uuid), kept, &status));
    EXPECT_EQ(status, RecordStatus::Incomplete);
    EXPECT_EQ(kept.incomplete.rfind("program closed at 2.", 0), 0u) << kept.incomplete;
    EXPECT_EQ(kept.pressures.size(), 30u);
}

// Fault mended: a wall clock set back a day between two recordings dated the
// second one the day before, untold. It is told on the banner from Start and
// noted in the recording: its store row, its CSV file and its page.
TEST(StationJob, AClockEarlierThanTheLastRecordingIsToldAndNoted) {
    const std::string dir = FreshDirectory("clock");
    std::string why;
    {
        std::unique_ptr<RecordStore> store = RecordStore::Open(dir + "/records.db", &why);
        ASSERT_TRUE(store) << why;
        Recording before;
        before.setup.uuid = NewRecordingId();
        before.setup.surface = 1250;
        before.stoppedAt = 1796752800; // 2026-12-08, the day after the clock below
        before.times = {0};
        before.pressures = {100};
        before.forces = {ForceTons(100, 1250)};
        ASSERT_TRUE(store->Add(before, RecordStatus::Complete, nullptr, &why)) << why;
    }
    TestLoop loop;
    Operator op(loop);
    ManualClock clock(1796752800 - 86400);
    Station station(loop, op);
    station.SetClock(clock);
    station.OpenRecordStore(dir + "/records.db");
    station.AssumeConnected(true);
    JobFields fields;
    fields.job = {"OP7", "AX4711", "A", "TBU 130x230", "", ""};
    fields.recordLength = L"1";
    fields.surface = 1250;
    RecordingSetup setup;
    ASSERT_TRUE(MakeSetup(fields, station.WallSeconds(), setup, &why)) << why;
    ASSERT_TRUE(station.Start(setup, false, dir, &why)) << why;
    EXPECT_NE(ComposeBanner(station.BannerState())
                  .Line()
                  .find("PC clock earlier than the last recording"),
              std::string::npos);
    for (int i = 0; i < 16; ++i) {
        clock.SetMs(i * 75 + (i * 13) % 20);
        station.ApplyReadings({Reading{120 + i, clock.Steady()}});
    }
    ASSERT_TRUE(loop.RunUntil([&] { return !op.kept.empty(); }, 2000));
    const std::string note = op.kept[0].clockNote;
    EXPECT_EQ(note.rfind("the PC's clock read 2026-12-07 ", 0), 0u) << note;
    EXPECT_NE(CurveCsvText(op.kept[0]).find("# clock,\"the PC's clock read"), std::string::npos);
    station.FlushRecordStore();
    std::unique_ptr<RecordStore> store = RecordStore::Open(dir + "/records.db", &why);
    Recording stored;
    ASSERT_TRUE(store->Load(store->IdOf(setup.uuid), stored));
    EXPECT_EQ(stored.clockNote, note);
    EXPECT_TRUE(store->VerifyChain().ok);
    // The history lists it as the newer one, though its date is earlier.
    const std::vector<RecordSummary> listed = store->Find(RecordFilter{});
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].uuid, setup.uuid);
}

// Fault mended: a press holding its pressure without a recording was told
// "PRESSURE RISING". Rising is 3 bar or more within 1.5 s; a held pressure
// that jitters by a bar or two, or readings that come slowly, is not.
TEST(StationJob, APressureHeldIsNotToldAsRising) {
    ConnectedStation connected;
    Station& station = connected.station;
    ManualClock& clock = connected.clock;
    long long ms = 0;
    auto read = [&](int bar, int stepMs) {
        clock.SetMs(ms += stepMs);
        station.ApplyReadings({Reading{bar, clock.Steady()}});
        return station.BannerState().pressureRising;
    };
    bool rising = false;
    for (int bar = 0; bar <= 120; bar += 6)
        rising = read(bar, 75 + bar % 4);
    EXPECT_TRUE(rising);
    for (int i = 0; i < 30; ++i) // held at 120, with the transmitter's jitter
        rising = read(120 + (i % 3) - 1, 75 + i % 3);
    EXPECT_FALSE(rising);
    EXPECT_FALSE(read(121, 75));   // two above the lowest (119): a jitter
    EXPECT_TRUE(read(122, 75));    // three above the lowest of the last 1.5 s
    EXPECT_FALSE(read(126, 1600)); // alone after a pause: nothing to rise from
}

// The zero at rest: a press that shows more than 2 bar with no stroke before
// Start has that noted in the recording; at 2 bar it has not.
TEST(StationJob, APressureAtRestAboveTwoBarIsNotedInTheRecording) {
    const std::string dir = testing::TempDir() + "rest_" + std::to_string(std::rand());
    ASSERT_TRUE(MakeDirectory(dir));
    ConnectedStation connected;
    Station& station = connected.station;
    ManualClock& clock = connected.clock;
    JobFields fields;
    fields.job = {"OP7", "AX4711", "A", "TBU 130x230", "", ""};
    fields.recordLength = L"1";
    fields.surface = 1250;
    long long ms = 0;
    for (const int rest : {2, 3}) {
        // The transmitter's reading at rest, as it jitters.
        for (int i = 0; i < 8; ++i) {
            clock.SetMs(ms += 75 + i % 3);
            station.ApplyReadings({Reading{rest - (i % 4 == 1), clock.Steady()}});
        }
        station.ApplyReadings({Reading{rest, clock.Steady()}});
        EXPECT_EQ(station.RestPressure(), rest);
        RecordingSetup setup;
        std::string why;
        ASSERT_TRUE(MakeSetup(fields, station.WallSeconds(), setup, &why)) << why;
        ASSERT_TRUE(station.Start(setup, false, dir, &why)) << why;
        EXPECT_EQ(station.Setup().calibrationNote,
                  rest == 2 ? ""
                            : "pressure at rest 3 bar before Start (more than 2 bar: check "
                              "the transmitter's zero)");
        EXPECT_EQ(station.Setup().restBar, rest); // kept for the drift of the zero
        station.Stop();
    }
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

namespace {

/// Every recording of the store at `path` with this identity.
int CountInStore(const std::string& path, const std::string& uuid) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM recordings WHERE uuid = ?1", -1, &count, nullptr);
    sqlite3_bind_text(count, 1, uuid.c_str(), -1, SQLITE_TRANSIENT);
    const int n = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
    sqlite3_finalize(count);
    sqlite3_close(db);
    return n;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// Fault mended: a recording made while the store could not be written was in
// no store for good, though its journal was whole. It comes in by itself once
// the store can be written again, as it was kept, once, and is told once.
TEST(StationStore, ARecordingMadeWhileTheStoreCannotBeWrittenComesInOnceItCan) {
    Job job(kStroke, {"--unpadded"});
    job.station.SetStoreRetry(200);
    job.station.FlushRecordStore();
    // Another program holds the store's write lock past the writer's wait.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((job.dir + "/records.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(job.Connect());
    ASSERT_TRUE(job.StartJob(0));
    ASSERT_TRUE(job.loop.RunUntil([&] { return !job.op.errors.empty(); }, 20000));
    EXPECT_NE(job.op.errors[0].find("cannot be used"), std::string::npos) << job.op.errors[0];
    ASSERT_EQ(job.op.kept.size(), 1u);
    const Recording& kept = job.op.kept[0];
    // Its journal ended whole before the store was asked.
    const std::vector<JournalFile> journals = FindJournals(job.dir);
    ASSERT_EQ(journals.size(), 1u);
    EXPECT_TRUE(journals[0].whole);
    job.loop.RunUntil([] { return false; }, 3000); // retries while it stays locked
    EXPECT_TRUE(job.op.journalsKept.empty());
    EXPECT_EQ(job.op.errors.size(), 1u); // told once

    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(job.loop.RunUntil([&] { return !job.op.journalsKept.empty(); }, 10000));
    EXPECT_NE(job.op.journalsKept[0].find("was only in its journal"), std::string::npos)
        << job.op.journalsKept[0];
    EXPECT_EQ(job.station.StoreProblem(), "");
    EXPECT_TRUE(FindJournals(job.dir)[0].stored);
    RecordStatus status = RecordStatus::Interrupted;
    const Recording stored = job.Stored(kept.setup.uuid, &status);
    EXPECT_EQ(status, RecordStatus::Complete);
    EXPECT_EQ(stored.pressures, kept.pressures);
    EXPECT_EQ(stored.forces, kept.forces);
    EXPECT_EQ(stored.csvSha256, kept.csvSha256);
    EXPECT_EQ(stored.stoppedAt, kept.stoppedAt);
    EXPECT_EQ(stored.Judged().verdict, kept.Judged().verdict);
    // Not again, at the next start or later.
    job.station.KeepJournals(job.dir);
    job.station.FlushRecordStore();
    job.loop.RunUntil([] { return false; }, 100);
    EXPECT_EQ(job.op.journalsKept.size(), 1u);
    EXPECT_EQ(CountInStore(job.dir + "/records.db", kept.setup.uuid), 1);
}

// Fault mended: a store with 4 KiB of random bytes in its middle was opened
// without a word and `--verify-store` said OK. It is refused in words, left
// byte for byte as it is, and the recordings of meanwhile stay in their
// journals until the store is whole again.
TEST(StationStore, ADamagedStoreIsRefusedInWordsAndLeftAsItIs) {
    const std::string dir = FreshDirectory("damaged");
    const std::string path = dir + "/records.db";
    {
        std::string why;
        std::unique_ptr<RecordStore> store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        std::vector<Recording> many(40);
        for (Recording& r : many) {
            r.setup.uuid = NewRecordingId();
            r.setup.surface = 1250;
            for (int i = 0; i < 400; ++i) {
                r.times.push_back(i * 0.075);
                r.pressures.push_back(i % 320);
                r.forces.push_back(ForceTons(i % 320, 1250));
            }
        }
        ASSERT_TRUE(store->AddMany(many, RecordStatus::Complete, &why)) << why;
    }
    const std::string whole = FileBytes(path);
    std::string damaged = whole;
    std::mt19937 random(7);
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 4096; ++i)
        damaged[i] = static_cast<char>(random());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;

    const VerifyOutcome verified = VerifyStore(path);
    EXPECT_EQ(verified.exitCode, 2);
    EXPECT_NE(verified.line.find("damaged"), std::string::npos) << verified.line;

    // A recording that ends meanwhile is kept in its journal only.
    Recording meanwhile;
    meanwhile.setup.uuid = NewRecordingId();
    meanwhile.setup.surface = 1250;
    meanwhile.startedAt = 1796752805;
    meanwhile.stoppedAt = 1796752820;
    meanwhile.times = {0, 0.075};
    meanwhile.pressures = {100, 200};
    meanwhile.forces = {ForceTons(100, 1250), ForceTons(200, 1250)};
    RecordingJournal journal;
    ASSERT_TRUE(journal.Open(dir, "20261208-180000", JournalHeader(meanwhile.setup),
                             SteadyClock::now(), nullptr));
    journal.AppendLine(JournalStartLine(meanwhile.startedAt));
    journal.Append(0, meanwhile.forces[0], 100);
    journal.Append(0.075, meanwhile.forces[1], 200);
    journal.AppendLine(JournalKeptLines(meanwhile));
    journal.Close("completed at 0.075 s");
    {
        TestLoop loop;
        Operator op(loop);
        Station station(loop, op);
        station.OpenRecordStore(path);
        station.KeepJournals(dir);
        station.StoreRecording(meanwhile, RecordStatus::Complete);
        station.FlushRecordStore();
        loop.RunUntil([&] { return !op.errors.empty(); }, 5000);
        ASSERT_EQ(op.errors.size(), 1u);
        EXPECT_NE(op.errors[0].find("damaged"), std::string::npos) << op.errors[0];
        EXPECT_NE(op.errors[0].find("left as it is"), std::string::npos) << op.errors[0];
        EXPECT_TRUE(op.journalsKept.empty());
    }
    EXPECT_TRUE(FileBytes(path) == damaged);

    // The store put back whole from its backup: the next start brings the
    // recording in from its journal.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << whole;
    RemovePath(path + "-wal");
    RemovePath(path + "-shm");
    TestLoop loop;
    Operator op(loop);
    Station station(loop, op);
    station.OpenRecordStore(path);
    station.KeepJournals(dir);
    ASSERT_TRUE(loop.RunUntil([&] { return !op.journalsKept.empty(); }, 5000));
    EXPECT_TRUE(op.errors.empty());
    EXPECT_EQ(CountInStore(path, meanwhile.setup.uuid), 1);
    EXPECT_EQ(VerifyStore(path).exitCode, 0);
}
