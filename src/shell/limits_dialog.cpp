#include "shell/limits_dialog.h"

#include "station/local_time.h"
#include "recorder/messages.h"
#include "station/report_data.h"
#include "recorder/terminal_panel.h"
#include "records/record_store.h"
#include "shell/main_window.h"

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

std::string Typed(const wxTextCtrl* field) {
    wxString text = field->GetValue();
    return std::string(text.Trim(true).Trim(false).utf8_str());
}

/// Whether the audit trail shows that a password was ever set.
bool PasswordEverSet(RecordStore& store, Change* when) {
    return store.LastChange(kPasswordSetChange, "", when);
}

} // namespace

LimitsDialog::LimitsDialog(wxWindow* parent, long pressIndex)
    : wxDialog(parent, wxID_ANY, "Force Limits"), m_pressIndex(pressIndex) {
    m_steadySeconds = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    MainWindow* main = MainWindow::GetInstance();
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxStaticText* title = new wxStaticText(
        this, wxID_ANY, "Peak force limits of the press " + main->PressName(pressIndex));
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
    m_lower = row("Lower limit (t)",
                  new wxTextCtrl(this, wxID_ANY, limits ? Shown(limits->lowerTons) : ""));
    m_upper = row("Upper limit (t)",
                  new wxTextCtrl(this, wxID_ANY, limits ? Shown(limits->upperTons) : ""));
    column->Add(grid, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    column->Add(new wxStaticText(this, wxID_ANY, "Leave both empty for no limits."), 0, wxALL, 10);
    int64_t at = 0;
    std::string by;
    column->Add(
        new wxStaticText(this, wxID_ANY,
                         main->LimitsSet(pressIndex, &at, &by)
                             ? "Last set " + IsoDateTime(at) + " by " + wxString::FromUTF8(by)
                             : wxString("Not set yet")),
        0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    column->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT, 10);

    // Who changes them, and why.
    std::string why;
    std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why);
    Change set;
    const bool everSet = !store || PasswordEverSet(*store, &set);
    const PasswordState state = main->m_qualityPassword.State(everSet);
    wxFlexGridSizer* who = new wxFlexGridSizer(2, 8, 10);
    who->AddGrowableCol(1);
    grid = who;
    m_who = row("Quality engineer", new wxTextCtrl(this, wxID_ANY));
    m_password =
        row(state == PasswordState::NotSet ? "New password" : "Password",
            new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD));
    if (state == PasswordState::NotSet)
        m_repeat = row("Repeat the password", new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition,
                                                             wxDefaultSize, wxTE_PASSWORD));
    m_reason = row("Reason for the change",
                   new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(320, -1)));
    column->Add(who, 0, wxALL | wxEXPAND, 10);
    if (state == PasswordState::NotSet)
        column->Add(new wxStaticText(this, wxID_ANY,
                                     "No password is set yet: the one typed here becomes the "
                                     "quality engineer's password."),
                    0, wxLEFT | wxRIGHT, 10);

    m_errorText = new wxStaticText(this, wxID_ANY, "");
    m_errorText->SetForegroundColour(wxColour(180, 0, 0));
    column->Add(m_errorText, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(column);
    Bind(wxEVT_BUTTON, &LimitsDialog::OnOk, this, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Close(wxID_CANCEL); }, wxID_CANCEL);

    // A missing or damaged password file never lets anyone change them.
    if (!store)
        Refuse("The limits cannot be changed: the audit trail cannot be used (" +
               wxString::FromUTF8(why) + ").");
    else if (state == PasswordState::Missing)
        Refuse("The limits cannot be changed: the password file " +
               wxString::FromUTF8(main->m_qualityPassword.Path()) +
               " is missing, though a password was set " + IsoDateTime(set.at) + " by " +
               wxString::FromUTF8(set.who) + ". Restore it from a backup.");
    else if (state == PasswordState::Damaged)
        Refuse("The limits cannot be changed: the password file " +
               wxString::FromUTF8(main->m_qualityPassword.Path()) +
               " is damaged. Restore it from a backup.");
}

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
            Refuse("Enter both limits as numbers of tons.");
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
        Refuse("The limits cannot be changed: the audit trail cannot be used (" +
               wxString::FromUTF8(why) + ").");
        return;
    }
    Change set;
    const PasswordState state = main->m_qualityPassword.State(PasswordEverSet(*store, &set));
    if (state == PasswordState::Missing || state == PasswordState::Damaged) {
        Refuse("The limits cannot be changed: the password file " +
               wxString::FromUTF8(main->m_qualityPassword.Path()) + " is " +
               (state == PasswordState::Missing ? "missing" : "damaged") +
               ". Restore it from a backup.");
        return;
    }
    const std::string who = Typed(m_who), reason = Typed(m_reason);
    const std::string password(m_password->GetValue().utf8_str());
    if (who.empty()) {
        Refuse("Enter the quality engineer's name.");
        return;
    }
    if (reason.empty()) {
        Refuse("Enter the reason for the change.");
        return;
    }
    const std::string press(main->PressName(m_pressIndex).utf8_str());
    Change change;
    change.at = wxDateTime::Now().GetTicks();
    change.who = who;
    change.pcName = MainWindow::PcName();
    if (state == PasswordState::NotSet) {
        if (m_repeat == nullptr || password != std::string(m_repeat->GetValue().utf8_str())) {
            Refuse("The two passwords differ.");
            return;
        }
        wxBusyCursor busy;
        if (!main->m_qualityPassword.Set(password, &why)) {
            Refuse("The password was not set: " + wxString::FromUTF8(why) + ".");
            return;
        }
        change.what = kPasswordSetChange;
        change.reason = "first change of the force limits";
        if (!store->AddChange(change, &why)) {
            Refuse("The audit trail cannot be written: " + wxString::FromUTF8(why) + ".");
            return;
        }
    } else {
        PasswordAttempts& attempts = main->m_passwordAttempts;
        const int64_t now = m_steadySeconds();
        if (const int64_t wait = attempts.WaitSeconds(now)) {
            Refuse(wxString::Format("Too many wrong passwords: try again in %lld s.",
                                    static_cast<long long>(wait)));
            return;
        }
        wxBusyCursor busy;
        if (!main->m_qualityPassword.Matches(password)) {
            attempts.Failed(now);
            // Refused attempts are part of the trail too.
            change.what = kWrongPasswordChange;
            change.press = press;
            change.oldValue = LimitsValue(current);
            change.newValue = LimitsValue(none ? nullptr : &limits);
            change.reason = reason;
            store->AddChange(change, &why);
            Refuse("Wrong password: the limits were not changed.");
            m_password->Clear();
            return;
        }
        attempts.Succeeded();
    }
    store.reset();
    std::string error;
    if (!main->SetLimits(m_pressIndex, none ? nullptr : &limits, &error, who, reason)) {
        ShowError("The limits were not saved: " + wxString::FromUTF8(error) + ".");
        return;
    }
    if (main->m_panel) main->m_panel->LimitsChanged();
    Close(wxID_OK);
}
