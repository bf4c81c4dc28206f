#include "shell/quality_signature.h"

#include "recorder/messages.h"
#include "records/quality_password.h"
#include "shell/main_window.h"
#include "station/quality_accounts.h"

#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

namespace {

std::string Typed(const wxTextCtrl* field) {
    wxString text = field->GetValue();
    return std::string(text.Trim(true).Trim(false).utf8_str());
}

std::string Secret(const wxTextCtrl* field) {
    return field ? std::string(field->GetValue().utf8_str()) : std::string();
}

} // namespace

wxString TrailUnusable(const std::string& why) {
    return wxString::Format(_("the audit trail cannot be used (%s)"), wxString::FromUTF8(why));
}

QualitySignature::QualitySignature(wxWindow* dialog, wxSizer* column, SignedThing what)
    : m_what(std::move(what)) {
    wallSeconds = [] { return static_cast<int64_t>(wxDateTime::Now().GetTicks()); };
    MainWindow* main = MainWindow::GetInstance();
    std::string why;
    std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why);
    AccountsMode mode = AccountsMode::Accounts;
    std::string unusable;
    if (store) {
        const QualityAccounts accounts(*store, kQualityPasswordFile);
        mode = accounts.Mode();
        unusable = accounts.Unusable();
    }
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 8, 10);
    grid->AddGrowableCol(1);
    auto row = [&](const wxString& label, long style = 0) {
        grid->Add(new wxStaticText(dialog, wxID_ANY, label), 0, wxALIGN_CENTRE_VERTICAL);
        auto* field = new wxTextCtrl(dialog, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, style);
        grid->Add(field, 1, wxEXPAND);
        return field;
    };
    who = row(_("Quality engineer"));
    if (mode == AccountsMode::FirstUse) {
        password = row(_("New password"), wxTE_PASSWORD);
        repeat = row(_("Repeat the password"), wxTE_PASSWORD);
    } else if (mode == AccountsMode::Shared) {
        password = row(_("Shared password"), wxTE_PASSWORD);
        fresh = row(_("Your own password"), wxTE_PASSWORD);
        repeat = row(_("Repeat your password"), wxTE_PASSWORD);
    } else {
        password = row(_("Password"), wxTE_PASSWORD);
    }
    reason = row(_("Reason for the change"));
    reason->SetMinSize(wxSize(320, -1));
    column->Add(grid, 0, wxALL | wxEXPAND, 10);
    if (mode != AccountsMode::Accounts)
        column->Add(new wxStaticText(
                        dialog, wxID_ANY,
                        WrappedForBox(mode == AccountsMode::FirstUse
                                          ? _("No quality engineer's account exists yet: this "
                                              "makes the first one, with your name and password.")
                                          : _("The shared password is used no more: type it once "
                                              "to make your own account, with a password of your "
                                              "own."),
                                      70)),
                    0, wxLEFT | wxRIGHT, 10);

    // A missing or damaged password file never lets anyone change anything.
    if (!store)
        m_unusable = Cannot(TrailUnusable(why));
    else if (!unusable.empty())
        m_unusable = Cannot(wxString::FromUTF8(unusable));
}

wxString QualitySignature::Cannot(const wxString& reason) const {
    return wxString::Format(m_what.cannot, reason);
}

bool QualitySignature::Sign(RecordStore& store, const Change& wrong, Change& change,
                            wxString* why) {
    auto refuse = [why](const wxString& text) {
        if (why) *why = text;
        return false;
    };
    QualityAccounts accounts(store, kQualityPasswordFile);
    if (!accounts.Unusable().empty())
        return refuse(Cannot(wxString::FromUTF8(accounts.Unusable())));
    const std::string name = Typed(who), because = Typed(reason);
    if (name.empty()) return refuse(_("Enter the quality engineer's name."));
    if (because.empty()) return refuse(_("Enter the reason for the change."));
    change.at = wallSeconds();
    change.pcName = MainWindow::PcName();
    change.reason = because;
    Change refused = wrong;
    refused.pcName = change.pcName;
    refused.reason = because;
    SignInResult signedIn;
    {
        wxBusyCursor busy;
        if (accounts.Mode() == AccountsMode::Accounts) {
            signedIn = accounts.SignIn(name, Secret(password), change.at, refused);
        } else {
            const bool shared = accounts.Mode() == AccountsMode::Shared;
            const std::string own = Secret(shared ? fresh : password);
            if (own != Secret(repeat)) return refuse(_("The two passwords differ."));
            signedIn =
                accounts.MakeFirst(name, own, shared ? Secret(password) : "", change, refused);
        }
    }
    if (!signedIn.ok) {
        if (signedIn.wrongPassword) {
            password->Clear();
            return refuse(m_what.wrongPassword);
        }
        const wxString text = wxString::FromUTF8(signedIn.why);
        if (signedIn.waiting) return refuse(text.Left(1).Upper() + text.Mid(1) + ".");
        return refuse(Cannot(text));
    }
    change.who = signedIn.name;
    if (const std::string told = TriedBeforeText(signedIn); !told.empty())
        ShowInfo(wxString::FromUTF8(told), _("Quality engineer"));
    return true;
}
