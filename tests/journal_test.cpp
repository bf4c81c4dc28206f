// The journal of a running recording: written as it runs, ended with how it
// ended, and found at the next start when a crash interrupted it.
#include "recorder/journal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <wx/filename.h>

#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

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
    EXPECT_EQ(lines[3], "0.075,3,10");
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
