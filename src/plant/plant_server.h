// The plant's record: every PC's recordings on one PostgreSQL server, so the
// quality office can ask across presses. A PC's own store stays the evidence;
// the server gets a copy of each recording, keyed by the recording's identity,
// so sending one again (a retry after a lost acknowledgement) never makes a
// second row. The program makes the server's schema and keeps its version.
#pragma once

#include "records/record_store.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

/// The version of the server's tables this program writes.
constexpr int kPlantSchemaVersion = 2;

class PlantServer {
  public:
    /// Connects with a libpq connection string ("host=qa-server dbname=presses
    /// user=press3"); the password comes from libpq's password file, never from
    /// the string. Null, with the reason in words, when the server cannot be
    /// reached or refuses. A server that does not answer is given up after
    /// the string's connect_timeout (5 s unless it says), and at once when
    /// `abandon` is set; the same holds for every question after.
    static std::unique_ptr<PlantServer> Connect(const std::string& connection, std::string* why,
                                                const std::atomic<bool>* abandon = nullptr);
    ~PlantServer();
    PlantServer(const PlantServer&) = delete;
    PlantServer& operator=(const PlantServer&) = delete;

    /// Makes the tables on a server without them; refuses, with the reason,
    /// tables of a newer version than this program knows.
    bool PrepareSchema(std::string* why);
    /// Sends `recording` (with the PC and the press it names), its `status`
    /// and its samples in one transaction. A recording the server already has
    /// is left as it is: true.
    bool Send(const Recording& recording, RecordStatus status, std::string* why);
    /// The recordings `filter` finds, as the PC's own history finds them,
    /// from the PC `pcName` ("" for every PC), newest first; `total` (when
    /// given) gets the count of every match. False with the reason.
    bool Find(const RecordFilter& filter, const std::string& pcName,
              std::vector<RecordSummary>& rows, int64_t* total, std::string* why);
    /// The PCs and the presses that have sent recordings.
    bool Sources(std::vector<std::string>& pcNames, std::vector<std::string>& presses,
                 std::string* why);
    /// How many recordings the server holds; -1 with the reason.
    long long Count(std::string* why);
    /// A recording as the server has it, samples included; false when it has
    /// none of that identity or cannot be asked.
    bool Load(const std::string& uuid, Recording& recording, RecordStatus* status,
              std::string* why);

    /// How long a question may wait for its answer; a server that takes
    /// longer is given up, and the connection with it.
    void SetAnswerTimeout(std::chrono::milliseconds timeout) { m_answerTimeout = timeout; }

  private:
    explicit PlantServer(struct pg_conn* connection) : m_connection(connection) {}
    /// Sends a question (with `values` its parameters, without them any
    /// number of statements) and waits for every answer, never past the
    /// answer time-out; the last result when each succeeded, else null with
    /// the reason.
    struct pg_result* Ask(const char* sql, int n, const char* const* values, const int* lengths,
                          const int* formats, std::string* why);
    bool Run(const char* sql, std::string* why);
    /// Waits until the answer can be read; false when the connection failed
    /// or was given up.
    bool Await(std::string* why);
    struct pg_conn* m_connection;
    const std::atomic<bool>* m_abandon = nullptr;
    std::chrono::milliseconds m_answerTimeout{30000};
    std::string m_broken; ///< why the connection was given up, or ""
};
