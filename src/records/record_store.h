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
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

/// How a recording came to an end, as the store keeps it.
enum class RecordStatus { Complete, Incomplete, Interrupted };

/// One line of the history: what the list shows of a recording.
struct RecordSummary {
    int64_t id = 0;
    std::string uuid;
    int64_t stoppedAt = 0;
    std::string press, operatorId, axle, side, bearing;
    double peakTons = 0;
    bool anySample = false;
    std::string result; ///< "PASS", "FAIL", "INCOMPLETE" or "" (no limits)
    RecordStatus status = RecordStatus::Complete;
    bool printed = false;
    std::string pdfPath; ///< the report's page once printed, else ""
};

/// What the history searches for; empty fields match everything.
struct RecordFilter {
    std::string text;  ///< a substring of the axle, the bearing or the operator
    int64_t from = 0;  ///< stopped at or after (wall clock seconds)
    int64_t until = 0; ///< stopped before; 0: no end
    std::string press;
    std::string result; ///< "PASS", "FAIL", "INCOMPLETE" or "NONE"
    int limit = 200;
    int offset = 0;
};

class RecordStore {
  public:
    /// The schema version this program writes.
    static constexpr int kSchemaVersion = 1;

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
    /// Adds many in one transaction (imports, benchmarks): all or none.
    bool AddMany(const std::vector<Recording>& recordings, RecordStatus status, std::string* why);
    /// Notes the report's files of a recording when it is printed.
    bool SetReportFiles(const std::string& uuid, const std::string& pdf, const std::string& csv,
                        int64_t printedAt, std::string* why);
    /// Keeps a reprint: when and where.
    bool AddReprint(const std::string& uuid, int64_t printedAt, const std::string& pdf,
                    std::string* why);
    int ReprintCount(const std::string& uuid);

    /// Newest first; `total` (when given) gets the count of every match.
    std::vector<RecordSummary> Find(const RecordFilter& filter, int64_t* total = nullptr);
    /// The whole recording, samples and all; false when there is no such one.
    bool Load(int64_t id, Recording& recording, RecordStatus* status = nullptr);
    bool Contains(const std::string& uuid);
    /// The presses that recordings name, for the history's press filter.
    std::vector<std::string> Presses();

    const std::string& Path() const { return m_path; }

  private:
    RecordStore(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    bool Exec(const char* sql, std::string* why);
    /// The row and the samples of one recording, inside a transaction.
    bool Insert(const Recording& recording, RecordStatus status, std::string* why);
    sqlite3* m_db;
    std::string m_path;
};

/// The samples as the store keeps them: per sample the time in whole
/// milliseconds (32 bits), the force (a 64-bit float) and the pressure (32
/// bits), little-endian, 16 bytes a sample.
std::string PackSamples(const Recording& recording);
bool UnpackSamples(const std::string& blob, Recording& recording);

/// "PASS", "FAIL", "INCOMPLETE" or "" as the history shows a recording.
std::string HistoryResult(const Recording& recording);
