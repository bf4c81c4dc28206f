// The journal of a recording: opened when Start is pressed as
// recordings/<Start, local time, YYYYMMDD-HHMMSS>.csv in the report directory,
// so a folder that cannot be written stops the Start; then every sample is
// written as it comes and flushed to disk at least once a second, so a crash
// or a power cut loses at most the last second. A journal ends with a line
// that gives how the recording ended; one without it was interrupted, and the
// next start of the program finds it. A journal whose writing failed (a full
// disk) is renamed to ".cut" when its recording ends, so it is not taken for
// an interrupted one.
#pragma once

#include "link/link.h"
#include "records/recording.h"

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
    /// Writes a header line ("# key,value") after the column line.
    void AppendLine(const std::string& line);
    void Append(double seconds, double forceTons, int bar);
    /// Writes what is buffered through to the disk when a second has passed
    /// since the last time.
    void FlushIfDue(SteadyTime now);
    /// Writes the end line "# end,<how>" and closes the file.
    void Close(const std::string& how);
    /// Closes and removes the journal of a cycle that recorded nothing.
    void Discard();

    bool IsOpen() const { return m_file != nullptr; }
    /// Why a write failed ("No space left on device"), or "" while all went to disk.
    const std::string& Problem() const { return m_problem; }
    const std::string& Path() const { return m_path; }

  private:
    void Sync();
    void Check(bool written);
    FILE* m_file = nullptr;
    std::string m_problem;
    std::string m_path;
    SteadyTime m_lastFlush;
};

/// The header lines of a journal: everything set at Start, so that an
/// interrupted recording can be kept whole from its journal alone.
std::string JournalHeader(const RecordingSetup& setup);
/// The line written when the first sample comes: its local time and its
/// wall-clock seconds.
std::string JournalStartLine(int64_t startedAt);
/// Reads a journal back into a recording (setup, start, samples); false when
/// it is not one.
bool ReadJournal(const std::string& path, Recording& recording);

/// Journals in `directory`/recordings without an end line, oldest first.
std::vector<std::string> FindInterruptedJournals(const std::string& directory);
/// True when the journal's recording had begun ("# recording_start" written):
/// one opened at Start and interrupted while armed holds no recording.
bool JournalHasRecording(const std::string& path);
/// Ends an interrupted journal with "# end,interrupted", so it is reported once.
bool MarkJournalInterrupted(const std::string& path);
/// "08.12.2026 14:03" for a journal named 20261208-140312.csv; "" otherwise.
std::string JournalStartText(const std::string& path);
