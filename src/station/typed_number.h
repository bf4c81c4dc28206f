// The leading-integer rule for numbers the operator types or the settings
// files hold as text: optional white space and sign, then decimal digits; 0
// when there are none, clamped to the range of int.
#pragma once

#include <string>

class wxString;

/// The leading-integer rule of the program: optional white space and sign, then
/// decimal digits; 0 when there are none. Values beyond int are clamped.
int LeadingInt(const char* text);
int LeadingInt(const std::wstring& text);
int LeadingInt(const wxString& text);
