// Modify → Force Limits…: the lower and upper limit of the peak force for the
// press currently selected. Only the quality engineer changes them: the
// dialog asks for the name, the password and the reason, and every change is
// kept in the audit trail. Without a password set, the first change sets
// one. Both limit fields empty removes the press's limits.
#pragma once

#include <wx/dialog.h>

#include <cstdint>
#include <functional>
#include <memory>

class QualitySignature;
class wxTextCtrl;
class wxStaticText;

class LimitsDialog : public wxDialog {
  public:
    LimitsDialog(wxWindow* parent, long pressIndex);
    ~LimitsDialog() override;

    wxTextCtrl* m_lower;
    wxTextCtrl* m_upper;
    wxTextCtrl* m_who;
    wxTextCtrl* m_password;
    wxTextCtrl* m_repeat = nullptr; ///< only while no password is set
    wxTextCtrl* m_reason;
    wxStaticText* m_errorText;
    /// Seconds of a steady clock, for the wait after wrong passwords;
    /// unset: the steady clock.
    std::function<int64_t()> m_wallSeconds;

    /// OK: checks the two limits and the password, writes limits.ini and
    /// the audit trail and closes; what is wrong is named in the dialog,
    /// which stays open.
    void OnOk(wxCommandEvent& event);

  private:
    void Close(int code);
    void Refuse(const wxString& why);
    long m_pressIndex;
    std::unique_ptr<QualitySignature> m_signature;
};
