#include "shell/limits_dialog.h"

#include "station/local_time.h"
#include "recorder/messages.h"
#include "station/report_data.h"
#include "recorder/terminal_panel.h"
#include "records/record_store.h"
#include "shell/main_window.h"
#include "shell/quality_signature.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <charconv>
#include <chrono>
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
    : wxDialog(parent, wxID_ANY, _("Force Limits")), m_pressIndex(pressIndex) {
    MainWindow* main = MainWindow::GetInstance();
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxStaticText* title = new wxStaticText(
        this, wxID_ANY,
        wxString::Format(_("Peak force limits of the press %s"), main->PressName(pressIndex)));
    title->SetFont(title->GetFont().Bold());
    column->Add(title, 0, wxALL, 10);

    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 8, 10);
    grid->AddGrowableCol(1);
    auto row = [&](const wxString& label, wxTextCtrl* field) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTRE_VERTICAL);
        grid->Add(field, 1, wxEXPAND);
        return field;
    };
    const ForceLimits* limits = main->Limits(pressIndex);
    m_lower = row(_("Lower limit (t)"),
                  new wxTextCtrl(this, wxID_ANY, limits ? Shown(limits->lowerTons) : ""));
    m_upper = row(_("Upper limit (t)"),
                  new wxTextCtrl(this, wxID_ANY, limits ? Shown(limits->upperTons) : ""));
    column->Add(grid, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    column->Add(new wxStaticText(this, wxID_ANY, _("Leave both empty for no limits.")), 0, wxALL,
                10);
    int64_t at = 0;
    std::string by;
    column->Add(new wxStaticText(this, wxID_ANY,
                                 main->LimitsSet(pressIndex, &at, &by)
                                     ? wxString::Format(_("Last set %s by %s"), IsoDateTime(at),
                                                        wxString::FromUTF8(by))
                                     : _("Not set yet")),
                0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    column->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT, 10);

    // Who changes them, and why.
    m_signature = std::make_unique<QualitySignature>(
        this, column,
        SignedThing{_("The limits cannot be changed: %s."),
                    _("Wrong password: the limits were not changed.")});
    m_who = m_signature->who;
    m_password = m_signature->password;
    m_repeat = m_signature->repeat;
    m_reason = m_signature->reason;
    m_errorText = new wxStaticText(this, wxID_ANY, "");
    m_errorText->SetForegroundColour(wxColour(180, 0, 0));
    column->Add(m_errorText, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(DialogButtons(this, wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(column);
    Bind(wxEVT_BUTTON, &LimitsDialog::OnOk, this, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Close(wxID_CANCEL); }, wxID_CANCEL);

    if (!m_signature->Unusable().empty()) Refuse(m_signature->Unusable());
}

LimitsDialog::~LimitsDialog() = default;

void LimitsDialog::Refuse(const wxString& why) {
    m_errorText->SetLabel(WrappedForBox(why, 70));
    Fit();
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
            Refuse(_("Enter both limits as numbers of tons."));
            return;
        }
        std::string why;
        if (!ValidLimits(limits, &why)) {
            Refuse(wxString::FromUTF8(why));
            return;
        }
    }
    MainWindow* main = MainWindow::GetInstance();
    const ForceLimits* current = main->Limits(m_pressIndex);
    if (none ? current == nullptr
             : current && current->lowerTons == limits.lowerTons &&
                   current->upperTons == limits.upperTons) {
        Close(wxID_OK); // nothing changed, nothing to sign
        return;
    }

    std::string why;
    std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why);
    if (!store) {
        Refuse(m_signature->Cannot(TrailUnusable(why)));
        return;
    }
    Change wrong, change;
    wrong.press = main->PressName(m_pressIndex).utf8_str();
    wrong.oldValue = LimitsValue(current);
    wrong.newValue = LimitsValue(none ? nullptr : &limits);
    if (m_wallSeconds) m_signature->wallSeconds = m_wallSeconds;
    wxString refused;
    if (!m_signature->Sign(*store, wrong, change, &refused)) {
        Refuse(refused);
        return;
    }
    const std::string who = change.who, reason = change.reason;
    store.reset();
    std::string error;
    if (!main->SetLimits(m_pressIndex, none ? nullptr : &limits, &error, who, reason)) {
        ShowError(wxString::Format(_("The limits were not saved: %s."), wxString::FromUTF8(error)));
        return;
    }
    if (main->m_panel) main->m_panel->LimitsChanged();
    Close(wxID_OK);
}
