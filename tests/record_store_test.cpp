// The record store on a real SQLite file: a recording back whole, its CSV file
// byte for byte, the searches of the history, and the stores the program must
// refuse (newer, damaged) or survive (a writer killed in the middle).
#include "records/record_store.h"

#include "station/cycle.h"
#include "records/file_access.h"
#include "station/local_time.h"
#include "station/report_data.h"
#include "station/report_import.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string FreshStorePath(const std::string& name) {
    const std::string path = testing::TempDir() + name + ".db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    return path;
}

Recording MakeRecording(const std::string& axle, int64_t stoppedAt, int peakBar,
                        const std::string& press = "P1") {
    Recording r;
    RecordingSetup& s = r.setup;
    s.uuid = NewRecordingId();
    s.job = {"OP7", axle, "B", "BRG-9 \"x\"", "2024-01", "=2026-11"};
    s.pressName = press;
    s.surface = 2010;
    s.hasLimits = true;
    s.limits = {400, 600};
    s.alarmThresholdBar = 250;
    s.recordLengthSeconds = 14;
    s.moduleAddress = "127.0.0.1:65100";
    s.version = "1.0.8";
    s.pcName = "press-pc-3";
    s.armedAt = stoppedAt - 20;
    r.startedAt = stoppedAt - 15;
    r.stoppedAt = stoppedAt;
    for (int i = 0; i < 200; ++i) {
        const int bar = i < 20 ? 2 * i + 6 : std::min(peakBar, 46 + i);
        r.times.push_back(i * 75 / 1000.0);
        r.forces.push_back(ForceTons(bar, s.surface));
        r.pressures.push_back(bar);
    }
    return r;
}

// The store as a version before programs left it.
#define kBackToSchema3                                                                             \
    "DROP TABLE quality_keys; DROP INDEX recordings_by_bearing; DROP TABLE criterion_values;"      \
    "ALTER TABLE recordings DROP COLUMN rest_bar;"                                                 \
    "ALTER TABLE recordings DROP COLUMN press_identity;"                                           \
    "ALTER TABLE recordings DROP COLUMN calibration_note;"                                         \
    "ALTER TABLE recordings DROP COLUMN clock_note;"                                               \
    "DROP TABLE pages; DELETE FROM chain_heads WHERE chain = 'pages';"                             \
    "DROP TABLE programs; DROP INDEX recordings_by_program;"                                       \
    "ALTER TABLE recordings DROP COLUMN program_name;"                                             \
    "ALTER TABLE recordings DROP COLUMN program_version;"                                          \
    "ALTER TABLE recordings DROP COLUMN program_json;"                                             \
    "ALTER TABLE recordings DROP COLUMN judging;"

Program HoldProgram(int version, double seconds) {
    Program p;
    std::string why;
    EXPECT_TRUE(ParseProgram(R"({"name": "TBU 130x230", "version": )" + std::to_string(version) +
                                 R"(, "bearing": "TBU 130x230*", "criteria": [
                                 {"peak": {"min_t": 350, "max_t": 420}},
                                 {"hold": {"above_t": 340, "min_s": )" +
                                 std::to_string(seconds) + "}}]}",
                             p, &why))
        << why;
    return p;
}

std::string ReadAll(const std::string& path) {
    std::string content;
    ReadWholeFile(path, content);
    return content;
}

} // namespace

TEST(RecordStore, ARecordingComesBackWholeAndItsCsvByteForByte) {
    const std::string path = FreshStorePath("store_roundtrip");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    Recording r = MakeRecording("AX12", 1796752800, 233);
    r.incomplete = "stopped by the operator at 14.0 s";
    r.startNote = "started at 380 bar: the rise is not on the curve";
    int64_t id = 0;
    ASSERT_TRUE(store->Add(r, RecordStatus::Incomplete, &id, &why)) << why;
    // The same recording again (a retry) adds nothing.
    int64_t again = 0;
    ASSERT_TRUE(store->Add(r, RecordStatus::Incomplete, &again, &why)) << why;
    EXPECT_EQ(again, id);
    int64_t total = 0;
    store->Find(RecordFilter{}, &total);
    EXPECT_EQ(total, 1);

    Recording back;
    RecordStatus status = RecordStatus::Complete;
    ASSERT_TRUE(store->Load(id, back, &status));
    EXPECT_EQ(status, RecordStatus::Incomplete);
    EXPECT_EQ(back.setup.uuid, r.setup.uuid);
    EXPECT_EQ(back.setup.pcName, "press-pc-3");
    EXPECT_EQ(back.times, r.times);
    EXPECT_EQ(back.forces, r.forces);
    EXPECT_EQ(back.pressures, r.pressures);
    const std::string original = testing::TempDir() + "store_original.csv";
    const std::string rebuilt = testing::TempDir() + "store_rebuilt.csv";
    ASSERT_TRUE(WriteCurveCsv(original, r, &why)) << why;
    ASSERT_TRUE(WriteCurveCsv(rebuilt, back, &why)) << why;
    EXPECT_EQ(ReadAll(rebuilt), ReadAll(original));
    EXPECT_GT(ReadAll(original).size(), 3000u);

    ASSERT_TRUE(store->SetReportFiles(r.setup.uuid, "/r/a.pdf", "/r/a.csv", 1796752900, &why));
    ASSERT_TRUE(store->AddReprint(r.setup.uuid, 1796753000, "/r/a.pdf", &why)) << why;
    ASSERT_TRUE(store->AddReprint(r.setup.uuid, 1796753100, "/r/a.pdf", &why)) << why;
    EXPECT_EQ(store->ReprintCount(r.setup.uuid), 2);
    EXPECT_TRUE(store->Find(RecordFilter{})[0].printed);
    EXPECT_FALSE(store->AddReprint("no-such-recording", 1, "x", &why));
}

TEST(RecordStore, TheHistoryFindsByTextDatePressAndResultNewestFirst) {
    const std::string path = FreshStorePath("store_find");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    const int64_t day = 86400, t0 = 1796752800;
    ASSERT_TRUE(store->Add(MakeRecording("AX-4711", t0, 233), RecordStatus::Complete, nullptr,
                           &why));                            // 477.7 t: PASS
    Recording high = MakeRecording("AX-4712", t0 + day, 245); // 502.3 t
    high.setup.limits = {400, 450};                           // FAIL
    ASSERT_TRUE(store->Add(high, RecordStatus::Complete, nullptr, &why));
    Recording cut = MakeRecording("BX-1", t0 + 2 * day, 233, "P2");
    cut.incomplete = "module lost at 3.0 s";
    ASSERT_TRUE(store->Add(cut, RecordStatus::Incomplete, nullptr, &why));
    Recording open = MakeRecording("CX-9", t0 + 3 * day, 233, "P2");
    open.setup.hasLimits = false;
    ASSERT_TRUE(store->Add(open, RecordStatus::Complete, nullptr, &why));

    auto axles = [](const std::vector<RecordSummary>& rows) {
        std::string out;
        for (const RecordSummary& row : rows)
            out += (out.empty() ? "" : " ") + row.axle + ":" + row.result;
        return out;
    };
    int64_t total = 0;
    EXPECT_EQ(axles(store->Find(RecordFilter{}, &total)),
              "CX-9: BX-1:INCOMPLETE AX-4712:FAIL AX-4711:PASS");
    EXPECT_EQ(total, 4);
    RecordFilter text;
    text.text = "471";
    EXPECT_EQ(axles(store->Find(text, &total)), "AX-4712:FAIL AX-4711:PASS");
    EXPECT_EQ(total, 2);
    text.text = "ax-47"; // any case
    EXPECT_EQ(store->Find(text).size(), 2u);
    text.text = "x"; // shorter than the index's three characters
    EXPECT_EQ(store->Find(text).size(), 4u);
    text.text = "BRG-9"; // the bearing
    EXPECT_EQ(store->Find(text).size(), 4u);
    text.text = "%"; // no wildcard: nothing has it
    EXPECT_TRUE(store->Find(text).empty());
    RecordFilter dates;
    dates.from = t0 + day;
    dates.until = t0 + 3 * day;
    EXPECT_EQ(axles(store->Find(dates)), "BX-1:INCOMPLETE AX-4712:FAIL");
    RecordFilter pressAndResult;
    pressAndResult.press = "P2";
    pressAndResult.result = "NONE";
    EXPECT_EQ(axles(store->Find(pressAndResult)), "CX-9:");
    pressAndResult.press = "P1";
    pressAndResult.result = "FAIL";
    EXPECT_EQ(axles(store->Find(pressAndResult)), "AX-4712:FAIL");
    RecordFilter page;
    page.limit = 2;
    page.offset = 1;
    EXPECT_EQ(axles(store->Find(page, &total)), "BX-1:INCOMPLETE AX-4712:FAIL");
    EXPECT_EQ(total, 4);
    EXPECT_EQ(store->Presses(), (std::vector<std::string>{"P1", "P2"}));
}

TEST(RecordStore, ANewerOrDamagedStoreIsRefusedAndLeftAsItIs) {
    const std::string newer = FreshStorePath("store_newer");
    std::string why;
    {
        auto store = RecordStore::Open(newer, &why);
        ASSERT_TRUE(store) << why;
        ASSERT_TRUE(store->Add(MakeRecording("AX1", 1796752800, 233), RecordStatus::Complete,
                               nullptr, &why));
    }
    {
        // A later program's store: its schema version is beyond ours.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
        const std::string later =
            "PRAGMA user_version=" + std::to_string(RecordStore::kSchemaVersion + 1);
        ASSERT_EQ(sqlite3_exec(db, later.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const std::string before = ReadAll(newer);
    EXPECT_EQ(RecordStore::Open(newer, &why), nullptr);
    const int ours = RecordStore::kSchemaVersion;
    EXPECT_NE(why.find("made by a newer version of the program (schema " +
                       std::to_string(ours + 1) + ", this program knows " + std::to_string(ours) +
                       ")"),
              std::string::npos)
        << why;
    EXPECT_EQ(ReadAll(newer), before);

    const std::string damaged = FreshStorePath("store_damaged");
    std::ofstream(damaged, std::ios::binary) << std::string(4096, 'x');
    EXPECT_EQ(RecordStore::Open(damaged, &why), nullptr);
    EXPECT_NE(why.find("not a record store, or is damaged"), std::string::npos) << why;
    EXPECT_EQ(ReadAll(damaged), std::string(4096, 'x'));

    // A folder that does not exist: told, not made.
    EXPECT_EQ(RecordStore::Open(testing::TempDir() + "no/such/dir/records.db", &why), nullptr);
    EXPECT_FALSE(why.empty());
}

// With a plant server, a recording enters the outbox in the transaction that
// keeps it: once, however often it is added; a store of the version before
// gets an empty outbox and keeps its chain.
TEST(RecordStore, ARecordingIsQueuedForThePlantWithItsOwnTransaction) {
    const std::string path = FreshStorePath("store_outbox");
    std::string why;
    Recording first = MakeRecording("AX1", 1796752800, 233);
    first.setup.judging = 1; // as the version before kept it
    {
        auto store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        ASSERT_TRUE(store->Add(first, RecordStatus::Complete, nullptr, &why));
        EXPECT_EQ(store->OutboxCount(), 0) << "no plant server: nothing queued";
        // Printed, and printed again, by the version before.
        ASSERT_TRUE(store->SetReportHash(first.setup.uuid, std::string(64, '1'), &why)) << why;
        ASSERT_TRUE(
            store->AddReprint(first.setup.uuid, 1796753000, "/r/a.pdf", &why, std::string(64, '2')))
            << why;
    }
    // The store as the version before left it.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, kBackToSchema3 "DROP TABLE outbox; PRAGMA user_version=2",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    EXPECT_EQ(store->OutboxCount(), 0);
    store->QueueForPlant(true);
    const Recording second = MakeRecording("AX2", 1796752900, 233);
    ASSERT_TRUE(store->Add(second, RecordStatus::Incomplete, nullptr, &why)) << why;
    ASSERT_TRUE(store->Add(second, RecordStatus::Incomplete, nullptr, &why)) << why;
    ASSERT_TRUE(store->AddMany({first, MakeRecording("AX3", 1796753000, 233)},
                               RecordStatus::Complete, &why))
        << why;
    const std::vector<OutboxEntry> queued = store->Outbox(10);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].uuid, second.setup.uuid);
    ASSERT_TRUE(store->NoteAttempt(queued[0].id, &why));
    EXPECT_EQ(store->Outbox(1).front().attempts, 1);
    ASSERT_TRUE(store->Delivered(queued[0].id, &why));
    EXPECT_EQ(store->OutboxCount(), 1);
    // The ones kept before there was a plant server, on request; the sent
    // one again too (the server keeps one row), none twice.
    EXPECT_EQ(store->QueueEverything(&why), 2);
    EXPECT_EQ(store->OutboxCount(), 3);
    const ChainCheck chain = store->VerifyChain();
    EXPECT_TRUE(chain.ok) << chain.problem;
    EXPECT_EQ(chain.records, 3);
    // Its pages were put into their chain when the store was brought up.
    EXPECT_EQ(chain.pages, 2);
    EXPECT_EQ(store->PageHashes(first.setup.uuid),
              (std::vector<std::string>{std::string(64, '1'), std::string(64, '2')}));
}

#ifndef _WIN32 // the size limit of a process stands in for a full disk
// A disk that fills up: the write fails with its reason, and what was kept
// before stays whole and readable.
TEST(RecordStore, AFullDiskFailsTheWriteWithItsReasonAndKeepsTheRest) {
    const std::string path = FreshStorePath("store_full");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    ASSERT_TRUE(
        store->Add(MakeRecording("AX1", 1796752800, 233), RecordStatus::Complete, nullptr, &why));
    Recording big = MakeRecording("AX2", 1796752900, 233);
    big.times.resize(13000, 10.0);
    big.forces.resize(13000, 400.0);
    big.pressures.resize(13000, 195);
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool added = store->Add(big, RecordStatus::Complete, nullptr, &why);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(added);
    EXPECT_EQ(why, "disk I/O error"); // a full disk says "database or disk is full"
    store.reset();

    store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    int64_t total = 0;
    const std::vector<RecordSummary> rows = store->Find(RecordFilter{}, &total);
    ASSERT_EQ(total, 1);
    Recording back;
    EXPECT_TRUE(store->Load(rows[0].id, back));
    EXPECT_EQ(back.setup.job.axleDesignation, "AX1");
}
#endif

#ifndef _WIN32 // a forked writer killed
// A writer killed in the middle of a write leaves a store that opens, with
// every recording either whole or absent.
TEST(RecordStore, AWriterKilledInTheMiddleLeavesWholeRecordsOnly) {
    const std::string path = FreshStorePath("store_killed");
    std::string why;
    ASSERT_TRUE(RecordStore::Open(path, &why)) << why;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        auto store = RecordStore::Open(path, nullptr);
        for (int i = 0;; ++i) {
            Recording r = MakeRecording("AX" + std::to_string(i), 1796752800 + i, 233);
            r.times.resize(13000, 10.0); // large: the kill often lands inside a write
            r.forces.resize(13000, 400.0);
            r.pressures.resize(13000, 195);
            store->Add(r, RecordStatus::Complete, nullptr, nullptr);
            if (i == 3 && write(ready[1], "r", 1) != 1) _exit(1);
        }
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    usleep(30000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);

    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    int64_t total = 0;
    const std::vector<RecordSummary> rows = store->Find(RecordFilter{}, &total);
    EXPECT_GE(total, 4);
    for (const RecordSummary& row : rows) {
        Recording back;
        ASSERT_TRUE(store->Load(row.id, back)) << row.axle;
        EXPECT_EQ(back.times.size(), 13000u) << row.axle;
        EXPECT_EQ(back.forces.back(), 400.0);
    }
}
#endif

// Report folders from before the store: today's CSV files and older ones
// without header lines are read once; what is not a report is skipped with
// its reason.
TEST(ReportImport, EveryReportOfAFolderIsReadOnceAndWhatIsNotIsNamed) {
    const std::string dir = testing::TempDir() + "import_" + std::to_string(std::rand());
    ASSERT_TRUE(MakeDirectory(dir));
    Recording today = MakeRecording("AX12", 1796752800, 233);
    today.setup.job.axleDesignation = "=AX12"; // written with its formula mark
    std::string why;
    ASSERT_TRUE(WriteCurveCsv(dir + "/Report_Mounting_AX12B_20261208.csv", today, &why)) << why;
    std::ofstream(dir + "/Report_Mounting_AX7B_20250301.csv")
        << "time_s,force_t\n0,12.75\n0.075,25.5\n0.15,25.5\n";
    std::ofstream(dir + "/Report_Mounting_broken_20250301.csv") << "<html>not a curve</html>\n";
    std::ofstream(dir + "/notes.csv") << "time_s,force_t\n0,1\n";

    auto store = RecordStore::Open(FreshStorePath("store_import"), &why);
    ASSERT_TRUE(store) << why;
    ImportOutcome first = ImportReports(dir, *store, "press-pc-9");
    EXPECT_EQ(first.Summary(), "2 reports read, 0 already in the store, 1 skipped:\n"
                               "  Report_Mounting_broken_20250301.csv: no \"time_s,force_t\" "
                               "column line");
    ImportOutcome second = ImportReports(dir, *store, "press-pc-9");
    EXPECT_EQ(second.read, 0);
    EXPECT_EQ(second.already, 2);

    std::vector<RecordSummary> rows = store->Find(RecordFilter{});
    ASSERT_EQ(rows.size(), 2u);
    Recording back;
    ASSERT_TRUE(store->Load(rows[0].id, back)); // newest: today's
    EXPECT_EQ(back.setup.job.axleDesignation, "=AX12");
    EXPECT_EQ(back.setup.pressName, "P1");
    EXPECT_EQ(back.stoppedAt, today.stoppedAt);
    EXPECT_EQ(back.times, today.times);
    EXPECT_EQ(back.pressures, today.pressures);
    EXPECT_EQ(rows[0].result, "PASS");
    ASSERT_TRUE(store->Load(rows[1].id, back)); // the old file: its name tells the job
    EXPECT_EQ(back.setup.job.axleDesignation, "AX7");
    EXPECT_EQ(back.setup.job.mountingSide, "B");
    EXPECT_EQ(IsoDate(back.stoppedAt), "2025-03-01");
    EXPECT_EQ(back.forces, (std::vector<double>{12.75, 25.5, 25.5}));
    EXPECT_EQ(rows[1].result, "");
}

// Faults mended: an import took limits of 0.000001 to 1e308 t with forces of
// 1e300 t as PASS, a single sample as PASS, a sample at 3 000 000 s (kept as
// -1 294 967 s), a 10 000-character operator, a reading of 2^31 bar, and read
// a file of any size whole. Each is skipped with its reason; what is
// imported carries the importing PC and says it was imported.
TEST(ReportImport, AFileNoRecordingCouldBeIsSkippedWithItsReason) {
    const std::string dir = testing::TempDir() + "import_bad_" + std::to_string(std::rand());
    ASSERT_TRUE(MakeDirectory(dir));
    std::string why;
    int n = 0;
    auto write = [&](Recording r) {
        r.setup.uuid = "";
        r.setup.job.axleDesignation = "AX" + std::to_string(++n);
        ASSERT_TRUE(WriteCurveCsv(
            dir + "/Report_Mounting_AX" + std::to_string(n) + "B_20261208.csv", r, &why))
            << why;
    };
    const Recording good = MakeRecording("AX", 1796752800, 233);
    write(good);
    Recording r = good;
    r.setup.limits = {0.000001, 1e308};
    for (double& f : r.forces)
        f = 1e300;
    write(r);
    r = good;
    r.times = {0};
    r.forces = {ForceTons(230, 2010)};
    r.pressures = {230};
    write(r);
    r = good;
    r.times.back() = 3000000;
    write(r);
    r = good;
    r.setup.job.operatorId = std::string(10000, 'o');
    write(r);
    r = good;
    r.pressures[50] = 2147483647;
    r.forces[50] = ForceTons(2147483647, 2010);
    write(r);
    {
        std::ofstream huge(dir + "/Report_Mounting_AX7B_20261208.csv");
        huge << CurveCsvText(good);
        for (int i = 0; i < 900000; ++i)
            huge << "14.925,400.0000,195\n";
    }
    auto store = RecordStore::Open(FreshStorePath("store_import_bad"), &why);
    ASSERT_TRUE(store) << why;
    const ImportOutcome outcome = ImportReports(dir, *store, "press-pc-9");
    EXPECT_EQ(outcome.read, 1);
    ASSERT_EQ(outcome.skipped.size(), 6u) << outcome.Summary();
    const char* reasons[] = {"its limits: ",
                             "its curve ends at 0.0 s under pressure",
                             "its sample times do not run from 0",
                             "its operator ID is longer",
                             "a pressure beyond 2000 bar",
                             "larger than a recording can be"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(outcome.skipped[i].second.find(reasons[i]), 0u) << outcome.skipped[i].second;
    const std::vector<RecordSummary> rows = store->Find(RecordFilter{});
    ASSERT_EQ(rows.size(), 1u);
    Recording back;
    ASSERT_TRUE(store->Load(rows[0].id, back));
    EXPECT_EQ(back.setup.pcName, "press-pc-9");
    EXPECT_EQ(back.setup.version, "1.0.8 (imported)");

    // The store itself never wraps a time it cannot keep.
    r = good;
    r.times.back() = 3000000;
    EXPECT_FALSE(store->Add(r, RecordStatus::Complete, nullptr, &why));
    EXPECT_EQ(why, "a sample time of 3000000.000000 s cannot be kept");
}

TEST(RecordStore, ProgramsAreKeptVersionByVersionInTheQualityEngineersName) {
    const std::string path = FreshStorePath("store_programs");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    Change who;
    who.at = 1796752800;
    who.who = "QE Rossi";
    who.pcName = "press-pc-3";
    who.reason = "new bearing type";
    ASSERT_TRUE(store->SaveProgram(HoldProgram(1, 3.0), who, &why)) << why;
    EXPECT_FALSE(store->SaveProgram(HoldProgram(1, 3.0), who, &why));
    EXPECT_EQ(why, "TBU 130x230 v1 is already kept as it is");
    EXPECT_FALSE(store->SaveProgram(HoldProgram(1, 2.5), who, &why));
    EXPECT_EQ(why, "version 1 of TBU 130x230 is already kept: a changed program needs a higher "
                   "version");
    who.reason = "hold from the customer's drawing";
    ASSERT_TRUE(store->SaveProgram(HoldProgram(2, 2.5), who, &why)) << why;
    ASSERT_EQ(store->Programs().size(), 1u);
    EXPECT_EQ(store->Programs()[0].Title(), "TBU 130x230 v2");

    // A recording keeps its program whole: judged the same after it changed.
    Recording r = MakeRecording("AX1", 1796752900, 233);
    r.setup.program = std::make_shared<Program>(store->Programs()[0]);
    const Judgement before = r.Judged();
    ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
    who.reason = "withdrawn: bearing no longer mounted";
    ASSERT_TRUE(store->WithdrawProgram("TBU 130x230", who, &why)) << why;
    EXPECT_TRUE(store->Programs().empty());
    ASSERT_EQ(store->ProgramVersions("TBU 130x230").size(), 2u);
    Recording back;
    ASSERT_TRUE(store->Load(store->IdOf(r.setup.uuid), back));
    ASSERT_TRUE(back.setup.program);
    EXPECT_EQ(back.setup.program->Title(), "TBU 130x230 v2");
    EXPECT_EQ(ResultText(back.Judged()), ResultText(before));
    EXPECT_EQ(CurveCsvText(back), CurveCsvText(r));

    // The trail has every version whole, who saved it and why; the chain holds.
    const std::vector<Change> trail = store->Changes("TBU 130x230");
    ASSERT_EQ(trail.size(), 3u);
    EXPECT_EQ(trail[0].what, kProgramWithdrawn);
    EXPECT_EQ(trail[1].what, kProgramSaved);
    EXPECT_EQ(trail[1].who, "QE Rossi");
    EXPECT_EQ(trail[1].reason, "hold from the customer's drawing");
    Program kept;
    ASSERT_TRUE(ParseProgram(trail[1].newValue, kept, &why)) << why;
    EXPECT_EQ(kept.criteria[1].minSeconds, 2.5);
    ASSERT_TRUE(ParseProgram(trail[1].oldValue, kept, &why)) << why;
    EXPECT_EQ(kept.version, 1);
    EXPECT_TRUE(store->VerifyChain().ok) << store->VerifyChain().problem;
    // A program with faults is never kept.
    Program empty = HoldProgram(3, 3.0);
    empty.criteria.clear();
    EXPECT_FALSE(store->SaveProgram(empty, who, &why));
    EXPECT_EQ(why, "TBU 130x230 v3: no criteria: a program must judge something");
}
