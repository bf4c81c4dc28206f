#include "records/record_store.h"

#include "records/integrity.h"
#include "records/sqlite_statement.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>

namespace {

// Each step brings the schema from its index to the next version; a store is
// brought up to date step by step, each in its own transaction.
const char* const kMigrations[] = {
    // 0 -> 1
    "CREATE TABLE recordings ("
    " id INTEGER PRIMARY KEY,"
    " uuid TEXT NOT NULL UNIQUE,"
    " status TEXT NOT NULL,"
    " armed_at INTEGER NOT NULL, started_at INTEGER NOT NULL, stopped_at INTEGER NOT NULL,"
    " operator_id TEXT NOT NULL, axle TEXT NOT NULL, side TEXT NOT NULL, bearing TEXT NOT NULL,"
    " production_date TEXT NOT NULL, refurbishment_date TEXT NOT NULL,"
    " press TEXT NOT NULL, surface_cm2 REAL NOT NULL,"
    " has_limits INTEGER NOT NULL, lower_t REAL, upper_t REAL,"
    " alarm_threshold_bar INTEGER NOT NULL, record_length_s INTEGER NOT NULL,"
    " module TEXT NOT NULL, version TEXT NOT NULL, pc_name TEXT NOT NULL,"
    " incomplete TEXT NOT NULL, start_note TEXT NOT NULL, journal_problem TEXT NOT NULL,"
    " peak_t REAL, peak_time_s REAL, peak_bar INTEGER, recorded_s REAL,"
    " result TEXT NOT NULL, result_reason TEXT NOT NULL, sample_count INTEGER NOT NULL,"
    " pdf_path TEXT, csv_path TEXT, printed_at INTEGER);"
    // The samples apart, so a search reads only the short rows above.
    "CREATE TABLE samples ("
    " recording_id INTEGER PRIMARY KEY REFERENCES recordings(id), data BLOB NOT NULL);"
    // Any part of an axle, bearing or operator is found through its trigrams.
    "CREATE VIRTUAL TABLE recording_text USING fts5(axle, bearing, operator_id,"
    " content='recordings', content_rowid='id', tokenize='trigram');"
    "CREATE TRIGGER recording_text_add AFTER INSERT ON recordings BEGIN"
    " INSERT INTO recording_text(rowid, axle, bearing, operator_id)"
    " VALUES (new.id, new.axle, new.bearing, new.operator_id); END;"
    "CREATE INDEX recordings_by_time ON recordings(stopped_at);"
    "CREATE INDEX recordings_by_axle ON recordings(axle);"
    "CREATE INDEX recordings_by_press ON recordings(press, result, stopped_at);"
    "CREATE TABLE reprints ("
    " id INTEGER PRIMARY KEY,"
    " recording_id INTEGER NOT NULL REFERENCES recordings(id),"
    " printed_at INTEGER NOT NULL, pdf_path TEXT NOT NULL);"
    "CREATE INDEX reprints_by_recording ON reprints(recording_id);",
    // 1 -> 2: what ties a report to its data, and the audit trail. Every
    // recording and every change carries the hash of the one before it.
    "ALTER TABLE recordings ADD COLUMN csv_sha256 TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE recordings ADD COLUMN limits_set_at INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE recordings ADD COLUMN limits_set_by TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE recordings ADD COLUMN alarms TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE recordings ADD COLUMN pdf_sha256 TEXT;"
    "ALTER TABLE recordings ADD COLUMN previous_hash TEXT;"
    "ALTER TABLE recordings ADD COLUMN record_hash TEXT;"
    "ALTER TABLE reprints ADD COLUMN pdf_sha256 TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE changes ("
    " id INTEGER PRIMARY KEY, at INTEGER NOT NULL, who TEXT NOT NULL, pc_name TEXT NOT NULL,"
    " press TEXT NOT NULL, what TEXT NOT NULL, old_value TEXT NOT NULL,"
    " new_value TEXT NOT NULL, reason TEXT NOT NULL, previous_hash TEXT, record_hash TEXT);"
    "CREATE INDEX changes_by_press ON changes(press, what, id);"
    "CREATE TABLE chain_heads ("
    " chain TEXT PRIMARY KEY, count INTEGER NOT NULL, last_hash TEXT NOT NULL);"
    "INSERT INTO chain_heads VALUES"
    " ('recordings', 0, '0000000000000000000000000000000000000000000000000000000000000000'),"
    " ('changes', 0, '0000000000000000000000000000000000000000000000000000000000000000');",
    // 2 -> 3: the recordings still to be sent to the plant server. A row
    // leaves only once the server has confirmed the recording.
    "CREATE TABLE outbox ("
    " recording_id INTEGER PRIMARY KEY REFERENCES recordings(id),"
    " attempts INTEGER NOT NULL DEFAULT 0);",
    // 3 -> 4: mounting programs. A recording keeps the program it was judged
    // by, whole, and the rules it was judged by; rows from before have NULL
    // there, and their hashes stay as they were. Every version of every
    // program is kept; which one is in force is the newest not withdrawn.
    "ALTER TABLE recordings ADD COLUMN program_name TEXT;"
    "ALTER TABLE recordings ADD COLUMN program_version INTEGER;"
    "ALTER TABLE recordings ADD COLUMN program_json TEXT;"
    "ALTER TABLE recordings ADD COLUMN judging INTEGER;"
    "CREATE INDEX recordings_by_program ON recordings(program_name, program_version, stopped_at);"
    "CREATE TABLE programs ("
    " id INTEGER PRIMARY KEY, name TEXT NOT NULL, version INTEGER NOT NULL,"
    " json TEXT NOT NULL, saved_at INTEGER NOT NULL, saved_by TEXT NOT NULL,"
    " pc_name TEXT NOT NULL, reason TEXT NOT NULL, withdrawn INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(name, version));",
    // 4 -> 5: every printed page's hash in a chain of its own, so a hash put
    // among the reprints by hand is no printed page. The pages printed
    // before are sealed in it when the store is brought up.
    "CREATE TABLE pages ("
    " id INTEGER PRIMARY KEY, recording_id INTEGER NOT NULL REFERENCES recordings(id),"
    " printed_at INTEGER NOT NULL, pdf_sha256 TEXT NOT NULL, reprint INTEGER NOT NULL,"
    " previous_hash TEXT, record_hash TEXT);"
    "CREATE INDEX pages_by_recording ON pages(recording_id);"
    "INSERT INTO chain_heads VALUES"
    " ('pages', 0, '0000000000000000000000000000000000000000000000000000000000000000');",
    // 5 -> 6: a recording made while the PC's clock read earlier than the
    // last one says so (NULL otherwise, so earlier rows keep their hashes).
    "ALTER TABLE recordings ADD COLUMN clock_note TEXT;",
    // 6 -> 7: the press's identity and calibration from the press register
    // at Start, and what was wrong with the calibration (NULL before).
    "ALTER TABLE recordings ADD COLUMN press_identity TEXT;"
    "ALTER TABLE recordings ADD COLUMN calibration_note TEXT;",
    // 7 -> 8: each quality engineer's password hash, by account name. The
    // trail keeps each account's state and the fingerprint of its hash.
    // The statistics select by bearing designation, letters without case.
    "CREATE TABLE quality_keys (name TEXT PRIMARY KEY, hash TEXT NOT NULL);"
    "CREATE INDEX recordings_by_bearing ON recordings(bearing COLLATE NOCASE);",
    // 8 -> 9: what each criterion measured, in the program's order, for the
    // statistics and the list: judged again from the samples when the store
    // is brought up, so they are what the page shows; outside the seal,
    // since the samples and the program they follow from are in it.
    "CREATE TABLE IF NOT EXISTS criterion_values ("
    " recording_id INTEGER NOT NULL REFERENCES recordings(id), position INTEGER NOT NULL,"
    " kind TEXT NOT NULL, measured REAL NOT NULL, ok INTEGER NOT NULL, text TEXT NOT NULL,"
    " PRIMARY KEY (recording_id, position)) WITHOUT ROWID;"
    // The pressure the press showed at rest before Start (NULL before).
    "ALTER TABLE recordings ADD COLUMN rest_bar INTEGER;",
};

const char* const kChainStart = "0000000000000000000000000000000000000000000000000000000000000000";
static_assert(sizeof kMigrations / sizeof kMigrations[0] == RecordStore::kSchemaVersion,
              "one migration a schema version");

} // namespace

const char* StatusText(RecordStatus status) {
    switch (status) {
    case RecordStatus::Complete:
        return "complete";
    case RecordStatus::Incomplete:
        return "incomplete";
    case RecordStatus::Interrupted:
        break;
    }
    return "interrupted";
}

RecordStatus StatusOf(const std::string& text) {
    if (text == "complete") return RecordStatus::Complete;
    if (text == "incomplete") return RecordStatus::Incomplete;
    return RecordStatus::Interrupted;
}

namespace {

// What each chain's hash covers: every column that tells what was recorded
// or changed. The report's file names and print time are noted later and
// are not part of it.
const char* const kRecordingColumns =
    "uuid, status, armed_at, started_at, stopped_at, operator_id, axle, side, bearing,"
    " production_date, refurbishment_date, press, surface_cm2, has_limits, lower_t, upper_t,"
    " alarm_threshold_bar, record_length_s, module, version, pc_name, incomplete, start_note,"
    " journal_problem, peak_t, peak_time_s, peak_bar, recorded_s, result, result_reason,"
    " sample_count, csv_sha256, limits_set_at, limits_set_by, alarms,"
    " (SELECT data FROM samples WHERE recording_id = recordings.id),"
    " program_name, program_version, program_json, judging, clock_note, press_identity,"
    " calibration_note, rest_bar";
// Columns from this one on came later: they count only where they are set,
// so a row sealed before they were there keeps its hash.
constexpr int kLaterRecordingColumn = 36;
const char* const kChangeColumns = "at, who, pc_name, press, what, old_value, new_value, reason";
const char* const kPageColumns = "recording_id, printed_at, pdf_sha256, reprint";

const char* ChainColumns(const std::string& chain) {
    return chain == "recordings" ? kRecordingColumns
           : chain == "pages"    ? kPageColumns
                                 : kChangeColumns;
}

/// The hash of row `id` of `chain` linked to `previous`: each column with
/// its type and length, so no two rows read the same.
bool RowHash(sqlite3* db, const std::string& chain, int64_t id, const std::string& previous,
             std::string* hash) {
    const std::string sql =
        std::string("SELECT ") + ChainColumns(chain) + " FROM " + chain + " WHERE id = ?1";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return false;
    sqlite3_bind_int64(stmt, 1, id);
    const bool found = sqlite3_step(stmt) == SQLITE_ROW;
    std::string bytes = previous;
    if (found) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            if (chain == "recordings" && c >= kLaterRecordingColumn &&
                sqlite3_column_type(stmt, c) == SQLITE_NULL)
                continue;
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                bytes += "|I" + std::to_string(sqlite3_column_int64(stmt, c));
                break;
            case SQLITE_FLOAT: {
                const double value = sqlite3_column_double(stmt, c);
                uint64_t bits = 0;
                std::memcpy(&bits, &value, sizeof bits);
                bytes += "|F" + std::to_string(bits);
                break;
            }
            case SQLITE_NULL:
                bytes += "|N";
                break;
            default: {
                const void* data = sqlite3_column_blob(stmt, c);
                const int n = sqlite3_column_bytes(stmt, c);
                bytes += "|T" + std::to_string(n) + ":";
                if (n > 0) bytes.append(static_cast<const char*>(data), static_cast<size_t>(n));
            }
            }
        }
    }
    sqlite3_finalize(stmt);
    if (found) *hash = Sha256Hex(bytes);
    return found;
}

void PutLE(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t GetLE(const char* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return value;
}

} // namespace

std::string PackSamples(const Recording& r) {
    std::string out;
    const size_t n = std::min(r.times.size(), r.forces.size());
    out.reserve(n * 16);
    for (size_t i = 0; i < n; ++i) {
        // Sample times are whole milliseconds since the first sample.
        const int64_t ms = std::llround(r.times[i] * 1000);
        uint64_t force = 0;
        std::memcpy(&force, &r.forces[i], sizeof force);
        PutLE(out, static_cast<uint32_t>(static_cast<int32_t>(ms)), 4);
        PutLE(out, force, 8);
        PutLE(out, static_cast<uint32_t>(i < r.pressures.size() ? r.pressures[i] : 0), 4);
    }
    return out;
}

bool UnpackSamples(const std::string& blob, Recording& r) {
    if (blob.size() % 16 != 0) return false;
    const size_t n = blob.size() / 16;
    r.times.resize(n);
    r.forces.resize(n);
    r.pressures.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const char* p = blob.data() + i * 16;
        const int32_t ms = static_cast<int32_t>(static_cast<uint32_t>(GetLE(p, 4)));
        const uint64_t force = GetLE(p + 4, 8);
        r.times[i] = ms / 1000.0;
        std::memcpy(&r.forces[i], &force, sizeof force);
        r.pressures[i] = static_cast<int32_t>(static_cast<uint32_t>(GetLE(p + 12, 4)));
    }
    return true;
}

std::string HistoryResult(const Recording& r) {
    const Verdict verdict = r.Judged().verdict;
    // Cut short with nothing to judge it by is still not a whole recording.
    if (verdict == Verdict::None && !r.incomplete.empty()) return "INCOMPLETE";
    return VerdictWord(verdict);
}

std::unique_ptr<RecordStore> RecordStore::Open(const std::string& path, std::string* why) {
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (opened != SQLITE_OK) {
        if (why) *why = path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(opened));
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<RecordStore> store(new RecordStore(db, path));
    // Another copy of the program writing: wait a little, then tell.
    sqlite3_busy_timeout(db, 2000);
    auto fail = [&](const std::string& reason) {
        if (why) *why = path + ": " + reason;
        return nullptr;
    };
    int version = -1;
    {
        Statement read(db, "PRAGMA user_version");
        if (!read.Ok() || read.Step() != SQLITE_ROW)
            return fail(std::string(sqlite3_errmsg(db)) + " (the file is not a record store, or "
                                                          "is damaged)");
        version = static_cast<int>(read.Int(0));
    }
    if (version > kSchemaVersion)
        return fail("made by a newer version of the program (schema " + std::to_string(version) +
                    ", this program knows " + std::to_string(kSchemaVersion) +
                    "); it is left as it is");
    std::string error;
    if (!store->Exec("PRAGMA journal_mode=WAL", &error) ||
        !store->Exec("PRAGMA synchronous=FULL", &error) ||
        !store->Exec("PRAGMA foreign_keys=ON", &error))
        return fail(error);
    const int before = version;
    for (int v = version; v < kSchemaVersion; ++v) {
        const std::string step = std::string("BEGIN IMMEDIATE;") + kMigrations[v];
        const std::string done = "PRAGMA user_version=" + std::to_string(v + 1) + ";COMMIT;";
        // The pages printed before go into their chain in the same step.
        if (!store->Exec(step.c_str(), &error) ||
            (v + 1 == 5 && version > 0 && !store->SealOlderPages(&error)) ||
            (v + 1 == 9 && version > 0 && !store->JudgeOlderRows(&error)) ||
            !store->Exec(done.c_str(), &error)) {
            store->Exec("ROLLBACK", nullptr);
            return fail(error);
        }
    }
    if (before >= 1 && before < 2 && !store->SealOlderRows(&error)) return fail(error);
    {
        // A damaged file often opens; its first read tells.
        Statement check(db, "SELECT count(*) FROM recordings");
        if (!check.Ok() || check.Step() != SQLITE_ROW)
            return fail(std::string(sqlite3_errmsg(db)) + " (the store is damaged)");
    }
    return store;
}

bool RecordStore::QuickCheck(std::string* problem) {
    Statement check(m_db, "PRAGMA quick_check(3)");
    std::string found;
    int step = check.Ok() ? check.Step() : SQLITE_ERROR;
    for (; step == SQLITE_ROW; step = check.Step())
        if (check.Text(0) != "ok") found += (found.empty() ? "" : "; ") + check.Text(0);
    if (step != SQLITE_DONE && found.empty()) found = sqlite3_errmsg(m_db);
    if (found.empty()) return true;
    if (problem)
        *problem = "the store is damaged (SQLite's own check: " + found +
                   "); it is left as it is and nothing is written to it";
    return false;
}

RecordStore::~RecordStore() {
    sqlite3_close(m_db);
}

bool RecordStore::Exec(const char* sql, std::string* why) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (why) *why = message ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

bool RecordStore::Add(const Recording& r, RecordStatus status, int64_t* id, std::string* why) {
    // The row and its samples in one transaction: a recording is whole or absent.
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    if (!Insert(r, status, why) || !Exec("COMMIT", why)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    if (id) {
        Statement find(m_db, "SELECT id FROM recordings WHERE uuid = ?1");
        find.Bind(1, r.setup.uuid);
        *id = find.Step() == SQLITE_ROW ? find.Int(0) : 0;
    }
    return true;
}

bool RecordStore::AddMany(const std::vector<Recording>& recordings, RecordStatus status,
                          std::string* why) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    for (const Recording& r : recordings)
        if (!Insert(r, status, why)) {
            Exec("ROLLBACK", nullptr);
            return false;
        }
    if (Exec("COMMIT", why)) return true;
    Exec("ROLLBACK", nullptr);
    return false;
}

bool RecordStore::KeepCriteria(int64_t id, const Judgement& judgement, std::string* why) {
    Statement keep(m_db, "INSERT OR REPLACE INTO criterion_values (recording_id, position, kind,"
                         " measured, ok, text) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    for (size_t k = 0; k < judgement.criteria.size(); ++k) {
        const CriterionResult& c = judgement.criteria[k];
        keep.Reset();
        keep.Bind(1, id).Bind(2, int64_t(k + 1)).Bind(3, std::string(KindName(c.kind)));
        keep.Bind(4, c.measured).Bind(5, int64_t(c.ok)).Bind(6, c.text);
        if (keep.Step() != SQLITE_DONE) {
            if (why) *why = keep.Error();
            return false;
        }
    }
    return true;
}

bool RecordStore::JudgeOlderRows(std::string* why) {
    std::vector<int64_t> ids;
    {
        Statement select(m_db, "SELECT id FROM recordings ORDER BY id");
        while (select.Step() == SQLITE_ROW)
            ids.push_back(select.Int(0));
    }
    for (int64_t id : ids) {
        Recording r;
        if (Load(id, r, nullptr) && !KeepCriteria(id, r.Judged(), why)) return false;
    }
    return true;
}

bool RecordStore::Insert(const Recording& r, RecordStatus status, std::string* why) {
    // Sample times are kept as 32-bit milliseconds: refused, never wrapped.
    for (double t : r.times)
        if (!(t >= 0 && t * 1000 < 2147483647.0)) {
            if (why) *why = "a sample time of " + std::to_string(t) + " s cannot be kept";
            return false;
        }
    Statement insert(
        m_db, "INSERT INTO recordings (uuid, status, armed_at, started_at, stopped_at,"
              " operator_id, axle, side, bearing, production_date, refurbishment_date,"
              " press, surface_cm2, has_limits, lower_t, upper_t, alarm_threshold_bar,"
              " record_length_s, module, version, pc_name, incomplete, start_note,"
              " journal_problem, peak_t, peak_time_s, peak_bar, recorded_s, result,"
              " result_reason, sample_count, csv_sha256, limits_set_at, limits_set_by, alarms,"
              " program_name, program_version, program_json, judging, clock_note,"
              " press_identity, calibration_note, rest_bar)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16,"
              " ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?26, ?27, ?28, ?29, ?30, ?31,"
              " ?32, ?33, ?34, ?35, ?36, ?37, ?38, ?39, ?40, ?41, ?42, ?43)"
              " ON CONFLICT(uuid) DO NOTHING");
    if (!insert.Ok()) {
        if (why) *why = sqlite3_errmsg(m_db);
        return false;
    }
    const RecordingSetup& s = r.setup;
    const RecordingResults results = r.Results();
    const Judgement judgement = r.Judged();
    insert.Bind(1, s.uuid).Bind(2, std::string(StatusText(status)));
    insert.Bind(3, s.armedAt).Bind(4, r.startedAt).Bind(5, r.stoppedAt);
    insert.Bind(6, s.job.operatorId).Bind(7, s.job.axleDesignation).Bind(8, s.job.mountingSide);
    insert.Bind(9, s.job.bearingDesignation).Bind(10, s.job.productionDate);
    insert.Bind(11, s.job.refurbishmentDate).Bind(12, s.pressName).Bind(13, s.surface);
    insert.Bind(14, int64_t(s.hasLimits)).Bind(15, s.limits.lowerTons).Bind(16, s.limits.upperTons);
    insert.Bind(17, int64_t(s.alarmThresholdBar)).Bind(18, int64_t(s.recordLengthSeconds));
    insert.Bind(19, s.moduleAddress).Bind(20, s.version).Bind(21, s.pcName);
    insert.Bind(22, r.incomplete).Bind(23, r.startNote).Bind(24, r.journalProblem);
    insert.Bind(25, results.peakForceTons).Bind(26, results.peakTimeSeconds);
    insert.Bind(27, int64_t(results.peakBar)).Bind(28, r.LastTime());
    insert.Bind(29, HistoryResult(r)).Bind(30, judgement.reason);
    insert.Bind(31, int64_t(std::min(r.times.size(), r.forces.size())));
    insert.Bind(32, r.csvSha256).Bind(33, s.limitsSetAt).Bind(34, s.limitsSetBy);
    insert.Bind(35, PackAlarms(r.alarms));
    if (s.program) {
        insert.Bind(36, s.program->name).Bind(37, int64_t(s.program->version));
        insert.Bind(38, ProgramJson(*s.program, false));
    }
    // NULL: the first rules, as every row from before had them.
    if (s.judging != 1) insert.Bind(39, int64_t(s.judging));
    if (!r.clockNote.empty()) insert.Bind(40, r.clockNote);
    if (!s.pressIdentity.empty()) insert.Bind(41, s.pressIdentity);
    if (!s.calibrationNote.empty()) insert.Bind(42, s.calibrationNote);
    if (s.restBar >= 0) insert.Bind(43, int64_t(s.restBar));
    if (insert.Step() != SQLITE_DONE) {
        if (why) *why = insert.Error();
        return false;
    }
    if (sqlite3_changes(m_db) == 0) return true; // there already
    const int64_t id = sqlite3_last_insert_rowid(m_db);
    Statement samples(m_db, "INSERT INTO samples (recording_id, data) VALUES (?1, ?2)");
    samples.Bind(1, id).BindBlob(2, PackSamples(r));
    if (samples.Step() != SQLITE_DONE) {
        if (why) *why = samples.Error();
        return false;
    }
    if (!KeepCriteria(id, judgement, why)) return false;
    if (m_queueForPlant) {
        Statement queue(m_db, "INSERT INTO outbox (recording_id) VALUES (?1)");
        queue.Bind(1, id);
        if (queue.Step() != SQLITE_DONE) {
            if (why) *why = queue.Error();
            return false;
        }
    }
    return Seal("recordings", id, why);
}

bool RecordStore::Seal(const char* chain, int64_t id, std::string* why) {
    Statement head(m_db, "SELECT last_hash FROM chain_heads WHERE chain = ?1");
    head.Bind(1, std::string(chain));
    std::string hash;
    if (head.Step() != SQLITE_ROW || !RowHash(m_db, chain, id, head.Text(0), &hash)) {
        if (why) *why = std::string("the chain of ") + chain + " cannot be read";
        return false;
    }
    const std::string previous = head.Text(0);
    Statement link(m_db, (std::string("UPDATE ") + chain +
                          " SET previous_hash = ?2, record_hash = ?3 WHERE id = ?1")
                             .c_str());
    link.Bind(1, id).Bind(2, previous).Bind(3, hash);
    Statement advance(m_db, "UPDATE chain_heads SET count = count + 1, last_hash = ?2"
                            " WHERE chain = ?1");
    advance.Bind(1, std::string(chain)).Bind(2, hash);
    if (link.Step() == SQLITE_DONE && advance.Step() == SQLITE_DONE) return true;
    if (why) *why = sqlite3_errmsg(m_db);
    return false;
}

bool RecordStore::SealOlderRows(std::string* why) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    std::vector<int64_t> ids;
    {
        Statement select(m_db, "SELECT id FROM recordings WHERE record_hash IS NULL ORDER BY id");
        while (select.Step() == SQLITE_ROW)
            ids.push_back(select.Int(0));
    }
    for (int64_t id : ids)
        if (!Seal("recordings", id, why)) {
            Exec("ROLLBACK", nullptr);
            return false;
        }
    if (Exec("COMMIT", why)) return true;
    Exec("ROLLBACK", nullptr);
    return false;
}

bool RecordStore::SealOlderPages(std::string* why) {
    Statement copy(m_db, "INSERT INTO pages (recording_id, printed_at, pdf_sha256, reprint)"
                         " SELECT recording_id, printed_at, pdf_sha256, reprint FROM ("
                         " SELECT id AS recording_id, coalesce(printed_at, stopped_at) AS"
                         " printed_at, pdf_sha256, 0 AS reprint, 0 AS k, id AS n FROM recordings"
                         " WHERE pdf_sha256 IS NOT NULL AND pdf_sha256 != '' UNION ALL"
                         " SELECT recording_id, printed_at, pdf_sha256, 1, 1, id FROM reprints"
                         " WHERE pdf_sha256 != '') ORDER BY printed_at, k, n");
    if (copy.Step() != SQLITE_DONE) {
        if (why) *why = copy.Error();
        return false;
    }
    std::vector<int64_t> ids;
    {
        Statement select(m_db, "SELECT id FROM pages WHERE record_hash IS NULL ORDER BY id");
        while (select.Step() == SQLITE_ROW)
            ids.push_back(select.Int(0));
    }
    for (int64_t id : ids)
        if (!Seal("pages", id, why)) return false;
    return true;
}

bool RecordStore::AddPage(const std::string& uuid, int64_t printedAt, const std::string& pdfSha256,
                          bool reprint, std::string* why) {
    Statement insert(m_db, "INSERT INTO pages (recording_id, printed_at, pdf_sha256, reprint)"
                           " SELECT id, ?2, ?3, ?4 FROM recordings WHERE uuid = ?1");
    insert.Bind(1, uuid).Bind(2, printedAt).Bind(3, pdfSha256).Bind(4, int64_t(reprint ? 1 : 0));
    if (insert.Step() != SQLITE_DONE || sqlite3_changes(m_db) != 1) {
        if (why) *why = sqlite3_changes(m_db) == 0 ? "no such recording" : insert.Error();
        return false;
    }
    return Seal("pages", sqlite3_last_insert_rowid(m_db), why);
}

bool RecordStore::SetReportFiles(const std::string& uuid, const std::string& pdf,
                                 const std::string& csv, int64_t printedAt, std::string* why) {
    Statement update(m_db, "UPDATE recordings SET pdf_path = ?2, csv_path = ?3, printed_at = ?4"
                           " WHERE uuid = ?1");
    update.Bind(1, uuid).Bind(2, pdf).Bind(3, csv).Bind(4, printedAt);
    if (update.Step() == SQLITE_DONE && sqlite3_changes(m_db) == 1) return true;
    if (why) *why = sqlite3_changes(m_db) == 0 ? "no such recording" : update.Error();
    return false;
}

bool RecordStore::SetReportHash(const std::string& uuid, const std::string& pdfSha256,
                                std::string* why, int64_t printedAt) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    Statement update(m_db, "UPDATE recordings SET pdf_sha256 = ?2 WHERE uuid = ?1");
    update.Bind(1, uuid).Bind(2, pdfSha256);
    bool ok = update.Step() == SQLITE_DONE && sqlite3_changes(m_db) == 1;
    if (!ok && why) *why = sqlite3_changes(m_db) == 0 ? "no such recording" : update.Error();
    // The page's hash joins the chain of pages.
    ok = ok && AddPage(uuid, printedAt, pdfSha256, false, why) && Exec("COMMIT", why);
    if (!ok) Exec("ROLLBACK", nullptr);
    return ok;
}

std::vector<std::string> RecordStore::PageHashes(const std::string& uuid) {
    // Only the pages in their chain, each as it was sealed.
    std::vector<std::string> hashes;
    Statement select(m_db, "SELECT pages.id, pages.previous_hash, pages.record_hash,"
                           " pages.pdf_sha256 FROM pages JOIN recordings ON recordings.id ="
                           " pages.recording_id WHERE uuid = ?1 ORDER BY pages.id");
    select.Bind(1, uuid);
    while (select.Step() == SQLITE_ROW) {
        std::string hash;
        if (RowHash(m_db, "pages", select.Int(0), select.Text(1), &hash) &&
            hash == select.Text(2) && !select.Text(3).empty())
            hashes.push_back(select.Text(3));
    }
    return hashes;
}

int64_t RecordStore::IdOf(const std::string& uuid) {
    Statement find(m_db, "SELECT id FROM recordings WHERE uuid = ?1");
    find.Bind(1, uuid);
    return find.Step() == SQLITE_ROW ? find.Int(0) : 0;
}

bool RecordStore::AddReprint(const std::string& uuid, int64_t printedAt, const std::string& pdf,
                             std::string* why, const std::string& pdfSha256) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    Statement insert(m_db, "INSERT INTO reprints (recording_id, printed_at, pdf_path, pdf_sha256)"
                           " SELECT id, ?2, ?3, ?4 FROM recordings WHERE uuid = ?1");
    insert.Bind(1, uuid).Bind(2, printedAt).Bind(3, pdf).Bind(4, pdfSha256);
    bool ok = insert.Step() == SQLITE_DONE && sqlite3_changes(m_db) == 1;
    if (!ok && why) *why = sqlite3_changes(m_db) == 0 ? "no such recording" : insert.Error();
    ok = ok && (pdfSha256.empty() || AddPage(uuid, printedAt, pdfSha256, true, why)) &&
         Exec("COMMIT", why);
    if (!ok) Exec("ROLLBACK", nullptr);
    return ok;
}

int RecordStore::ReprintCount(const std::string& uuid) {
    Statement count(m_db, "SELECT count(*) FROM reprints JOIN recordings"
                          " ON recordings.id = reprints.recording_id WHERE uuid = ?1");
    count.Bind(1, uuid);
    return count.Step() == SQLITE_ROW ? static_cast<int>(count.Int(0)) : 0;
}

std::vector<OutboxEntry> RecordStore::Outbox(int limit) {
    std::vector<OutboxEntry> entries;
    Statement select(m_db, "SELECT outbox.recording_id, uuid, attempts FROM outbox JOIN recordings"
                           " ON recordings.id = outbox.recording_id ORDER BY outbox.recording_id"
                           " LIMIT ?1");
    select.Bind(1, int64_t(limit));
    while (select.Step() == SQLITE_ROW)
        entries.push_back({select.Int(0), select.Text(1), static_cast<int>(select.Int(2))});
    return entries;
}

int64_t RecordStore::QueueEverything(std::string* why) {
    Statement queue(m_db, "INSERT OR IGNORE INTO outbox (recording_id) SELECT id FROM recordings");
    if (queue.Step() == SQLITE_DONE) return sqlite3_changes(m_db);
    if (why) *why = queue.Error();
    return -1;
}

int64_t RecordStore::OutboxCount() {
    Statement count(m_db, "SELECT count(*) FROM outbox");
    return count.Step() == SQLITE_ROW ? count.Int(0) : -1;
}

bool RecordStore::Delivered(int64_t id, std::string* why) {
    Statement remove(m_db, "DELETE FROM outbox WHERE recording_id = ?1");
    remove.Bind(1, id);
    if (remove.Step() == SQLITE_DONE) return true;
    if (why) *why = remove.Error();
    return false;
}

bool RecordStore::NoteAttempt(int64_t id, std::string* why) {
    Statement note(m_db, "UPDATE outbox SET attempts = attempts + 1 WHERE recording_id = ?1");
    note.Bind(1, id);
    if (note.Step() == SQLITE_DONE) return true;
    if (why) *why = note.Error();
    return false;
}

bool RecordStore::Contains(const std::string& uuid) {
    Statement find(m_db, "SELECT 1 FROM recordings WHERE uuid = ?1");
    find.Bind(1, uuid);
    return find.Step() == SQLITE_ROW;
}

bool RecordStore::RecordIntact(int64_t id, std::string* problem) {
    Statement row(m_db, "SELECT previous_hash, record_hash FROM recordings WHERE id = ?1");
    row.Bind(1, id);
    if (row.Step() != SQLITE_ROW) {
        *problem = "the record is not in the store";
        return false;
    }
    std::string hash;
    if (row.Text(1).empty()) {
        *problem = "the stored record was added outside the program";
        return false;
    }
    if (!RowHash(m_db, "recordings", id, row.Text(0), &hash) || hash != row.Text(1)) {
        *problem = "the stored record was changed after it was written";
        return false;
    }
    return true;
}

bool RecordStore::ChangeIntact(int64_t id, std::string* problem) {
    Statement row(m_db, "SELECT previous_hash, record_hash FROM changes WHERE id = ?1");
    row.Bind(1, id);
    std::string hash;
    if (row.Step() != SQLITE_ROW || row.Text(1).empty() ||
        !RowHash(m_db, "changes", id, row.Text(0), &hash) || hash != row.Text(1)) {
        if (problem) *problem = "the audit trail's entry was changed after it was written";
        return false;
    }
    // Sealed again on its own, it no longer links to what follows it.
    Statement next(m_db, "SELECT previous_hash FROM changes WHERE id > ?1 ORDER BY id LIMIT 1");
    next.Bind(1, id);
    Statement head(m_db, "SELECT last_hash FROM chain_heads WHERE chain = 'changes'");
    const bool linked = next.Step() == SQLITE_ROW
                            ? next.Text(0) == hash
                            : head.Step() == SQLITE_ROW && head.Text(0) == hash;
    if (!linked && problem)
        *problem = "the audit trail's entry was sealed again after it was written";
    return linked;
}

std::vector<SealedRow> RecordStore::SealedRows(const std::string& chain, int64_t after, int limit) {
    std::vector<SealedRow> rows;
    const bool pages = chain == "pages";
    if (!pages && chain != "changes") return rows;
    Statement select(m_db, pages ? "SELECT pages.id, pages.record_hash, recordings.uuid,"
                                   " pages.pdf_sha256, pages.reprint FROM pages JOIN recordings"
                                   " ON recordings.id = pages.recording_id WHERE pages.id > ?1"
                                   " AND pages.record_hash IS NOT NULL ORDER BY pages.id LIMIT ?2"
                                 : "SELECT id, record_hash, '', '', what, at, who, pc_name, press,"
                                   " old_value, new_value, reason FROM changes WHERE id > ?1"
                                   " AND record_hash IS NOT NULL ORDER BY id LIMIT ?2");
    select.Bind(1, after).Bind(2, int64_t(limit));
    while (select.Step() == SQLITE_ROW) {
        SealedRow row;
        row.id = select.Int(0);
        row.hash = select.Text(1);
        row.uuid = select.Text(2);
        row.pdfSha256 = select.Text(3);
        row.what = pages ? (select.Int(4) ? "reprint" : "page") : select.Text(4);
        if (!pages)
            row.entry = {row.id,   select.Int(5),  select.Text(6),  select.Text(7), select.Text(8),
                         row.what, select.Text(9), select.Text(10), select.Text(11)};
        rows.push_back(std::move(row));
    }
    return rows;
}

int64_t RecordStore::PageRow(const std::string& uuid, const std::string& pdfSha256) {
    Statement select(m_db, "SELECT pages.id FROM pages JOIN recordings ON recordings.id ="
                           " pages.recording_id WHERE uuid = ?1 AND pages.pdf_sha256 = ?2"
                           " ORDER BY pages.id LIMIT 1");
    select.Bind(1, uuid).Bind(2, pdfSha256);
    return select.Step() == SQLITE_ROW ? select.Int(0) : 0;
}

std::string RecordStore::SealOf(const std::string& chain, int64_t id) {
    if (chain != "pages" && chain != "changes") return "";
    Statement select(m_db, ("SELECT record_hash FROM " + chain + " WHERE id = ?1").c_str());
    select.Bind(1, id);
    return select.Step() == SQLITE_ROW ? select.Text(0) : std::string();
}

std::string RecordStore::RecordHash(const std::string& uuid) {
    Statement row(m_db, "SELECT record_hash FROM recordings WHERE uuid = ?1");
    row.Bind(1, uuid);
    return row.Step() == SQLITE_ROW ? row.Text(0) : "";
}

std::vector<std::string> RecordStore::PcNames() {
    std::vector<std::string> names;
    Statement select(m_db, "SELECT DISTINCT pc_name FROM recordings ORDER BY pc_name");
    while (select.Step() == SQLITE_ROW)
        names.push_back(select.Text(0));
    return names;
}

int64_t RecordStore::NewestStop() {
    Statement newest(m_db, "SELECT coalesce(max(stopped_at), 0) FROM recordings");
    return newest.Step() == SQLITE_ROW ? newest.Int(0) : 0;
}

bool RecordStore::HasRecordings() {
    Statement any(m_db, "SELECT 1 FROM recordings LIMIT 1");
    return any.Step() == SQLITE_ROW;
}

bool RecordStore::ReportFiles(const std::string& uuid, std::string* pdf, std::string* csv) {
    Statement row(m_db, "SELECT pdf_path, csv_path FROM recordings WHERE uuid = ?1");
    row.Bind(1, uuid);
    if (row.Step() != SQLITE_ROW) return false;
    *pdf = row.Text(0);
    *csv = row.Text(1);
    return true;
}

ChainCheck RecordStore::VerifyChain() {
    ChainCheck check;
    for (const std::string chain : {"recordings", "changes", "pages"}) {
        const bool recordings = chain == "recordings";
        // How an entry is named in the answer.
        auto name = [&](int64_t id) {
            if (chain == "pages") {
                Statement s(m_db, "SELECT uuid, reprint FROM pages JOIN recordings ON"
                                  " recordings.id = pages.recording_id WHERE pages.id = ?1");
                s.Bind(1, id);
                if (s.Step() != SQLITE_ROW) return "page " + std::to_string(id);
                return std::string(s.Int(1) ? "the reprint" : "the page") + " " +
                       std::to_string(id) + " of report " + ReportNumber(s.Text(0));
            }
            if (!recordings) {
                Statement s(m_db, "SELECT what, press FROM changes WHERE id = ?1");
                s.Bind(1, id);
                if (s.Step() != SQLITE_ROW) return "change " + std::to_string(id);
                return "change " + std::to_string(id) + " (" + s.Text(0) +
                       (s.Text(1).empty() ? "" : ", press " + s.Text(1)) + ")";
            }
            Statement s(m_db, "SELECT uuid, axle, side FROM recordings WHERE id = ?1");
            s.Bind(1, id);
            if (s.Step() != SQLITE_ROW) return "recording " + std::to_string(id);
            return "recording " + std::to_string(id) + " (report " + ReportNumber(s.Text(0)) +
                   ", axle " + s.Text(1) + " " + s.Text(2) + ")";
        };
        std::string expected = kChainStart;
        int64_t count = 0;
        Statement rows(
            m_db, ("SELECT id, previous_hash, record_hash FROM " + chain + " ORDER BY id").c_str());
        while (check.ok && rows.Step() == SQLITE_ROW) {
            const int64_t id = rows.Int(0);
            std::string hash;
            if (rows.Text(2).empty()) {
                check.problem = name(id) + " was added outside the program";
            } else if (!RowHash(m_db, chain, id, rows.Text(1), &hash) || hash != rows.Text(2)) {
                check.problem = name(id) + " was changed after it was written";
            } else if (rows.Text(1) != expected) {
                check.problem =
                    count == 0
                        ? "the first " + chain + " before " + name(id) + " were removed"
                        : "an entry of the " + chain + " before " + name(id) + " was removed";
            }
            check.ok = check.problem.empty();
            expected = rows.Text(2);
            ++count;
        }
        if (check.ok) {
            Statement head(m_db, "SELECT count, last_hash FROM chain_heads WHERE chain = ?1");
            head.Bind(1, chain);
            if (head.Step() != SQLITE_ROW) {
                check.problem = "the chain of " + chain + " has no head";
            } else if (head.Int(0) != count || head.Text(1) != expected) {
                check.problem = head.Int(0) > count
                                    ? std::to_string(head.Int(0) - count) + " of the last " +
                                          chain + " were removed"
                                    : "the " + chain + " were changed after the last one";
            }
            check.ok = check.problem.empty();
        }
        (recordings ? check.records : chain == "pages" ? check.pages : check.changes) = count;
        if (!check.ok) break;
    }
    return check;
}
