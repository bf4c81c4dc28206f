#include "recorder/report_data.h"

#include "recorder/file_access.h"

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
    return "Report_Mounting_" + FileNameSafe(axleUtf8) + FileNameSafe(side) + "_" +
           FileNameSafe(stopDate) + ".pdf";
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

namespace {

std::string CsvField(const std::string& text) {
    std::string out = "\"";
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

} // namespace

const char* const kCurveColumns = "time_s,force_t,pressure_bar";

std::string CsvNumber(double value) {
    char text[32];
    std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

bool WriteCurveCsv(const std::string& path, const JobRecord& job, const std::vector<double>& times,
                   const std::vector<double>& forces, const std::vector<int>& pressures,
                   std::string* error) {
    const std::string temporary = path + ".tmp";
    FILE* out = OpenPath(temporary, "wb");
    if (out == nullptr) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    std::fprintf(out, "# Vemo Press Pressure Recorder %s\n", job.version.c_str());
    std::fprintf(out, "# operator_id,%s\n", CsvField(job.operatorId).c_str());
    std::fprintf(out, "# axle_designation,%s\n", CsvField(job.axleDesignation).c_str());
    std::fprintf(out, "# mounting_side,%s\n", CsvField(job.mountingSide).c_str());
    std::fprintf(out, "# bearing_designation,%s\n", CsvField(job.bearingDesignation).c_str());
    std::fprintf(out, "# production_date,%s\n", CsvField(job.productionDate).c_str());
    std::fprintf(out, "# refurbishment_date,%s\n", CsvField(job.refurbishmentDate).c_str());
    std::fprintf(out, "# press,%s\n", CsvField(job.pressName).c_str());
    std::fprintf(out, "# surface_cm2,%.9g\n", job.surface);
    std::fprintf(out, "# stop_date,%s\n", CsvField(job.stopDate).c_str());
    std::fprintf(out, "# stop_time,%s\n", CsvField(job.stopTime).c_str());
    if (!job.incomplete.empty())
        std::fprintf(out, "# INCOMPLETE,%s\n", CsvField(job.incomplete).c_str());
    // The results, as on the page.
    const RecordingResults results = Summarise(times, forces, pressures);
    if (results.any) {
        std::fprintf(out, "# recording_start,%s\n", CsvField(job.recordingStart).c_str());
        std::fprintf(out, "# peak_force_t,%s\n", CsvNumber(results.peakForceTons).c_str());
        std::fprintf(out, "# peak_force_kN,%s\n",
                     CsvNumber(results.peakForceTons * kKiloNewtonPerTon).c_str());
        std::fprintf(out, "# peak_time_s,%s\n", CsvNumber(results.peakTimeSeconds).c_str());
        std::fprintf(out, "# peak_pressure_bar,%d\n", results.peakBar);
        std::fprintf(out, "# recorded_length_s,%s\n", CsvNumber(times.back()).c_str());
    }
    std::fprintf(out, "# record_length_s,%s\n", CsvField(job.recordLength).c_str());
    if (!job.startNote.empty()) std::fprintf(out, "# note,%s\n", CsvField(job.startNote).c_str());
    if (job.hasLimits) {
        std::fprintf(out, "# lower_limit_t,%s\n", CsvNumber(job.lowerLimitTons).c_str());
        std::fprintf(out, "# upper_limit_t,%s\n", CsvNumber(job.upperLimitTons).c_str());
        std::fprintf(out, "# result,%s\n", CsvField(job.result).c_str());
    }
    std::fprintf(out, "%s\n", kCurveColumns);
    const size_t n = std::min(times.size(), forces.size());
    for (size_t i = 0; i < n; ++i) {
        std::fprintf(out, "%s,%s", CsvNumber(times[i]).c_str(), CsvNumber(forces[i]).c_str());
        if (i < pressures.size())
            std::fprintf(out, ",%d\n", pressures[i]);
        else
            std::fputs(",\n", out);
    }
    bool ok = std::fflush(out) == 0 && !std::ferror(out);
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

RecordingResults Summarise(const std::vector<double>& times, const std::vector<double>& forces,
                           const std::vector<int>& pressures) {
    RecordingResults r;
    const size_t n = std::min(times.size(), forces.size());
    for (size_t i = 0; i < n; ++i)
        if (!r.any || forces[i] > r.peakForceTons) {
            r.any = true;
            r.peakForceTons = forces[i];
            r.peakTimeSeconds = times[i]; // the first time the peak was reached
        }
    for (size_t i = 0; i < pressures.size(); ++i)
        r.peakBar = i == 0 ? pressures[i] : std::max(r.peakBar, pressures[i]);
    return r;
}

bool MoveReplacedAside(const std::vector<std::string>& paths, const std::string& stamp,
                       std::string* error) {
    for (const std::string& path : paths) {
        if (!PathExists(path)) continue;
        const size_t slash = path.find_last_of("/\\");
        const std::string folder =
            (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/replaced";
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const size_t dot = name.find_last_of('.');
        const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
        const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
        if (!MakeDirectory(folder)) {
            if (error) *error = folder + " cannot be made (" + std::strerror(errno) + ")";
            return false;
        }
        std::string target = folder + "/" + stem + "_replaced-" + stamp + extension;
        for (int k = 2; PathExists(target) && k < 100; ++k)
            target =
                folder + "/" + stem + "_replaced-" + stamp + "-" + std::to_string(k) + extension;
        if (PathExists(target) || !RenameOver(path, target)) {
            if (error)
                *error = path + " cannot be moved to " + folder + " (" + std::strerror(errno) + ")";
            return false;
        }
    }
    return true;
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
