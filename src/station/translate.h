// The program's words in the operator's language: English in the code, other
// languages from gettext catalogues ("vemo-recorder.mo") chosen by the
// `language=` setting or the system's locale. Without a catalogue every text
// stays English; machine formats (the CSV file, the page's metadata) never
// change.
#pragma once

#include <string>
#include <vector>

#include <wx/string.h>

/// The catalogue's name.
constexpr const char* kCatalogName = "vemo-recorder";

/// The text in the chosen language (UTF-8 in and out).
std::string Tr(const char* english);
/// The same, for a window's label.
wxString TrW(const char* english);
/// Marks a text for the catalogue where it is kept in English (the command
/// line's answers) and translated where it is shown.
#ifndef N_
#define N_(english) english
#endif
/// A translated printf format filled in (UTF-8).
std::string TrFormat(const char* english, ...);

/// Chooses the language: `code` as in the setting ("it", "en"), or the
/// system's when empty; catalogues are looked for under each of `folders`
/// (<folder>/<code>/LC_MESSAGES/vemo-recorder.mo). Returns the language in
/// use, "en" when no catalogue of it was found.
std::string UseLanguage(const std::string& code, const std::vector<wxString>& folders);
