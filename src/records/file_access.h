// Files named by UTF-8 paths, on every platform. On Windows the C library's
// narrow functions read names in the ANSI code page, so a report directory
// under a user called "Müller" (or in any script) would not be found: there
// the names are widened and the wide functions used. Everything the recorder
// writes or reads by a path of its own goes through here.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

/// fopen for a UTF-8 path.
FILE* OpenPath(const std::string& path, const char* mode);

/// Creates one directory; true when it exists afterwards.
bool MakeDirectory(const std::string& path);

bool PathExists(const std::string& path);

/// Moves `from` onto `to`, replacing a file already there.
bool RenameOver(const std::string& from, const std::string& to);

bool RemovePath(const std::string& path);

/// The names (not paths) of the entries of a directory; empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::string& path);

/// Writes what the C library buffers for `file` through to the disk.
bool SyncFile(FILE* file);

/// The whole content of a file, or false.
bool ReadWholeFile(const std::string& path, std::string& content);

/// An exclusive lock on a file (created when missing), held while the object
/// lives. A second lock on the same file, by this process or another, is
/// refused; the lock ends with the process, however it ends.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    /// False, with the reason, when another holds it or it cannot be made.
    bool Acquire(const std::string& path, std::string* error);
    bool Held() const { return m_handle != -1; }

  private:
    long long m_handle = -1;
};
