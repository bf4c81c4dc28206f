#include "records/integrity.h"

#include <sodium.h>

#include <cctype>
#include <cstdio>
#include <cstring>

bool InitIntegrity() {
    // Once, whichever thread asks first.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::string Sha256Hex(const std::string& bytes) {
    InitIntegrity();
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    char hex[2 * crypto_hash_sha256_BYTES + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

std::string ReportNumber(const std::string& uuid) {
    std::string digits;
    for (char c : uuid)
        if (std::isxdigit(static_cast<unsigned char>(c)) && digits.size() < 12)
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string number;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && i % 4 == 0) number += '-';
        number += digits[i];
    }
    return number;
}

namespace {

// The identity in the mark: an imported recording's may hold spaces or
// characters that XML metadata would have to escape, so all but letters,
// digits and ".:_-" are written as %XX.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || std::strchr(".:_-", c)) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

/// The run of characters after `key` up to a space, quote or markup.
bool ValueAfter(const std::string& text, size_t from, const std::string& key, std::string* value,
                size_t* end) {
    const size_t at = text.find(key, from);
    if (at == std::string::npos) return false;
    size_t i = at + key.size();
    const size_t start = i;
    while (i < text.size() && !std::strchr(" <>()'\"\r\n\t", text[i]))
        ++i;
    *value = text.substr(start, i - start);
    *end = i;
    return !value->empty();
}

} // namespace

std::string ReportMark(const std::string& uuid, const std::string& csvSha256) {
    return "report-id=" + Escaped(uuid) + " csv-sha256=" + csvSha256;
}

bool FindReportMark(const std::string& pdfBytes, std::string* uuid, std::string* csvSha256) {
    // The mark stands in the page's XMP metadata, which is never compressed.
    size_t end = 0, at = 0;
    while ((at = pdfBytes.find("report-id=", at)) != std::string::npos) {
        std::string id, hash;
        if (ValueAfter(pdfBytes, at, "report-id=", &id, &end) &&
            pdfBytes.compare(end, 12, " csv-sha256=") == 0 &&
            ValueAfter(pdfBytes, end, "csv-sha256=", &hash, &end) && hash.size() == 64) {
            *uuid = Unescaped(id);
            *csvSha256 = hash;
            return true;
        }
        ++at;
    }
    return false;
}

std::string ReportCodeText(const std::string& uuid, const std::string& csvSha256) {
    std::string text = "VEMO:" + uuid + ":" + csvSha256;
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
