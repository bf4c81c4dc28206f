// What the quality engineer signs a change with: the name, the password
// (typed twice while none is set yet, which then sets it) and the reason, as
// rows of a dialog; and the check of them against the audit trail before a
// change is kept. A wrong password is kept in the trail too, and after
// several the next try waits, however often the program is started again
// (the wait comes from the trail). A password file other than the one whose
// fingerprint the trail keeps is refused.
#pragma once

#include "records/record_store.h"

#include <wx/string.h>

#include <cstdint>
#include <functional>

class wxSizer;
class wxTextCtrl;
class wxWindow;

class QualitySignature {
  public:
    /// Adds the rows to `column` of `dialog`; `what` names what is changed
    /// in the refusals ("the limits").
    QualitySignature(wxWindow* dialog, wxSizer* column, const wxString& what);

    wxTextCtrl* who = nullptr;
    wxTextCtrl* password = nullptr;
    wxTextCtrl* repeat = nullptr; ///< only while no password is set
    wxTextCtrl* reason = nullptr;
    /// The wall clock in seconds: the time of the change and of a wrong
    /// password, and the wait after wrong ones.
    std::function<int64_t()> wallSeconds;

    /// Why nothing can be signed now (the trail or the password file cannot
    /// be used), "" when it can.
    wxString Unusable() const { return m_unusable; }

    /// Checks the signature. True with `change`'s time, name, PC and reason
    /// set; false with what is wrong in `why`. A wrong password goes to the
    /// trail as `wrong` (the caller's press and values) with the time, name
    /// and reason typed.
    bool Sign(RecordStore& store, const Change& wrong, Change& change, wxString* why);

  private:
    wxString Capital() const;
    wxString m_what;
    wxString m_unusable;
};
