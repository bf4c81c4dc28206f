// The plant's record: every PC's recordings on one PostgreSQL server, so the
// quality office can ask across presses. A PC's own store stays the evidence;
// the server gets a copy of each recording, keyed by the recording's identity,
// so sending one again (a retry after a lost acknowledgement) never makes a
// second row. The program makes the server's schema and keeps its version.
#pragma once

#include "records/recording.h"

#include <memory>
#include <string>
#include <vector>

/// The version of the server's tables this program writes.
constexpr int kPlantSchemaVersion = 1;

/// One line of a plant-wide search.
struct PlantRow {
    std::string uuid, pcName, pressName, axle, side, operatorId;
    int64_t stoppedAt = 0;
    double peakForceTons = 0;
    std::string result; ///< "PASS", "FAIL", "INCOMPLETE" or ""
    int sampleCount = 0;
};

class PlantServer {
  public:
    /// Connects with a libpq connection string ("host=qa-server dbname=presses
    /// user=press3"); the password comes from libpq's password file, never from
    /// the string. Null, with the reason in words, when the server cannot be
    /// reached or refuses.
    static std::unique_ptr<PlantServer> Connect(const std::string& connection, std::string* why);
    ~PlantServer();
    PlantServer(const PlantServer&) = delete;
    PlantServer& operator=(const PlantServer&) = delete;

    /// Makes the tables on a server without them; refuses, with the reason,
    /// tables of a newer version than this program knows.
    bool PrepareSchema(std::string* why);
    /// Sends `recording` (with the PC and the press it names) and its
    /// `status` ("complete", "incomplete", "interrupted") in one transaction
    /// with its samples. A recording the server already has is left as it
    /// is: true.
    bool Send(const Recording& recording, const std::string& status, std::string* why);
    /// The recordings of the axles whose designation begins with `axle`
    /// (ignoring case), newest first, at most `limit`; false with the reason.
    bool FindAxle(const std::string& axle, int limit, std::vector<PlantRow>& rows,
                  std::string* why);
    /// How many recordings the server holds; -1 with the reason.
    long long Count(std::string* why);
    /// A recording as the server has it, samples included; false when it has
    /// none of that identity or cannot be asked.
    bool Load(const std::string& uuid, Recording& recording, std::string* why);

  private:
    explicit PlantServer(struct pg_conn* connection) : m_connection(connection) {}
    struct pg_conn* m_connection;
};
