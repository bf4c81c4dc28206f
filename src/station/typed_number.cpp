#include "station/typed_number.h"

#include <climits>
#include <cwctype>

#include <wx/string.h>

namespace {

template <typename Char, typename IsSpace> int LeadingIntOf(const Char* p, IsSpace isSpace) {
    if (p == nullptr) return 0;
    while (*p && isSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 1LL << 40) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

} // namespace

int LeadingInt(const char* text) {
    return LeadingIntOf(text, [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

int LeadingInt(const std::wstring& text) {
    return LeadingIntOf(text.c_str(), [](wchar_t c) { return std::iswspace(c) != 0; });
}

int LeadingInt(const wxString& text) {
    return LeadingInt(text.ToStdWstring());
}
