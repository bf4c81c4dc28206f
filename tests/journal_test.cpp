// The journal of a running recording: written as it runs, ended with how it
// ended, and found at the next start when a crash interrupted it.
#include "station/journal.h"

#include "station/cycle.h"
#include "station/report_data.h"

#include "records/file_access.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <wx/filename.h>

#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#endif
#include <cstring>

namespace {

std::string FreshDirectory(const char* name) {
    std::string dir = testing::TempDir() + name + std::to_string(getpid());
    wxFileName::Rmdir(wxString::FromUTF8(dir), wxPATH_RMDIR_RECURSIVE);
    wxFileName::Mkdir(wxString::FromUTF8(dir), 0777, wxPATH_MKDIR_FULL);
    return dir;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(RecordingJournal, EndedJournalsAreNotReportedAsInterrupted) {
    const std::string dir = FreshDirectory("journal_end_");
    RecordingJournal journal;
    ASSERT_TRUE(journal.Open(dir, "20261208-140312", "# press,A\n", SteadyClock::now(), nullptr));
    EXPECT_EQ(journal.Path(), dir + "/recordings/20261208-140312.csv");
    journal.Append(0, 1.5, 5);
    journal.Append(0.075, 3, 10);
    journal.Close("completed at 0.075 s");
    auto lines = Lines(journal.Path());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "time_s,force_t,pressure_bar");
    EXPECT_EQ(lines[3], "0.075,3.0000,10");
    EXPECT_EQ(lines[4], "# end,completed at 0.075 s");
    EXPECT_TRUE(FindInterruptedJournals(dir).empty());

    // A second recording in the same second keeps the first journal.
    RecordingJournal again;
    ASSERT_TRUE(again.Open(dir, "20261208-140312", "", SteadyClock::now(), nullptr));
    EXPECT_NE(again.Path(), journal.Path());
}

#ifndef _WIN32 // a forked writer killed
TEST(RecordingJournal, AKilledWriterLeavesEverySampleUpToTheLastSecond) {
    const std::string dir = FreshDirectory("journal_kill_");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        RecordingJournal journal;
        SteadyTime now = SteadyClock::now();
        journal.Open(dir, "20261208-140312", "", now, nullptr);
        for (int i = 0; i < 2000; ++i) {
            journal.Append(i * 0.075, i, i);
            now += std::chrono::milliseconds(75);
            journal.FlushIfDue(now);
        }
        // 2000 samples, the last flush at most a second (13 samples) before.
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    std::vector<std::string> found = FindInterruptedJournals(dir);
    ASSERT_EQ(found.size(), 1u);
    auto lines = Lines(found[0]);
    EXPECT_GE(lines.size(), 1u + 2000 - 14);
    EXPECT_EQ(JournalStartText(found[0]), "08.12.2026 14:03");
    // Reported once: marked, it is not found again.
    ASSERT_TRUE(MarkJournalInterrupted(found[0]));
    EXPECT_TRUE(FindInterruptedJournals(dir).empty());
    EXPECT_EQ(Lines(found[0]).back(), "# end,interrupted");
}
#endif

// The report directory may be under a user called "Müller", or in any script:
// the journal is written and found there on every platform.
TEST(RecordingJournal, ADirectoryNamedInAnyScriptIsWrittenAndFound) {
    const std::string dir =
        FreshDirectory("M\xC3\xBCller \xD0\x9F\xD1\x80\xD0\xB5\xD1\x81\xD1\x81_");
    RecordingJournal journal;
    ASSERT_TRUE(journal.Open(dir, "20261208-140312", "", SteadyClock::now(), nullptr));
    journal.Append(0.075, 3, 10);
    journal.FlushIfDue(SteadyClock::now() + std::chrono::seconds(2));
    // Left without its end line, as a crash leaves it.
    const std::vector<std::string> found = FindInterruptedJournals(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], journal.Path());
    EXPECT_TRUE(wxFileName::FileExists(wxString::FromUTF8(found[0])));
    EXPECT_TRUE(MarkJournalInterrupted(found[0]));
}

#ifndef _WIN32 // the size limit of a process stands in for a full disk
// Faults mended: a journal that could no longer be written was told on
// stderr only, and, cut short, made a complete recording look interrupted
// at the next start.
TEST(RecordingJournal, AFailedWriteIsToldAndTheCutJournalIsNotCalledInterrupted) {
    const std::string dir = FreshDirectory("journal_full_");
    RecordingJournal journal;
    ASSERT_TRUE(journal.Open(dir, "20261208-150000", "# press,A\n", SteadyClock::now(), nullptr));
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    SteadyTime now = SteadyClock::now();
    for (int i = 0; i < 2000 && journal.Problem().empty(); ++i) {
        journal.Append(i * 0.075, 400.1234, 300);
        now += std::chrono::milliseconds(600);
        journal.FlushIfDue(now);
    }
    const std::string problem = journal.Problem();
    journal.Close("completed at 80 s");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(problem, std::strerror(EFBIG));
    EXPECT_EQ(journal.Path(), dir + "/recordings/20261208-150000.cut");
    EXPECT_TRUE(PathExists(journal.Path()));
    EXPECT_TRUE(FindInterruptedJournals(dir).empty());
}

#endif

TEST(RecordingJournal, AFolderThatCannotBeWrittenRefusesTheJournalWithTheCause) {
    // "recordings" is a file where the folder should be (root writes into a
    // read-only folder, so that cannot stand in here).
    const std::string dir = FreshDirectory("journal_blocked_");
    std::ofstream(dir + "/recordings") << "a file";
    RecordingJournal journal;
    std::string error;
    EXPECT_FALSE(journal.Open(dir, "20261208-150000", "", SteadyClock::now(), &error));
    EXPECT_EQ(error.rfind(dir + "/recordings/20261208-150000.csv: ", 0), 0u) << error;
    EXPECT_FALSE(journal.IsOpen());
}

// A second copy of the program on the same working directory would take the
// first one's live journal for an interrupted one.
TEST(WorkingDirectoryLock, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    const std::string path = FreshDirectory("lock_") + "/.vemo-recorder.lock";
    std::string error;
    {
        FileLock first;
        ASSERT_TRUE(first.Acquire(path, &error)) << error;
        FileLock second;
        EXPECT_FALSE(second.Acquire(path, &error));
        EXPECT_EQ(error, "in use by another copy of the program");
    }
    FileLock after;
    EXPECT_TRUE(after.Acquire(path, &error)) << error;
}

// An interrupted recording is kept in the record store from its journal
// alone: everything set at Start comes back, and a sample line cut short by
// the crash is left out.
TEST(RecordingJournal, ReadsBackTheSetupAndTheSamplesOfAnInterruptedRecording) {
    const std::string dir = FreshDirectory("journal_read_");
    RecordingSetup setup;
    setup.uuid = NewRecordingId();
    setup.armedAt = 1796752800;
    setup.job = {"Op \"7\"", "=AX,12", "B", "BRG-9", "2024-01", "-2026"};
    setup.pressName = "Press 2, left";
    setup.surface = 2010.5;
    setup.hasLimits = true;
    setup.limits = {350.25, 420};
    setup.alarmThresholdBar = 250;
    setup.recordLengthSeconds = 80;
    setup.moduleAddress = "127.0.0.1:65100";
    setup.version = "1.0.8";
    setup.pcName = "press-pc-3";
    RecordingJournal journal;
    ASSERT_TRUE(
        journal.Open(dir, "20261208-180000", JournalHeader(setup), SteadyClock::now(), nullptr));
    journal.AppendLine(JournalStartLine(1796752805));
    journal.Append(0, ForceTons(6, 2010.5), 6);
    journal.Append(0.075, ForceTons(8, 2010.5), 8);
    journal.Close("x");
    {
        std::ofstream cut(journal.Path(), std::ios::app);
        cut << "0.150,20.5"; // the crash
    }
    Recording r;
    ASSERT_TRUE(ReadJournal(journal.Path(), r));
    EXPECT_EQ(r.setup.uuid, setup.uuid);
    EXPECT_EQ(r.setup.armedAt, setup.armedAt);
    EXPECT_EQ(r.setup.job.operatorId, "Op \"7\"");
    EXPECT_EQ(r.setup.job.axleDesignation, "=AX,12");
    EXPECT_EQ(r.setup.job.refurbishmentDate, "-2026");
    EXPECT_EQ(r.setup.pressName, "Press 2, left");
    EXPECT_EQ(r.setup.surface, 2010.5);
    EXPECT_TRUE(r.setup.hasLimits);
    EXPECT_EQ(r.setup.limits.lowerTons, 350.25);
    EXPECT_EQ(r.setup.alarmThresholdBar, 250);
    EXPECT_EQ(r.setup.pcName, "press-pc-3");
    EXPECT_EQ(r.startedAt, 1796752805);
    EXPECT_EQ(r.times, (std::vector<double>{0, 0.075}));
    // The forces as the recording had them, not as rounded in the file.
    EXPECT_EQ(r.forces, (std::vector<double>{ForceTons(6, 2010.5), ForceTons(8, 2010.5)}));
    EXPECT_EQ(r.pressures, (std::vector<int>{6, 8}));
    EXPECT_TRUE(r.alarms.empty());
}

// A recording that ended is kept whole from its journal alone when the store
// never got it: how it ended, its start note and alarms (with commas, quotes
// and a formula in the names), its end; interrupted journals and ones of
// earlier versions are told apart from whole ones.
TEST(RecordingJournal, AnEndedJournalHoldsTheWholeRecordingAndIsToldApart) {
    const std::string dir = FreshDirectory("journal_whole_");
    Recording kept;
    kept.setup.uuid = NewRecordingId();
    kept.setup.surface = 1250;
    kept.setup.pressName = "Press A";
    kept.startedAt = 1796752805;
    kept.stoppedAt = 1796752830;
    kept.incomplete = "ended by the operator at 12.3 s";
    kept.startNote = "started at 380 bar, \"under pressure\"";
    AlarmRecord a;
    a.thresholdBar = 300;
    a.startedAt = 1796752810;
    a.startSeconds = 4.825;
    a.peakBar = 331;
    a.endedAt = 1796752812;
    a.endSeconds = 6.5;
    a.acknowledgedAt = 1796752831;
    a.acknowledgedBy = "=Rossi, M.";
    kept.alarms = {a, a};
    kept.alarms[1].endedAt = 0;
    kept.alarms[1].endSeconds = -1;
    kept.alarms[1].acknowledgedBy = "";

    RecordingJournal journal;
    ASSERT_TRUE(journal.Open(dir, "20261208-180000", JournalHeader(kept.setup), SteadyClock::now(),
                             nullptr));
    journal.AppendLine(JournalStartLine(kept.startedAt));
    for (int i = 0; i < 165; ++i) {
        const int bar = 5 + (i * 37) % 311;
        journal.Append(i * 0.075, ForceTons(bar, 1250), bar);
        kept.times.push_back(std::llround(i * 75.0) / 1000.0);
        kept.forces.push_back(ForceTons(bar, 1250));
        kept.pressures.push_back(bar);
    }
    journal.AppendLine(JournalKeptLines(kept));
    journal.Close(kept.incomplete);
    RecordingJournal interrupted;
    ASSERT_TRUE(interrupted.Open(dir, "20261208-190000", JournalHeader(kept.setup),
                                 SteadyClock::now(), nullptr));
    interrupted.Append(0, 1, 1);
    interrupted.FlushIfDue(SteadyClock::now() + std::chrono::seconds(2));
    std::ofstream(dir + "/recordings/20261208-170000.csv")
        << "# uuid,old\ntime_s,force_t,pressure_bar\n0.000,1.0000,1\n# end,completed at 0 s\n";

    const std::vector<JournalFile> found = FindJournals(dir);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[0].ended && !found[0].whole); // an earlier version's
    EXPECT_EQ(found[0].uuid, "old");
    EXPECT_TRUE(found[1].ended && found[1].whole);
    EXPECT_EQ(found[1].uuid, kept.setup.uuid);
    EXPECT_FALSE(found[2].ended || found[2].whole);

    Recording r;
    ASSERT_TRUE(ReadJournal(found[1].path, r));
    EXPECT_EQ(r.times, kept.times);
    EXPECT_EQ(r.forces, kept.forces);
    EXPECT_EQ(r.stoppedAt, kept.stoppedAt);
    EXPECT_EQ(r.incomplete, kept.incomplete);
    EXPECT_EQ(r.startNote, kept.startNote);
    EXPECT_EQ(PackAlarms(r.alarms), PackAlarms(kept.alarms));
    // So its CSV file, and the hash the store and the page carry, are the
    // ones the recording had.
    EXPECT_EQ(CurveCsvText(r), CurveCsvText(kept));
}
