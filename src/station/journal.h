// The journal of a recording: opened when Start is pressed as
// recordings/<Start, local time, YYYYMMDD-HHMMSS>.csv in the report directory,
// so a folder that cannot be written stops the Start; then every sample is
// written as it comes and flushed to disk at least once a second, so a crash
// or a power cut loses at most the last second. When the recording ends, the
// journal gets everything the recording is kept with (how it ended, its
// alarms, its end) and a line that gives how it ended, and only then is the
// recording handed to the record store: until the store holds it, its journal
// is what keeps it; once it does, the journal gets a last line "# stored".
// A journal without its end line was interrupted. At every start, and when
// the store can be written again, a journal not marked stored is brought in
// (or only marked, when the store already holds its recording). A journal whose writing failed (a
// full disk) is renamed to ".cut" when its recording ends, so it is not taken
// for an interrupted one.
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
/// The lines written before the end line when the recording ends: how it
/// ended, its start note, its alarms and its end on the wall clock.
std::string JournalKeptLines(const Recording& recording);
/// Reads a journal back into a recording (setup, start, samples, and what
/// JournalKeptLines wrote); false when it is not one. The forces are worked
/// out again from the pressures and the surface, as they were when recorded.
bool ReadJournal(const std::string& path, Recording& recording);

/// A journal as its first and last lines tell.
struct JournalFile {
    std::string path;
    std::string uuid;   ///< "" in journals of versions before recordings had one
    bool ended = false; ///< it has its end line
    /// Ended with the lines of JournalKeptLines: the recording can be kept
    /// whole from it (journals of earlier versions lack them).
    bool whole = false;
    /// Marked once the store held its recording ("# stored,<time>").
    bool stored = false;
};
/// The journals in `directory`/recordings, oldest first (".cut" ones left out).
std::vector<JournalFile> FindJournals(const std::string& directory);
/// Journals in `directory`/recordings without an end line, oldest first.
std::vector<std::string> FindInterruptedJournals(const std::string& directory);
/// True when the journal's recording had begun ("# recording_start" written):
/// one opened at Start and interrupted while armed holds no recording.
bool JournalHasRecording(const std::string& path);
/// Ends an interrupted journal with "# end,interrupted", once the store holds
/// its recording.
bool MarkJournalInterrupted(const std::string& path);
/// Marks a journal whose recording the store now holds: it is done.
bool MarkJournalStored(const std::string& path, int64_t at);
/// Adds the identity given to a journal of a version that wrote none, before
/// its recording is stored: a crash after that cannot store it twice.
bool AddJournalIdentity(const std::string& path, const std::string& uuid);
/// "08.12.2026 14:03" for a journal named 20261208-140312.csv; "" otherwise.
std::string JournalStartText(const std::string& path);
