// What ties a report to its data: the SHA-256 of the CSV file, the report
// number the page shows, the mark the page carries for a later check, and the
// text of the code printed on it. The hashes are libsodium's.
#pragma once

#include <string>

/// Makes the hash library ready; false when it cannot be used.
bool InitIntegrity();

/// SHA-256 of the bytes, 64 lowercase hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

/// The report number the page shows: the first twelve digits of the
/// recording's identity in groups of four, "3F2A-9C1E-77B0".
std::string ReportNumber(const std::string& uuid);

/// The mark a page carries in its metadata: "report-id=<uuid> csv-sha256=<hash>".
std::string ReportMark(const std::string& uuid, const std::string& csvSha256);
/// The identity and CSV hash read back from a page's bytes; false when the
/// page carries no mark (not a report of this program, or an older one).
bool FindReportMark(const std::string& pdfBytes, std::string* uuid, std::string* csvSha256);

/// The text of the code on the page, in the characters a QR code packs
/// tightest: "VEMO:<UUID>:<SHA-256>", upper case.
std::string ReportCodeText(const std::string& uuid, const std::string& csvSha256);
