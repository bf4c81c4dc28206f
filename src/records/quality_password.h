// The quality engineer's password: kept as an Argon2id hash (never the
// password) in a file of its own beside the settings. Changing the force
// limits asks for it. A missing or damaged file never means "anyone may
// edit": once the audit trail shows that a password was set, only a password
// file that reads back as a hash lets limits be changed.
#pragma once

#include <cstdint>
#include <string>

extern const char* const kQualityPasswordFile;

/// The shortest password that may be set.
constexpr size_t kMinPasswordLength = 8;

enum class PasswordState {
    NotSet,  ///< no file, and none was ever set: the first use sets one
    Set,     ///< a hash to check against
    Missing, ///< no file, though the audit trail shows one was set
    Damaged, ///< a file that does not hold a password hash
};

class QualityPassword {
  public:
    explicit QualityPassword(std::string path) : m_path(std::move(path)) {}

    /// Reads the file. `everSet`: the audit trail shows a password was set.
    PasswordState State(bool everSet) const;
    /// True only when the file holds a hash and the password matches it.
    bool Matches(const std::string& password) const;
    /// Sets a new password (written through a temporary file); false, with
    /// the reason, when it is too short or the file cannot be written.
    bool Set(const std::string& password, std::string* why);
    /// "sha256:<hex>" of the file's hash: which key this is; "" unreadable.
    std::string Fingerprint() const;
    const std::string& Path() const { return m_path; }

  private:
    bool ReadHash(std::string* hash) const;
    std::string m_path;
};

/// An Argon2id hash of `password` in `*hash`; false with the reason when it
/// is too short or cannot be hashed.
bool HashPassword(const std::string& password, std::string* hash, std::string* why);
/// True when `hash` is an Argon2id hash libsodium takes.
bool IsPasswordHash(const std::string& hash);
/// True only when `hash` is a hash and `password` matches it.
bool PasswordMatchesHash(const std::string& hash, const std::string& password);
/// "sha256:<hex>" of a hash: which key this is, told apart without the hash.
std::string HashFingerprint(const std::string& hash);
/// Writes `bytes` through a temporary file synced and renamed into place.
bool WriteFileWhole(const std::string& path, const std::string& bytes);

/// Wrong passwords slow down: five tries are free; after that each further
/// try waits, 30 s after the fifth failure and twice as long after each
/// further one, up to 15 minutes. Time is a steady clock in seconds, given
/// by the caller.
class PasswordAttempts {
  public:
    static constexpr int kFreeTries = 5;
    static constexpr int64_t kFirstWait = 30, kLongestWait = 15 * 60;

    /// Seconds until the next try may be checked; 0: now.
    int64_t WaitSeconds(int64_t now) const;
    void Failed(int64_t now);
    void Succeeded() { m_failures = 0; }
    int Failures() const { return m_failures; }

  private:
    int m_failures = 0;
    int64_t m_lastFailure = 0;
};
