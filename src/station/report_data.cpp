#include "station/report_data.h"
#include "station/translate.h"

#include "records/file_access.h"
#include "station/local_time.h"
#include "records/recording.h"

#include <charconv>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

std::string FileNameSafe(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        bool refused = c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
        out.push_back(refused ? '_' : static_cast<char>(c));
    }
    // "." and ".." alone would name a directory.
    if (out == "." || out == "..") out = std::string(out.size(), '_');
    return out;
}

std::string ReportFileName(const std::string& axleUtf8, const std::string& side,
                           const std::string& stopDate) {
    // File systems take names of 255 bytes: a long axle (64 emoji are 256
    // bytes) is cut, at a character's start, so the name with a re-mount's
    // "_NNN" and a reprint's "_reprint-YYYYMMDD-HHMMSS" still fits.
    constexpr size_t kNameBytes = 255, kReprintBytes = 28;
    std::string axle = FileNameSafe(axleUtf8);
    const size_t rest = std::string("Report_Mounting_").size() + FileNameSafe(side).size() + 1 +
                        FileNameSafe(stopDate).size() + 4 + kReprintBytes;
    if (axle.size() + rest > kNameBytes) {
        size_t cut = kNameBytes > rest ? kNameBytes - rest : 0;
        while (cut > 0 && (static_cast<unsigned char>(axle[cut]) & 0xC0) == 0x80)
            --cut;
        axle.resize(cut);
    }
    return "Report_Mounting_" + axle + FileNameSafe(side) + "_" + FileNameSafe(stopDate) + ".pdf";
}

std::string ToWinAnsi(const std::wstring& text) {
    // Windows-1252 code points 0x80-0x9F.
    static const wchar_t k80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else if (c >= 0xA0 && c <= 0xFF) {
            out.push_back(static_cast<char>(static_cast<unsigned char>(c)));
        } else {
            char mapped = '?';
            for (int i = 0; i < 32; ++i)
                if (k80[i] != 0 && k80[i] == c) mapped = static_cast<char>(0x80 + i);
            out.push_back(mapped);
        }
    }
    return out;
}

std::string CsvField(const std::string& text) {
    std::string out = "\"";
    // A spreadsheet runs "=HYPERLINK(…)" typed as an axle name: shown as text.
    if (!text.empty() && std::strchr("=+-@", text[0]) != nullptr) out += '\'';
    for (char c : text) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c;
    }
    return out + "\"";
}

const char* const kCurveColumns = "time_s,force_t,pressure_bar";

std::string CsvNumber(double value) {
    char text[32];
    std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

std::string CsvFieldText(const std::string& raw) {
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return raw;
    std::string text;
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        text += raw[i];
        if (raw[i] == '"' && raw[i + 1] == '"') ++i;
    }
    // The mark that keeps a spreadsheet from running it as a formula.
    if (text.size() >= 2 && text[0] == '\'' && std::strchr("=+-@", text[1])) text.erase(0, 1);
    return text;
}

bool ReadHeaderLine(const std::string& line, std::map<std::string, std::string>& fields) {
    if (line.empty() || line[0] != '#') return false;
    const size_t comma = line.find(',');
    if (line.size() > 2 && comma != std::string::npos)
        fields[line.substr(2, comma - 2)] = CsvFieldText(line.substr(comma + 1));
    return true;
}

std::string FixedNumber(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    // No "-0.0000" for a value that rounds to zero.
    if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1)) return text + 1;
    return text;
}

std::string ReportQuestion(const JobData& job) {
    if (job.axleDesignation.empty())
        return Tr("Write the report of this recording (no axle given)?");
    return Tr("Write the report for axle ") + job.axleDesignation +
           (job.mountingSide.empty() ? "" : " " + job.mountingSide) + "?";
}

std::string AlarmText(const AlarmRecord& a, bool translated) {
    // The CSV file's words are always English; the page's are the reader's.
    auto tr = [translated](const char* english) {
        return translated ? Tr(english) : std::string(english);
    };
    const std::string from = FixedNumber(a.startSeconds, 1);
    std::string out = translated
                          ? TrFormat("above %d bar from %s s", a.thresholdBar, from.c_str())
                          : "above " + std::to_string(a.thresholdBar) + " bar from " + from + " s";
    if (a.endSeconds >= 0)
        out += tr(N_(" to ")) + FixedNumber(a.endSeconds, 1) + " s";
    else
        out += a.endedAt == 0 ? tr(N_(" to the end")) : tr(N_(" to after the end"));
    out += tr(N_(", peak ")) + std::to_string(a.peakBar) + " bar, ";
    out += a.acknowledgedAt == 0
               ? tr(N_("not acknowledged"))
               : tr(N_("acknowledged ")) + IsoDateTime(a.acknowledgedAt) + tr(N_(" by ")) +
                     (a.acknowledgedBy.empty() ? tr(N_("(no operator ID)")) : a.acknowledgedBy);
    return out;
}

namespace {

/// `english` with each of `phrases` found in it in the reader's language,
/// the first that matches at each place; the figures and names between them
/// stay as they are.
template <size_t N>
std::string InReadersWords(const std::string& english, const char* const (&phrases)[N]) {
    std::string out;
    size_t at = 0;
    while (at < english.size()) {
        bool matched = false;
        for (const char* phrase : phrases) {
            const size_t n = std::strlen(phrase);
            if (english.compare(at, n, phrase) == 0) {
                out += Tr(phrase);
                at += n;
                matched = true;
                break;
            }
        }
        if (!matched) out += english[at++];
    }
    return out;
}

} // namespace

std::string CriterionWords(const std::string& english) {
    // The judge's phrases, longest first.
    static const char* const kPhrases[] = {N_("no reading within the envelope's time"),
                                           N_("largest drop before the peak "),
                                           N_("inside the envelope"),
                                           N_("envelope not taught"),
                                           N_("nothing recorded"),
                                           N_(" of the peak)"),
                                           N_("no reading in "),
                                           N_(" taught from "),
                                           N_(" curves"),
                                           N_(", required "),
                                           N_("; required "),
                                           N_(", closest "),
                                           N_(", decay "),
                                           N_("hold decays "),
                                           N_("no hold"),
                                           N_("envelope"),
                                           N_(" above "),
                                           N_(" above"),
                                           N_(" below "),
                                           N_(" below"),
                                           N_("peak "),
                                           N_("hold "),
                                           N_("drop "),
                                           N_(" at "),
                                           N_(" in "),
                                           N_(" of "),
                                           N_(" inside")};
    return InReadersWords(english, kPhrases);
}

std::string NoteWords(const std::string& english) {
    // The phrases of the notes the program writes, longest first where one
    // begins another.
    static const char* const kPhrases[] = {
        // How a recording ended before its length.
        N_("stopped by the operator"), N_("disconnected by the operator"), N_("module lost"),
        N_("readings stopped"), N_("program closed"), N_("module flooded the link"),
        N_("pressure released"), N_(" bar left out (garbage from the module)"),
        N_(" readings beyond "), N_("recording incomplete: "),
        // How it began.
        N_(" bar, the press not seen at rest before it"), N_(" bar: the rise is not on the curve"),
        N_("started at "),
        // The PC's clock.
        N_("the PC's clock read "),
        N_(" at the start, earlier than the end of the recording before ("),
        // The journal.
        N_("its program cannot be read back ("), N_("): not judged"),
        // The press and its calibration, as the register gave them at Start.
        N_("; calibration not recorded"), N_("; Start needs a quality engineer's leave"),
        N_("; Start allowed by "), N_("CALIBRATION OVERDUE"), N_(" cm\xC2\xB2 (piston \xC3\x98 "),
        N_(", certificate "), N_("; calibrated "), N_(", surface "), N_(", serial "),
        N_("; module "), N_(", due "), N_(" since "), N_(" until "), N_(" at ")};
    return InReadersWords(english, kPhrases);
}

std::string CurveCsvText(const Recording& recording) {
    std::string out;
    const RecordingSetup& setup = recording.setup;
    const JobData& job = setup.job;
    auto field = [&out](const char* key, const std::string& text) {
        out += std::string("# ") + key + "," + CsvField(text) + "\n";
    };
    auto number = [&out](const char* key, const std::string& text) {
        out += std::string("# ") + key + "," + text + "\n";
    };
    out += "# Vemo Press Pressure Recorder " + setup.version + "\n";
    if (!setup.uuid.empty()) field("report_id", setup.uuid);
    field("operator_id", job.operatorId);
    field("axle_designation", job.axleDesignation);
    field("mounting_side", job.mountingSide);
    field("bearing_designation", job.bearingDesignation);
    field("production_date", job.productionDate);
    field("refurbishment_date", job.refurbishmentDate);
    field("press", setup.pressName);
    char surface[64];
    std::snprintf(surface, sizeof surface, "%.9g", setup.surface);
    number("surface_cm2", surface);
    if (!setup.pressIdentity.empty()) field("press_identity", setup.pressIdentity);
    if (!setup.calibrationNote.empty()) field("calibration", setup.calibrationNote);
    field("stop_date", IsoDate(recording.stoppedAt));
    field("stop_time", IsoTime(recording.stoppedAt));
    if (!recording.incomplete.empty()) field("INCOMPLETE", recording.incomplete);
    // The results, as on the page.
    const RecordingResults results = recording.Results();
    if (results.any) {
        field("recording_start", IsoDateTime(recording.startedAt));
        number("peak_force_t", FixedNumber(results.peakForceTons, kForceDecimals));
        number("peak_force_kN",
               FixedNumber(results.peakForceTons * kKiloNewtonPerTon, kKiloNewtonDecimals));
        number("peak_time_s", FixedNumber(results.peakTimeSeconds, kTimeDecimals));
        number("peak_pressure_bar", std::to_string(results.peakBar));
        number("recorded_length_s", FixedNumber(recording.LastTime(), kTimeDecimals));
    }
    field("record_length_s", std::to_string(setup.recordLengthSeconds));
    if (!recording.startNote.empty()) field("note", recording.startNote);
    if (!recording.journalProblem.empty()) field("journal", recording.journalProblem);
    if (!recording.clockNote.empty()) field("clock", recording.clockNote);
    if (setup.alarmThresholdBar > 0)
        number("alarm_threshold_bar", std::to_string(setup.alarmThresholdBar));
    for (const AlarmRecord& alarm : recording.alarms)
        field("alarm", AlarmText(alarm));
    if (!setup.moduleAddress.empty()) field("module", setup.moduleAddress);
    if (setup.program) {
        field("program", setup.program->name);
        number("program_version", std::to_string(setup.program->version));
        field("program_json", ProgramJson(*setup.program, false));
    }
    if (setup.hasLimits) {
        number("lower_limit_t", CsvNumber(setup.limits.lowerTons));
        number("upper_limit_t", CsvNumber(setup.limits.upperTons));
    }
    number("judging", std::to_string(setup.judging));
    const Judgement judgement = recording.Judged();
    if (judgement.verdict != Verdict::None) {
        for (const CriterionResult& c : judgement.criteria)
            field("criterion", (c.ok ? "OK: " : "NOK: ") + c.text);
        field("result", VerdictWord(judgement.verdict) +
                            (judgement.reason.empty() ? "" : " (" + judgement.reason + ")"));
    }
    if (setup.hasLimits && setup.limitsSetAt != 0)
        field("limits_set", IsoDateTime(setup.limitsSetAt) + " by " + setup.limitsSetBy);
    out += std::string(kCurveColumns) + "\n";
    const auto& times = recording.times;
    const auto& forces = recording.forces;
    const auto& pressures = recording.pressures;
    const size_t n = std::min(times.size(), forces.size());
    out.reserve(out.size() + n * 24);
    for (size_t i = 0; i < n; ++i) {
        out += FixedNumber(times[i], kTimeDecimals);
        out += ',';
        out += FixedNumber(forces[i], kForceDecimals);
        if (i < pressures.size())
            out += "," + std::to_string(pressures[i]) + "\n";
        else
            out += ",\n";
    }
    return out;
}

bool WriteCurveCsv(const std::string& path, const Recording& recording, std::string* error) {
    return WriteFileBytes(path, CurveCsvText(recording), error);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes, std::string* error) {
    const std::string temporary = path + ".tmp";
    FILE* out = OpenPath(temporary, "wb");
    if (out == nullptr) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() &&
              std::fflush(out) == 0 && !std::ferror(out);
    int savedErrno = errno;
    ok = (std::fclose(out) == 0) && ok;
    if (!ok) {
        if (error) *error = std::strerror(savedErrno ? savedErrno : errno);
        RemovePath(temporary);
        return false;
    }
    if (!RenameOver(temporary, path)) {
        if (error) *error = std::strerror(errno);
        RemovePath(temporary);
        return false;
    }
    return true;
}

std::string UnusedReportName(const std::string& directory, const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    const std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    std::string folder = directory;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    auto taken = [&](const std::string& name) {
        return PathExists(folder + name + ".pdf") || PathExists(folder + name + ".csv");
    };
    if (!taken(stem)) return stem + ".pdf";
    for (int k = 2; k < 1000; ++k) {
        const std::string name = stem + "_" + std::to_string(k);
        if (!taken(name)) return name + ".pdf";
    }
    return std::string();
}

bool ReadCurveCsv(const std::string& path, std::vector<double>& times,
                  std::vector<double>& forces) {
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    std::istringstream in(content);
    times.clear();
    forces.clear();
    std::string line;
    bool header = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (!header) {
            header = true; // the column names
            continue;
        }
        const char* p = line.c_str();
        char* end = nullptr;
        double t = std::strtod(p, &end);
        if (end == p || *end != ',') return false;
        double f = std::strtod(end + 1, nullptr);
        times.push_back(t);
        forces.push_back(f);
    }
    return header;
}
