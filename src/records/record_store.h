// The record store: every recording the PC made, in one SQLite file
// (records.db in the working directory unless the settings move it). One row
// a recording with its job, press, limits, results and samples, the report's
// file names once printed, and every reprint. The file is opened in WAL mode
// with synchronous=FULL, so a recording that was written survives a power
// cut, and one cut short while being written is absent, never half there.
// The schema carries its version; a store made by a newer program is refused
// and left as it is.
#pragma once

#include "records/recording.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

/// How a recording came to an end, as the store keeps it.
enum class RecordStatus { Complete, Incomplete, Interrupted };

/// "complete", "incomplete" or "interrupted", as the store and the plant
/// server keep it.
const char* StatusText(RecordStatus status);
RecordStatus StatusOf(const std::string& text);

/// A recording waiting to be sent to the plant server.
struct OutboxEntry {
    int64_t id = 0; ///< the recording's row
    std::string uuid;
    int attempts = 0; ///< sends tried and not confirmed
};

/// One line of the history: what the list shows of a recording.
struct RecordSummary {
    int64_t id = 0;
    std::string uuid;
    std::string pcName; ///< the PC that recorded it (the plant's history)
    int64_t stoppedAt = 0;
    std::string press, operatorId, axle, side, bearing;
    double peakTons = 0;
    bool anySample = false;
    std::string result; ///< "PASS", "FAIL", "INCOMPLETE" or "" (no limits)
    RecordStatus status = RecordStatus::Complete;
    bool printed = false;
    std::string pdfPath; ///< the report's page once printed, else ""
};

/// One entry of the audit trail: a change of the force limits or of the
/// quality engineer's password, or a refused attempt.
struct Change {
    int64_t id = 0;
    int64_t at = 0; ///< wall clock, seconds
    std::string who, pcName, press;
    std::string what; ///< "force limits", "password set", "wrong password", …
    std::string oldValue, newValue, reason;
};

/// One version of a mounting program as the store keeps it.
struct KeptProgram {
    Program program;
    int64_t savedAt = 0;
    std::string savedBy, pcName, reason;
    bool withdrawn = false;
};

/// The audit trail's names for the changes of programs.
extern const char* const kProgramSaved;
/// The audit trail's name for a recording the plant sender took out of the
/// outbox unsent (refused by the server, or its seal failed).
extern const char* const kPlantRefusedChange;
extern const char* const kProgramWithdrawn;

/// An entry of the audit trail or a printed page as its chain sealed it:
/// what goes to the plant server so that the store can be checked against it.
struct SealedRow {
    int64_t id = 0;              ///< its row in its chain
    std::string hash;            ///< its seal
    std::string uuid, pdfSha256; ///< a page's recording and the page's own hash
    std::string what; ///< a trail entry's "force limits", …; a page's "page", "reprint"
    Change entry;     ///< a trail entry itself (the chain of changes)
};

/// What a walk along the store's chains found.
struct ChainCheck {
    bool ok = true;
    int64_t records = 0, changes = 0, pages = 0; ///< how many were checked
    std::string problem;                         ///< the first record changed or removed, in words
};

/// The hex digits, in lower case, of the recording identity that `text`
/// names: a report number as the page prints it ("8A0C-91F2-77B0", two or
/// three groups), a whole identity, or the page's code as a scanner types it
/// ("VEMO:<identity>:<SHA-256>"). "" when it names none.
std::string IdentityDigits(const std::string& text);

/// The column a history's order names ("peak" → "peak_t"); "" for another
/// name, which orders nothing.
std::string OrderColumn(const std::string& orderBy);

/// What the history searches for; empty fields match everything.
struct RecordFilter {
    /// A substring of the axle, the bearing or the operator; or the report
    /// number, identity or scanned code of a recording (IdentityDigits).
    std::string text;
    int64_t from = 0;  ///< stopped at or after (wall clock seconds)
    int64_t until = 0; ///< stopped before; 0: no end
    std::string press;
    std::string result; ///< "PASS", "FAIL", "INCOMPLETE" or "NONE"
    /// The order of the rows: "" the order they were kept, newest first;
    /// else one of "date", "press", "operator", "axle", "side", "bearing",
    /// "peak", "result", then newest first among equals.
    std::string orderBy;
    bool ascending = false;
    int limit = 200;
    int offset = 0;
};

/// A recording as a list of the selection exports it: its row and the
/// rest of what identifies and judged it.
struct ListedRecording {
    RecordSummary row;
    int64_t startedAt = 0;
    std::string productionDate, refurbishmentDate, version;
    double surface = 0;
    std::string programName; ///< "" when the press's limits judged it
    int64_t programVersion = 0;
    bool hasLimits = false;
    double lowerTons = 0, upperTons = 0;
    double peakTimeS = 0;
    std::string reason, csvSha256, pdfSha256;
};

/// Which recordings the statistics take: "" and 0 match everything.
struct MountingFilter {
    std::string press;
    std::string bearing;   ///< the designation, letters without case; `*` any, `?` one
    int64_t from = 0;      ///< stopped at or after (wall clock seconds)
    int64_t until = 0;     ///< stopped before; 0: no end
    bool criteria = false; ///< with what each criterion measured
};

/// What one criterion of a recording's program measured.
struct CriterionValue {
    int position = 0; ///< from 1, in the program's order
    std::string kind; ///< "peak", "hold", …
    double measured = 0;
    bool ok = false;
    std::string text;
};

/// A bearing pattern (`*` any characters, `?` one) as an SQL LIKE pattern
/// with `\` as its escape; a designation without wildcards as it stands.
std::string BearingLike(const std::string& pattern);
/// Whether `pattern` has a wildcard.
bool IsBearingPattern(const std::string& pattern);

/// One recording as the statistics see it.
struct MountingPoint {
    int64_t id = 0;
    std::string uuid;
    int64_t stoppedAt = 0;
    std::string press, axle, side, bearing, result;
    bool anySample = false;
    double peakTons = 0;
    bool hasLimits = false;
    double lowerTons = 0, upperTons = 0;
    RecordStatus status = RecordStatus::Complete;
    std::string program; ///< the program's name; "" for limits alone
    int restBar = -1;    ///< the pressure at rest before Start; -1 not known
    std::vector<CriterionValue> criteria;
};

class RecordStore {
  public:
    /// The schema version this program writes.
    static constexpr int kSchemaVersion = 9;

    /// Opens (and makes, or brings up to date) the store at `path`. Null, with
    /// the reason, when it cannot be opened, is damaged or is newer than this
    /// program; the file is then left untouched.
    static std::unique_ptr<RecordStore> Open(const std::string& path, std::string* why);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    /// Adds a recording in one transaction; a recording already there (the
    /// same identity) is not added twice. False, with the reason, when the
    /// file cannot be written.
    bool Add(const Recording& recording, RecordStatus status, int64_t* id, std::string* why);
    /// From now on each recording added is also put in the outbox for the
    /// plant server, in the same transaction: a recording in the store is
    /// never missing from the outbox.
    void QueueForPlant(bool on) { m_queueForPlant = on; }
    /// Puts every recording not yet in the outbox in it (the ones kept
    /// before there was a plant server): how many, or -1 with the reason.
    int64_t QueueEverything(std::string* why);
    /// The recordings waiting for the plant server, oldest first.
    std::vector<OutboxEntry> Outbox(int limit);
    /// How many recordings wait for the plant server; -1 when it cannot be read.
    int64_t OutboxCount();
    /// Takes a recording out of the outbox once the server has confirmed it.
    bool Delivered(int64_t id, std::string* why);
    /// Counts a send that was not confirmed.
    bool NoteAttempt(int64_t id, std::string* why);
    /// Adds many in one transaction (imports, benchmarks): all or none.
    bool AddMany(const std::vector<Recording>& recordings, RecordStatus status, std::string* why);
    /// Notes the report's files of a recording when it is printed.
    bool SetReportFiles(const std::string& uuid, const std::string& pdf, const std::string& csv,
                        int64_t printedAt, std::string* why);
    /// Notes the SHA-256 of the report's page once it is written, and seals
    /// it in the chain of pages.
    bool SetReportHash(const std::string& uuid, const std::string& pdfSha256, std::string* why,
                       int64_t printedAt = 0);
    /// Keeps a reprint: when, where and the SHA-256 of its page (sealed in
    /// the chain of pages).
    bool AddReprint(const std::string& uuid, int64_t printedAt, const std::string& pdf,
                    std::string* why, const std::string& pdfSha256 = "");
    /// The SHA-256 of the printed page of a recording and of its reprints,
    /// as the chain of pages holds them (a hash put elsewhere is none).
    std::vector<std::string> PageHashes(const std::string& uuid);
    /// The row id of a recording by identity; 0 when there is none.
    int64_t IdOf(const std::string& uuid);

    /// Adds an entry to the audit trail.
    bool AddChange(const Change& change, std::string* why);
    /// The audit trail, newest first; `press` "" for every press.
    std::vector<Change> Changes(const std::string& press = "", int limit = 1000);
    /// Every entry of the trail of one kind (`what`), oldest first.
    std::vector<Change> ChangesOf(const std::string& what);
    /// Keeps a new program or a new version of one, in the name, at the time
    /// and for the reason of `change` (its who, pcName, at and reason), with
    /// the entry of the audit trail that holds it whole. Refused, with the
    /// reason, for a program with faults, a version already kept, or one
    /// older than the newest kept.
    bool SaveProgram(const Program& program, const Change& change, std::string* why);
    /// Takes a program out of use (every version stays kept), with its entry.
    bool WithdrawProgram(const std::string& name, const Change& change, std::string* why);
    /// The programs in force: the newest version of each not withdrawn, by name.
    std::vector<Program> Programs();
    /// Every version kept, newest first; `name` "" for every program.
    std::vector<KeptProgram> ProgramVersions(const std::string& name = "");

    /// Keeps the audit trail entry of a quality engineer's account and, when
    /// `hash` is not empty, the account's password hash, in one transaction.
    bool KeepAccountEntry(const Change& entry, const std::string& name, const std::string& hash,
                          std::string* why);
    /// The password hash of each account by name.
    std::map<std::string, std::string> QualityKeys();

    /// The newest entry of `what` for the press; false when there is none.
    bool LastChange(const std::string& what, const std::string& press, Change* change);

    /// Whether the recording's row and samples are as they were written:
    /// false, with what is wrong, when they were changed since.
    bool RecordIntact(int64_t id, std::string* problem);
    /// Whether the audit trail's entry `id` is as it was written and still
    /// linked to the entry after it (or to the head); false, with what is
    /// wrong, otherwise.
    bool ChangeIntact(int64_t id, std::string* problem);
    /// Whether the store holds any recording.
    bool HasRecordings();
    /// The seal (chain hash) of recording `uuid`; "" when there is none.
    std::string RecordHash(const std::string& uuid);
    /// The rows of `chain` ("changes" or "pages") after row `after`, oldest
    /// first, at most `limit`.
    std::vector<SealedRow> SealedRows(const std::string& chain, int64_t after, int limit);
    /// The row in the chain of pages of `uuid`'s page with hash `pdfSha256`; 0
    /// when it has none.
    int64_t PageRow(const std::string& uuid, const std::string& pdfSha256);
    /// The seal of row `id` of `chain`; "" when there is no such row.
    std::string SealOf(const std::string& chain, int64_t id);
    /// The PC names its recordings carry.
    std::vector<std::string> PcNames();
    /// When the latest recording ended (wall clock); 0 without any.
    int64_t NewestStop();
    /// Where the recording's page and CSV file were written; false when
    /// there is no such recording.
    bool ReportFiles(const std::string& uuid, std::string* pdf, std::string* csv);

    /// Walks the chains of recordings and of the audit trail: each entry
    /// carries the hash of the one before it, and the store keeps the count
    /// and the last hash, so a changed, removed or added entry is found.
    ChainCheck VerifyChain();
    /// SQLite's own check of the file's structure (every page read): false,
    /// with what it found, for a damaged store. Slow on a large store: the
    /// program runs it on the store's own thread.
    bool QuickCheck(std::string* problem);
    int ReprintCount(const std::string& uuid);

    /// The newest kept first (the order of making, whatever the PC's clock
    /// said); `total` (when given) gets the count of every match.
    std::vector<RecordSummary> Find(const RecordFilter& filter, int64_t* total = nullptr);
    /// The rows `filter` finds (its limit and offset), newest first, whole
    /// enough to be exported as a list.
    std::vector<ListedRecording> Listed(const RecordFilter& filter);
    /// Every recording `filter` finds, in the order they were kept (oldest
    /// first), with only what the statistics need.
    std::vector<MountingPoint> Mountings(const MountingFilter& filter);
    /// What each criterion of each recording measured, by recording.
    std::map<int64_t, std::vector<CriterionValue>> CriterionValues(const std::vector<int64_t>& ids);
    /// The recordings of one axle side (as typed, without case) that ended
    /// at or after `from`, newest first.
    std::vector<RecordSummary> OfAxleSide(const std::string& axle, const std::string& side,
                                          int64_t from);
    /// The whole recording, samples and all; false when there is no such one.
    bool Load(int64_t id, Recording& recording, RecordStatus* status = nullptr);
    bool Contains(const std::string& uuid);
    /// The presses that recordings name, for the history's press filter.
    std::vector<std::string> Presses();

    const std::string& Path() const { return m_path; }

  private:
    RecordStore(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    bool Exec(const char* sql, std::string* why);
    /// Adds and seals an entry of the audit trail inside the caller's transaction.
    bool InsertChange(const Change& change, std::string* why);
    /// The row and the samples of one recording, inside a transaction.
    bool Insert(const Recording& recording, RecordStatus status, std::string* why);
    /// Links the new row `id` of `chain` ("recordings" or "changes") to the
    /// chain; inside the caller's transaction.
    bool Seal(const char* chain, int64_t id, std::string* why);
    /// Seals the rows a store of schema 1 had, oldest first.
    bool SealOlderRows(std::string* why);
    /// Puts the pages printed before schema 5 into their chain, oldest first;
    /// inside the caller's transaction.
    bool SealOlderPages(std::string* why);
    /// Keeps what each criterion of `judgement` measured for recording `id`.
    bool KeepCriteria(int64_t id, const Judgement& judgement, std::string* why);
    /// Every recording judged again from its samples, its criteria kept.
    bool JudgeOlderRows(std::string* why);
    /// Adds and seals a page of `uuid`, inside the caller's transaction.
    bool AddPage(const std::string& uuid, int64_t printedAt, const std::string& pdfSha256,
                 bool reprint, std::string* why);
    sqlite3* m_db;
    std::string m_path;
    bool m_queueForPlant = false;
};

/// The samples as the store keeps them: per sample the time in whole
/// milliseconds (32 bits), the force (a 64-bit float) and the pressure (32
/// bits), little-endian, 16 bytes a sample.
std::string PackSamples(const Recording& recording);
bool UnpackSamples(const std::string& blob, Recording& recording);

/// "PASS", "FAIL", "INCOMPLETE" or "" as the history shows a recording.
std::string HistoryResult(const Recording& recording);
