#include "station/translate.h"

#include <wx/intl.h>
#include <wx/translation.h>

#include <cstdarg>
#include <cstdio>

std::string Tr(const char* english) {
    if (*english == '\0') return ""; // the catalogue's "" is its header
    const wxString& translated = wxGetTranslation(wxString::FromUTF8(english));
    return std::string(translated.utf8_str());
}

wxString TrW(const char* english) {
    if (*english == '\0') return wxString();
    return wxGetTranslation(wxString::FromUTF8(english));
}

std::string TrFormat(const char* english, ...) {
    const std::string format = Tr(english);
    va_list args, again;
    va_start(args, english);
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format.c_str(), args);
    va_end(args);
    std::string text(size > 0 ? size_t(size) : 0, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format.c_str(), again);
    va_end(again);
    return text;
}

std::string UseLanguage(const std::string& code, const std::vector<wxString>& folders) {
    for (const wxString& folder : folders)
        wxFileTranslationsLoader::AddCatalogLookupPathPrefix(folder);
    auto* translations = new wxTranslations();
    wxTranslations::Set(translations); // owns it, and any earlier one goes
    if (code.empty())
        translations->SetLanguage(wxLANGUAGE_DEFAULT);
    else
        translations->SetLanguage(wxString::FromUTF8(code));
    // The toolkit's own words (Yes, No, Cancel, Close) from its catalogue.
    translations->AddStdCatalog();
    if (!translations->AddCatalog(kCatalogName, wxLANGUAGE_ENGLISH_US)) return "en";
    const wxString chosen = translations->GetBestTranslation(kCatalogName, wxLANGUAGE_ENGLISH_US);
    return chosen.empty() ? "en" : std::string(chosen.BeforeFirst('_').utf8_str());
}
