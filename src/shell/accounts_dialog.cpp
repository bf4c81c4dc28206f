#include "shell/accounts_dialog.h"

#include "recorder/messages.h"
#include "records/quality_password.h"
#include "shell/main_window.h"
#include "shell/quality_signature.h"
#include "station/local_time.h"
#include "station/quality_accounts.h"

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace {

wxString U(const std::string& text) {
    return wxString::FromUTF8(text);
}

} // namespace

AccountsDialog::AccountsDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, _("Quality Engineers")) {
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    m_list = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(620, 160),
                            wxLC_REPORT | wxLC_SINGLE_SEL);
    m_list->AppendColumn(_("Quality engineer"), wxLIST_FORMAT_LEFT, 180);
    m_list->AppendColumn(_("State"), wxLIST_FORMAT_LEFT, 90);
    m_list->AppendColumn(_("Made"), wxLIST_FORMAT_LEFT, 160);
    m_list->AppendColumn(_("By"), wxLIST_FORMAT_LEFT, 180);
    column->Add(m_list, 1, wxALL | wxEXPAND, 10);

    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 8, 10);
    grid->AddGrowableCol(1);
    auto row = [&](const wxString& label, long style) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTRE_VERTICAL);
        auto* field = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, style);
        grid->Add(field, 1, wxEXPAND);
        return field;
    };
    m_name = row(_("Account of"), 0);
    m_password = row(_("Its new password"), wxTE_PASSWORD);
    m_repeat = row(_("Repeat it"), wxTE_PASSWORD);
    column->Add(grid, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    const std::pair<Action, wxString> actions[] = {{Add, _("Add account")},
                                                   {SetPassword, _("Set password")},
                                                   {Disable, _("Disable")},
                                                   {Enable, _("Enable")}};
    for (const auto& [action, label] : actions) {
        wxButton* button = new wxButton(this, wxID_ANY, label);
        button->Bind(wxEVT_BUTTON, [this, action = action](wxCommandEvent&) { Do(action); });
        buttons->Add(button, 0, wxRIGHT, 8);
    }
    column->Add(buttons, 0, wxALL, 10);
    column->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    m_signature = std::make_unique<QualitySignature>(
        this, column,
        SignedThing{_("The accounts cannot be changed: %s."),
                    _("Wrong password: the accounts were not changed.")});
    m_errorText = new wxStaticText(this, wxID_ANY, "");
    m_errorText->SetForegroundColour(wxColour(180, 0, 0));
    column->Add(m_errorText, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(DialogButtons(this, wxCLOSE), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(column);
    SetEscapeId(wxID_CLOSE);
    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
        m_name->ChangeValue(m_list->GetItemText(event.GetIndex(), 0));
    });
    Refill();
    if (!m_signature->Unusable().empty()) Refuse(m_signature->Unusable());
}

AccountsDialog::~AccountsDialog() = default;

void AccountsDialog::Refill() {
    m_list->DeleteAllItems();
    std::string why;
    std::unique_ptr<RecordStore> store = MainWindow::GetInstance()->OpenAuditStore(&why);
    if (!store) return;
    const QualityAccounts accounts(*store, kQualityPasswordFile);
    for (const Account& a : accounts.List()) {
        const long item = m_list->InsertItem(m_list->GetItemCount(), U(a.name));
        m_list->SetItem(item, 1,
                        !a.intact   ? _("changed")
                        : a.enabled ? _("enabled")
                                    : _("disabled"));
        m_list->SetItem(item, 2, U(IsoDateTime(a.addedAt)));
        m_list->SetItem(item, 3, U(a.addedBy));
    }
}

void AccountsDialog::Refuse(const wxString& why) {
    m_errorText->SetLabel(WrappedForBox(why, 70));
    Layout();
    Fit();
}

bool AccountsDialog::Do(Action action) {
    MainWindow* main = MainWindow::GetInstance();
    wxString name = m_name->GetValue();
    const std::string account(name.Trim(true).Trim(false).utf8_str());
    const std::string password(m_password->GetValue().utf8_str());
    if (account.empty()) {
        Refuse(_("Enter the name of the account, or choose it in the list."));
        return false;
    }
    if ((action == Add || action == SetPassword) &&
        password != std::string(m_repeat->GetValue().utf8_str())) {
        Refuse(_("The two passwords differ."));
        return false;
    }
    std::string why;
    std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why);
    if (!store) {
        Refuse(m_signature->Cannot(TrailUnusable(why)));
        return false;
    }
    Change wrong, signer;
    wrong.oldValue = account;
    if (m_wallSeconds) m_signature->wallSeconds = m_wallSeconds;
    wxString refused;
    if (!m_signature->Sign(*store, wrong, signer, &refused)) {
        Refuse(refused);
        return false;
    }
    QualityAccounts accounts(*store, kQualityPasswordFile);
    bool done = false;
    switch (action) {
    case Add:
        done = accounts.Add(account, password, signer, &why);
        break;
    case SetPassword:
        done = accounts.SetPassword(account, password, signer, &why);
        break;
    case Disable:
    case Enable:
        done = accounts.SetEnabled(account, action == Enable, signer, &why);
        break;
    }
    if (!done) {
        // A first account made by this signature stays made.
        Refill();
        Refuse(wxString::Format(_("Not changed: %s."), U(why)));
        return false;
    }
    m_password->Clear();
    m_repeat->Clear();
    m_errorText->SetLabel("");
    Refill();
    return true;
}
