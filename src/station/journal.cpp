#include "station/journal.h"

#include "records/file_access.h"
#include "station/cycle.h"
#include "station/local_time.h"
#include "station/report_data.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <sstream>
#include <cerrno>
#include <cstring>

namespace {

const char* const kEndLine = "# end,";
const char* const kStoredLine = "# stored,";

std::string JournalDirectory(const std::string& directory) {
    std::string base = directory.empty() ? "." : directory;
    if (base.back() != '/' && base.back() != '\\') base += '/';
    return base + "recordings";
}

// The first and the last bytes of a journal, read in one opening: every
// start looks at every journal, so only its ends are read.
bool ReadEnds(const std::string& path, std::string& head, std::string& tail) {
    FILE* file = OpenPath(path, "rb");
    if (file == nullptr) return false;
    head.assign(512, '\0');
    head.resize(std::fread(&head[0], 1, head.size(), file));
    tail.assign(512, '\0');
    if (std::fseek(file, -512, SEEK_END) != 0) std::rewind(file);
    tail.resize(std::fread(&tail[0], 1, tail.size(), file));
    std::fclose(file);
    return true;
}

// The lines of `text` that are whole (the first of a tail may be cut).
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The value of the "# key," line among `lines`, or "".
std::string HeaderValue(const std::vector<std::string>& lines, const std::string& key) {
    const std::string start = "# " + key + ",";
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0) return CsvFieldText(line.substr(start.size()));
    return "";
}

// Ends a sample line cut short by a crash, then appends `line`.
bool AppendToEnded(const std::string& path, const std::string& line) {
    FILE* file = OpenPath(path, "r+b");
    if (file == nullptr) return false;
    bool endsWithLineFeed = true;
    if (std::fseek(file, -1, SEEK_END) == 0) endsWithLineFeed = std::fgetc(file) == '\n';
    std::fseek(file, 0, SEEK_END);
    bool written = endsWithLineFeed || std::fputc('\n', file) != EOF;
    written = written && std::fprintf(file, "%s\n", line.c_str()) >= 0;
    written = SyncFile(file) && written;
    return std::fclose(file) == 0 && written;
}

} // namespace

RecordingJournal::~RecordingJournal() {
    if (m_file) std::fclose(m_file);
}

bool RecordingJournal::Open(const std::string& directory, const std::string& stamp,
                            const std::string& header, SteadyTime now, std::string* error) {
    if (m_file) Close("replaced");
    const std::string folder = JournalDirectory(directory);
    if (!MakeDirectory(folder)) {
        if (error) *error = folder + ": " + std::strerror(errno);
        return false;
    }
    std::string path = folder + "/" + stamp + ".csv";
    // Two recordings started within one second keep both journals.
    for (int k = 2; k < 100; ++k) {
        if (!PathExists(path)) break;
        path = folder + "/" + stamp + "-" + std::to_string(k) + ".csv";
    }
    m_file = OpenPath(path, "wb");
    if (m_file == nullptr) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    m_path = path;
    m_problem.clear();
    std::fputs(header.c_str(), m_file);
    std::fputs(kCurveColumns, m_file);
    std::fputc('\n', m_file);
    Sync();
    m_lastFlush = now;
    if (!m_problem.empty()) {
        // Not even the header reached the disk: the folder is of no use.
        if (error) *error = path + ": " + m_problem;
        std::fclose(m_file);
        m_file = nullptr;
        RemovePath(path);
        return false;
    }
    return true;
}

void RecordingJournal::Check(bool written) {
    if (!written && m_problem.empty()) m_problem = std::strerror(errno ? errno : EIO);
}

void RecordingJournal::AppendLine(const std::string& line) {
    if (!m_file) return;
    Check(std::fprintf(m_file, "%s\n", line.c_str()) >= 0);
}

void RecordingJournal::Append(double seconds, double forceTons, int bar) {
    if (!m_file) return;
    Check(std::fprintf(m_file, "%s,%s,%d\n", FixedNumber(seconds, kTimeDecimals).c_str(),
                       FixedNumber(forceTons, kForceDecimals).c_str(), bar) >= 0);
}

void RecordingJournal::FlushIfDue(SteadyTime now) {
    if (!m_file || now - m_lastFlush < std::chrono::seconds(1)) return;
    Sync();
    m_lastFlush = now;
}

void RecordingJournal::Sync() {
    errno = 0;
    Check(SyncFile(m_file));
}

void RecordingJournal::Close(const std::string& how) {
    if (!m_file) return;
    Check(std::fprintf(m_file, "%s%s\n", kEndLine, how.c_str()) >= 0);
    Sync();
    errno = 0;
    Check(std::fclose(m_file) == 0);
    m_file = nullptr;
    // Cut short by a failed write, its end line may be missing: it is kept
    // under another name, so the next start does not call it interrupted.
    if (!m_problem.empty()) {
        const std::string cut = m_path.substr(0, m_path.size() - 4) + ".cut";
        if (RenameOver(m_path, cut)) m_path = cut;
    }
}

void RecordingJournal::Discard() {
    if (!m_file) return;
    std::fclose(m_file);
    m_file = nullptr;
    RemovePath(m_path);
}

std::vector<JournalFile> FindJournals(const std::string& directory) {
    std::vector<JournalFile> found;
    const std::string folder = JournalDirectory(directory);
    for (const std::string& name : ListDirectory(folder)) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".csv") != 0) continue;
        JournalFile journal;
        journal.path = folder + "/" + name;
        std::string head, tail;
        if (!ReadEnds(journal.path, head, tail)) continue;
        const std::vector<std::string> first = LinesOf(head), last = LinesOf(tail);
        journal.uuid = HeaderValue(first, "uuid");
        // One of a version without identities gets its own at the end.
        if (journal.uuid.empty()) journal.uuid = HeaderValue(last, "uuid");
        // ... "# stopped_s," (whole), "# end,", then "# stored," once kept.
        size_t end = last.size();
        journal.stored = end > 0 && last[end - 1].rfind(kStoredLine, 0) == 0;
        if (journal.stored) --end;
        journal.ended = end > 0 && last[end - 1].rfind(kEndLine, 0) == 0;
        journal.whole = journal.ended && end >= 2 && last[end - 2].rfind("# stopped_s,", 0) == 0;
        found.push_back(std::move(journal));
    }
    std::sort(found.begin(), found.end(),
              [](const JournalFile& a, const JournalFile& b) { return a.path < b.path; });
    return found;
}

std::vector<std::string> FindInterruptedJournals(const std::string& directory) {
    std::vector<std::string> found;
    for (const JournalFile& journal : FindJournals(directory))
        if (!journal.ended) found.push_back(journal.path);
    return found;
}

bool JournalHasRecording(const std::string& path) {
    std::string content;
    return ReadWholeFile(path, content) &&
           content.find("\n# recording_start,") != std::string::npos;
}

bool MarkJournalInterrupted(const std::string& path) {
    return AppendToEnded(path, std::string(kEndLine) + "interrupted");
}

bool MarkJournalStored(const std::string& path, int64_t at) {
    return AppendToEnded(path, kStoredLine + IsoDateTime(at));
}

bool AddJournalIdentity(const std::string& path, const std::string& uuid) {
    return AppendToEnded(path, "# uuid," + uuid);
}

std::string JournalStartText(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    if (name.size() < 15 || name[8] != '-') return "";
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12})
        if (name[i] < '0' || name[i] > '9') return "";
    return name.substr(6, 2) + "." + name.substr(4, 2) + "." + name.substr(0, 4) + " " +
           name.substr(9, 2) + ":" + name.substr(11, 2);
}

std::string JournalHeader(const RecordingSetup& setup) {
    std::string header = "# Vemo Press Pressure Recorder journal\n";
    auto line = [&header](const char* key, const std::string& value) {
        header += std::string("# ") + key + "," + CsvField(value) + "\n";
    };
    auto number = [&header](const char* key, const std::string& value) {
        header += std::string("# ") + key + "," + value + "\n";
    };
    line("uuid", setup.uuid);
    line("armed", IsoDateTime(setup.armedAt));
    number("armed_s", std::to_string(setup.armedAt));
    line("operator_id", setup.job.operatorId);
    line("axle_designation", setup.job.axleDesignation);
    line("mounting_side", setup.job.mountingSide);
    line("bearing_designation", setup.job.bearingDesignation);
    line("production_date", setup.job.productionDate);
    line("refurbishment_date", setup.job.refurbishmentDate);
    line("press", setup.pressName);
    number("surface_cm2", CsvNumber(setup.surface));
    if (setup.hasLimits) {
        number("lower_limit_t", CsvNumber(setup.limits.lowerTons));
        number("upper_limit_t", CsvNumber(setup.limits.upperTons));
        number("limits_set_s", std::to_string(setup.limitsSetAt));
        line("limits_set_by", setup.limitsSetBy);
    }
    number("alarm_threshold_bar", std::to_string(setup.alarmThresholdBar));
    number("record_length_s", std::to_string(setup.recordLengthSeconds));
    line("module", setup.moduleAddress);
    line("version", setup.version);
    line("pc_name", setup.pcName);
    if (!setup.pressIdentity.empty()) line("press_identity", setup.pressIdentity);
    if (!setup.calibrationNote.empty()) line("calibration", setup.calibrationNote);
    if (setup.restBar >= 0) number("rest_bar", std::to_string(setup.restBar));
    if (setup.program) line("program", ProgramJson(*setup.program, false));
    number("judging", std::to_string(setup.judging));
    return header;
}

std::string JournalKeptLines(const Recording& r) {
    std::string lines;
    if (!r.incomplete.empty()) lines += "# incomplete," + CsvField(r.incomplete) + "\n";
    if (!r.startNote.empty()) lines += "# start_note," + CsvField(r.startNote) + "\n";
    if (!r.clockNote.empty()) lines += "# clock_note," + CsvField(r.clockNote) + "\n";
    const std::string alarms = PackAlarms(r.alarms);
    for (size_t at = 0, end; (end = alarms.find('\n', at)) != std::string::npos; at = end + 1)
        lines += "# alarm," + CsvField(alarms.substr(at, end - at)) + "\n";
    // Last before the end line: it tells that the lines above are there.
    return lines + "# stopped_s," + std::to_string(r.stoppedAt);
}

std::string JournalStartLine(int64_t startedAt) {
    return "# recording_start," + IsoDateTime(startedAt) + "\n# recording_start_s," +
           std::to_string(startedAt);
}

namespace {

double Number(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

bool ReadJournal(const std::string& path, Recording& r) {
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    r = Recording();
    std::map<std::string, std::string> fields;
    std::istringstream in(content);
    std::string line;
    bool columns = false;
    std::string alarms;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("# alarm,", 0) == 0) {
            alarms += CsvFieldText(line.substr(8)) + "\n";
            continue;
        }
        if (ReadHeaderLine(line, fields)) continue;
        if (line == kCurveColumns) {
            columns = true;
            continue;
        }
        if (!columns || line.empty()) continue;
        // A sample line cut short by the crash is left out.
        const size_t a = line.find(','), b = line.find(',', a + 1);
        if (a == std::string::npos || b == std::string::npos || b + 1 >= line.size()) continue;
        r.times.push_back(Number(line.substr(0, a)));
        r.forces.push_back(Number(line.substr(a + 1, b - a - 1)));
        r.pressures.push_back(static_cast<int>(Number(line.substr(b + 1))));
    }
    if (!columns) return false;
    RecordingSetup& s = r.setup;
    s.uuid = fields["uuid"];
    s.armedAt = static_cast<int64_t>(Number(fields["armed_s"]));
    s.job = {fields["operator_id"],     fields["axle_designation"],
             fields["mounting_side"],   fields["bearing_designation"],
             fields["production_date"], fields["refurbishment_date"]};
    s.pressName = fields["press"];
    s.surface = Number(fields["surface_cm2"]);
    s.hasLimits = fields.count("upper_limit_t") > 0;
    s.limits = {Number(fields["lower_limit_t"]), Number(fields["upper_limit_t"])};
    s.limitsSetAt = static_cast<int64_t>(Number(fields["limits_set_s"]));
    s.limitsSetBy = fields["limits_set_by"];
    s.alarmThresholdBar = static_cast<int>(Number(fields["alarm_threshold_bar"]));
    s.recordLengthSeconds = static_cast<int>(Number(fields["record_length_s"]));
    s.moduleAddress = fields["module"];
    s.version = fields["version"];
    s.pcName = fields["pc_name"];
    s.pressIdentity = fields["press_identity"];
    s.calibrationNote = fields["calibration"];
    if (!fields["rest_bar"].empty()) s.restBar = static_cast<int>(Number(fields["rest_bar"]));
    if (!fields["program"].empty()) {
        auto program = std::make_shared<Program>();
        std::string fault;
        if (ParseProgram(fields["program"], *program, &fault, true)) {
            s.program = std::move(program);
        } else {
            // Never judged by the press's limits instead: no verdict at all.
            s.hasLimits = false;
            r.journalProblem = "its program cannot be read back (" + fault + "): not judged";
        }
    }
    // Journals from before the rules were numbered were judged by the first.
    s.judging = fields.count("judging") ? static_cast<int>(Number(fields["judging"])) : 1;
    // The forces as the recording computed them, not as rounded in the file.
    if (s.surface > 0)
        for (size_t i = 0; i < r.forces.size(); ++i)
            r.forces[i] = ForceTons(r.pressures[i], s.surface);
    r.startedAt = static_cast<int64_t>(Number(fields["recording_start_s"]));
    r.stoppedAt = r.startedAt + static_cast<int64_t>(r.LastTime());
    if (fields.count("stopped_s")) {
        r.stoppedAt = static_cast<int64_t>(Number(fields["stopped_s"]));
        r.incomplete = fields["incomplete"];
        r.startNote = fields["start_note"];
        r.clockNote = fields["clock_note"];
        if (!UnpackAlarms(alarms, r.alarms)) r.alarms.clear();
    }
    return true;
}
