// The journal of a running recording: every sample is written, as it comes,
// to recordings/<start, local time, YYYYMMDD-HHMMSS>.csv in the report
// directory, and flushed to disk at least once a second, so a crash or a power
// cut loses at most the last second. A journal ends with a line that gives how
// the recording ended; one without it was interrupted, and the next start of
// the program finds it.
#pragma once

#include "link/link.h"

#include <cstdio>
#include <string>
#include <vector>

class RecordingJournal {
  public:
    RecordingJournal() = default;
    ~RecordingJournal();
    RecordingJournal(const RecordingJournal&) = delete;
    RecordingJournal& operator=(const RecordingJournal&) = delete;

    /// Creates `directory`/recordings/`stamp`.csv with the `header` lines
    /// (each begins with "#") and the column line. False, with `error`, when
    /// it cannot be written.
    bool Open(const std::string& directory, const std::string& stamp, const std::string& header,
              SteadyTime now, std::string* error);
    void Append(double seconds, double forceTons, int bar);
    /// Writes what is buffered through to the disk when a second has passed
    /// since the last time.
    void FlushIfDue(SteadyTime now);
    /// Writes the end line "# end,<how>" and closes the file.
    void Close(const std::string& how);

    bool IsOpen() const { return m_file != nullptr; }
    const std::string& Path() const { return m_path; }

  private:
    void Sync();
    FILE* m_file = nullptr;
    std::string m_path;
    SteadyTime m_lastFlush;
};

/// Journals in `directory`/recordings without an end line, oldest first.
std::vector<std::string> FindInterruptedJournals(const std::string& directory);
/// Ends an interrupted journal with "# end,interrupted", so it is reported once.
bool MarkJournalInterrupted(const std::string& path);
/// "08.12.2026 14:03" for a journal named 20261208-140312.csv; "" otherwise.
std::string JournalStartText(const std::string& path);
