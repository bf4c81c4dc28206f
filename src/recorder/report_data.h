// What the mounting report needs without any window: the report's file name,
// the conversion of typed texts into the encoding of the PDF's standard font,
// and the CSV file of the recorded curve kept beside each report.
#pragma once

#include <string>
#include <vector>

/// The axle designation as it may stand in a file name: characters a file
/// system refuses (directory separators among them) become "_".
std::string FileNameSafe(const std::string& utf8);

/// "Report_Mounting_" + axle + side + "_" + stopDate + ".pdf", the axle made
/// safe for a file name.
std::string ReportFileName(const std::string& axleUtf8, const std::string& side,
                           const std::string& stopDate);

/// The text in WinAnsiEncoding (Windows-1252), which the standard Helvetica
/// font of a PDF shows; a character it cannot show becomes "?".
std::string ToWinAnsi(const std::wstring& text);

/// The job data written into the report and its CSV file.
struct JobRecord {
    std::string operatorId, axleDesignation, mountingSide, bearingDesignation, productionDate,
        refurbishmentDate; ///< UTF-8 as typed
    std::string pressName;
    double surface = 0;
    std::string stopDate, stopTime, version;
    std::string incomplete;     ///< how a recording that ended early ended, or ""
    std::string recordingStart; ///< local date and time, "" when nothing was recorded
    std::string recordLength;   ///< the set record length (s), as typed
    std::string startNote;      ///< "started at 380 bar: …", or ""
    bool hasLimits = false;     ///< the press had force limits
    double lowerLimitTons = 0, upperLimitTons = 0;
    std::string result; ///< "PASS" or "FAIL (…)" with limits, else ""
};

/// The column line of a curve CSV file and of a recording's journal.
extern const char* const kCurveColumns;

/// The shortest text that reads back to the same double ("0.075").
std::string CsvNumber(double value);

/// Writes the curve as CSV (header lines starting with "#", then
/// "time_s,force_t" rows at full precision). Written to a temporary file that
/// is renamed into place; false with `error` set when that fails.
bool WriteCurveCsv(const std::string& path, const JobRecord& job, const std::vector<double>& times,
                   const std::vector<double>& forces, const std::vector<int>& pressures,
                   std::string* error);

/// Reads back the samples of a curve CSV file.
/// What a quality engineer reads off a recording: its peak force and when it
/// was reached, and its peak pressure.
struct RecordingResults {
    bool any = false;
    double peakForceTons = 0;
    double peakTimeSeconds = 0;
    int peakBar = 0;
};
RecordingResults Summarise(const std::vector<double>& times, const std::vector<double>& forces,
                           const std::vector<int>& pressures);

constexpr double kKiloNewtonPerTon = 9.80665;

/// Before a report is written over an earlier one of the same name: moves each
/// of `paths` that exists into the folder `replaced` beside it, with `stamp`
/// (the time of the move) added to its name, so nothing is lost. False, with
/// the reason, when one cannot be moved; then the report is not written.
bool MoveReplacedAside(const std::vector<std::string>& paths, const std::string& stamp,
                       std::string* error);

bool ReadCurveCsv(const std::string& path, std::vector<double>& times, std::vector<double>& forces);
