#include "records/plant_server.h"

#include "records/record_store.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

/// A result that is cleared however the function is left.
struct Result {
    explicit Result(PGresult* r) : result(r) {}
    ~Result() { PQclear(result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ExecStatusType Status() const { return PQresultStatus(result); }
    PGresult* result;
};

/// libpq's message without its trailing line break.
std::string ErrorOf(PGconn* connection) {
    std::string text = PQerrorMessage(connection);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool Run(PGconn* connection, const char* sql, std::string* why) {
    Result r(PQexec(connection, sql));
    if (r.Status() == PGRES_COMMAND_OK || r.Status() == PGRES_TUPLES_OK) return true;
    if (why) *why = ErrorOf(connection);
    return false;
}

const char* const kCreateTables = R"SQL(
CREATE TABLE recordings (
    uuid text PRIMARY KEY,
    pc_name text NOT NULL,
    press text NOT NULL,
    operator_id text NOT NULL,
    axle text NOT NULL,
    side text NOT NULL,
    bearing text NOT NULL,
    production_date text NOT NULL,
    refurbishment_date text NOT NULL,
    module text NOT NULL,
    armed_at bigint NOT NULL,
    started_at bigint NOT NULL,
    stopped_at bigint NOT NULL,
    record_length_s integer NOT NULL,
    surface_cm2 double precision NOT NULL,
    lower_t double precision,
    upper_t double precision,
    alarm_threshold_bar integer NOT NULL,
    peak_force_t double precision NOT NULL,
    peak_time_s double precision NOT NULL,
    peak_bar integer NOT NULL,
    result text NOT NULL,
    status text NOT NULL,
    incomplete text NOT NULL,
    alarms text NOT NULL,
    csv_sha256 text NOT NULL,
    program_version text NOT NULL,
    sample_count integer NOT NULL,
    samples bytea NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now());
CREATE INDEX recordings_axle ON recordings (lower(axle) text_pattern_ops);
CREATE INDEX recordings_stopped ON recordings (stopped_at);
CREATE INDEX recordings_press ON recordings (press, stopped_at);
CREATE INDEX recordings_pc ON recordings (pc_name, stopped_at);
)SQL";

} // namespace

std::unique_ptr<PlantServer> PlantServer::Connect(const std::string& connection, std::string* why) {
    // A server that does not answer is given 5 s, unless the string says.
    std::string options = connection;
    if (options.find("connect_timeout") == std::string::npos) options += " connect_timeout=5";
    PGconn* c = PQconnectdb(options.c_str());
    if (c == nullptr) {
        if (why) *why = "out of memory";
        return nullptr;
    }
    if (PQstatus(c) != CONNECTION_OK) {
        if (why) *why = ErrorOf(c);
        PQfinish(c);
        return nullptr;
    }
    // Notices ("relation already exists, skipping") are not the operator's.
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    return std::unique_ptr<PlantServer>(new PlantServer(c));
}

PlantServer::~PlantServer() {
    PQfinish(m_connection);
}

bool PlantServer::PrepareSchema(std::string* why) {
    PGconn* c = m_connection;
    if (!Run(c, "BEGIN", why)) return false;
    // Two recorders starting at once make the tables once.
    bool ok = Run(c, "SELECT pg_advisory_xact_lock(732514)", why) &&
              Run(c, "CREATE TABLE IF NOT EXISTS vemo_schema (version integer NOT NULL)", why);
    int version = 0;
    if (ok) {
        Result r(PQexec(c, "SELECT max(version) FROM vemo_schema"));
        ok = r.Status() == PGRES_TUPLES_OK;
        if (!ok && why) *why = ErrorOf(c);
        if (ok && !PQgetisnull(r.result, 0, 0)) version = std::atoi(PQgetvalue(r.result, 0, 0));
    }
    if (ok && version > kPlantSchemaVersion) {
        if (why)
            *why = "the plant server's records are of a newer version (" + std::to_string(version) +
                   ") than this program knows (" + std::to_string(kPlantSchemaVersion) +
                   "): update the program";
        ok = false;
    }
    if (ok && version == 0)
        ok = Run(c, kCreateTables, why) &&
             Run(c,
                 ("INSERT INTO vemo_schema VALUES (" + std::to_string(kPlantSchemaVersion) + ")")
                     .c_str(),
                 why);
    if (!ok) {
        Run(c, "ROLLBACK", nullptr);
        return false;
    }
    return Run(c, "COMMIT", why);
}

bool PlantServer::Send(const Recording& r, const std::string& status, std::string* why) {
    const RecordingSetup& s = r.setup;
    const JobData& job = s.job;
    const RecordingResults results = r.Results();
    const std::string samples = PackSamples(r);
    auto number = [](double v) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", v);
        return std::string(text);
    };
    const std::string values[] = {
        s.uuid,
        s.pcName,
        s.pressName,
        job.operatorId,
        job.axleDesignation,
        job.mountingSide,
        job.bearingDesignation,
        job.productionDate,
        job.refurbishmentDate,
        s.moduleAddress,
        std::to_string(s.armedAt),
        std::to_string(r.startedAt),
        std::to_string(r.stoppedAt),
        std::to_string(s.recordLengthSeconds),
        number(s.surface),
        s.hasLimits ? number(s.limits.lowerTons) : std::string(),
        s.hasLimits ? number(s.limits.upperTons) : std::string(),
        std::to_string(s.alarmThresholdBar),
        number(results.peakForceTons),
        number(results.peakTimeSeconds),
        std::to_string(results.peakBar),
        HistoryResult(r),
        status,
        r.incomplete,
        PackAlarms(r.alarms),
        r.csvSha256,
        s.version,
        std::to_string(r.times.size()),
        samples,
    };
    constexpr int n = sizeof values / sizeof values[0];
    const char* params[n];
    int lengths[n], formats[n];
    for (int i = 0; i < n; ++i) {
        const bool noLimit = (i == 15 || i == 16) && !s.hasLimits;
        params[i] = noLimit ? nullptr : values[i].data();
        lengths[i] = static_cast<int>(values[i].size());
        formats[i] = i == n - 1 ? 1 : 0; // the samples as bytes, the rest as text
    }
    Result inserted(PQexecParams(
        m_connection,
        "INSERT INTO recordings (uuid, pc_name, press, operator_id, axle, side, bearing, "
        "production_date, refurbishment_date, module, armed_at, started_at, stopped_at, "
        "record_length_s, surface_cm2, lower_t, upper_t, alarm_threshold_bar, peak_force_t, "
        "peak_time_s, peak_bar, result, status, incomplete, alarms, csv_sha256, "
        "program_version, sample_count, samples) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, "
        "$10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, $21, $22, $23, $24, $25, $26, "
        "$27, $28, $29) ON CONFLICT (uuid) DO NOTHING",
        n, nullptr, params, lengths, formats, 0));
    if (inserted.Status() == PGRES_COMMAND_OK) return true;
    if (why) *why = ErrorOf(m_connection);
    return false;
}

bool PlantServer::FindAxle(const std::string& axle, int limit, std::vector<PlantRow>& rows,
                           std::string* why) {
    rows.clear();
    // The pattern's own wildcards are taken literally.
    std::string pattern;
    for (char ch : axle) {
        if (ch == '%' || ch == '_' || ch == '\\') pattern += '\\';
        pattern += ch;
    }
    const std::string like = pattern + "%", count = std::to_string(limit);
    const char* params[] = {like.c_str(), count.c_str()};
    Result r(PQexecParams(m_connection,
                          "SELECT uuid, pc_name, press, axle, side, operator_id, stopped_at, "
                          "peak_force_t, result, sample_count FROM recordings "
                          "WHERE lower(axle) LIKE lower($1) ORDER BY stopped_at DESC LIMIT $2",
                          2, nullptr, params, nullptr, nullptr, 0));
    if (r.Status() != PGRES_TUPLES_OK) {
        if (why) *why = ErrorOf(m_connection);
        return false;
    }
    for (int i = 0; i < PQntuples(r.result); ++i) {
        PlantRow row;
        row.uuid = PQgetvalue(r.result, i, 0);
        row.pcName = PQgetvalue(r.result, i, 1);
        row.pressName = PQgetvalue(r.result, i, 2);
        row.axle = PQgetvalue(r.result, i, 3);
        row.side = PQgetvalue(r.result, i, 4);
        row.operatorId = PQgetvalue(r.result, i, 5);
        row.stoppedAt = std::atoll(PQgetvalue(r.result, i, 6));
        row.peakForceTons = std::atof(PQgetvalue(r.result, i, 7));
        row.result = PQgetvalue(r.result, i, 8);
        row.sampleCount = std::atoi(PQgetvalue(r.result, i, 9));
        rows.push_back(row);
    }
    return true;
}

long long PlantServer::Count(std::string* why) {
    Result r(PQexec(m_connection, "SELECT count(*) FROM recordings"));
    if (r.Status() != PGRES_TUPLES_OK) {
        if (why) *why = ErrorOf(m_connection);
        return -1;
    }
    return std::atoll(PQgetvalue(r.result, 0, 0));
}

bool PlantServer::Load(const std::string& uuid, Recording& recording, std::string* why) {
    const char* params[] = {uuid.c_str()};
    // The samples come back as bytes; every other column as text.
    Result r(PQexecParams(m_connection,
                          "SELECT samples, pc_name, press, axle, side, operator_id, started_at, "
                          "stopped_at, incomplete, csv_sha256 FROM recordings WHERE uuid = $1",
                          1, nullptr, params, nullptr, nullptr, 1));
    if (r.Status() != PGRES_TUPLES_OK) {
        if (why) *why = ErrorOf(m_connection);
        return false;
    }
    if (PQntuples(r.result) != 1) {
        if (why) *why = "no recording " + uuid + " on the plant server";
        return false;
    }
    auto text = [&](int column) {
        return std::string(PQgetvalue(r.result, 0, column), PQgetlength(r.result, 0, column));
    };
    // Whole numbers in binary: big-endian 8 bytes.
    auto bigint = [&](int column) {
        const std::string bytes = text(column);
        int64_t value = 0;
        for (unsigned char b : bytes)
            value = static_cast<int64_t>((static_cast<uint64_t>(value) << 8) | b);
        return value;
    };
    recording = Recording();
    recording.setup.uuid = uuid;
    recording.setup.pcName = text(1);
    recording.setup.pressName = text(2);
    recording.setup.job.axleDesignation = text(3);
    recording.setup.job.mountingSide = text(4);
    recording.setup.job.operatorId = text(5);
    recording.startedAt = bigint(6);
    recording.stoppedAt = bigint(7);
    recording.incomplete = text(8);
    recording.csvSha256 = text(9);
    if (!UnpackSamples(text(0), recording)) {
        if (why) *why = "the samples of " + uuid + " on the plant server are damaged";
        return false;
    }
    return true;
}
