#include "station/report_import.h"

#include "records/integrity.h"

#include "station/cycle.h"
#include "records/file_access.h"
#include "station/local_time.h"
#include "station/report_data.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

namespace {

bool Number(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

namespace {

/// The header lines and samples of a curve file's `content`.
bool ReadCurve(const std::string& content, Recording& r, std::map<std::string, std::string>& fields,
               std::string* why) {
    r = Recording();
    std::istringstream in(content);
    std::string line;
    bool columns = false;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (ReadHeaderLine(line, fields)) continue;
        if (!columns) {
            if (line.rfind("time_s,force_t", 0) != 0) {
                if (why) *why = "no \"time_s,force_t\" column line";
                return false;
            }
            columns = true;
            continue;
        }
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');)
            cells.push_back(cell);
        double t = 0, f = 0, bar = 0;
        if (cells.size() < 2 || !Number(cells[0], t) || !Number(cells[1], f)) {
            if (why) *why = "line " + std::to_string(number) + " is not a sample";
            return false;
        }
        r.times.push_back(t);
        r.forces.push_back(f);
        r.pressures.push_back(
            cells.size() > 2 && Number(cells[2], bar) ? static_cast<int>(std::lround(bar)) : -1);
    }
    if (r.times.empty()) {
        if (why) *why = "no samples";
        return false;
    }

    RecordingSetup& s = r.setup;
    s.job = {fields["operator_id"],     fields["axle_designation"],
             fields["mounting_side"],   fields["bearing_designation"],
             fields["production_date"], fields["refurbishment_date"]};
    s.pressName = fields["press"];
    Number(fields["surface_cm2"], s.surface);
    double limit = 0;
    if (Number(fields["lower_limit_t"], limit)) {
        s.hasLimits = true;
        s.limits.lowerTons = limit;
        Number(fields["upper_limit_t"], s.limits.upperTons);
    }
    double number = 0;
    if (Number(fields["record_length_s"], number)) s.recordLengthSeconds = static_cast<int>(number);
    if (Number(fields["alarm_threshold_bar"], number))
        s.alarmThresholdBar = static_cast<int>(number);
    s.moduleAddress = fields["module"];
    r.incomplete = fields["INCOMPLETE"];
    r.startNote = fields["note"];
    r.journalProblem = fields["journal"];
    r.clockNote = fields["clock"];
    s.pressIdentity = fields["press_identity"];
    s.calibrationNote = fields["calibration"];
    s.uuid = fields["report_id"];
    // The program it was judged by, and by which rules; none before there were.
    if (!fields["program_json"].empty()) {
        auto program = std::make_shared<Program>();
        std::string fault;
        if (!ParseProgram(fields["program_json"], *program, &fault, true)) {
            if (why) *why = "its program cannot be read: " + fault;
            return false;
        }
        s.program = std::move(program);
    }
    s.judging = fields.count("judging") ? std::atoi(fields["judging"].c_str()) : 1;
    // Files without pressures: from the force and the press's surface.
    for (size_t i = 0; i < r.pressures.size(); ++i)
        if (r.pressures[i] < 0)
            r.pressures[i] =
                s.surface > 0 ? static_cast<int>(std::lround(r.forces[i] / ForceTons(1, s.surface)))
                              : 0;
    return true;
}

bool ReadContent(const std::string& path, std::string& content, std::string* why) {
    // Never more than a recording can be: a huge file is refused unread.
    if (FILE* file = OpenPath(path, "rb")) {
        const bool huge =
            std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) > kMaxReportFileBytes;
        std::fclose(file);
        if (huge) {
            if (why) *why = "larger than a recording can be (over 16 MB)";
            return false;
        }
    }
    if (ReadWholeFile(path, content)) return true;
    if (why) *why = "cannot be read";
    return false;
}

// The number of characters of UTF-8 `text`.
size_t Characters(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

bool ReadCurveFile(const std::string& path, Recording& r, std::string* why) {
    std::string content;
    std::map<std::string, std::string> fields;
    return ReadContent(path, content, why) && ReadCurve(content, r, fields, why);
}

bool ReadReportCsv(const std::string& path, Recording& r, std::string* why) {
    std::string content;
    std::map<std::string, std::string> fields;
    if (!ReadContent(path, content, why) || !ReadCurve(content, r, fields, why)) return false;
    RecordingSetup& s = r.setup;

    // The stop: from the header, else from the file name's date.
    const std::string name = BaseName(path);
    int64_t stopped = 0;
    if (!ParseLocalDateTime(fields["stop_date"], fields["stop_time"], stopped)) {
        // Report_Mounting_<axle><side>_<YYYYMMDD>.csv
        const size_t underscore = name.find_last_of('_');
        const size_t dot = name.find_last_of('.');
        if (underscore == std::string::npos || dot == std::string::npos || dot < underscore ||
            !ParseLocalDateTime(name.substr(underscore + 1, dot - underscore - 1), "", stopped)) {
            if (why) *why = "no date in the file or its name";
            return false;
        }
        if (s.job.axleDesignation.empty()) {
            const std::string prefix = "Report_Mounting_";
            if (name.rfind(prefix, 0) == 0 && underscore > prefix.size()) {
                const std::string axleSide = name.substr(prefix.size(), underscore - prefix.size());
                s.job.axleDesignation = axleSide.substr(0, axleSide.size() - 1);
                s.job.mountingSide = axleSide.substr(axleSide.size() - 1);
            }
        }
    }
    r.stoppedAt = stopped;
    if (!ParseLocalDateTime(fields["recording_start"], "", r.startedAt))
        r.startedAt = stopped - static_cast<int64_t>(r.LastTime());
    s.armedAt = r.startedAt;
    const std::string version = content.rfind("# Vemo Press Pressure Recorder ", 0) == 0
                                    ? content.substr(31, content.find('\n') - 31)
                                    : "";
    s.version = version.empty() ? "imported" : version + " (imported)";
    // The same file gives the same identity, so a second import adds nothing.
    // A file that names its recording keeps that identity.
    s.uuid = !fields["report_id"].empty()
                 ? fields["report_id"]
                 : "import:" + name + ":" + IsoDateTime(stopped) + ":" +
                       std::to_string(r.times.size()) + ":" +
                       FixedNumber(r.Results().peakForceTons, kForceDecimals);
    // The file as it was read is the recording's CSV.
    r.csvSha256 = Sha256Hex(content);
    return true;
}

bool PlausibleRecording(const Recording& r, std::string* why) {
    auto fault = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    const RecordingSetup& s = r.setup;
    const std::pair<const char*, const std::string*> fields[] = {
        {"operator ID", &s.job.operatorId},
        {"axle designation", &s.job.axleDesignation},
        {"mounting side", &s.job.mountingSide},
        {"bearing designation", &s.job.bearingDesignation},
        {"production date", &s.job.productionDate},
        {"refurbishment date", &s.job.refurbishmentDate},
        {"press", &s.pressName}};
    for (const auto& [name, value] : fields) {
        if (Characters(*value) > static_cast<size_t>(kJobFieldMaxLength))
            return fault(std::string("its ") + name + " is longer than " +
                         std::to_string(kJobFieldMaxLength) + " characters");
        if (std::any_of(value->begin(), value->end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            return fault(std::string("its ") + name + " holds control characters");
    }
    for (const std::string* line : {&s.pressIdentity, &s.calibrationNote})
        if (line->size() > 1000 || std::any_of(line->begin(), line->end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20;
            }))
            return fault("its press identity or calibration note is longer than 1000 bytes or "
                         "holds control characters");
    // Files from before the header lines have no surface and no record
    // length: what they do not say is not checked against.
    if (s.surface != 0 &&
        !(std::isfinite(s.surface) && s.surface > 0 && s.surface <= kMaxSurfaceCm2))
        return fault("its surface is not one of a press (0 to 100000 cm\xC2\xB2)");
    std::string reason;
    if (s.hasLimits && !ValidLimits(s.limits, &reason)) return fault("its limits: " + reason);
    if (s.recordLengthSeconds < 0 || s.recordLengthSeconds > 999)
        return fault("its record length is not 1 to 999 s");
    const size_t n = r.times.size();
    if (n == 0 || n > kMaxSamples) return fault("it has no samples, or more than 200000");
    if (r.forces.size() != n || r.pressures.size() != n)
        return fault("its columns are not of one length");
    // The last sample is the first reading at or past the length.
    const double longest = (s.recordLengthSeconds > 0 ? s.recordLengthSeconds : 999) + 5.0;
    const double largest = ForceTons(kMaxPlausibleBar, s.surface > 0 ? s.surface : kMaxSurfaceCm2);
    for (size_t i = 0; i < n; ++i) {
        const std::string sample = " (sample " + std::to_string(i + 1) + ")";
        const double t = r.times[i];
        if (!(t >= 0 && t <= longest) || (i > 0 && t < r.times[i - 1]))
            return fault("its sample times do not run from 0 within the record length" + sample);
        if (r.pressures[i] > kMaxPlausibleBar || r.pressures[i] < -kMaxPlausibleBar ||
            !(std::abs(r.forces[i]) <= largest))
            return fault("a pressure beyond " + std::to_string(kMaxPlausibleBar) +
                         " bar, no press's" + sample);
        // A file's forces are rounded to 0.0001 t.
        if (s.surface > 0 && !(std::abs(r.forces[i] - ForceTons(r.pressures[i], s.surface)) <=
                               ForceTons(1, s.surface) / 2 + 1e-4))
            return fault("its force is not its pressure on the surface" + sample);
    }
    // Judged as whole, it reached its length or the press let go.
    if (r.incomplete.empty() && (s.hasLimits || s.program)) {
        int peak = 0;
        for (int bar : r.pressures)
            peak = std::max(peak, bar);
        const int last = r.pressures.back();
        const bool released = last <= 4 || last * 10 <= peak;
        const bool reached = s.recordLengthSeconds > 0 && r.times.back() >= s.recordLengthSeconds;
        if (!reached && !released)
            return fault("its curve ends at " + FixedNumber(r.times.back(), 1) +
                         " s under pressure, before its record length, and it is not marked "
                         "INCOMPLETE");
    }
    return true;
}

std::string ImportOutcome::Summary() const {
    std::string text = std::to_string(read) + (read == 1 ? " report" : " reports") + " read, " +
                       std::to_string(already) + " already in the store, " +
                       std::to_string(skipped.size()) + " skipped";
    if (!failure.empty()) text += "; the store could not be written: " + failure;
    text += skipped.empty() ? "." : ":";
    for (const auto& [name, why] : skipped)
        text += "\n  " + name + ": " + why;
    return text;
}

ImportOutcome ImportReports(const std::string& directory, RecordStore& store,
                            const std::string& pcName) {
    ImportOutcome outcome;
    std::vector<std::string> names = ListDirectory(directory);
    std::sort(names.begin(), names.end());
    // Kept oldest first, so the history's order of keeping is their order of
    // making: each file is read once for its date, and again to be kept.
    std::vector<std::pair<int64_t, std::string>> dated;
    for (const std::string& name : names) {
        if (name.rfind("Report_Mounting_", 0) != 0 || name.size() < 4 ||
            name.compare(name.size() - 4, 4, ".csv") != 0)
            continue;
        Recording recording;
        std::string why;
        if (!ReadReportCsv(directory + "/" + name, recording, &why) ||
            !PlausibleRecording(recording, &why)) {
            outcome.skipped.emplace_back(name, why);
            continue;
        }
        dated.emplace_back(recording.stoppedAt, name);
    }
    std::stable_sort(dated.begin(), dated.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [stoppedAt, name] : dated) {
        Recording recording;
        std::string why;
        if (!ReadReportCsv(directory + "/" + name, recording, &why) ||
            !PlausibleRecording(recording, &why)) {
            outcome.skipped.emplace_back(name, why); // changed meanwhile
            continue;
        }
        recording.setup.pcName = pcName;
        if (store.Contains(recording.setup.uuid)) {
            ++outcome.already;
            continue;
        }
        const RecordStatus status =
            recording.incomplete.empty() ? RecordStatus::Complete : RecordStatus::Incomplete;
        if (!store.Add(recording, status, nullptr, &why)) {
            outcome.failure = why;
            break;
        }
        ++outcome.read;
    }
    return outcome;
}
