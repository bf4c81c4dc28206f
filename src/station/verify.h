// `vemo-recorder --verify FILE` and `--verify-store`: whether a report's page,
// its CSV file and the record store still agree, and whether the store's
// chains are whole. Each answers in one line; no window.
#pragma once

#include <string>

struct Recording;
struct RecordSummary;

struct VerifyOutcome {
    /// 0: all agree; 1: something was changed (the line says what); 2: the
    /// file or the store cannot be read, or the file is no report.
    int exitCode = 2;
    std::string line;
};

/// Checks a report page (PDF) or CSV file against the other and the store;
/// with a plant server (a libpq connection string), also against the copy
/// of the recording and the seals of the pages the server received.
VerifyOutcome VerifyReportFile(const std::string& path, const std::string& storePath,
                               const std::string& plantServer = "");

/// Walks the store's chains of recordings, changes and pages; with a plant
/// server (a libpq connection string), also checks the store against the
/// seals the server received from each of this store's PCs: a recording,
/// trail entry or page it has that the store lost, or one whose seal differs.
VerifyOutcome VerifyStore(const std::string& storePath, const std::string& plantServer = "");

/// What differs between a recording as the plant server gave it and its own
/// CSV hash, and the list's `row` of it (peak and result) when given: "" when
/// they agree; else what was changed on the server after the recording
/// arrived, in words.
std::string PlantCopyProblem(const Recording& loaded, const RecordSummary* row = nullptr);
