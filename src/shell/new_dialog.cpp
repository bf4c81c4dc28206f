#include "shell/new_dialog.h"

#include "shell/ip_ctrl.h"
#include "shell/main_window.h"
#include "recorder/messages.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/valtext.h>

#include <algorithm>

namespace {

/// Widens the field to show `widest` whole, from `least` up to `most` pixels.
void FitWidth(wxControl* field, const wxString& widest, int least, int most) {
    const int wanted = field->GetSizeFromTextSize(field->GetTextExtent(widest).x).x;
    field->SetSize(wxSize(std::clamp(wanted, least, std::max(least, most)), field->GetSize().y));
}

} // namespace

NewDialog::NewDialog(wxWindow* parent, wxWindowID id, const wxString& caption,
                     const wxPoint& position, const wxSize& size, long style,
                     const wxString& address, const wxString& port, bool autoconnect,
                     bool skipQuestion, unsigned int pressIndex)
    : wxDialog(parent, id, caption, position, size, style) {
    wxStaticText* title =
        new wxStaticText(this, wxID_ANY, _("Connection Parameters"), wxPoint(10, 20));
    title->SetFont(wxFont(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    title->SetSize(title->GetTextExtent(title->GetLabel())); // in the bold font

    new wxStaticText(this, wxID_ANY, _("IP"), wxPoint(10, 58), wxSize(50, 25));
    m_ipCtrl = new wxIPCtrl(this, wxPoint(150, 55), "192.168.100.10", false, false, false);
    m_ipErrorText = new wxStaticText(this, wxID_ANY, "", wxPoint(250, 55));

    new wxStaticText(this, wxID_ANY, _("Port"), wxPoint(10, 90), wxSize(50, 25));
    m_portField = new wxTextCtrl(this, 3501, "65100", wxPoint(150, 90), wxSize(50, 25), 0,
                                 wxTextValidator(wxFILTER_NUMERIC));
    m_portField->SetMaxLength(5);
    m_portErrorText = new wxStaticText(this, wxID_ANY, "", wxPoint(270, 90));

    m_autoconnectBox = new wxCheckBox(this, wxID_ANY, _("Enable autoconnect"), wxPoint(10, 120));
    new wxStaticLine(this, wxID_ANY, wxPoint(0, 145), wxSize(500, -1),
                     wxLI_HORIZONTAL | wxALIGN_CENTRE_HORIZONTAL);

    new wxStaticText(this, wxID_ANY, _("Press"), wxPoint(10, 155), wxSize(-1, 25));
    wxArrayString choices;
    MainWindow* main = MainWindow::GetInstance();
    if (main->m_pressNames) choices = *main->m_pressNames;
    m_pressBox = new wxComboBox(this, wxID_ANY, main->PressName(pressIndex), wxPoint(150, 155),
                                wxSize(85, 30), choices, wxCB_READONLY);

    wxButton* ok = new wxButton(this, wxID_OK, _("OK"), wxPoint(210, 190), wxSize(120, -1));
    wxButton* cancel =
        new wxButton(this, wxID_CANCEL, _("Cancel"), wxPoint(80, 190), wxSize(120, -1));
    InOwnWords(this);
    m_skipBox = new wxCheckBox(this, wxID_ANY, _("Do not ask again"), wxPoint(80, 240));

    (void)ok;
    (void)cancel;
    Bind(wxEVT_BUTTON, &NewDialog::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &NewDialog::OnCancel, this, wxID_CANCEL);
    // Escape and the close box behave like Cancel.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        wxCommandEvent event(wxEVT_BUTTON, wxID_CANCEL);
        OnCancel(event);
    });

    Show();

    // Measured as shown: wide enough for any port, short of the error text at
    // 270; a long press name widens its box, and the dialog with it.
    FitWidth(m_portField, "65535", 50, 115);
    wxString widest = "Press 1";
    for (const wxString& name : choices)
        if (m_pressBox->GetTextExtent(name).x > m_pressBox->GetTextExtent(widest).x) widest = name;
    FitWidth(m_pressBox, widest, 85, wxGetDisplaySize().x / 2);
    const int right = m_pressBox->GetRect().GetRight() + 10;
    if (right > GetClientSize().x) SetClientSize(right, GetClientSize().y);

    m_ipCtrl->SetValue(address);
    m_portField->ChangeValue(port);
    m_autoconnectBox->SetValue(autoconnect);
    m_skipBox->SetValue(skipQuestion);
    if (pressIndex < choices.size())
        m_pressBox->SetSelection(static_cast<int>(pressIndex));
    else
        m_pressBox->SetSelection(wxNOT_FOUND);
}

void NewDialog::OnOk(wxCommandEvent&) {
    if (!IsShown()) return;
    bool addressValid = m_ipCtrl->Validate();
    m_ipErrorText->SetLabel(addressValid ? "" : _("Invalid IP"));
    if (m_portField->GetValue().empty()) {
        m_portErrorText->SetLabel(_("Invalid Port"));
        return;
    }
    m_portErrorText->SetLabel("");
    if (!addressValid) return;
    ApplyAndClose();
}

void NewDialog::OnCancel(wxCommandEvent&) {
    // Cancel changes nothing: not the panel's parameters, not config.ini.
    if (!IsShown()) return;
    Hide();
    Destroy();
}

void NewDialog::ApplyAndClose() {
    int selection = m_pressBox->GetSelection();
    // Without a press list, or with nothing chosen, the first press is handed on.
    unsigned int pressIndex = selection == wxNOT_FOUND ? 0u : static_cast<unsigned>(selection);
    bool autoconnect = m_autoconnectBox->GetValue();
    bool skipQuestion = m_skipBox->GetValue();
    wxString port = m_portField->GetValue();
    wxString address = m_ipCtrl->GetValue();
    // Opened before Start and confirmed after it: the dialog stays open, and
    // the recording keeps its module and press.
    if (!MainWindow::GetInstance()->ApplyConnectionSettings(address, port, skipQuestion,
                                                            autoconnect, pressIndex))
        return;
    Hide();
    Destroy();
}
