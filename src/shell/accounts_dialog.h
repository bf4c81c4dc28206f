// Modify → Quality Engineers…: every quality engineer's account, whether it
// is enabled, and who made it when. A quality engineer adds an account,
// disables or enables one, or sets a password (their own, or another's when
// it is forgotten), each signed in their own name with a reason and kept in
// the audit trail.
#pragma once

#include <wx/dialog.h>

#include <cstdint>
#include <functional>
#include <memory>

class QualitySignature;
class wxListCtrl;
class wxStaticText;
class wxTextCtrl;

class AccountsDialog : public wxDialog {
  public:
    explicit AccountsDialog(wxWindow* parent);
    ~AccountsDialog() override;

    enum Action { Add, Disable, Enable, SetPassword };

    wxListCtrl* m_list;
    wxTextCtrl *m_name, *m_password, *m_repeat;
    wxStaticText* m_errorText;
    QualitySignature* Signature() { return m_signature.get(); }
    /// The wall clock in seconds; unset: the PC's.
    std::function<int64_t()> m_wallSeconds;

    /// Signs and does `action` for the account named in the name field;
    /// true when it was kept. What is wrong is named in the dialog.
    bool Do(Action action);
    void Refill();

  private:
    void Refuse(const wxString& why);
    std::unique_ptr<QualitySignature> m_signature;
};
