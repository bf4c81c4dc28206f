// The record store's searches and readings: the history's filters, a
// recording loaded whole, and the audit trail.
#include "records/record_store.h"

#include "records/sqlite_statement.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

/// Characters of a UTF-8 text.
size_t Characters(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

} // namespace

std::string IdentityDigits(const std::string& typed) {
    std::string text = typed;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.erase(0, 1);
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    // The page's code: "VEMO:<identity>:<hash>".
    if (lower(text.substr(0, 5)) == "vemo:") {
        const size_t end = text.find(':', 5);
        text = text.substr(5, end == std::string::npos ? std::string::npos : end - 5);
        if (text.empty()) return "";
    }
    // Groups of hex digits between dashes: a report number's groups of four
    // (at least two of them), or an identity's 8-4-4-4-12.
    std::vector<std::string> groups(1);
    for (char c : text) {
        if (c == '-')
            groups.emplace_back();
        else if (hex(c))
            groups.back() += c;
        else
            return "";
    }
    std::string digits;
    for (const std::string& g : groups)
        digits += g;
    const bool number = groups.size() >= 2 && groups.size() <= 3 &&
                        std::all_of(groups.begin(), groups.end(),
                                    [](const std::string& g) { return g.size() == 4; });
    const bool identity =
        (groups.size() == 5 && groups[0].size() == 8 && groups[1].size() == 4 &&
         groups[2].size() == 4 && groups[3].size() == 4 && groups[4].size() == 12) ||
        (groups.size() == 1 && digits.size() == 32);
    return number || identity ? lower(digits) : std::string();
}

std::string OrderColumn(const std::string& orderBy) {
    static const std::pair<const char*, const char*> kColumns[] = {
        {"date", "stopped_at"}, {"press", "press"},  {"operator", "operator_id"},
        {"axle", "axle"},       {"side", "side"},    {"bearing", "bearing"},
        {"peak", "peak_t"},     {"result", "result"}};
    for (const auto& [name, column] : kColumns)
        if (orderBy == name) return column;
    return "";
}

namespace {

/// ORDER BY of a filter: its column (text without case), then the order of
/// keeping.
std::string OrderOf(const RecordFilter& f) {
    std::string column = OrderColumn(f.orderBy);
    if (column.empty()) return " ORDER BY id DESC";
    if (column != "stopped_at" && column != "peak_t") column = "lower(" + column + ")";
    return " ORDER BY " + column + (f.ascending ? " ASC" : " DESC") + ", id DESC";
}

/// The WHERE clause of a filter; parameters ?1 to ?5, and ?9 for an identity. Only what the filter
/// sets is asked, so each search can use its index. A text of three
/// characters or more is looked up in the trigram index; a shorter one is
/// searched row by row. Both ignore case.
std::string Where(const RecordFilter& f) {
    std::string where = " WHERE stopped_at >= ?2";
    if (f.until != 0) where += " AND stopped_at < ?3";
    if (!f.press.empty()) where += " AND press = ?4";
    if (f.result == "NONE")
        where += " AND result = ''";
    else if (!f.result.empty())
        where += " AND result = ?5";
    std::string text;
    if (Characters(f.text) >= 3)
        text = "id IN (SELECT rowid FROM recording_text WHERE recording_text MATCH ?1)";
    else if (!f.text.empty())
        text = "instr(lower(axle), lower(?1)) > 0 OR instr(lower(bearing), lower(?1)) > 0"
               " OR instr(lower(operator_id), lower(?1)) > 0";
    // A report number or a scanned code finds its recording as well.
    if (!IdentityDigits(f.text).empty()) text += " OR replace(lower(uuid), '-', '') LIKE ?9";
    if (!text.empty()) where += " AND (" + text + ")";
    return where;
}

void BindFilter(Statement& s, const RecordFilter& f) {
    std::string text = f.text;
    if (Characters(f.text) >= 3) {
        // One phrase: the text as typed, quotes doubled.
        text = "\"";
        for (char c : f.text)
            text += c == '"' ? std::string("\"\"") : std::string(1, c);
        text += "\"";
    }
    s.Bind(1, text).Bind(2, f.from).Bind(3, f.until).Bind(4, f.press).Bind(5, f.result);
    const std::string identity = IdentityDigits(f.text);
    if (!identity.empty()) s.Bind(9, identity + "%");
}

/// The list's row from the first fourteen columns Find selects.
RecordSummary SummaryOf(const Statement& select) {
    RecordSummary row;
    row.id = select.Int(0);
    row.uuid = select.Text(1);
    row.stoppedAt = select.Int(2);
    row.press = select.Text(3);
    row.operatorId = select.Text(4);
    row.axle = select.Text(5);
    row.side = select.Text(6);
    row.bearing = select.Text(7);
    row.peakTons = select.Real(8);
    row.anySample = select.Int(9) > 0;
    row.result = select.Text(10);
    row.status = StatusOf(select.Text(11));
    row.printed = select.Int(12) != 0;
    row.pdfPath = select.Text(13);
    return row;
}

} // namespace

std::vector<RecordSummary> RecordStore::Find(const RecordFilter& filter, int64_t* total) {
    // In the order they were kept, newest first: a recording made after the
    // PC's clock was set back still comes after the one before it.
    std::vector<RecordSummary> rows;
    const std::string sql = std::string("SELECT id, uuid, stopped_at, press, operator_id, axle,"
                                        " side, bearing, peak_t, sample_count, result, status,"
                                        " printed_at IS NOT NULL, pdf_path FROM recordings") +
                            Where(filter) + OrderOf(filter) + " LIMIT ?6 OFFSET ?7";
    Statement select(m_db, sql.c_str());
    BindFilter(select, filter);
    select.Bind(6, int64_t(filter.limit)).Bind(7, int64_t(filter.offset));
    while (select.Step() == SQLITE_ROW) {
        rows.push_back(SummaryOf(select));
    }
    if (total) {
        Statement count(m_db,
                        (std::string("SELECT count(*) FROM recordings") + Where(filter)).c_str());
        BindFilter(count, filter);
        *total = count.Step() == SQLITE_ROW ? count.Int(0) : 0;
    }
    return rows;
}

std::vector<RecordSummary> RecordStore::OfAxleSide(const std::string& axle, const std::string& side,
                                                   int64_t from) {
    std::vector<RecordSummary> rows;
    Statement select(m_db, "SELECT id, uuid, stopped_at, press, operator_id, axle, side, bearing,"
                           " peak_t, sample_count, result, status, printed_at IS NOT NULL,"
                           " pdf_path FROM recordings WHERE stopped_at >= ?3"
                           " AND lower(axle) = lower(?1) AND side = ?2 ORDER BY id DESC LIMIT 50");
    select.Bind(1, axle).Bind(2, side).Bind(3, from);
    while (select.Step() == SQLITE_ROW)
        rows.push_back(SummaryOf(select));
    return rows;
}

std::vector<ListedRecording> RecordStore::Listed(const RecordFilter& filter) {
    std::vector<ListedRecording> rows;
    const std::string sql =
        std::string("SELECT id, uuid, stopped_at, press, operator_id, axle, side, bearing, peak_t,"
                    " sample_count, result, status, printed_at IS NOT NULL, pdf_path, pc_name,"
                    " started_at, production_date, refurbishment_date, version, surface_cm2,"
                    " coalesce(program_name, ''), coalesce(program_version, 0), has_limits,"
                    " lower_t, upper_t, peak_time_s, result_reason, csv_sha256, pdf_sha256"
                    " FROM recordings") +
        Where(filter) + OrderOf(filter) + " LIMIT ?6 OFFSET ?7";
    Statement select(m_db, sql.c_str());
    BindFilter(select, filter);
    select.Bind(6, int64_t(filter.limit)).Bind(7, int64_t(filter.offset));
    while (select.Step() == SQLITE_ROW) {
        ListedRecording l;
        l.row = SummaryOf(select);
        l.row.pcName = select.Text(14);
        l.startedAt = select.Int(15);
        l.productionDate = select.Text(16);
        l.refurbishmentDate = select.Text(17);
        l.version = select.Text(18);
        l.surface = select.Real(19);
        l.programName = select.Text(20);
        l.programVersion = select.Int(21);
        l.hasLimits = select.Int(22) != 0;
        l.lowerTons = select.Real(23);
        l.upperTons = select.Real(24);
        l.peakTimeS = select.Real(25);
        l.reason = select.Text(26);
        l.csvSha256 = select.Text(27);
        l.pdfSha256 = select.Text(28);
        rows.push_back(std::move(l));
    }
    return rows;
}

bool IsBearingPattern(const std::string& pattern) {
    return pattern.find_first_of("*?") != std::string::npos;
}

std::string BearingLike(const std::string& pattern) {
    if (!IsBearingPattern(pattern)) return pattern;
    std::string like;
    for (char c : pattern) {
        if (c == '%' || c == '_' || c == '\\') like += '\\';
        like += c == '*' ? '%' : c == '?' ? '_' : c;
    }
    return like;
}

std::vector<MountingPoint> RecordStore::Mountings(const MountingFilter& filter) {
    // Only the conditions asked for, so that an index can serve them: a
    // designation without wildcards is looked up (letters without case),
    // a pattern read as LIKE reads it.
    const bool pattern = IsBearingPattern(filter.bearing);
    const std::string like = BearingLike(filter.bearing);
    std::string sql = "SELECT id, uuid, stopped_at, press, axle, side, bearing, result,"
                      " sample_count, peak_t, has_limits, lower_t, upper_t, status,"
                      " coalesce(program_name, ''), coalesce(rest_bar, -1),"
                      " coalesce(program_version, 0)"
                      " FROM recordings WHERE stopped_at >= ?3";
    if (!filter.press.empty()) sql += " AND press = ?1";
    if (!filter.bearing.empty())
        sql += pattern ? " AND bearing LIKE ?2 ESCAPE '\\'" : " AND bearing = ?2 COLLATE NOCASE";
    if (filter.until != 0) sql += " AND stopped_at < ?4";
    Statement select(m_db, (sql + " ORDER BY id").c_str());
    select.Bind(1, filter.press).Bind(2, like).Bind(3, filter.from).Bind(4, filter.until);
    std::vector<MountingPoint> points;
    // A recording judged by a program was judged by its peak criterion's
    // limits: read from the program once for each of its versions.
    std::map<std::pair<std::string, int64_t>, std::pair<bool, ForceLimits>> programLimits;
    Statement programOf(m_db, "SELECT program_json FROM recordings WHERE id = ?1");
    while (select.Step() == SQLITE_ROW) {
        MountingPoint p;
        p.id = select.Int(0);
        p.uuid = select.Text(1);
        p.stoppedAt = select.Int(2);
        p.press = select.Text(3);
        p.axle = select.Text(4);
        p.side = select.Text(5);
        p.bearing = select.Text(6);
        p.result = select.Text(7);
        p.anySample = select.Int(8) > 0;
        p.peakTons = select.Real(9);
        p.hasLimits = select.Int(10) != 0;
        p.lowerTons = select.Real(11);
        p.upperTons = select.Real(12);
        p.status = StatusOf(select.Text(13));
        p.program = select.Text(14);
        p.restBar = static_cast<int>(select.Int(15));
        if (!p.program.empty() && !p.hasLimits) {
            const auto key = std::make_pair(p.program, select.Int(16));
            auto found = programLimits.find(key);
            if (found == programLimits.end()) {
                programOf.Reset();
                programOf.Bind(1, p.id);
                Program program;
                ForceLimits limits;
                const bool known = programOf.Step() == SQLITE_ROW &&
                                   ParseProgram(programOf.Text(0), program, nullptr, true) &&
                                   PeakLimitsOf(&program, nullptr, limits);
                found = programLimits.emplace(key, std::make_pair(known, limits)).first;
            }
            p.hasLimits = found->second.first;
            p.lowerTons = found->second.second.lowerTons;
            p.upperTons = found->second.second.upperTons;
        }
        points.push_back(std::move(p));
    }
    if (filter.criteria) {
        std::vector<int64_t> ids;
        for (const MountingPoint& p : points)
            if (!p.program.empty()) ids.push_back(p.id);
        std::map<int64_t, std::vector<CriterionValue>> values = CriterionValues(ids);
        for (MountingPoint& p : points) {
            auto found = values.find(p.id);
            if (found != values.end()) p.criteria = std::move(found->second);
        }
    }
    return points;
}

std::map<int64_t, std::vector<CriterionValue>>
RecordStore::CriterionValues(const std::vector<int64_t>& ids) {
    std::map<int64_t, std::vector<CriterionValue>> values;
    Statement select(m_db, "SELECT position, kind, measured, ok, text FROM criterion_values"
                           " WHERE recording_id = ?1 ORDER BY position");
    for (int64_t id : ids) {
        select.Reset();
        select.Bind(1, id);
        while (select.Step() == SQLITE_ROW)
            values[id].push_back({static_cast<int>(select.Int(0)), select.Text(1), select.Real(2),
                                  select.Int(3) != 0, select.Text(4)});
    }
    return values;
}

bool RecordStore::Load(int64_t id, Recording& r, RecordStatus* status) {
    Statement select(
        m_db, "SELECT uuid, status, armed_at, started_at, stopped_at, operator_id, axle, side,"
              " bearing, production_date, refurbishment_date, press, surface_cm2, has_limits,"
              " lower_t, upper_t, alarm_threshold_bar, record_length_s, module, version,"
              " pc_name, incomplete, start_note, journal_problem, data, csv_sha256,"
              " limits_set_at, limits_set_by, alarms, program_json, judging, clock_note,"
              " press_identity, calibration_note, rest_bar"
              " FROM recordings JOIN samples ON samples.recording_id = recordings.id"
              " WHERE id = ?1");
    select.Bind(1, id);
    if (select.Step() != SQLITE_ROW) return false;
    r = Recording();
    RecordingSetup& s = r.setup;
    s.uuid = select.Text(0);
    if (status) *status = StatusOf(select.Text(1));
    s.armedAt = select.Int(2);
    r.startedAt = select.Int(3);
    r.stoppedAt = select.Int(4);
    s.job = {select.Text(5), select.Text(6), select.Text(7),
             select.Text(8), select.Text(9), select.Text(10)};
    s.pressName = select.Text(11);
    s.surface = select.Real(12);
    s.hasLimits = select.Int(13) != 0;
    s.limits = {select.Real(14), select.Real(15)};
    s.alarmThresholdBar = static_cast<int>(select.Int(16));
    s.recordLengthSeconds = static_cast<int>(select.Int(17));
    s.moduleAddress = select.Text(18);
    s.version = select.Text(19);
    s.pcName = select.Text(20);
    r.incomplete = select.Text(21);
    r.startNote = select.Text(22);
    r.journalProblem = select.Text(23);
    r.csvSha256 = select.Text(25);
    s.limitsSetAt = select.Int(26);
    s.limitsSetBy = select.Text(27);
    UnpackAlarms(select.Text(28), r.alarms);
    if (!select.Text(29).empty()) {
        auto program = std::make_shared<Program>();
        if (ParseProgram(select.Text(29), *program, nullptr, true))
            s.program = std::move(program);
        else
            s.hasLimits = false; // never judged by the limits instead
    }
    s.judging = select.Null(30) ? 1 : static_cast<int>(select.Int(30));
    r.clockNote = select.Text(31);
    r.setup.pressIdentity = select.Text(32);
    r.setup.calibrationNote = select.Text(33);
    r.setup.restBar = select.Null(34) ? -1 : static_cast<int>(select.Int(34));
    return UnpackSamples(select.Blob(24), r);
}

std::vector<std::string> RecordStore::Presses() {
    std::vector<std::string> presses;
    Statement select(m_db, "SELECT DISTINCT press FROM recordings ORDER BY press");
    while (select.Step() == SQLITE_ROW)
        presses.push_back(select.Text(0));
    return presses;
}

bool RecordStore::InsertChange(const Change& c, std::string* why) {
    Statement insert(m_db, "INSERT INTO changes (at, who, pc_name, press, what, old_value,"
                           " new_value, reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insert.Bind(1, c.at).Bind(2, c.who).Bind(3, c.pcName).Bind(4, c.press).Bind(5, c.what);
    insert.Bind(6, c.oldValue).Bind(7, c.newValue).Bind(8, c.reason);
    if (insert.Step() != SQLITE_DONE) {
        if (why) *why = insert.Error();
        return false;
    }
    return Seal("changes", sqlite3_last_insert_rowid(m_db), why);
}

bool RecordStore::AddChange(const Change& c, std::string* why) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    if (!InsertChange(c, why) || !Exec("COMMIT", why)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

bool RecordStore::KeepAccountEntry(const Change& entry, const std::string& name,
                                   const std::string& hash, std::string* why) {
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    bool kept = true;
    if (!hash.empty()) {
        Statement put(m_db, "INSERT INTO quality_keys (name, hash) VALUES (?1, ?2)"
                            " ON CONFLICT(name) DO UPDATE SET hash = excluded.hash");
        put.Bind(1, name).Bind(2, hash);
        kept = put.Step() == SQLITE_DONE;
        if (!kept && why) *why = put.Error();
    }
    if (!kept || !InsertChange(entry, why) || !Exec("COMMIT", why)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

std::map<std::string, std::string> RecordStore::QualityKeys() {
    std::map<std::string, std::string> keys;
    Statement rows(m_db, "SELECT name, hash FROM quality_keys");
    while (rows.Step() == SQLITE_ROW)
        keys[rows.Text(0)] = rows.Text(1);
    return keys;
}

namespace {

Change ChangeOf(const Statement& s) {
    Change c;
    c.id = s.Int(0);
    c.at = s.Int(1);
    c.who = s.Text(2);
    c.pcName = s.Text(3);
    c.press = s.Text(4);
    c.what = s.Text(5);
    c.oldValue = s.Text(6);
    c.newValue = s.Text(7);
    c.reason = s.Text(8);
    return c;
}

const char* const kChangeSelect =
    "SELECT id, at, who, pc_name, press, what, old_value, new_value, reason FROM changes";

} // namespace

std::vector<Change> RecordStore::ChangesOf(const std::string& what) {
    std::vector<Change> changes;
    Statement select(m_db, (std::string(kChangeSelect) + " WHERE what = ?1 ORDER BY id").c_str());
    select.Bind(1, what);
    while (select.Step() == SQLITE_ROW)
        changes.push_back(ChangeOf(select));
    return changes;
}

std::vector<Change> RecordStore::Changes(const std::string& press, int limit) {
    std::vector<Change> changes;
    Statement select(m_db, (std::string(kChangeSelect) +
                            " WHERE ?1 = '' OR press = ?1 ORDER BY id DESC LIMIT ?2")
                               .c_str());
    select.Bind(1, press).Bind(2, int64_t(limit));
    while (select.Step() == SQLITE_ROW)
        changes.push_back(ChangeOf(select));
    return changes;
}

bool RecordStore::LastChange(const std::string& what, const std::string& press, Change* change) {
    Statement select(m_db, (std::string(kChangeSelect) +
                            " WHERE press = ?1 AND what = ?2 ORDER BY id DESC LIMIT 1")
                               .c_str());
    select.Bind(1, press).Bind(2, what);
    if (select.Step() != SQLITE_ROW) return false;
    *change = ChangeOf(select);
    return true;
}
