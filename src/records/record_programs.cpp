// The mounting programs in the record store: every version kept, each
// change in the audit trail with the program whole, in one transaction.
#include "records/record_store.h"

#include "records/sqlite_statement.h"

#include <sqlite3.h>

// The kinds of change are kept in English and shown in the reader's words.
#ifndef N_
#define N_(english) english
#endif

const char* const kProgramSaved = N_("mounting program");
const char* const kPlantRefusedChange = N_("not sent to the plant server");
const char* const kProgramWithdrawn = N_("mounting program withdrawn");

namespace {

/// The newest version kept of `name` and its JSON; 0 when there is none.
int NewestVersion(sqlite3* db, const std::string& name, std::string* json) {
    Statement select(db, "SELECT version, json FROM programs WHERE name = ?1"
                         " ORDER BY version DESC LIMIT 1");
    select.Bind(1, name);
    if (select.Step() != SQLITE_ROW) return 0;
    if (json) *json = select.Text(1);
    return static_cast<int>(select.Int(0));
}

} // namespace

bool RecordStore::SaveProgram(const Program& program, const Change& change, std::string* why) {
    std::string fault;
    if (!ValidProgram(program, &fault)) {
        if (why) *why = program.Title() + ": " + fault;
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    auto refuse = [&](const std::string& reason) {
        if (why) *why = reason;
        Exec("ROLLBACK", nullptr);
        return false;
    };
    std::string previous;
    const int newest = NewestVersion(m_db, program.name, &previous);
    const std::string json = ProgramJson(program, false);
    if (newest == program.version && previous == json)
        return refuse(program.Title() + " is already kept as it is");
    if (newest >= program.version)
        return refuse("version " + std::to_string(newest) + " of " + program.name +
                      " is already kept: a changed program needs a higher version");
    Statement insert(m_db, "INSERT INTO programs (name, version, json, saved_at, saved_by,"
                           " pc_name, reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.Bind(1, program.name).Bind(2, int64_t(program.version)).Bind(3, json);
    insert.Bind(4, change.at).Bind(5, change.who).Bind(6, change.pcName).Bind(7, change.reason);
    Change entry = change;
    entry.what = kProgramSaved;
    entry.press = program.name;
    entry.oldValue = previous;
    entry.newValue = json;
    if (insert.Step() != SQLITE_DONE) return refuse(insert.Error());
    if (!InsertChange(entry, why) || !Exec("COMMIT", why)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

bool RecordStore::WithdrawProgram(const std::string& name, const Change& change, std::string* why) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    std::string json;
    const int newest = NewestVersion(m_db, name, &json);
    Statement update(m_db, "UPDATE programs SET withdrawn = 1 WHERE name = ?1 AND withdrawn = 0");
    update.Bind(1, name);
    const bool changed = update.Step() == SQLITE_DONE && sqlite3_changes(m_db) > 0;
    Change entry = change;
    entry.what = kProgramWithdrawn;
    entry.press = name;
    entry.oldValue = json;
    entry.newValue = "";
    if (newest == 0 || !changed) {
        if (why) *why = newest == 0 ? "no program " + name : name + " is withdrawn already";
        Exec("ROLLBACK", nullptr);
        return false;
    }
    if (!InsertChange(entry, why) || !Exec("COMMIT", why)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

std::vector<KeptProgram> RecordStore::ProgramVersions(const std::string& name) {
    std::vector<KeptProgram> kept;
    Statement select(m_db, "SELECT json, saved_at, saved_by, pc_name, reason, withdrawn"
                           " FROM programs WHERE ?1 = '' OR name = ?1"
                           " ORDER BY name, version DESC");
    select.Bind(1, name);
    while (select.Step() == SQLITE_ROW) {
        KeptProgram k;
        // Kept only once it was read without a fault; read the same way back.
        if (!ParseProgram(select.Text(0), k.program, nullptr)) continue;
        k.savedAt = select.Int(1);
        k.savedBy = select.Text(2);
        k.pcName = select.Text(3);
        k.reason = select.Text(4);
        k.withdrawn = select.Int(5) != 0;
        kept.push_back(std::move(k));
    }
    return kept;
}

std::vector<Program> RecordStore::Programs() {
    std::vector<Program> programs;
    for (KeptProgram& k : ProgramVersions())
        if (!k.withdrawn && (programs.empty() || programs.back().name != k.program.name))
            programs.push_back(std::move(k.program));
    return programs;
}
