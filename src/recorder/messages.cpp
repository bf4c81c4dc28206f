#include "recorder/messages.h"

#include <wx/arrstr.h>
#include <wx/msgdlg.h>

wxString WrappedForBox(const wxString& text, size_t width) {
    // The toolkit breaks lines at spaces; a long path or name has none, and a
    // box as wide as it runs off the screen: such words are broken here.
    wxString out, word;
    auto flush = [&] {
        while (word.length() > width) {
            out += word.Left(width) + '\n';
            word = word.Mid(width);
        }
        out += word;
        word.clear();
    };
    for (wxUniChar c : text) {
        if (c == ' ' || c == '\n') {
            flush();
            out += c;
        } else {
            word += c;
        }
    }
    flush();
    return out;
}

void ShowError(const wxString& text, const wxString& caption) {
    wxMessageBox(WrappedForBox(text), caption, wxOK | wxICON_ERROR, nullptr);
}

void ShowInfo(const wxString& text, const wxString& caption) {
    wxMessageBox(WrappedForBox(text), caption, wxOK | wxICON_INFORMATION, nullptr);
}

bool AskYesNo(const wxString& text, const wxString& caption) {
    return wxMessageBox(WrappedForBox(text), caption, wxYES_NO | wxICON_QUESTION, nullptr) == wxYES;
}
