#include "recorder/messages.h"

#include <wx/artprov.h>
#include <wx/arrstr.h>
#include <wx/intl.h>
#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/stockitem.h>

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

namespace {

/// A message box whose buttons read in the program's language: by default
/// GTK's own words, in the system's.
int ShowBox(const wxString& text, const wxString& caption, long style) {
    wxMessageDialog box(nullptr, WrappedForBox(text), caption, style | wxCENTRE);
    if (style & wxYES_NO)
        box.SetYesNoLabels(wxGetStockLabel(wxID_YES), wxGetStockLabel(wxID_NO));
    else
        box.SetOKLabel(wxGetStockLabel(wxID_OK));
    const int answer = box.ShowModal();
    return answer == wxID_YES ? wxYES : answer == wxID_NO ? wxNO : wxOK;
}

} // namespace

void ShowError(const wxString& text, const wxString& caption) {
    ShowBox(text, caption.empty() ? _("Error") : caption, wxOK | wxICON_ERROR);
}

void ShowInfo(const wxString& text, const wxString& caption) {
    ShowBox(text, caption, wxOK | wxICON_INFORMATION);
}

bool AskYesNo(const wxString& text, const wxString& caption) {
    return ShowBox(text, caption, wxYES_NO | wxICON_QUESTION) == wxYES;
}

void InOwnWords(wxWindow* window) {
    for (wxWindow* child : window->GetChildren()) {
        auto* button = dynamic_cast<wxButton*>(child);
        if (button == nullptr || !wxIsStockID(button->GetId())) continue;
        // A label is the toolkit's stock button while the id is a stock one.
        const int id = button->GetId();
        const wxString label = wxGetStockLabel(id);
        button->SetId(wxID_HIGHEST + 1);
        button->SetLabel(label);
        button->SetId(id);
    }
}

wxSizer* DialogButtons(wxDialog* dialog, long flags) {
    wxSizer* row = dialog->CreateStdDialogButtonSizer(flags);
    InOwnWords(dialog);
    return row;
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
    column->Add(DialogButtons(this, wxOK), 0, wxALIGN_RIGHT | wxALL, 8);
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
