#include "records/quality_password.h"

#include "records/file_access.h"
#include "records/integrity.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

const char* const kQualityPasswordFile = "quality.key";

bool WriteFileWhole(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    FILE* out = OpenPath(temporary, "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool synced = written && SyncFile(out);
    const bool closed = std::fclose(out) == 0;
    if (!(synced && closed)) {
        RemovePath(temporary);
        return false;
    }
    return RenameOver(temporary, path);
}

bool IsPasswordHash(const std::string& hash) {
    // A hash libsodium does not take as Argon2id is a damaged file.
    return hash.size() < crypto_pwhash_STRBYTES && hash.rfind("$argon2id$", 0) == 0 &&
           crypto_pwhash_str_needs_rehash(hash.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) >= 0;
}

bool PasswordMatchesHash(const std::string& hash, const std::string& password) {
    InitIntegrity();
    if (hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string HashFingerprint(const std::string& hash) {
    return "sha256:" + Sha256Hex(hash);
}

bool HashPassword(const std::string& password, std::string* hash, std::string* why) {
    if (password.size() < kMinPasswordLength) {
        if (why)
            *why =
                "the password needs at least " + std::to_string(kMinPasswordLength) + " characters";
        return false;
    }
    InitIntegrity();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        if (why) *why = "the password could not be hashed (out of memory)";
        return false;
    }
    *hash = out;
    return true;
}

bool QualityPassword::ReadHash(std::string* hash) const {
    std::string bytes;
    if (!ReadWholeFile(m_path, bytes)) return false;
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.pop_back();
    *hash = bytes;
    return true;
}

PasswordState QualityPassword::State(bool everSet) const {
    std::string hash;
    if (!ReadHash(&hash)) return everSet ? PasswordState::Missing : PasswordState::NotSet;
    return IsPasswordHash(hash) ? PasswordState::Set : PasswordState::Damaged;
}

std::string QualityPassword::Fingerprint() const {
    std::string hash;
    if (!ReadHash(&hash)) return "";
    return HashFingerprint(hash);
}

bool QualityPassword::Matches(const std::string& password) const {
    std::string hash;
    return ReadHash(&hash) && PasswordMatchesHash(hash, password);
}

bool QualityPassword::Set(const std::string& password, std::string* why) {
    std::string hash;
    if (!HashPassword(password, &hash, why)) return false;
    if (!WriteFileWhole(m_path, hash + "\n")) {
        if (why) *why = m_path + " cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

int64_t PasswordAttempts::WaitSeconds(int64_t now) const {
    if (m_failures < kFreeTries) return 0;
    int64_t wait = kFirstWait;
    for (int k = kFreeTries; k < m_failures && wait < kLongestWait; ++k)
        wait *= 2;
    wait = std::min(wait, kLongestWait);
    return std::max<int64_t>(0, m_lastFailure + wait - now);
}

void PasswordAttempts::Failed(int64_t now) {
    ++m_failures;
    m_lastFailure = now;
}
