#include "shell/quality_signature.h"

#include "shell/main_window.h"
#include "station/limits.h"
#include "station/local_time.h"

#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <chrono>

namespace {

std::string Typed(const wxTextCtrl* field) {
    wxString text = field->GetValue();
    return std::string(text.Trim(true).Trim(false).utf8_str());
}

/// Whether the audit trail shows that a password was ever set.
bool PasswordEverSet(RecordStore& store, Change* when) {
    return store.LastChange(kPasswordSetChange, "", when);
}

} // namespace

QualitySignature::QualitySignature(wxWindow* dialog, wxSizer* column, const wxString& what)
    : m_what(what) {
    wallSeconds = [] { return static_cast<int64_t>(wxDateTime::Now().GetTicks()); };
    MainWindow* main = MainWindow::GetInstance();
    std::string why;
    std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why);
    Change set;
    const bool everSet = !store || PasswordEverSet(*store, &set);
    const PasswordState state = main->m_qualityPassword.State(everSet);
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 8, 10);
    grid->AddGrowableCol(1);
    auto row = [&](const wxString& label, wxTextCtrl* field) {
        grid->Add(new wxStaticText(dialog, wxID_ANY, label), 0, wxALIGN_CENTRE_VERTICAL);
        grid->Add(field, 1, wxEXPAND);
        return field;
    };
    who = row("Quality engineer", new wxTextCtrl(dialog, wxID_ANY));
    password =
        row(state == PasswordState::NotSet ? "New password" : "Password",
            new wxTextCtrl(dialog, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD));
    if (state == PasswordState::NotSet)
        repeat = row("Repeat the password", new wxTextCtrl(dialog, wxID_ANY, "", wxDefaultPosition,
                                                           wxDefaultSize, wxTE_PASSWORD));
    reason = row("Reason for the change",
                 new wxTextCtrl(dialog, wxID_ANY, "", wxDefaultPosition, wxSize(320, -1)));
    column->Add(grid, 0, wxALL | wxEXPAND, 10);
    if (state == PasswordState::NotSet)
        column->Add(new wxStaticText(dialog, wxID_ANY,
                                     "No password is set yet: the one typed here becomes the "
                                     "quality engineer's password."),
                    0, wxLEFT | wxRIGHT, 10);

    // A missing or damaged password file never lets anyone change anything.
    if (!store)
        m_unusable = Capital() + " cannot be changed: the audit trail cannot be used (" +
                     wxString::FromUTF8(why) + ").";
    else if (state == PasswordState::Missing)
        m_unusable = Capital() + " cannot be changed: the password file " +
                     wxString::FromUTF8(main->m_qualityPassword.Path()) +
                     " is missing, though a password was set " + IsoDateTime(set.at) + " by " +
                     wxString::FromUTF8(set.who) + ". Restore it from a backup.";
    else if (state == PasswordState::Damaged)
        m_unusable = Capital() + " cannot be changed: the password file " +
                     wxString::FromUTF8(main->m_qualityPassword.Path()) +
                     " is damaged. Restore it from a backup.";
    else if (const std::string other = QualityKeyRefusal(*store, main->m_qualityPassword);
             !other.empty())
        m_unusable = Capital() + " cannot be changed: " + wxString::FromUTF8(other) + ".";
}

wxString QualitySignature::Capital() const {
    return m_what.Left(1).Upper() + m_what.Mid(1);
}

bool QualitySignature::Sign(RecordStore& store, const Change& wrong, Change& change,
                            wxString* why) {
    MainWindow* main = MainWindow::GetInstance();
    auto refuse = [why](const wxString& text) {
        if (why) *why = text;
        return false;
    };
    Change set;
    const PasswordState state = main->m_qualityPassword.State(PasswordEverSet(store, &set));
    if (state == PasswordState::Missing || state == PasswordState::Damaged)
        return refuse(Capital() + " cannot be changed: the password file " +
                      wxString::FromUTF8(main->m_qualityPassword.Path()) + " is " +
                      (state == PasswordState::Missing ? "missing" : "damaged") +
                      ". Restore it from a backup.");
    const std::string name = Typed(who), because = Typed(reason);
    const std::string typed(password->GetValue().utf8_str());
    if (const std::string other = QualityKeyRefusal(store, main->m_qualityPassword); !other.empty())
        return refuse(Capital() + " cannot be changed: " + wxString::FromUTF8(other) + ".");
    if (name.empty()) return refuse("Enter the quality engineer's name.");
    if (because.empty()) return refuse("Enter the reason for the change.");
    change.at = wallSeconds();
    change.who = name;
    change.pcName = MainWindow::PcName();
    std::string error;
    if (state == PasswordState::NotSet) {
        if (repeat == nullptr || typed != std::string(repeat->GetValue().utf8_str()))
            return refuse("The two passwords differ.");
        wxBusyCursor busy;
        if (!main->m_qualityPassword.Set(typed, &error))
            return refuse("The password was not set: " + wxString::FromUTF8(error) + ".");
        Change first = change;
        first.what = kPasswordSetChange;
        first.newValue = main->m_qualityPassword.Fingerprint(); // the key, told apart
        first.reason = "first change of " + std::string(m_what.utf8_str());
        if (!store.AddChange(first, &error))
            return refuse("The audit trail cannot be written: " + wxString::FromUTF8(error) + ".");
    } else {
        // The wrong tries as the trail keeps them: a restart does not end the wait.
        const PasswordAttempts attempts = AttemptsFromTrail(store.Changes("", 200));
        const int64_t now = change.at;
        if (const int64_t wait = attempts.WaitSeconds(now))
            return refuse(wxString::Format("Too many wrong passwords: try again in %lld s.",
                                           static_cast<long long>(wait)));
        wxBusyCursor busy;
        if (!main->m_qualityPassword.Matches(typed)) {
            // Refused attempts are part of the trail too.
            Change refused = wrong;
            refused.at = change.at;
            refused.who = name;
            refused.pcName = change.pcName;
            refused.what = kWrongPasswordChange;
            refused.reason = because;
            store.AddChange(refused, &error);
            password->Clear();
            return refuse("Wrong password: " + m_what + " were not changed.");
        }
        // A password set by an earlier version: its key is told apart from now on.
        if (!KeepQualityKeyFingerprint(store, main->m_qualityPassword, change, &error))
            return refuse("The audit trail cannot be written: " + wxString::FromUTF8(error) + ".");
    }
    change.reason = because;
    return true;
}
