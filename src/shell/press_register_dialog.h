// Modify → Press Register…: the press in use (or a new one, by a name not in
// the register yet) with its serial, piston surface and where the figure
// comes from, its pressure module, its calibration, and a leave to record
// while the calibration is overdue. Only the quality engineer changes them:
// the dialog asks for the name, the password and the reason, and every
// change is an entry of the audit trail.
#pragma once

#include <wx/dialog.h>

#include <cstdint>
#include <functional>
#include <memory>

class QualitySignature;
class wxTextCtrl;
class wxStaticText;

class PressRegisterDialog : public wxDialog {
  public:
    PressRegisterDialog(wxWindow* parent, long pressIndex);
    ~PressRegisterDialog() override;

    wxTextCtrl *m_name, *m_serial, *m_surface, *m_surfaceSource, *m_module;
    wxTextCtrl *m_certificate, *m_calibratedOn, *m_dueOn, *m_calibratedBy, *m_reference;
    wxTextCtrl *m_allowedUntil, *m_allowedReason;
    wxTextCtrl* m_outOfTolerance; ///< the day a calibration found it out of tolerance
    QualitySignature* Signature() { return m_signature.get(); }
    wxStaticText* m_errorText;
    /// The wall clock in seconds; unset: the PC's.
    std::function<int64_t()> m_wallSeconds;

    /// OK: checks the entry and the signature, keeps the entry in the audit
    /// trail, writes superfici.ini and closes; what is wrong is named in the
    /// dialog, which stays open.
    void OnOk(wxCommandEvent& event);

  private:
    void Close(int code);
    void Refuse(const wxString& why);
    std::unique_ptr<QualitySignature> m_signature;
};
