// The plant's record: every PC's recordings on one PostgreSQL server, so the
// quality office can ask across presses. A PC's own store stays the evidence;
// the server gets a copy of each recording, keyed by the recording's identity,
// so sending one again (a retry after a lost acknowledgement) never makes a
// second row, and a different recording under an identity the server holds
// is refused and noted as a conflict. Rows are never changed or removed (a
// trigger refuses it). Plant IT sets the server up once with an
// administrator's login (SetUpForPcs, AddPc): then each PC logs in with a
// role of its own that may read, and insert only its own recordings, and the
// program runs no DDL on a server whose schema is current.
#pragma once

#include "records/record_store.h"
#include "statistics/capability.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

/// The version of the server's tables this program writes.
constexpr int kPlantSchemaVersion = 7;

/// The statistics of the peak force over the server's recordings a filter
/// selects, computed on the server: the counts, the measured peaks' figures
/// (recordings with samples, not INCOMPLETE, complete), the limits they were
/// judged by, the trend, the histogram, the rules' points (every one
/// counted, the first kMostFlagged told) and the series in runs of
/// consecutive mountings for a chart, in recording order (stopped at, then
/// identity).
struct PlantStatistics {
    size_t mountings = 0, pass = 0, fail = 0, incomplete = 0, noVerdict = 0, remounts = 0;
    SeriesSummary summary;
    double mrBar = 0;
    /// How many pairs of limits the measured recordings were judged by, and
    /// whether each was judged by limits; the pair when there is one.
    size_t limitSets = 0;
    bool allLimited = false;
    double lower = 0, upper = 0;
    double slope = 0, slopeError = 0;
    std::vector<HistogramBin> histogram;
    /// Mountings `first` to `last` (0-based), their least, mean and largest
    /// peak and largest moving range.
    struct Run {
        size_t first = 0, last = 0;
        double min = 0, mean = 0, max = 0, maxRange = 0;
    };
    std::vector<Run> runs;
    size_t ruleCounts[4] = {}; ///< by ChartRule
    struct Flagged {
        RuleBreak at;
        double value = 0;
        std::string uuid;
    };
    std::vector<Flagged> flagged;
    static constexpr size_t kMostFlagged = 500;
    /// The series is told in at most this many runs.
    static constexpr size_t kMostRuns = 1000;
};

/// What AddPc made: the PC's role and the password for its password file.
struct PlantPcRole {
    std::string pcName, role, password;
    std::string host, port, database; ///< of the administrator's connection
    bool renewed = false;             ///< the role was there: it has a new password
};

/// What `--plant-setup` and `--plant-add-pc` print, and their exit code (0,
/// or 2 with the reason).
struct PlantAdminAnswer {
    int exitCode = 2;
    std::string text;
};
/// `vemo-recorder --plant-setup "CONNECTION STRING"`, with an administrator's login.
PlantAdminAnswer SetUpPlantServer(const std::string& adminConnection);
/// `vemo-recorder --plant-add-pc "CONNECTION STRING" PC-NAME`: the PC's role,
/// and what goes into that PC's settings and password file.
PlantAdminAnswer AddPlantPc(const std::string& adminConnection, const std::string& pcName);

/// How a link to the plant server is kept from others, in words: "" for TLS
/// with the server's certificate and name verified, else what it lacks ("not
/// encrypted (sslmode=disable)").
std::string LinkOf(bool encrypted, const std::string& sslmode);

class PlantServer {
  public:
    /// Connects with a libpq connection string ("host=qa-server dbname=presses
    /// user=press3"); the password comes from libpq's password file, never from
    /// the string. The link is TLS with the server verified (sslmode=verify-full,
    /// its CA from sslrootcert=) unless the string sets sslmode itself. Null, with the reason in
    /// words, when the server cannot be reached or refuses. A server that does not answer is given
    /// up after the string's connect_timeout (5 s unless it says), and at once when `abandon` is
    /// set; the same holds for every question after.
    static std::unique_ptr<PlantServer> Connect(const std::string& connection, std::string* why,
                                                const std::atomic<bool>* abandon = nullptr);
    ~PlantServer();
    PlantServer(const PlantServer&) = delete;
    PlantServer& operator=(const PlantServer&) = delete;

    /// Checks the server's tables; makes them on a server without them, or
    /// brings older ones up (a login that owns them can; a PC's role is told
    /// to ask plant IT); refuses, with the reason, tables of a newer version
    /// than this program knows. Current tables are only read.
    bool PrepareSchema(std::string* why);
    /// The administrator's set-up, once: the schema, the role "vemo_recorder"
    /// that every PC's role is in, its rights (read; insert, and only rows of
    /// its own PC), row security, and the administrator as the tables' owner.
    bool SetUpForPcs(std::string* why);
    /// The administrator's: a role of its own for the PC `pcName`, with a
    /// new random password (a role already there gets a new one).
    bool AddPc(const std::string& pcName, PlantPcRole& made, std::string* why);
    /// Sends `recording` (with the PC and the press it names), its `status`
    /// and its samples in one transaction. A recording the server already has
    /// as it is: true. One whose identity the server holds with other
    /// content is refused and noted as a conflict for both PCs and the
    /// server's log: false, with `refused` set.
    bool Send(const Recording& recording, RecordStatus status, std::string* why,
              bool* refused = nullptr, const std::string& recordHash = "");
    /// The seal each recording of the PC `pcName` carried when it arrived,
    /// by identity (what the PC's store must still hold).
    bool Seals(const std::string& pcName, std::vector<std::pair<std::string, std::string>>& seals,
               std::string* why);
    /// The PC this login belongs to (plant IT's set-up); "" on a server set
    /// up without a role per PC. False with the reason when it cannot be asked.
    bool OwnPc(std::string& pcName, std::string* why);
    /// The last row of `chain` ("changes" or "pages") the server holds for
    /// the PC: 0 for none, -1 with the reason.
    int64_t LastSeal(const std::string& pcName, const std::string& chain, std::string* why);
    /// Keeps the seals of `rows` of the PC's `chain`, in one transaction; a
    /// row the server holds already stays as it arrived first.
    bool SendSeals(const std::string& pcName, const std::string& chain,
                   const std::vector<SealedRow>& rows, std::string* why);
    /// Every row of the PC's `chain` as its seal arrived, by row; with
    /// `uuid`, only the pages of that recording.
    bool ChainSeals(const std::string& pcName, const std::string& chain,
                    std::vector<SealedRow>& rows, std::string* why, const std::string& uuid = "");
    /// The CSV hash and the seal of recording `uuid` as the server received
    /// it; false with `why` empty when the server has no such recording.
    bool RecordSeal(const std::string& uuid, std::string& csvSha256, std::string& recordHash,
                    std::string& pcName, std::string* why);
    /// The conflicts noted for the PC this login belongs to (its copies that
    /// were refused, and other PCs' copies of its recordings): one line each.
    bool Conflicts(std::vector<std::string>& lines, std::string* why);
    /// The recordings `filter` finds, as the PC's own history finds them,
    /// from the PC `pcName` ("" for every PC), newest first; `total` (when
    /// given) gets the count of every match. False with the reason.
    bool Find(const RecordFilter& filter, const std::string& pcName,
              std::vector<RecordSummary>& rows, int64_t* total, std::string* why);
    /// The PCs and the presses that have sent recordings.
    bool Sources(std::vector<std::string>& pcNames, std::vector<std::string>& presses,
                 std::string* why);
    /// The statistics of what `filter` finds among the recordings of the PC
    /// `pcName` ("" for every PC); false with the reason.
    bool Statistics(const MountingFilter& filter, const std::string& pcName,
                    PlantStatistics& statistics, std::string* why);
    /// How many recordings the server holds; -1 with the reason.
    long long Count(std::string* why);
    /// A recording as the server has it, samples included; false when it has
    /// none of that identity or cannot be asked.
    bool Load(const std::string& uuid, Recording& recording, RecordStatus* status,
              std::string* why);

    /// What the link lacks, in words; "" when it is TLS with the server verified.
    const std::string& Link() const { return m_link; }

    /// How long a question may wait for its answer; a server that takes
    /// longer is given up, and the connection with it.
    void SetAnswerTimeout(std::chrono::milliseconds timeout) { m_answerTimeout = timeout; }

  private:
    /// The statistics' limits when the recordings without limits of their
    /// own were judged by version `version` of program `name`.
    bool JudgedByProgram(const std::string& name, long long version, PlantStatistics& statistics,
                         std::string* why);
    explicit PlantServer(struct pg_conn* connection) : m_connection(connection) {}
    /// Sends a question (with `values` its parameters, without them any
    /// number of statements) and waits for every answer, never past the
    /// answer time-out; the last result when each succeeded, else null with
    /// the reason.
    struct pg_result* Ask(const char* sql, int n, const char* const* values, const int* lengths,
                          const int* formats, std::string* why);
    bool Run(const char* sql, std::string* why);
    /// Whether the server has `table`; false with `why` set when it cannot
    /// be asked, with `why` empty when there is none.
    bool Exists(const char* table, std::string* why);
    /// Waits until the answer can be read; false when the connection failed
    /// or was given up.
    bool Await(std::string* why);
    struct pg_conn* m_connection;
    const std::atomic<bool>* m_abandon = nullptr;
    std::chrono::milliseconds m_answerTimeout{30000};
    std::string m_broken; ///< why the connection was given up, or ""
    std::string m_link;
};
