#include "plant/plant_server.h"

#include "link/transport.h"
#include "plant/pg_result.h"
#include "records/integrity.h"
#include "records/record_store.h"

#include <libpq-fe.h>
#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

/// A result that is cleared however the function is left; null when the
/// question failed.
using Result = PgResult;

/// A message of libpq or the server in one line: its first, without the
/// server's severity word; a connection that broke on the way says so.
std::string Tidy(const std::string& message, PGconn* connection, bool connecting) {
    std::string text = message.substr(0, message.find('\n'));
    for (const char* severity : {"FATAL:  ", "ERROR:  "})
        if (text.rfind(severity, 0) == 0) text.erase(0, std::strlen(severity));
    if (!connecting && PQstatus(connection) == CONNECTION_BAD)
        text = "the connection to the plant server was lost (" + text + ")";
    return text;
}

std::string ErrorOf(PGconn* connection, bool connecting = false) {
    return Tidy(PQerrorMessage(connection), connection, connecting);
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
    limits_set_at bigint NOT NULL,
    limits_set_by text NOT NULL,
    program_version text NOT NULL,
    sample_count integer NOT NULL,
    samples bytea NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now());
CREATE INDEX recordings_axle ON recordings (lower(axle) text_pattern_ops);
CREATE INDEX recordings_stopped ON recordings (stopped_at);
CREATE INDEX recordings_press ON recordings (press, stopped_at);
CREATE INDEX recordings_pc ON recordings (pc_name, stopped_at);
CREATE TABLE sources (
    pc_name text NOT NULL,
    press text NOT NULL,
    PRIMARY KEY (pc_name, press));
)SQL";

// 1 -> 2: the mounting program each recording was judged by, whole, with
// the rules, the verdict's reason and every criterion's finding; and the
// note of a start under pressure, which the verdict now depends on.
const char* const kSchema2 =
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS start_note text NOT NULL DEFAULT '';"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS judging integer NOT NULL DEFAULT 1;"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS mounting_program text;"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS mounting_program_version integer;"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS mounting_program_json text;"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS result_reason text NOT NULL DEFAULT '';"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS criteria text NOT NULL DEFAULT '';"
    "CREATE INDEX IF NOT EXISTS recordings_program ON recordings (mounting_program, stopped_at);";

// 2 -> 3: rows are never changed or removed, whoever asks (a trigger, on top
// of the rights); a different recording under an identity already kept is
// noted as a conflict, which the server's log tells too.
const char* const kSchema3 = R"SQL(
CREATE TABLE IF NOT EXISTS conflicts (
    uuid text NOT NULL,
    pc_name text NOT NULL,
    csv_sha256 text NOT NULL,
    kept_pc_name text NOT NULL,
    kept_csv_sha256 text NOT NULL,
    noted_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (uuid, pc_name, csv_sha256));
CREATE INDEX IF NOT EXISTS conflicts_kept ON conflicts (kept_pc_name);
CREATE OR REPLACE FUNCTION vemo_refuse_change() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'rows of % on the plant server are never changed or removed', TG_TABLE_NAME;
END $$;
CREATE OR REPLACE FUNCTION vemo_log_conflict() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE LOG 'vemo: recording % sent by % (CSV %) differs from the one kept from % (CSV %)',
        NEW.uuid, NEW.pc_name, NEW.csv_sha256, NEW.kept_pc_name, NEW.kept_csv_sha256;
    RETURN NEW;
END $$;
CREATE OR REPLACE TRIGGER recordings_kept BEFORE UPDATE OR DELETE ON recordings
    FOR EACH ROW EXECUTE FUNCTION vemo_refuse_change();
CREATE OR REPLACE TRIGGER recordings_kept_whole BEFORE TRUNCATE ON recordings
    FOR EACH STATEMENT EXECUTE FUNCTION vemo_refuse_change();
CREATE OR REPLACE TRIGGER sources_kept BEFORE UPDATE OR DELETE ON sources
    FOR EACH ROW EXECUTE FUNCTION vemo_refuse_change();
CREATE OR REPLACE TRIGGER conflicts_kept BEFORE UPDATE OR DELETE ON conflicts
    FOR EACH ROW EXECUTE FUNCTION vemo_refuse_change();
CREATE OR REPLACE TRIGGER conflicts_logged AFTER INSERT ON conflicts
    FOR EACH ROW EXECUTE FUNCTION vemo_log_conflict();
)SQL";

// 3 -> 4: each recording keeps the seal it had in its PC's chain when it
// arrived, so the PC's store can be checked against it; and its clock note.
const char* const kSchema4 =
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS record_hash text;"
    "ALTER TABLE recordings ADD COLUMN IF NOT EXISTS clock_note text NOT NULL DEFAULT '';";

// 4 -> 5: the audit trail's entries and the printed pages of each PC, as
// their seals arrived (the rows of its chains, by their row in the PC's
// store), so a store rewritten or put back from a backup is found; how each
// recording's link was kept from others; and its journal's problem and its
// press's identity and calibration, so that its CSV file can be made again
// from the server's copy.
const char* const kSchema5 = R"SQL(
ALTER TABLE recordings ADD COLUMN IF NOT EXISTS link text NOT NULL DEFAULT '';
ALTER TABLE recordings ADD COLUMN IF NOT EXISTS journal_problem text NOT NULL DEFAULT '';
ALTER TABLE recordings ADD COLUMN IF NOT EXISTS press_identity text NOT NULL DEFAULT '';
ALTER TABLE recordings ADD COLUMN IF NOT EXISTS calibration_note text NOT NULL DEFAULT '';
CREATE TABLE IF NOT EXISTS seals (
    pc_name text NOT NULL,
    chain text NOT NULL,
    row_id bigint NOT NULL,
    record_hash text NOT NULL,
    uuid text NOT NULL DEFAULT '',
    pdf_sha256 text NOT NULL DEFAULT '',
    what text NOT NULL DEFAULT '',
    sent_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (pc_name, chain, row_id));
CREATE INDEX IF NOT EXISTS seals_pages ON seals (uuid) WHERE chain = 'pages';
CREATE OR REPLACE TRIGGER seals_kept BEFORE UPDATE OR DELETE ON seals
    FOR EACH ROW EXECUTE FUNCTION vemo_refuse_change();
CREATE OR REPLACE TRIGGER seals_kept_whole BEFORE TRUNCATE ON seals
    FOR EACH STATEMENT EXECUTE FUNCTION vemo_refuse_change();
)SQL";

// 5 -> 6: the audit trail itself with its seals: when, who, the press, what
// changed from what to what and why, so the plant holds every PC's trail.
const char* const kSchema6 = R"SQL(
ALTER TABLE seals ADD COLUMN IF NOT EXISTS changed_at bigint NOT NULL DEFAULT 0;
ALTER TABLE seals ADD COLUMN IF NOT EXISTS who text NOT NULL DEFAULT '';
ALTER TABLE seals ADD COLUMN IF NOT EXISTS made_on text NOT NULL DEFAULT '';
ALTER TABLE seals ADD COLUMN IF NOT EXISTS press text NOT NULL DEFAULT '';
ALTER TABLE seals ADD COLUMN IF NOT EXISTS old_value text NOT NULL DEFAULT '';
ALTER TABLE seals ADD COLUMN IF NOT EXISTS new_value text NOT NULL DEFAULT '';
ALTER TABLE seals ADD COLUMN IF NOT EXISTS reason text NOT NULL DEFAULT '';
CREATE INDEX IF NOT EXISTS seals_trail ON seals (press, changed_at) WHERE chain = 'changes';
)SQL";

// 6 -> 7: the statistics select by bearing designation (letters without
// case) and period, in recording order, and read only the index.
const char* const kSchema7 =
    "CREATE INDEX IF NOT EXISTS recordings_bearing ON recordings (lower(bearing), stopped_at, uuid)"
    " INCLUDE (bearing, peak_force_t, result, status, sample_count, axle, side, lower_t, upper_t,"
    " press, pc_name, mounting_program, mounting_program_version);";

// The administrator's set-up: one role for every recorder, rights to read
// and to insert, and rows only of the PC the login is for.
const char* const kPcRights = R"SQL(
DO $$ BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'vemo_recorder') THEN
        CREATE ROLE vemo_recorder NOLOGIN;
    END IF;
END $$;
CREATE TABLE IF NOT EXISTS vemo_pcs (role name PRIMARY KEY, pc_name text NOT NULL UNIQUE);
ALTER TABLE recordings OWNER TO CURRENT_USER;
ALTER TABLE sources OWNER TO CURRENT_USER;
ALTER TABLE conflicts OWNER TO CURRENT_USER;
ALTER TABLE seals OWNER TO CURRENT_USER;
ALTER TABLE vemo_schema OWNER TO CURRENT_USER;
ALTER TABLE vemo_pcs OWNER TO CURRENT_USER;
REVOKE ALL ON recordings, sources, conflicts, seals, vemo_schema, vemo_pcs FROM PUBLIC;
GRANT SELECT, INSERT ON recordings, sources, conflicts, seals TO vemo_recorder;
GRANT SELECT ON vemo_schema, vemo_pcs TO vemo_recorder;
ALTER TABLE recordings ENABLE ROW LEVEL SECURITY;
ALTER TABLE sources ENABLE ROW LEVEL SECURITY;
ALTER TABLE conflicts ENABLE ROW LEVEL SECURITY;
ALTER TABLE seals ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS vemo_read ON recordings;
DROP POLICY IF EXISTS vemo_own ON recordings;
DROP POLICY IF EXISTS vemo_read ON sources;
DROP POLICY IF EXISTS vemo_own ON sources;
DROP POLICY IF EXISTS vemo_read ON conflicts;
DROP POLICY IF EXISTS vemo_own ON conflicts;
DROP POLICY IF EXISTS vemo_read ON seals;
DROP POLICY IF EXISTS vemo_own ON seals;
CREATE POLICY vemo_read ON recordings FOR SELECT USING (true);
CREATE POLICY vemo_own ON recordings FOR INSERT
    WITH CHECK (pc_name = (SELECT p.pc_name FROM vemo_pcs p WHERE p.role = current_user));
CREATE POLICY vemo_read ON sources FOR SELECT USING (true);
CREATE POLICY vemo_own ON sources FOR INSERT
    WITH CHECK (pc_name = (SELECT p.pc_name FROM vemo_pcs p WHERE p.role = current_user));
CREATE POLICY vemo_read ON conflicts FOR SELECT USING (true);
CREATE POLICY vemo_own ON conflicts FOR INSERT
    WITH CHECK (pc_name = (SELECT p.pc_name FROM vemo_pcs p WHERE p.role = current_user));
CREATE POLICY vemo_read ON seals FOR SELECT USING (true);
CREATE POLICY vemo_own ON seals FOR INSERT
    WITH CHECK (pc_name = (SELECT p.pc_name FROM vemo_pcs p WHERE p.role = current_user));
)SQL";

// Any part of an axle, bearing or operator is found through its trigrams,
// where the server has the extension for them; without it the search reads
// every row, and finds the same.
const char* const kTextIndex =
    "CREATE EXTENSION IF NOT EXISTS pg_trgm;"
    "CREATE INDEX recordings_text ON recordings USING gin (lower(axle) gin_trgm_ops,"
    " lower(bearing) gin_trgm_ops, lower(operator_id) gin_trgm_ops);";

const char* const kSummaryColumns =
    "uuid, pc_name, press, operator_id, axle, side, bearing, stopped_at, peak_force_t,"
    " sample_count, result, status";

} // namespace

std::string LinkOf(bool encrypted, const std::string& sslmode) {
    if (!encrypted) return "not encrypted (sslmode=" + sslmode + ")";
    if (sslmode == "verify-full") return "";
    if (sslmode == "verify-ca") return "TLS, the server's name not verified (sslmode=verify-ca)";
    return "TLS, the server not verified (sslmode=" + sslmode + ")";
}

std::unique_ptr<PlantServer> PlantServer::Connect(const std::string& connection, std::string* why,
                                                  const std::atomic<bool>* abandon) {
    // A password in the settings is readable by anyone at the PC: refused.
    char* error = nullptr;
    std::string sslmode; // as the string gives it, or ""
    if (PQconninfoOption* given = PQconninfoParse(connection.c_str(), &error)) {
        bool password = false;
        for (const PQconninfoOption* o = given; o->keyword; ++o) {
            password = password || (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val);
            if (std::strcmp(o->keyword, "sslmode") == 0 && o->val) sslmode = o->val;
        }
        PQconninfoFree(given);
        if (password) {
            if (why)
                *why = "the connection string holds a password, which is refused: the password "
                       "goes into libpq's password file";
            return nullptr;
        }
    } else {
        if (why)
            *why =
                "the connection string cannot be read: " + Tidy(error ? error : "", nullptr, true);
        PQfreemem(error);
        return nullptr;
    }
    // A server that does not answer is given 5 s, unless the string says;
    // a network that goes silent is noticed by keepalives within a minute.
    std::string options = connection;
    // The link is TLS with the server's certificate and name verified,
    // unless the string chooses otherwise: libpq's own default would fall
    // back to clear text for anyone between the PC and the server who
    // refuses TLS.
    if (sslmode.empty()) options += " sslmode=verify-full";
    for (const char* option :
         {"connect_timeout=5", "keepalives=1", "keepalives_idle=20", "keepalives_interval=5",
          "keepalives_count=4", "tcp_user_timeout=40000"}) {
        const std::string key = std::string(option).substr(0, std::strchr(option, '=') - option);
        if (options.find(key) == std::string::npos) options += std::string(" ") + option;
    }
    PGconn* c = PQconnectStart(options.c_str());
    if (c == nullptr) {
        if (why) *why = "out of memory";
        return nullptr;
    }
    // Step by step, so a program that is closing need not wait out the
    // time-out; in this way libpq leaves the time-out to its caller.
    int seconds = 5;
    if (PQconninfoOption* info = PQconninfo(c)) {
        for (const PQconninfoOption* o = info; o->keyword; ++o)
            if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val)
                seconds = std::max(1, std::atoi(o->val));
        PQconninfoFree(info);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
        std::string given;
        if (abandon && abandon->load())
            given = "given up: the program is closing";
        else if (std::chrono::steady_clock::now() > deadline)
            given = "the plant server did not answer within " + std::to_string(seconds) + " s";
        if (!given.empty()) {
            if (why) *why = given;
            PQfinish(c);
            return nullptr;
        }
        // The socket may change while libpq tries the server's addresses.
        if (SockWait(PQsocket(c), polling == PGRES_POLLING_WRITING, 100) != 0)
            polling = PQconnectPoll(c);
    }
    if (PQstatus(c) != CONNECTION_OK) {
        if (why) {
            *why = ErrorOf(c, true);
            const std::string said = PQerrorMessage(c);
            if (sslmode.empty() && (said.find("SSL") != std::string::npos ||
                                    said.find("certificate") != std::string::npos))
                *why += " (the link to the plant server is TLS with the server verified against "
                        "the plant's CA file, sslrootcert= in records_server, unless "
                        "records_server says sslmode= otherwise)";
        }
        PQfinish(c);
        return nullptr;
    }
    // Notices ("relation already exists, skipping") are not the operator's.
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    // Large recordings are handed over piece by piece, never blocking.
    PQsetnonblocking(c, 1);
    std::unique_ptr<PlantServer> server(new PlantServer(c));
    server->m_abandon = abandon;
    server->m_link = LinkOf(PQsslInUse(c) == 1, sslmode.empty() ? "verify-full" : sslmode);
    return server;
}

PlantServer::~PlantServer() {
    PQfinish(m_connection);
}

bool PlantServer::Await(std::string* why) {
    const auto deadline = std::chrono::steady_clock::now() + m_answerTimeout;
    for (;;) {
        // What is still to be sent goes first: a recording is a few hundred
        // kilobytes.
        const int flushed = PQflush(m_connection);
        if (flushed < 0 || (flushed == 0 && !PQconsumeInput(m_connection))) {
            if (why) *why = ErrorOf(m_connection);
            return false;
        }
        if (flushed == 0 && !PQisBusy(m_connection)) return true;
        if (m_abandon && m_abandon->load())
            m_broken = "given up: the program is closing";
        else if (std::chrono::steady_clock::now() > deadline)
            m_broken = "the plant server did not answer within " +
                       std::to_string(m_answerTimeout.count() / 1000) + " s";
        if (!m_broken.empty()) {
            if (why) *why = m_broken;
            return false;
        }
        SockWait(PQsocket(m_connection), flushed == 1, 100);
    }
}

pg_result* PlantServer::Ask(const char* sql, int n, const char* const* values, const int* lengths,
                            const int* formats, std::string* why) {
    if (!m_broken.empty()) {
        if (why) *why = m_broken;
        return nullptr;
    }
    const int sent =
        values ? PQsendQueryParams(m_connection, sql, n, nullptr, values, lengths, formats, 0)
               : PQsendQuery(m_connection, sql);
    if (!sent) {
        if (why) *why = ErrorOf(m_connection);
        return nullptr;
    }
    // Every result is read, so the connection is ready for the next
    // question; the last is kept, and the first failure told.
    PGresult* kept = nullptr;
    std::string failure;
    for (;;) {
        if (!Await(why)) {
            PQclear(kept);
            return nullptr;
        }
        PGresult* result = PQgetResult(m_connection);
        if (result == nullptr) break;
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && failure.empty())
            failure = Tidy(PQresultErrorMessage(result), m_connection, false);
        PQclear(kept);
        kept = result;
    }
    if (failure.empty() && kept) return kept;
    PQclear(kept);
    if (why) *why = failure.empty() ? ErrorOf(m_connection) : failure;
    return nullptr;
}

bool PlantServer::Exists(const char* table, std::string* why) {
    std::string error;
    const char* params[] = {table};
    Result r(Ask("SELECT to_regclass($1) IS NOT NULL", 1, params, nullptr, nullptr, &error));
    if (why) *why = error;
    return r.result && std::strcmp(PQgetvalue(r.result, 0, 0), "t") == 0;
}

bool PlantServer::Run(const char* sql, std::string* why) {
    Result result(Ask(sql, 0, nullptr, nullptr, nullptr, why));
    return result.result != nullptr;
}

bool PlantServer::PrepareSchema(std::string* why) {
    // Current tables are only read: a PC's role may not change them.
    std::string asked;
    const bool there = Exists("vemo_schema", &asked);
    if (!there && !asked.empty()) {
        if (why) *why = asked;
        return false;
    }
    if (there) {
        Result r(Ask("SELECT coalesce(max(version), 0) FROM vemo_schema", 0, nullptr, nullptr,
                     nullptr, why));
        if (!r.result) return false;
        if (std::atoi(PQgetvalue(r.result, 0, 0)) == kPlantSchemaVersion) return true;
    }
    if (!Run("BEGIN", why)) return false;
    // Two recorders starting at once make the tables once.
    bool ok = Run("SELECT pg_advisory_xact_lock(732514)", why) &&
              Run("CREATE TABLE IF NOT EXISTS vemo_schema (version integer NOT NULL)", why);
    int version = 0;
    if (ok) {
        Result r(Ask("SELECT max(version) FROM vemo_schema", 0, nullptr, nullptr, nullptr, why));
        ok = r.result != nullptr;
        if (ok && !PQgetisnull(r.result, 0, 0)) version = std::atoi(PQgetvalue(r.result, 0, 0));
    }
    if (ok && version > kPlantSchemaVersion) {
        if (why)
            *why = "the plant server's records are of a newer version (" + std::to_string(version) +
                   ") than this program knows (" + std::to_string(kPlantSchemaVersion) +
                   "): update the program";
        ok = false;
    }
    if (ok && version == 0) {
        ok = Run(kCreateTables, why) && Run("SAVEPOINT text_index", why);
        if (ok && !Run(kTextIndex, nullptr)) ok = Run("ROLLBACK TO text_index", why);
    }
    if (ok && version < 2) ok = Run(kSchema2, why);
    if (ok && version < 3) ok = Run(kSchema3, why);
    if (ok && version < 4) ok = Run(kSchema4, why);
    if (ok && version < 5) ok = Run(kSchema5, why);
    if (ok && version < 6) ok = Run(kSchema6, why);
    if (ok && version < 7) ok = Run(kSchema7, why);
    if (ok && version < kPlantSchemaVersion)
        ok = Run(("INSERT INTO vemo_schema VALUES (" + std::to_string(kPlantSchemaVersion) + ")")
                     .c_str(),
                 why);
    if (!ok) {
        Run("ROLLBACK", nullptr);
        if (why && version > 0 && version < kPlantSchemaVersion &&
            why->find("must be owner") != std::string::npos)
            *why = "the plant server's records are of an older version (" +
                   std::to_string(version) +
                   ") and this login may not bring them up: plant IT runs vemo-recorder "
                   "--plant-setup with an administrator's login";
        return false;
    }
    return Run("COMMIT", why);
}

bool PlantServer::SetUpForPcs(std::string* why) {
    if (!PrepareSchema(why) || !Run("BEGIN", why)) return false;
    if (!Run("SELECT pg_advisory_xact_lock(732514)", why) || !Run(kPcRights, why)) {
        Run("ROLLBACK", nullptr);
        return false;
    }
    return Run("COMMIT", why);
}

bool PlantServer::AddPc(const std::string& pcName, PlantPcRole& made, std::string* why) {
    made = PlantPcRole();
    made.pcName = pcName;
    if (pcName.empty() || pcName.size() > 64) {
        if (why) *why = "a PC name of 1 to 64 characters is needed";
        return false;
    }
    // The role's name from the PC's: letters and digits, the rest "_".
    made.role = "vemo_pc_";
    for (unsigned char c : pcName)
        made.role += std::isalnum(c) && c < 0x80 ? static_cast<char>(std::tolower(c)) : '_';
    made.role.resize(std::min<size_t>(made.role.size(), 63));
    InitIntegrity();
    const char* const letters = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    for (int i = 0; i < 24; ++i)
        made.password += letters[randombytes_uniform(static_cast<uint32_t>(std::strlen(letters)))];
    // Only the password's SCRAM verifier reaches the server (and its log).
    char* verifier = PQencryptPasswordConn(m_connection, made.password.c_str(), made.role.c_str(),
                                           "scram-sha-256");
    char* role = PQescapeIdentifier(m_connection, made.role.c_str(), made.role.size());
    char* secret =
        verifier ? PQescapeLiteral(m_connection, verifier, std::strlen(verifier)) : nullptr;
    char* name = PQescapeLiteral(m_connection, pcName.c_str(), pcName.size());
    char* roleText = PQescapeLiteral(m_connection, made.role.c_str(), made.role.size());
    made.host = PQhost(m_connection) ? PQhost(m_connection) : "";
    made.port = PQport(m_connection) ? PQport(m_connection) : "";
    made.database = PQdb(m_connection) ? PQdb(m_connection) : "";
    bool ok = verifier && role && secret && name && roleText;
    if (!ok && why) *why = ErrorOf(m_connection);
    if (ok) {
        Result exists(
            Ask(("SELECT 1 FROM pg_roles WHERE rolname = " + std::string(roleText)).c_str(), 0,
                nullptr, nullptr, nullptr, why));
        ok = exists.result != nullptr;
        made.renewed = ok && PQntuples(exists.result) > 0;
    }
    if (ok) {
        const std::string sql =
            std::string("BEGIN;") +
            (made.renewed ? "ALTER ROLE " + std::string(role) + " WITH LOGIN PASSWORD " + secret
                          : "CREATE ROLE " + std::string(role) + " LOGIN PASSWORD " + secret +
                                " IN ROLE vemo_recorder") +
            ";INSERT INTO vemo_pcs VALUES (" + roleText + ", " + name +
            ") ON CONFLICT (role) DO UPDATE SET pc_name = EXCLUDED.pc_name;COMMIT;";
        ok = Run(sql.c_str(), why);
        if (!ok) Run("ROLLBACK", nullptr);
    }
    PQfreemem(verifier);
    PQfreemem(role);
    PQfreemem(secret);
    PQfreemem(name);
    PQfreemem(roleText);
    return ok;
}

PlantAdminAnswer SetUpPlantServer(const std::string& adminConnection) {
    PlantAdminAnswer answer;
    std::string why;
    std::unique_ptr<PlantServer> server = PlantServer::Connect(adminConnection, &why);
    if (!server || !server->SetUpForPcs(&why)) {
        answer.text = "The plant server was not set up: " + why + ".\n";
        return answer;
    }
    answer.exitCode = 0;
    answer.text = "The plant server is set up: its tables (version " +
                  std::to_string(kPlantSchemaVersion) +
                  ") belong to this login, rows are never changed or removed, and the role "
                  "vemo_recorder may read and insert only its own PC's recordings. Add each PC "
                  "with --plant-add-pc.\n";
    return answer;
}

PlantAdminAnswer AddPlantPc(const std::string& adminConnection, const std::string& pcName) {
    PlantAdminAnswer answer;
    std::string why;
    PlantPcRole made;
    std::unique_ptr<PlantServer> server = PlantServer::Connect(adminConnection, &why);
    if (!server || !server->AddPc(pcName, made, &why)) {
        answer.text = "The PC " + pcName + " was not added: " + why + ".\n";
        return answer;
    }
    answer.exitCode = 0;
    answer.text =
        "The PC " + pcName +
        (made.renewed ? " has a new password for its role " : " has the role ") + made.role +
        ".\nIn that PC's config.ini (no password there):\n  records_server=host=" + made.host +
        " port=" + made.port + " dbname=" + made.database + " user=" + made.role +
        "\nIn its libpq password file (%APPDATA%\\postgresql\\pgpass.conf on Windows, "
        "~/.pgpass with mode 0600 on Debian):\n  " +
        made.host + ":" + made.port + ":" + made.database + ":" + made.role + ":" + made.password +
        "\nThe link is TLS with the server verified: the PC needs the plant's CA certificate, as "
        "libpq's root.crt or named by sslrootcert=FILE in records_server.\n";
    return answer;
}

bool PlantServer::Seals(const std::string& pcName,
                        std::vector<std::pair<std::string, std::string>>& seals, std::string* why) {
    seals.clear();
    const char* params[] = {pcName.c_str()};
    Result r(Ask("SELECT uuid, record_hash FROM recordings WHERE pc_name = $1 AND record_hash IS"
                 " NOT NULL ORDER BY stopped_at, uuid",
                 1, params, nullptr, nullptr, why));
    if (!r.result) return false;
    for (int i = 0; i < PQntuples(r.result); ++i)
        seals.emplace_back(PQgetvalue(r.result, i, 0), PQgetvalue(r.result, i, 1));
    return true;
}

bool PlantServer::OwnPc(std::string& pcName, std::string* why) {
    pcName.clear();
    std::string missing;
    if (!Exists("vemo_pcs", &missing)) {
        if (why) *why = missing;
        return missing.empty();
    }
    Result r(Ask("SELECT pc_name FROM vemo_pcs WHERE role = current_user", 0, nullptr, nullptr,
                 nullptr, why));
    if (!r.result) return false;
    if (PQntuples(r.result) == 1) pcName = PQgetvalue(r.result, 0, 0);
    return true;
}

int64_t PlantServer::LastSeal(const std::string& pcName, const std::string& chain,
                              std::string* why) {
    const char* params[] = {pcName.c_str(), chain.c_str()};
    Result r(Ask("SELECT coalesce(max(row_id), 0) FROM seals WHERE pc_name = $1 AND chain = $2", 2,
                 params, nullptr, nullptr, why));
    return r.result ? std::atoll(PQgetvalue(r.result, 0, 0)) : -1;
}

bool PlantServer::SendSeals(const std::string& pcName, const std::string& chain,
                            const std::vector<SealedRow>& rows, std::string* why) {
    if (rows.empty()) return true;
    if (!Run("BEGIN", why)) return false;
    for (const SealedRow& row : rows) {
        const std::string id = std::to_string(row.id), at = std::to_string(row.entry.at);
        const Change& e = row.entry;
        const char* params[] = {pcName.c_str(),     chain.c_str(),    id.c_str(),
                                row.hash.c_str(),   row.uuid.c_str(), row.pdfSha256.c_str(),
                                row.what.c_str(),   at.c_str(),       e.who.c_str(),
                                e.pcName.c_str(),   e.press.c_str(),  e.oldValue.c_str(),
                                e.newValue.c_str(), e.reason.c_str()};
        Result r(Ask("INSERT INTO seals (pc_name, chain, row_id, record_hash, uuid, pdf_sha256,"
                     " what, changed_at, who, made_on, press, old_value, new_value, reason)"
                     " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14)"
                     " ON CONFLICT DO NOTHING",
                     14, params, nullptr, nullptr, why));
        if (!r.result) {
            Run("ROLLBACK", nullptr);
            return false;
        }
    }
    return Run("COMMIT", why);
}

bool PlantServer::ChainSeals(const std::string& pcName, const std::string& chain,
                             std::vector<SealedRow>& rows, std::string* why,
                             const std::string& uuid) {
    rows.clear();
    const char* params[] = {pcName.c_str(), chain.c_str(), uuid.c_str()};
    Result r(Ask("SELECT row_id, record_hash, uuid, pdf_sha256, what, changed_at, who, made_on,"
                 " press, old_value, new_value, reason FROM seals WHERE pc_name = $1"
                 " AND chain = $2 AND ($3 = '' OR uuid = $3) ORDER BY row_id",
                 3, params, nullptr, nullptr, why));
    if (!r.result) return false;
    for (int i = 0; i < PQntuples(r.result); ++i) {
        SealedRow row;
        row.id = std::atoll(PQgetvalue(r.result, i, 0));
        row.hash = PQgetvalue(r.result, i, 1);
        row.uuid = PQgetvalue(r.result, i, 2);
        row.pdfSha256 = PQgetvalue(r.result, i, 3);
        row.what = PQgetvalue(r.result, i, 4);
        row.entry.id = row.id;
        row.entry.at = std::atoll(PQgetvalue(r.result, i, 5));
        row.entry.who = PQgetvalue(r.result, i, 6);
        row.entry.pcName = PQgetvalue(r.result, i, 7);
        row.entry.press = PQgetvalue(r.result, i, 8);
        row.entry.what = row.what;
        row.entry.oldValue = PQgetvalue(r.result, i, 9);
        row.entry.newValue = PQgetvalue(r.result, i, 10);
        row.entry.reason = PQgetvalue(r.result, i, 11);
        rows.push_back(std::move(row));
    }
    return true;
}

bool PlantServer::RecordSeal(const std::string& uuid, std::string& csvSha256,
                             std::string& recordHash, std::string& pcName, std::string* why) {
    if (why) why->clear();
    const char* params[] = {uuid.c_str()};
    Result r(Ask("SELECT csv_sha256, coalesce(record_hash, ''), pc_name FROM recordings"
                 " WHERE uuid = $1",
                 1, params, nullptr, nullptr, why));
    if (!r.result || PQntuples(r.result) != 1) return false;
    csvSha256 = PQgetvalue(r.result, 0, 0);
    recordHash = PQgetvalue(r.result, 0, 1);
    pcName = PQgetvalue(r.result, 0, 2);
    return true;
}

bool PlantServer::Conflicts(std::vector<std::string>& lines, std::string* why) {
    lines.clear();
    // A server set up without a role per PC notes no PC of its own.
    std::string missing;
    if (!Exists("vemo_pcs", &missing)) return missing.empty();
    Result r(Ask("SELECT uuid, pc_name, kept_pc_name FROM conflicts WHERE (SELECT p.pc_name FROM"
                 " vemo_pcs p WHERE p.role = current_user) IN (pc_name, kept_pc_name)"
                 " ORDER BY noted_at",
                 0, nullptr, nullptr, nullptr, why));
    if (!r.result) return false;
    for (int i = 0; i < PQntuples(r.result); ++i)
        lines.push_back(std::string("recording ") + PQgetvalue(r.result, i, 0) + " from " +
                        PQgetvalue(r.result, i, 1) + " differs from the one kept from " +
                        PQgetvalue(r.result, i, 2));
    return true;
}

bool PlantServer::Send(const Recording& r, RecordStatus status, std::string* why, bool* refused,
                       const std::string& recordHash) {
    if (refused) *refused = false;
    const RecordingSetup& s = r.setup;
    const JobData& job = s.job;
    const RecordingResults results = r.Results();
    const std::string samples = PackSamples(r);
    const Judgement judgement = r.Judged();
    std::string criteria; // one line each, as the CSV file gives them
    for (const CriterionResult& c : judgement.criteria)
        criteria += (c.ok ? "OK: " : "NOK: ") + c.text + "\n";
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
        StatusText(status),
        r.incomplete,
        PackAlarms(r.alarms),
        r.csvSha256,
        std::to_string(s.limitsSetAt),
        s.limitsSetBy,
        s.version,
        std::to_string(r.times.size()),
        r.startNote,
        std::to_string(s.judging),
        s.program ? s.program->name : std::string(),
        s.program ? std::to_string(s.program->version) : std::string(),
        s.program ? ProgramJson(*s.program, false) : std::string(),
        judgement.reason,
        criteria,
        recordHash,
        r.clockNote,
        m_link.empty() ? std::string("TLS, server verified") : m_link,
        r.journalProblem,
        s.pressIdentity,
        s.calibrationNote,
        samples,
    };
    constexpr int n = sizeof values / sizeof values[0];
    const char* params[n];
    int lengths[n], formats[n];
    for (int i = 0; i < n; ++i) {
        const bool noLimit = (i == 15 || i == 16) && !s.hasLimits;
        const bool noProgram = i >= 32 && i <= 34 && !s.program;
        const bool noHash = i == 37 && recordHash.empty();
        params[i] = noLimit || noProgram || noHash ? nullptr : values[i].data();
        lengths[i] = static_cast<int>(values[i].size());
        formats[i] = i == n - 1 ? 1 : 0; // the samples as bytes, the rest as text
    }
    // One statement, so one transaction: the recording with its samples, and
    // its PC and press among the sources the history offers; and, when the
    // identity was there, what the server kept under it.
    Result inserted(Ask(
        "WITH added AS (INSERT INTO recordings (uuid, pc_name, press, operator_id, axle, side, "
        "bearing, production_date, refurbishment_date, module, armed_at, started_at, "
        "stopped_at, record_length_s, surface_cm2, lower_t, upper_t, alarm_threshold_bar, "
        "peak_force_t, peak_time_s, peak_bar, result, status, incomplete, alarms, csv_sha256, "
        "limits_set_at, limits_set_by, program_version, sample_count, start_note, judging, "
        "mounting_program, mounting_program_version, mounting_program_json, result_reason, "
        "criteria, record_hash, clock_note, link, journal_problem, press_identity, "
        "calibration_note, samples) VALUES ($1, $2, $3, "
        "$4, $5, $6, $7, $8, "
        "$9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, $21, $22, $23, $24, $25, "
        "$26, $27, $28, $29, $30, $31, $32, $33, $34, $35, $36, $37, $38, $39, $40, $41, $42, $43, "
        "$44) "
        "ON CONFLICT (uuid) DO NOTHING "
        "RETURNING pc_name, press), listed AS (INSERT INTO sources SELECT pc_name, press "
        "FROM added ON CONFLICT DO NOTHING) SELECT (SELECT count(*) FROM added), k.pc_name, "
        "k.csv_sha256, k.samples = $44 FROM (SELECT 1) one LEFT JOIN recordings k ON k.uuid = $1",
        n, params, lengths, formats, why));
    if (!inserted.result) return false;
    if (std::atoi(PQgetvalue(inserted.result, 0, 0)) == 1) return true;
    std::string keptPc = PQgetvalue(inserted.result, 0, 1),
                keptSha = PQgetvalue(inserted.result, 0, 2);
    bool same = std::strcmp(PQgetvalue(inserted.result, 0, 3), "t") == 0;
    if (PQgetisnull(inserted.result, 0, 1)) {
        // Kept by another sender after this statement began: asked again.
        Result kept(Ask("SELECT pc_name, csv_sha256, samples = $2 FROM recordings WHERE uuid = $1",
                        2, std::vector<const char*>{params[0], params[n - 1]}.data(),
                        std::vector<int>{lengths[0], lengths[n - 1]}.data(),
                        std::vector<int>{0, 1}.data(), why));
        if (!kept.result || PQntuples(kept.result) != 1) {
            if (why && kept.result) *why = "the plant server neither kept nor holds " + s.uuid;
            return false;
        }
        keptPc = PQgetvalue(kept.result, 0, 0);
        keptSha = PQgetvalue(kept.result, 0, 1);
        same = std::strcmp(PQgetvalue(kept.result, 0, 2), "t") == 0;
    }
    // Sent again after a lost confirmation, or imported on another PC as it
    // was: delivered. Other content under the same identity never is.
    if (same && keptSha == r.csvSha256) return true;
    const char* noted[] = {s.uuid.c_str(), s.pcName.c_str(), r.csvSha256.c_str(), keptPc.c_str(),
                           keptSha.c_str()};
    std::string ignored;
    Result note(Ask("INSERT INTO conflicts (uuid, pc_name, csv_sha256, kept_pc_name, "
                    "kept_csv_sha256) VALUES ($1, $2, $3, $4, $5) ON CONFLICT DO NOTHING",
                    5, noted, nullptr, nullptr, &ignored));
    if (refused) *refused = true;
    if (why)
        *why = "the plant server refused recording " + s.uuid +
               ": it holds another recording with this identity, from " + keptPc +
               "; both are noted as a conflict";
    return false;
}

namespace {

/// `text` for LIKE, its own wildcards taken literally.
std::string LikeText(const std::string& text) {
    std::string pattern;
    for (char ch : text) {
        if (ch == '%' || ch == '_' || ch == '\\') pattern += '\\';
        pattern += ch;
    }
    return pattern;
}

/// The WHERE clause of a plant search; parameters $1 to $6, each asked only
/// when the filter sets it.
std::string PlantWhere(const RecordFilter& f, const std::string& pcName) {
    std::string where = " WHERE stopped_at >= $2";
    if (f.until != 0) where += " AND stopped_at < $3";
    if (!f.press.empty()) where += " AND press = $4";
    if (!pcName.empty()) where += " AND pc_name = $6";
    if (f.result == "NONE")
        where += " AND result = ''";
    else if (!f.result.empty())
        where += " AND result = $5";
    if (!f.text.empty())
        where += " AND (lower(axle) LIKE lower($1) OR lower(bearing) LIKE lower($1)"
                 " OR lower(operator_id) LIKE lower($1)" +
                 std::string(IdentityDigits(f.text).empty()
                                 ? ""
                                 : " OR replace(lower(uuid), '-', '') LIKE $7") +
                 ")";
    return where;
}

} // namespace

bool PlantServer::Find(const RecordFilter& filter, const std::string& pcName,
                       std::vector<RecordSummary>& rows, int64_t* total, std::string* why) {
    rows.clear();
    const std::string values[] = {"%" + LikeText(filter.text) + "%",
                                  std::to_string(filter.from),
                                  std::to_string(filter.until),
                                  filter.press,
                                  filter.result,
                                  pcName,
                                  IdentityDigits(filter.text) + "%",
                                  std::to_string(filter.limit),
                                  std::to_string(filter.offset)};
    const char* params[9];
    for (int i = 0; i < 9; ++i)
        params[i] = values[i].c_str();
    // Every parameter is sent; the ones the clause does not ask are cast so
    // the server knows their type.
    const std::string unused = " AND $1::text IS NOT NULL AND $3::bigint IS NOT NULL AND"
                               " $4::text IS NOT NULL AND $5::text IS NOT NULL AND"
                               " $6::text IS NOT NULL AND $7::text IS NOT NULL";
    const std::string where = PlantWhere(filter, pcName) + unused;
    // The list's order, as on this PC; newest first among equals.
    std::string column = OrderColumn(filter.orderBy);
    if (!column.empty() && column != "stopped_at" && column != "peak_t")
        column = "lower(" + column + ")";
    const std::string order =
        (column.empty() ? std::string(" ORDER BY")
                        : " ORDER BY " + column + (filter.ascending ? " ASC," : " DESC,")) +
        " stopped_at DESC, uuid DESC";
    Result r(Ask((std::string("SELECT ") + kSummaryColumns + " FROM recordings" + where + order +
                  " LIMIT $8 OFFSET $9")
                     .c_str(),
                 9, params, nullptr, nullptr, why));
    if (!r.result) return false;
    for (int i = 0; i < PQntuples(r.result); ++i) {
        auto text = [&](int column) { return std::string(PQgetvalue(r.result, i, column)); };
        RecordSummary row;
        row.uuid = text(0);
        row.pcName = text(1);
        row.press = text(2);
        row.operatorId = text(3);
        row.axle = text(4);
        row.side = text(5);
        row.bearing = text(6);
        row.stoppedAt = std::atoll(text(7).c_str());
        row.peakTons = std::atof(text(8).c_str());
        row.anySample = std::atoi(text(9).c_str()) > 0;
        row.result = text(10);
        row.status = StatusOf(text(11));
        rows.push_back(std::move(row));
    }
    if (total) {
        Result count(Ask(("SELECT count(*) FROM recordings" + where).c_str(), 7, params, nullptr,
                         nullptr, why));
        if (!count.result) return false;
        *total = std::atoll(PQgetvalue(count.result, 0, 0));
    }
    return true;
}

bool PlantServer::Sources(std::vector<std::string>& pcNames, std::vector<std::string>& presses,
                          std::string* why) {
    pcNames.clear();
    presses.clear();
    Result r(Ask("SELECT DISTINCT pc_name, 0 FROM sources UNION ALL"
                 " SELECT DISTINCT press, 1 FROM sources ORDER BY 2, 1",
                 0, nullptr, nullptr, nullptr, why));
    if (!r.result) return false;
    for (int i = 0; i < PQntuples(r.result); ++i)
        (PQgetvalue(r.result, i, 1)[0] == '0' ? pcNames : presses)
            .push_back(PQgetvalue(r.result, i, 0));
    return true;
}

long long PlantServer::Count(std::string* why) {
    Result r(Ask("SELECT count(*) FROM recordings", 0, nullptr, nullptr, nullptr, why));
    if (!r.result) return -1;
    return std::atoll(PQgetvalue(r.result, 0, 0));
}

bool PlantServer::Load(const std::string& uuid, Recording& recording, RecordStatus* status,
                       std::string* why) {
    const char* params[] = {uuid.c_str()};
    Result r(
        Ask("SELECT samples, pc_name, press, operator_id, axle, side, bearing, production_date, "
            "refurbishment_date, module, armed_at, started_at, stopped_at, record_length_s, "
            "surface_cm2, lower_t, upper_t, alarm_threshold_bar, status, incomplete, alarms, "
            "csv_sha256, limits_set_at, limits_set_by, program_version, start_note, judging, "
            "mounting_program_json, clock_note, journal_problem, press_identity, calibration_note "
            "FROM recordings WHERE uuid = $1",
            1, params, nullptr, nullptr, why));
    if (!r.result) return false;
    if (PQntuples(r.result) != 1) {
        if (why) *why = "no recording " + uuid + " on the plant server";
        return false;
    }
    auto text = [&](int column) { return std::string(PQgetvalue(r.result, 0, column)); };
    auto whole = [&](int column) { return std::atoll(PQgetvalue(r.result, 0, column)); };
    auto real = [&](int column) { return std::strtod(PQgetvalue(r.result, 0, column), nullptr); };
    recording = Recording();
    RecordingSetup& s = recording.setup;
    s.uuid = uuid;
    s.pcName = text(1);
    s.pressName = text(2);
    s.job = {text(3), text(4), text(5), text(6), text(7), text(8)};
    s.moduleAddress = text(9);
    s.armedAt = whole(10);
    recording.startedAt = whole(11);
    recording.stoppedAt = whole(12);
    s.recordLengthSeconds = static_cast<int>(whole(13));
    s.surface = real(14);
    s.hasLimits = !PQgetisnull(r.result, 0, 15);
    if (s.hasLimits) s.limits = {real(15), real(16)};
    s.alarmThresholdBar = static_cast<int>(whole(17));
    if (status) *status = StatusOf(text(18));
    recording.incomplete = text(19);
    UnpackAlarms(text(20), recording.alarms);
    recording.csvSha256 = text(21);
    s.limitsSetAt = whole(22);
    s.limitsSetBy = text(23);
    s.version = text(24);
    recording.startNote = text(25);
    s.judging = static_cast<int>(whole(26));
    if (!PQgetisnull(r.result, 0, 27)) {
        auto program = std::make_shared<Program>();
        if (ParseProgram(text(27), *program, nullptr, true))
            s.program = std::move(program);
        else
            s.hasLimits = false; // never judged by the limits instead
    }
    recording.clockNote = text(28);
    recording.journalProblem = text(29);
    s.pressIdentity = text(30);
    s.calibrationNote = text(31);
    // The samples come as text in the server's hex form.
    size_t length = 0;
    unsigned char* bytes = PQunescapeBytea(
        reinterpret_cast<const unsigned char*>(PQgetvalue(r.result, 0, 0)), &length);
    const bool unpacked =
        bytes && UnpackSamples(std::string(reinterpret_cast<char*>(bytes), length), recording);
    PQfreemem(bytes);
    if (!unpacked && why) *why = "the samples of " + uuid + " on the plant server are damaged";
    return unpacked;
}
