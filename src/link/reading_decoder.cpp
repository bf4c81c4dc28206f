#include "link/reading_decoder.h"

#include <climits>

namespace {

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// The leading integer of a token (optional white space and sign, then decimal
// digits; 0 without digits), or nothing when it does not fit in an int.
std::optional<long long> LeadingValue(const char* p) {
    while (*p == '\t' || *p == '\v' || *p == '\f')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 1LL + INT_MAX) return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace

void ReadingStream::Reset() {
    m_state = Expect::Sign;
    m_sign = 1;
    m_value = 0;
    m_tokenLength = 0;
    m_inToken = false;
    m_overlong = false;
}

void ReadingStream::EndToken() {
    m_inToken = false;
    m_token[m_tokenLength] = '\0';
    const bool single = !m_overlong && m_tokenLength == 1;
    switch (m_state) {
    case Expect::Sign:
        // Any other token, a sign joined to digits among them, is skipped.
        if (single && (m_token[0] == '+' || m_token[0] == '-')) {
            m_sign = m_token[0] == '-' ? -1 : 1;
            m_state = Expect::Value;
        }
        break;
    case Expect::Value: {
        std::optional<long long> v = m_overlong ? std::nullopt : LeadingValue(m_token);
        long long signedValue = v ? *v * m_sign : 0;
        if (!v || signedValue > INT_MAX || signedValue < INT_MIN) {
            m_state = Expect::Sign; // no pressure a module can measure
        } else {
            m_value = static_cast<int>(signedValue);
            m_state = Expect::Status;
        }
        break;
    }
    case Expect::Status: {
        std::optional<long long> status = LeadingValue(m_token);
        // A status other than 0 or 3 rejects the reading; the next token is
        // looked at as a sign again.
        m_state = status && (*status == 0 || *status == 3) ? Expect::End : Expect::Sign;
        break;
    }
    case Expect::End:
        break;
    }
}

void ReadingStream::Feed(const char* bytes, std::size_t length, std::vector<int>& readings) {
    for (std::size_t i = 0; i < length; ++i) {
        const char c = bytes[i];
        if (c == '\0') {
            // A zero byte is never part of the grammar: drop what was begun.
            Reset();
            continue;
        }
        if (c == ' ' || IsLineEnd(c)) {
            if (m_inToken) EndToken();
            if (IsLineEnd(c) && m_state == Expect::End) {
                readings.push_back(m_value);
                m_state = Expect::Sign;
            }
            continue;
        }
        if (!m_inToken) {
            // A further token after the status completes the reading; it may
            // itself be the sign of the next one.
            if (m_state == Expect::End) {
                readings.push_back(m_value);
                m_state = Expect::Sign;
            }
            m_inToken = true;
            m_tokenLength = 0;
            m_overlong = false;
        }
        if (m_tokenLength < kMaxToken)
            m_token[m_tokenLength++] = c;
        else
            m_overlong = true;
    }
}

std::optional<int> DecodeReading(const char* text, std::size_t length) {
    ReadingStream stream;
    std::vector<int> readings;
    stream.Feed(text, length, readings);
    if (readings.empty()) return std::nullopt;
    return readings.front();
}
