// What ties a report to its data, tampered with as someone at the press or
// with a copy of the store could: a digit of a CSV file, a byte of a page, a
// page beside another recording's CSV file, a record changed or removed in
// the store, limits edited outside the program, and the quality engineer's
// password file missing, damaged or guessed at.
#include "station/cycle.h"
#include "station/limits.h"
#include "station/press_register.h"
#include "station/quality_accounts.h"
#include "station/report_data.h"
#include "station/verify.h"
#include "records/file_access.h"
#include "records/integrity.h"
#include "records/quality_password.h"
#include "records/record_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>

namespace {

std::string Fresh(const std::string& name) {
    const std::string path = testing::TempDir() + name;
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    return path;
}

Recording Job(const std::string& axle, int64_t stoppedAt, int peakBar) {
    Recording r;
    r.setup.uuid = NewRecordingId();
    r.setup.job = {"OP7", axle, "A", "TAROL 130", "2024-01", "2026-11"};
    r.setup.pressName = "P3";
    r.setup.surface = 2010;
    r.setup.recordLengthSeconds = 14;
    r.setup.version = "1.0.8";
    r.startedAt = stoppedAt - 15;
    r.stoppedAt = stoppedAt;
    for (int i = 0; i < 100; ++i) {
        const int bar = std::min(peakBar, 10 + 3 * i);
        r.times.push_back(i * 0.075);
        r.forces.push_back(ForceTons(bar, 2010));
        r.pressures.push_back(bar);
    }
    r.csvSha256 = Sha256Hex(CurveCsvText(r));
    return r;
}

/// Runs SQL on the store as someone with a database tool would.
void Tamper(const std::string& store, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

Change LimitsChange(const std::string& press, const std::string& value, int64_t at) {
    Change c;
    c.at = at;
    c.who = "Anna Rossi";
    c.pcName = "pc3";
    c.press = press;
    c.what = kLimitsChange;
    c.oldValue = "none";
    c.newValue = value;
    c.reason = "new bearing type";
    return c;
}

} // namespace

TEST(Integrity, HashesNumbersAndTheMarkAPageCarries) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ReportNumber("3f2a9c1e77b04d2e8a1b000000000000"), "3F2A-9C1E-77B0");
    const std::string hash(64, 'e');
    // An imported recording's identity holds spaces and characters XML escapes.
    for (const std::string& uuid :
         {std::string("3f2a9c1e77b04d2e8a1b000000000000"),
          std::string("import:Report_Mounting_A&B<1>_20250301.csv:2025-03-01 18:40:22:2:25.5")}) {
        const std::string page =
            "%PDF-1.4\n<pdf:Keywords>" + ReportMark(uuid, hash) + "</pdf:Keywords>\n%%EOF";
        std::string readUuid, readHash;
        ASSERT_TRUE(FindReportMark(page, &readUuid, &readHash)) << page;
        EXPECT_EQ(readUuid, uuid);
        EXPECT_EQ(readHash, hash);
        EXPECT_EQ(ReportMark(uuid, hash).find_first_of(" <>&\"'", 10),
                  ReportMark(uuid, hash).find(" csv-sha256="));
    }
    std::string u, h;
    EXPECT_FALSE(FindReportMark("%PDF-1.4 report-id=x csv-sha256=short", &u, &h));
}

TEST(Integrity, TheStoreChainsNamesTheFirstRecordChangedOrRemoved) {
    const std::string path = Fresh("chain.db");
    std::string why;
    {
        auto store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        for (int i = 1; i <= 5; ++i)
            ASSERT_TRUE(store->Add(Job("AX" + std::to_string(i), 1796752800 + i * 600, 230),
                                   RecordStatus::Complete, nullptr, &why))
                << why;
        ASSERT_TRUE(
            store->AddChange(LimitsChange("P3", "350 t \xE2\x80\xA6 420 t", 1796752000), &why));
        ASSERT_TRUE(
            store->AddChange(LimitsChange("P3", "360 t \xE2\x80\xA6 420 t", 1796753000), &why));
        const ChainCheck whole = store->VerifyChain();
        EXPECT_TRUE(whole.ok) << whole.problem;
        EXPECT_EQ(whole.records, 5);
        EXPECT_EQ(whole.changes, 2);
        // The printed page's hash and where it is are noted later, outside the chain.
        ASSERT_TRUE(
            store->SetReportFiles(store->Find({})[0].uuid, "/r/a.pdf", "/r/a.csv", 1, &why));
        EXPECT_TRUE(store->VerifyChain().ok);
    }
    // Each tampering on a copy of the store, as found by the walk.
    struct Case {
        const char* sql;
        const char* found;
    };
    for (const Case& c : {
             Case{"UPDATE recordings SET peak_t = 420.0 WHERE id = 3", "recording 3 ("},
             Case{"UPDATE samples SET data = substr(data, 1, 100) || x'00' || substr(data, 102)"
                  " WHERE recording_id = 2",
                  "recording 2 ("},
             Case{"UPDATE recordings SET axle = 'AX9' WHERE id = 4", "axle AX9 A) was changed"},
             Case{"DELETE FROM samples WHERE recording_id = 3; DELETE FROM recording_text;"
                  " DELETE FROM recordings WHERE id = 3",
                  "before recording 4"},
             Case{"DELETE FROM samples WHERE recording_id = 5; DELETE FROM recording_text;"
                  " DELETE FROM recordings WHERE id = 5",
                  "1 of the last recordings were removed"},
             Case{"UPDATE changes SET new_value = '300 t \xE2\x80\xA6 420 t' WHERE id = 1",
                  "change 1 (force limits, press P3) was changed"},
             Case{"INSERT INTO changes (at, who, pc_name, press, what, old_value, new_value,"
                  " reason) VALUES (1, 'x', 'x', 'P3', 'force limits', '', '', '')",
                  "change 3 (force limits, press P3) was added outside the program"},
         }) {
        const std::string copy = Fresh("chain_copy.db");
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(path, bytes));
        FILE* out = std::fopen(copy.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        Tamper(copy, c.sql);
        const VerifyOutcome outcome = VerifyStore(copy);
        EXPECT_EQ(outcome.exitCode, 1) << c.sql;
        EXPECT_NE(outcome.line.find(c.found), std::string::npos) << c.sql << "\n" << outcome.line;
    }
    EXPECT_EQ(VerifyStore(path).exitCode, 0) << VerifyStore(path).line;
    EXPECT_EQ(VerifyStore(Fresh("no_store.db")).exitCode, 2);
}

// A store written by the version before the chain: brought up to date and
// sealed as found, and its records verify.
TEST(Integrity, AnOlderStoreIsSealedWhenItIsOpened) {
    const std::string path = Fresh("older.db");
    std::string why;
    {
        auto store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(store->Add(Job("AX" + std::to_string(i), 1796752800 + i, 230),
                                   RecordStatus::Complete, nullptr, &why));
    }
    // Back to the first schema: without the columns and tables of the later ones.
    Tamper(path, "DROP TABLE quality_keys; DROP INDEX recordings_by_bearing;"
                 "DROP TABLE criterion_values; ALTER TABLE recordings DROP COLUMN rest_bar;"
                 "ALTER TABLE recordings DROP COLUMN press_identity;"
                 "ALTER TABLE recordings DROP COLUMN calibration_note;"
                 "ALTER TABLE recordings DROP COLUMN clock_note; DROP TABLE pages; DROP TABLE "
                 "programs; DROP INDEX recordings_by_program;"
                 "ALTER TABLE recordings DROP COLUMN program_name;"
                 "ALTER TABLE recordings DROP COLUMN program_version;"
                 "ALTER TABLE recordings DROP COLUMN program_json;"
                 "ALTER TABLE recordings DROP COLUMN judging;"
                 "DROP TABLE outbox; DROP TABLE changes; DROP TABLE chain_heads;"
                 "ALTER TABLE recordings DROP COLUMN csv_sha256;"
                 "ALTER TABLE recordings DROP COLUMN limits_set_at;"
                 "ALTER TABLE recordings DROP COLUMN limits_set_by;"
                 "ALTER TABLE recordings DROP COLUMN alarms;"
                 "ALTER TABLE recordings DROP COLUMN pdf_sha256;"
                 "ALTER TABLE recordings DROP COLUMN previous_hash;"
                 "ALTER TABLE recordings DROP COLUMN record_hash;"
                 "ALTER TABLE reprints DROP COLUMN pdf_sha256; PRAGMA user_version = 1;");
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    const ChainCheck check = store->VerifyChain();
    EXPECT_TRUE(check.ok) << check.problem;
    EXPECT_EQ(check.records, 3);
    ASSERT_TRUE(store->Add(Job("AX4", 1796762800, 230), RecordStatus::Complete, nullptr, &why));
    EXPECT_TRUE(store->VerifyChain().ok);
}

// The checks --verify makes, on a page as the report writes its mark, the
// CSV file beside it and the store.
TEST(Integrity, VerifyCatchesEachTamperingOfPageCsvAndStore) {
    const std::string folder = testing::TempDir();
    const std::string storePath = Fresh("verify.db");
    std::string why;
    Recording a = Job("AX12", 1796752800, 230), b = Job("AX13", 1796753400, 240);
    auto writePair = [&](const Recording& r, const std::string& stem) {
        const std::string csv = CurveCsvText(r);
        const std::string page = "%PDF-1.4\n<pdf:Keywords>" +
                                 ReportMark(r.setup.uuid, r.csvSha256) +
                                 "</pdf:Keywords>\nstream of the page " + stem + "\n%%EOF\n";
        std::string error;
        EXPECT_TRUE(WriteFileBytes(folder + stem + ".csv", csv, &error));
        EXPECT_TRUE(WriteFileBytes(folder + stem + ".pdf", page, &error));
        return Sha256Hex(page);
    };
    const std::string pageA = writePair(a, "Report_Mounting_AX12A_20261208");
    const std::string pageB = writePair(b, "Report_Mounting_AX13A_20261208");
    {
        auto store = RecordStore::Open(storePath, &why);
        ASSERT_TRUE(store) << why;
        for (const auto& [r, hash, stem] :
             {std::make_tuple(a, pageA, std::string("Report_Mounting_AX12A_20261208")),
              std::make_tuple(b, pageB, std::string("Report_Mounting_AX13A_20261208"))}) {
            ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
            ASSERT_TRUE(store->SetReportFiles(r.setup.uuid, folder + stem + ".pdf",
                                              folder + stem + ".csv", 1, &why));
            ASSERT_TRUE(store->SetReportHash(r.setup.uuid, hash, &why));
        }
    }
    const std::string pdfA = folder + "Report_Mounting_AX12A_20261208.pdf";
    const std::string csvA = folder + "Report_Mounting_AX12A_20261208.csv";
    VerifyOutcome ok = VerifyReportFile(pdfA, storePath);
    EXPECT_EQ(ok.exitCode, 0) << ok.line;
    EXPECT_EQ(ok.line.rfind("OK: report " + ReportNumber(a.setup.uuid) + " (axle AX12 A, ", 0), 0u)
        << ok.line;
    EXPECT_EQ(VerifyReportFile(csvA, storePath).exitCode, 0)
        << VerifyReportFile(csvA, storePath).line;

    auto expectChanged = [&](const std::string& file, const std::string& found) {
        const VerifyOutcome outcome = VerifyReportFile(file, storePath);
        EXPECT_EQ(outcome.exitCode, 1) << outcome.line;
        EXPECT_NE(outcome.line.find(found), std::string::npos) << outcome.line;
    };
    const std::string csvText = CurveCsvText(a);
    std::string error;
    // One digit of one force changed: the row and both values are named.
    std::string edited = csvText;
    const size_t row = edited.find("\n", edited.find("\ntime_s,") + 1) + 1;
    const size_t comma = edited.find(',', row);
    const std::string time = edited.substr(row, comma - row),
                      force = edited.substr(comma + 1, edited.find(',', comma + 1) - comma - 1);
    edited[comma + 1] = edited[comma + 1] == '9' ? '8' : '9';
    const std::string changedForce = edited.substr(comma + 1, force.size());
    ASSERT_TRUE(WriteFileBytes(csvA, edited, &error));
    expectChanged(pdfA,
                  "the CSV file Report_Mounting_AX12A_20261208.csv is not the one the page names");
    expectChanged(pdfA,
                  "; first row " + time + " s: " + changedForce + " t, recorded " + force + " t.");
    expectChanged(csvA, "differs from the stored record's");
    // The CSV file gone: missing, not changed.
    ASSERT_TRUE(std::remove(csvA.c_str()) == 0);
    VerifyOutcome missing = VerifyReportFile(pdfA, storePath);
    EXPECT_EQ(missing.exitCode, 2) << missing.line;
    EXPECT_EQ(missing.line.rfind("MISSING: ", 0), 0u) << missing.line;
    EXPECT_EQ(VerifyReportFile(folder + "nothing-here.pdf", storePath).exitCode, 2);
    // The page renamed for the archive, its CSV file beside it under the
    // name the page gives: the pair is found and agrees.
    ASSERT_TRUE(WriteFileBytes(csvA, csvText, &error));
    const std::string archive = folder + "archive-2026/";
    ASSERT_TRUE(MakeDirectory(archive));
    std::string pageOfA;
    ASSERT_TRUE(ReadWholeFile(pdfA, pageOfA));
    ASSERT_TRUE(WriteFileBytes(archive + "axle AX12 side A.pdf", pageOfA, &error));
    ASSERT_TRUE(WriteFileBytes(archive + "Report_Mounting_AX12A_20261208.csv", csvText, &error));
    ok = VerifyReportFile(archive + "axle AX12 side A.pdf", storePath);
    EXPECT_EQ(ok.exitCode, 0) << ok.line;
    // Without the store (another PC): the page and its CSV file still
    // checked against each other, and the store said not to be asked.
    ASSERT_TRUE(WriteFileBytes(archive + "axle AX12 side A.csv", csvText, &error));
    ok = VerifyReportFile(archive + "axle AX12 side A.pdf", archive + "records.db");
    EXPECT_EQ(ok.exitCode, 0) << ok.line;
    EXPECT_NE(ok.line.find("the page and the CSV file agree; the record store could not be asked"),
              std::string::npos)
        << ok.line;
    ASSERT_TRUE(WriteFileBytes(archive + "axle AX12 side A.csv", edited, &error));
    EXPECT_EQ(VerifyReportFile(archive + "axle AX12 side A.pdf", archive + "records.db").exitCode,
              1);
    // Another recording's CSV file under this page's name.
    ASSERT_TRUE(WriteFileBytes(csvA, CurveCsvText(b), &error));
    expectChanged(pdfA, "is not the one the page names");
    ASSERT_TRUE(WriteFileBytes(csvA, csvText, &error));
    EXPECT_EQ(VerifyReportFile(pdfA, storePath).exitCode, 0);
    // Another recording's page under this page's name is that recording's
    // page, with the CSV file it names: told as that recording.
    std::string pageOfB;
    ASSERT_TRUE(ReadWholeFile(folder + "Report_Mounting_AX13A_20261208.pdf", pageOfB));
    ASSERT_TRUE(WriteFileBytes(pdfA, pageOfB, &error));
    ok = VerifyReportFile(pdfA, storePath);
    EXPECT_EQ(ok.line.rfind("OK: report " + ReportNumber(b.setup.uuid) + " (axle AX13 A, ", 0), 0u)
        << ok.line;
    // A byte of the page changed.
    std::string pageBytes;
    writePair(a, "Report_Mounting_AX12A_20261208");
    ASSERT_TRUE(ReadWholeFile(pdfA, pageBytes));
    pageBytes[pageBytes.find("the page")] = 'T';
    ASSERT_TRUE(WriteFileBytes(pdfA, pageBytes, &error));
    expectChanged(pdfA, "is not one that was printed");
    // Fault mended: the changed page's hash put among the reprints by one
    // INSERT made it a printed page; only the chain of pages counts.
    Tamper(storePath, ("INSERT INTO reprints (recording_id, printed_at, pdf_path, pdf_sha256)"
                       " VALUES (1, 2, 'x.pdf', '" +
                       Sha256Hex(pageBytes) + "')")
                          .c_str());
    expectChanged(pdfA, "is not one that was printed");
    // Put into the chain's table by hand, it is no sealed page either.
    Tamper(storePath, ("INSERT INTO pages (recording_id, printed_at, pdf_sha256, reprint)"
                       " VALUES (1, 2, '" +
                       Sha256Hex(pageBytes) + "', 1)")
                          .c_str());
    expectChanged(pdfA, "is not one that was printed");
    EXPECT_NE(VerifyStore(storePath).line.find("was added outside the program"), std::string::npos);
    Tamper(storePath, "DELETE FROM pages WHERE record_hash IS NULL");
    writePair(a, "Report_Mounting_AX12A_20261208");
    EXPECT_EQ(VerifyReportFile(pdfA, storePath).exitCode, 0);
    // The stored record changed, then removed.
    Tamper(storePath, "UPDATE recordings SET peak_t = 401 WHERE axle = 'AX12'");
    expectChanged(pdfA, "the stored record was changed after it was written");
    Tamper(storePath, "DELETE FROM samples WHERE recording_id = 1; DELETE FROM recording_text;"
                      " DELETE FROM recordings WHERE id = 1");
    expectChanged(pdfA, "is not in the record store");
    // Not a report at all.
    ASSERT_TRUE(WriteFileBytes(folder + "other.pdf", "%PDF-1.4\n%%EOF\n", &error));
    EXPECT_EQ(VerifyReportFile(folder + "other.pdf", storePath).exitCode, 2);
}

TEST(QualityPassword, SetOnceCheckedAndNeverAnyoneMayEditWhenTheFileIsGone) {
    const std::string path = Fresh("quality.key");
    QualityPassword password(path);
    EXPECT_EQ(password.State(false), PasswordState::NotSet);
    std::string why;
    EXPECT_FALSE(password.Set("short", &why));
    EXPECT_NE(why.find("at least 8 characters"), std::string::npos);
    ASSERT_TRUE(password.Set("Łódź-press-3", &why)) << why;
    EXPECT_EQ(password.State(true), PasswordState::Set);
    EXPECT_TRUE(password.Matches("Łódź-press-3"));
    EXPECT_FALSE(password.Matches("Łódź-press-4"));
    EXPECT_FALSE(password.Matches(""));
    std::string file;
    ASSERT_TRUE(ReadWholeFile(path, file));
    EXPECT_EQ(file.rfind("$argon2id$", 0), 0u);
    EXPECT_EQ(file.find("press-3"), std::string::npos);

    // Damaged: cut short, or another text; missing once a password was set.
    std::string error;
    ASSERT_TRUE(WriteFileBytes(path, file.substr(0, 40), &error));
    EXPECT_EQ(password.State(true), PasswordState::Damaged);
    EXPECT_FALSE(password.Matches("Łódź-press-3"));
    ASSERT_TRUE(WriteFileBytes(path, "anyone\n", &error));
    EXPECT_EQ(password.State(false), PasswordState::Damaged);
    std::remove(path.c_str());
    EXPECT_EQ(password.State(true), PasswordState::Missing);
    EXPECT_FALSE(password.Matches(""));
}

TEST(QualityPassword, WrongPasswordsSlowDownAfterFiveTries) {
    PasswordAttempts attempts;
    const int64_t t = 1000;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(attempts.WaitSeconds(t), 0) << i;
        attempts.Failed(t);
    }
    EXPECT_EQ(attempts.WaitSeconds(t), 30);
    EXPECT_EQ(attempts.WaitSeconds(t + 29), 1);
    EXPECT_EQ(attempts.WaitSeconds(t + 30), 0);
    attempts.Failed(t + 30); // sixth: twice as long
    EXPECT_EQ(attempts.WaitSeconds(t + 30), 60);
    for (int i = 0; i < 10; ++i)
        attempts.Failed(t + 100);
    EXPECT_EQ(attempts.WaitSeconds(t + 100), PasswordAttempts::kLongestWait);
    attempts.Succeeded();
    EXPECT_EQ(attempts.WaitSeconds(t + 100), 0);
}

// Faults mended: five wrong passwords, a restart, five more, a restart, and
// the right one was taken at once (the count lived in memory); a quality.key
// made elsewhere with someone's own password was accepted. The wait comes
// from the trail, to the second, and a key other than the one whose
// fingerprint the trail keeps is refused, for an old installation's password
// too once it was used.
TEST(QualityPassword, TheWaitComesFromTheTrailAndAnotherKeyIsRefused) {
    const std::string path = Fresh("trail_key.db");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    QualityPassword key(Fresh("quality-trail.key")), elsewhere(Fresh("quality-other.key"));
    ASSERT_TRUE(key.Set("right-password-1", &why)) << why;
    ASSERT_TRUE(elsewhere.Set("my-own-password", &why)) << why;
    const int64_t t0 = 1796752800;
    auto add = [&](const char* what, int64_t at, const std::string& value = "") {
        Change c;
        c.at = at;
        c.who = "Anna Rossi";
        c.what = what;
        c.newValue = value;
        ASSERT_TRUE(store->AddChange(c, &why)) << why;
    };
    // Set by an earlier version: no fingerprint kept.
    add(kPasswordSetChange, t0);
    EXPECT_EQ(QualityKeyRefusal(*store, key), "");
    for (int i = 0; i < 5; ++i)
        add(kWrongPasswordChange, t0 + 10 + i);
    add(kLimitsFileEdited, t0 + 20); // the program's own entry ends nothing
    // Asked anew, as after a restart.
    EXPECT_EQ(AttemptsFromTrail(store->Changes()).WaitSeconds(t0 + 14), 30);
    EXPECT_EQ(AttemptsFromTrail(store->Changes()).WaitSeconds(t0 + 43), 1);
    EXPECT_EQ(AttemptsFromTrail(store->Changes()).WaitSeconds(t0 + 44), 0);
    add(kWrongPasswordChange, t0 + 44);
    EXPECT_EQ(AttemptsFromTrail(store->Changes()).WaitSeconds(t0 + 44), 60);
    // The clock set back an hour waits longer, never shorter.
    EXPECT_EQ(AttemptsFromTrail(store->Changes()).WaitSeconds(t0 + 44 - 3600), 3660);
    // Fault mended: a change of the press register, signed with the right
    // password, left the wait of the wrong ones before it in force.
    {
        const std::string other = Fresh("trail_key_register.db");
        auto second = RecordStore::Open(other, &why);
        ASSERT_TRUE(second) << why;
        for (const char* what :
             {kWrongPasswordChange, kWrongPasswordChange, kWrongPasswordChange,
              kWrongPasswordChange, kWrongPasswordChange, kPressRegisterChange}) {
            Change c;
            c.at = t0;
            c.what = what;
            ASSERT_TRUE(second->AddChange(c, &why)) << why;
        }
        EXPECT_EQ(AttemptsFromTrail(second->Changes()).WaitSeconds(t0 + 1), 0);
    }

    // The right password: its key's fingerprint is kept, the run is over.
    Change signer;
    signer.at = t0 + 200;
    signer.who = "Anna Rossi";
    ASSERT_TRUE(KeepQualityKeyFingerprint(*store, key, signer, &why)) << why;
    EXPECT_EQ(store->Changes()[0].what, kQualityKeyChange);
    EXPECT_EQ(AttemptsFromTrail(store->Changes()).WaitSeconds(t0 + 200), 0);
    ASSERT_TRUE(KeepQualityKeyFingerprint(*store, key, signer, &why)); // kept once
    EXPECT_NE(store->Changes()[1].what, kQualityKeyChange);

    // Another key put in its place is refused, the right one taken again.
    std::string right, other;
    ASSERT_TRUE(ReadWholeFile(key.Path(), right));
    ASSERT_TRUE(ReadWholeFile(elsewhere.Path(), other));
    ASSERT_TRUE(WriteFileBytes(key.Path(), other, &why));
    EXPECT_NE(QualityKeyRefusal(*store, key).find("is not the one kept"), std::string::npos);
    ASSERT_TRUE(WriteFileBytes(key.Path(), right, &why));
    EXPECT_EQ(QualityKeyRefusal(*store, key), "");
    // A password set anew keeps its own fingerprint.
    add(kPasswordSetChange, t0 + 300, elsewhere.Fingerprint());
    EXPECT_NE(QualityKeyRefusal(*store, key), "");
    EXPECT_EQ(QualityKeyRefusal(*store, elsewhere), "");
}

TEST(LimitsTrail, TheTrailHoldsTheLimitsAndAnEditOfLimitsIniIsPutBackAndKept) {
    const std::string path = Fresh("limits_trail.db");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    ForceLimits read;
    bool has = false;
    ASSERT_TRUE(
        ParseLimitsValue(LimitsValue(&(const ForceLimits&)ForceLimits{350.5, 420}), &has, &read));
    EXPECT_TRUE(has);
    EXPECT_EQ(read.lowerTons, 350.5);
    ASSERT_TRUE(ParseLimitsValue("none", &has, &read));
    EXPECT_FALSE(has);

    // Fault mended: limits.ini beside a new store was used silently. It is
    // not used, the operator is told, and the refusal is kept.
    LimitTable table{{"P3", {350, 420}}};
    OriginTable origins;
    bool rewrite = false;
    {
        auto fresh = RecordStore::Open(Fresh("limits_new.db"), &why);
        ASSERT_TRUE(fresh) << why;
        const std::vector<std::string> told =
            ReconcileLimits(table, *fresh, origins, "pc3", 5000, &rewrite);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_NE(told[0].find("the audit trail holds no limits for this press"), std::string::npos)
            << told[0];
        EXPECT_TRUE(rewrite);
        EXPECT_TRUE(table.empty());
        EXPECT_EQ(fresh->Changes()[0].what, kLimitsFileEdited);
    }
    // The first start with the trail on a PC that recorded before it:
    // limits.ini's entries are taken in once.
    table = {{"P3", {350, 420}}};
    ASSERT_TRUE(store->Add(Job("AX1", 1796752800, 230), RecordStatus::Complete, nullptr, &why));
    EXPECT_TRUE(ReconcileLimits(table, *store, origins, "pc3", 5000, &rewrite).empty());
    EXPECT_FALSE(rewrite);
    EXPECT_EQ(origins["P3"].by, "limits.ini");
    ASSERT_EQ(store->Changes("P3").size(), 1u);

    // Set by the quality engineer, then limits.ini edited by hand: the trail's
    // limits come back, the operator is told and the edit is kept.
    ASSERT_TRUE(store->AddChange(LimitsChange("P3", "360 t \xE2\x80\xA6 420 t", 6000), &why));
    // A press the trail does not know (renamed in superfici.ini) is not used.
    table = {{"P3", {300, 420}}, {"P4", {100, 200}}};
    const std::vector<std::string> notes =
        ReconcileLimits(table, *store, origins, "pc3", 7000, &rewrite);
    EXPECT_TRUE(rewrite);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].rfind("Press P4: limits.ini says 100 t", 0), 0u) << notes[1];
    EXPECT_EQ(table.count("P4"), 0u);
    EXPECT_NE(notes[0].find("Press P3: limits.ini says 300 t \xE2\x80\xA6 420 t, but the limits "
                            "were last set to 360 t \xE2\x80\xA6 420 t by Anna Rossi"),
              std::string::npos)
        << notes[0];
    EXPECT_EQ(table["P3"].lowerTons, 360);
    EXPECT_EQ(origins["P3"].by, "Anna Rossi");
    const std::vector<Change> trail = store->Changes("P3");
    ASSERT_EQ(trail.size(), 3u);
    EXPECT_EQ(trail[0].what, kLimitsFileEdited);
    EXPECT_EQ(trail[0].oldValue, "300 t \xE2\x80\xA6 420 t");
    // Removed by hand: put back as well.
    table.erase("P3");
    ReconcileLimits(table, *store, origins, "pc3", 8000, &rewrite);
    EXPECT_EQ(table.count("P3"), 1u);
    EXPECT_TRUE(store->VerifyChain().ok);

    // The trail's entry rewritten by hand: not used.
    Change last;
    ASSERT_TRUE(store->LastChange(kLimitsChange, "P3", &last));
    store.reset();
    Tamper(path, "UPDATE changes SET new_value = '10 t \xE2\x80\xA6 10000 t' WHERE id = " +
                     std::to_string(last.id));
    store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    table = {{"P3", {10, 10000}}};
    const std::vector<std::string> rewritten =
        ReconcileLimits(table, *store, origins, "pc3", 9000, &rewrite);
    ASSERT_EQ(rewritten.size(), 1u);
    EXPECT_NE(rewritten[0].find("changed after it was written"), std::string::npos) << rewritten[0];
    EXPECT_EQ(table.count("P3"), 0u);
}

// Two quality engineers, each with an account: every change in the name of
// the one who signed in, a disabled account refused, the last enabled one
// kept, a hash put in the store by hand not taken, and the sign-in after
// five wrong passwords told who tried.
TEST(QualityAccounts, EachEngineerSignsInTheirOwnNameAndADisabledAccountIsRefused) {
    const std::string path = Fresh("accounts.db");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    const std::string noSharedKey = Fresh("accounts-none.key");
    const int64_t t0 = 1796752800;
    Change wrong, at;
    wrong.press = "Press A";
    at.at = t0;
    at.pcName = "PC-3";
    at.reason = "first use";

    QualityAccounts accounts(*store, noSharedKey);
    ASSERT_EQ(accounts.Mode(), AccountsMode::FirstUse);
    SignInResult anna = accounts.MakeFirst("Anna Rossi", "anna-password-1", "", at, wrong);
    ASSERT_TRUE(anna.ok) << anna.why;
    ASSERT_EQ(accounts.Mode(), AccountsMode::Accounts);
    EXPECT_FALSE(accounts.MakeFirst("Mallory", "mallory-pass", "", at, wrong).ok);

    Change signer = at;
    signer.who = anna.name;
    signer.reason = "second engineer";
    EXPECT_FALSE(accounts.Add("anna rossi", "another-password", signer, &why)); // taken
    EXPECT_FALSE(accounts.Add("Bruno Neri", "short", signer, &why));
    ASSERT_TRUE(accounts.Add("Bruno Neri", "bruno-password-1", signer, &why)) << why;

    // Bruno signs in as himself, however his name is typed; Anna's password
    // is no key to his account.
    SignInResult bruno = accounts.SignIn("bruno neri", "bruno-password-1", t0 + 10, wrong);
    ASSERT_TRUE(bruno.ok) << bruno.why;
    EXPECT_EQ(bruno.name, "Bruno Neri");
    EXPECT_EQ(bruno.passwordSetBy, "Anna Rossi"); // told to set his own
    EXPECT_TRUE(accounts.SignIn("Bruno Neri", "anna-password-1", t0 + 11, wrong).wrongPassword);
    signer.who = bruno.name;
    ASSERT_TRUE(accounts.SetPassword("Bruno Neri", "bruno-own-pass", signer, &why)) << why;
    EXPECT_EQ(accounts.SignIn("Bruno Neri", "bruno-own-pass", t0 + 12, wrong).passwordSetBy, "");

    // Anna disables Bruno: his right password is refused and kept as a try.
    signer.who = "Anna Rossi";
    ASSERT_TRUE(accounts.SetEnabled("Bruno Neri", false, signer, &why)) << why;
    const SignInResult disabled = accounts.SignIn("Bruno Neri", "bruno-own-pass", t0 + 20, wrong);
    EXPECT_FALSE(disabled.ok);
    EXPECT_EQ(disabled.why, "the account of Bruno Neri is disabled");
    EXPECT_EQ(store->Changes()[0].what, kWrongPasswordChange);
    EXPECT_EQ(store->Changes()[0].press, "Press A");
    EXPECT_FALSE(accounts.SetEnabled("Anna Rossi", false, signer, &why)); // the last one
    EXPECT_NE(why.find("the last one enabled"), std::string::npos);

    // The trail: who did what, in the signer's name; each entry's value
    // names the account and its key.
    std::vector<std::string> seen;
    for (const Change& c : store->Changes())
        if (c.what.rfind("account", 0) == 0) seen.push_back(c.what + " by " + c.who);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "account disabled by Anna Rossi", "account password set by Bruno Neri",
                        "account added by Anna Rossi", "account added by Anna Rossi"}));
    EXPECT_EQ(accounts.Find("Bruno Neri")->enabled, false);

    // A hash put in the store by hand is not the one the trail keeps.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        std::string mine;
        ASSERT_TRUE(HashPassword("i-know-this-one", &mine, &why));
        const std::string sql =
            "UPDATE quality_keys SET hash = '" + mine + "' WHERE name = 'Anna Rossi'";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const SignInResult forged = accounts.SignIn("Anna Rossi", "i-know-this-one", t0 + 30, wrong);
    EXPECT_FALSE(forged.ok);
    EXPECT_NE(forged.why.find("is not the one the audit trail holds"), std::string::npos);
}

TEST(QualityAccounts, FiveWrongPasswordsAreToldAtTheNextSignInAndTheSharedPasswordRetires) {
    const std::string path = Fresh("accounts-shared.db");
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    // An earlier version's installation: one shared password.
    QualityPassword shared(Fresh("accounts-shared.key"));
    ASSERT_TRUE(shared.Set("shared-password-1", &why)) << why;
    Change set;
    set.at = 1796752800;
    set.who = "Anna Rossi";
    set.what = kPasswordSetChange;
    set.newValue = shared.Fingerprint();
    ASSERT_TRUE(store->AddChange(set, &why));
    int64_t now = set.at + 100;
    Change wrong, at;
    at.pcName = wrong.pcName = "PC-3";

    QualityAccounts accounts(*store, shared.Path());
    ASSERT_EQ(accounts.Mode(), AccountsMode::Shared);
    at.at = now;
    EXPECT_TRUE(
        accounts.MakeFirst("Anna Rossi", "anna-own-pass", "guess", at, wrong).wrongPassword);
    SignInResult anna =
        accounts.MakeFirst("Anna Rossi", "anna-own-pass", "shared-password-1", at, wrong);
    ASSERT_TRUE(anna.ok) << anna.why;
    // The shared password signs nothing from now on.
    EXPECT_TRUE(accounts.SignIn("Anna Rossi", "shared-password-1", ++now, wrong).wrongPassword);

    // Four more wrong ones (five in all since the last signed change), then a wait.
    for (const char* who : {"Anna Rossi", "Bruno", "Bruno", "Anna Rossi"})
        EXPECT_TRUE(accounts.SignIn(who, "guess", ++now, wrong).ok == false);
    const SignInResult waiting = accounts.SignIn("Anna Rossi", "anna-own-pass", now + 29, wrong);
    EXPECT_EQ(waiting.why, "too many wrong passwords: try again in 1 s");
    SignInResult next = accounts.SignIn("Anna Rossi", "anna-own-pass", now + 30, wrong);
    ASSERT_TRUE(next.ok) << next.why;
    ASSERT_EQ(next.triedBefore.size(), 5u);
    const std::string told = TriedBeforeText(next);
    EXPECT_NE(told.find("5 wrong passwords were typed since the last signed change"),
              std::string::npos);
    EXPECT_NE(told.find("as \"Bruno\" on PC-3"), std::string::npos) << told;
    // A signed change ends the run: the one after is told nothing.
    at.at = now + 40;
    at.who = next.name;
    ASSERT_TRUE(accounts.Add("Bruno Neri", "bruno-password-1", at, &why)) << why;
    EXPECT_TRUE(
        accounts.SignIn("Anna Rossi", "anna-own-pass", now + 50, wrong).triedBefore.empty());
}
