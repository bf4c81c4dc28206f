#include "shell/limits_dialog.h"

#include "recorder/report_data.h"
#include "recorder/terminal_panel.h"
#include "shell/main_window.h"
#include "recorder/messages.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <charconv>
#include <cmath>

namespace {

/// The typed number (a decimal point or a comma), or false.
bool ParseTons(wxString text, double& value) {
    text.Trim(true).Trim(false);
    text.Replace(",", ".");
    const std::string digits(text.utf8_str());
    if (digits.empty()) return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size() && std::isfinite(value);
}

wxString Shown(double tons) {
    return wxString::FromUTF8(CsvNumber(tons));
}

} // namespace

LimitsDialog::LimitsDialog(wxWindow* parent, long pressIndex)
    : wxDialog(parent, wxID_ANY, "Force Limits"), m_pressIndex(pressIndex) {
    MainWindow* main = MainWindow::GetInstance();
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxStaticText* title = new wxStaticText(
        this, wxID_ANY, "Peak force limits of the press " + main->PressName(pressIndex));
    title->SetFont(title->GetFont().Bold());
    column->Add(title, 0, wxALL, 10);

    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 8, 10);
    const ForceLimits* limits = main->Limits(pressIndex);
    grid->Add(new wxStaticText(this, wxID_ANY, "Lower limit (t)"), 0, wxALIGN_CENTRE_VERTICAL);
    m_lower = new wxTextCtrl(this, wxID_ANY, limits ? Shown(limits->lowerTons) : "");
    grid->Add(m_lower, 1, wxEXPAND);
    grid->Add(new wxStaticText(this, wxID_ANY, "Upper limit (t)"), 0, wxALIGN_CENTRE_VERTICAL);
    m_upper = new wxTextCtrl(this, wxID_ANY, limits ? Shown(limits->upperTons) : "");
    grid->Add(m_upper, 1, wxEXPAND);
    column->Add(grid, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);

    column->Add(new wxStaticText(this, wxID_ANY, "Leave both empty for no limits."), 0, wxALL, 10);
    m_errorText = new wxStaticText(this, wxID_ANY, "");
    m_errorText->SetForegroundColour(wxColour(180, 0, 0));
    column->Add(m_errorText, 0, wxLEFT | wxRIGHT, 10);
    column->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(column);
    Bind(wxEVT_BUTTON, &LimitsDialog::OnOk, this, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Close(wxID_CANCEL); }, wxID_CANCEL);
}

void LimitsDialog::Close(int code) {
    if (IsModal())
        EndModal(code);
    else
        Hide();
}

void LimitsDialog::OnOk(wxCommandEvent&) {
    const bool none = m_lower->GetValue().Trim().empty() && m_upper->GetValue().Trim().empty();
    ForceLimits limits;
    if (!none) {
        if (!ParseTons(m_lower->GetValue(), limits.lowerTons) ||
            !ParseTons(m_upper->GetValue(), limits.upperTons)) {
            m_errorText->SetLabel("Enter both limits as numbers of tons.");
            Fit();
            return;
        }
        std::string why;
        if (!ValidLimits(limits, &why)) {
            m_errorText->SetLabel(wxString::FromUTF8(why));
            Fit();
            return;
        }
    }
    MainWindow* main = MainWindow::GetInstance();
    std::string error;
    if (!main->SetLimits(m_pressIndex, none ? nullptr : &limits, &error)) {
        ShowError("The limits were not saved: " + wxString(kLimitsFile) + " cannot be written (" +
                  wxString::FromUTF8(error) + ").");
        return;
    }
    if (main->m_panel) main->m_panel->UpdateLimitLines();
    Close(wxID_OK);
}
