#include "recorder/messages.h"

#include <wx/artprov.h>
#include <wx/arrstr.h>
#include <wx/intl.h>
#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

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
    wxMessageBox(WrappedForBox(text), caption.empty() ? _("Error") : caption, wxOK | wxICON_ERROR,
                 nullptr);
}

void ShowInfo(const wxString& text, const wxString& caption) {
    wxMessageBox(WrappedForBox(text), caption, wxOK | wxICON_INFORMATION, nullptr);
}

bool AskYesNo(const wxString& text, const wxString& caption) {
    return wxMessageBox(WrappedForBox(text), caption, wxYES_NO | wxICON_QUESTION, nullptr) == wxYES;
}

NoticeBox::NoticeBox(const wxString& text, const wxString& caption)
    : wxDialog(nullptr, wxID_ANY, caption), m_message(WrappedForBox(text)) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticBitmap(this, wxID_ANY,
                                wxArtProvider::GetBitmap(wxART_ERROR, wxART_MESSAGE_BOX)),
             0, wxALL, 12);
    row->Add(new wxStaticText(this, wxID_ANY, m_message), 1, wxALL, 12);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(row, 1, wxEXPAND);
    column->Add(CreateButtonSizer(wxOK), 0, wxALIGN_RIGHT | wxALL, 8);
    SetSizerAndFit(column);
    CentreOnScreen();
}

void NoticeBox::Dismiss() {
    m_dismissed = true;
    if (IsModal()) EndModal(wxID_CANCEL);
}

bool ShowNotice(const wxString& text, const wxString& caption, NoticeBox** open) {
    NoticeBox box(text, caption);
    *open = &box;
    box.ShowModal();
    *open = nullptr;
    return box.Dismissed();
}
