// What the mounting report needs without any window: the report's file name,
// the conversion of typed texts into the encoding of the PDF's standard font,
// and the CSV file of the recorded curve kept beside each report.
#pragma once

#include "records/recording.h"

#include <map>
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

/// The column line of a curve CSV file and of a recording's journal.
extern const char* const kCurveColumns;

/// The shortest text that reads back to the same double ("0.075").
std::string CsvNumber(double value);
/// The value at the resolution it has: `decimals` places ("455.1444").
std::string FixedNumber(double value, int decimals);
/// Decimals of the values written: times to the millisecond, forces to
/// 0.0001 t, forces in kN to 0.001 kN.
constexpr int kTimeDecimals = 3, kForceDecimals = 4, kKiloNewtonDecimals = 3;

/// A text field of the CSV file: quoted, and with a leading "'" when a
/// spreadsheet would take it for a formula ("=", "+", "-", "@").
std::string CsvField(const std::string& text);
/// The text a CsvField wrote, read back (an unquoted field as it stands).
std::string CsvFieldText(const std::string& field);
/// A "#" line of a curve CSV file or a journal: true, with "# key,value"
/// put into `fields` as key and text.
bool ReadHeaderLine(const std::string& line, std::map<std::string, std::string>& fields);

/// The question at the end of a recording: "Write the report for axle 4711 A?".
std::string ReportQuestion(const JobData& job);

/// One alarm in words, as the page and the CSV file give it: "above 300 bar
/// from 12.3 s to 18.0 s, peak 320 bar, acknowledged 2026-12-09 10:41:20 by OP7".
std::string AlarmText(const AlarmRecord& alarm, bool translated = false);
/// A criterion's finding as the judge words it ("peak 440.0 t above
/// 420.0 t"), its phrases in the reader's language, for the page; the CSV
/// file keeps the judge's own words.
std::string CriterionWords(const std::string& english);
/// A note the program wrote with a recording (how it ended or began, the
/// clock, the press's identity and calibration), its phrases in the reader's
/// language, for the page; the CSV file and the store keep it as written.
std::string NoteWords(const std::string& english);

/// The recording as its CSV file holds it, byte for byte.
std::string CurveCsvText(const Recording& recording);

/// Writes the bytes through a temporary file renamed into place; false with
/// `error` set when that fails.
bool WriteFileBytes(const std::string& path, const std::string& bytes, std::string* error);

/// Writes the recording as CSV (header lines starting with "#", then
/// "time_s,force_t,pressure_bar" rows). Written to a temporary file that is
/// renamed into place; false with `error` set when that fails.
bool WriteCurveCsv(const std::string& path, const Recording& recording, std::string* error);

/// The name a new report takes in `directory`: `fileName` ("…_20261208.pdf")
/// while neither it nor its CSV file is there, else the first free one of
/// "…_20261208_2.pdf", "…_3.pdf", … , so that a re-mount of the same axle
/// side on the same day never takes an earlier report's name. "" when a
/// thousand are taken.
std::string UnusedReportName(const std::string& directory, const std::string& fileName);

/// Reads back the samples of a curve CSV file.
bool ReadCurveCsv(const std::string& path, std::vector<double>& times, std::vector<double>& forces);
