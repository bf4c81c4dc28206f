#include "shell/messages.h"

#include <wx/msgdlg.h>

void ShowError(const wxString& text, const wxString& caption) {
    wxMessageBox(text, caption, wxOK | wxICON_ERROR, nullptr);
}

void ShowInfo(const wxString& text, const wxString& caption) {
    wxMessageBox(text, caption, wxOK | wxICON_INFORMATION, nullptr);
}

bool AskYesNo(const wxString& text, const wxString& caption) {
    return wxMessageBox(text, caption, wxYES_NO | wxICON_QUESTION, nullptr) == wxYES;
}
