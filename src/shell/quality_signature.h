// What a quality engineer signs a change with: the account's name, its
// password and the reason, as rows of a dialog; and the check of them before
// a change is kept. While no account exists, the first signature makes one
// (its password typed twice; on an installation of an earlier version, with
// the shared password too). Wrong passwords are kept in the trail and slow
// the next try down; the sign-in after five of them is told who tried.
#pragma once

#include "records/record_store.h"

#include <wx/string.h>

#include <cstdint>
#include <functional>
#include <string>

class wxSizer;
class wxTextCtrl;
class wxWindow;

/// What a dialog's refusals say of what it changes, in the operator's
/// language: "The limits cannot be changed: %s." and "Wrong password: the
/// limits were not changed."
struct SignedThing {
    wxString cannot;
    wxString wrongPassword;
};

/// "the audit trail cannot be used (<why>)", for `SignedThing::cannot`.
wxString TrailUnusable(const std::string& why);

class QualitySignature {
  public:
    /// Adds the rows to `column` of `dialog`.
    QualitySignature(wxWindow* dialog, wxSizer* column, SignedThing what);

    wxTextCtrl* who = nullptr;
    wxTextCtrl* password = nullptr; ///< the shared one while it is still in use
    wxTextCtrl* fresh = nullptr;    ///< only while the shared password is in use
    wxTextCtrl* repeat = nullptr;   ///< only while no account is made
    wxTextCtrl* reason = nullptr;
    /// The wall clock in seconds: the time of the change and of a wrong
    /// password, and the wait after wrong ones.
    std::function<int64_t()> wallSeconds;

    /// Why nothing can be signed now (the trail or the password file cannot
    /// be used), "" when it can.
    wxString Unusable() const { return m_unusable; }

    /// Checks the signature. True with `change`'s time, the account's name,
    /// PC and reason set; false with what is wrong in `why`. A wrong password
    /// goes to the trail as `wrong` (the caller's press and values) with the
    /// time, name and reason typed.
    bool Sign(RecordStore& store, const Change& wrong, Change& change, wxString* why);

    /// The refusal "... cannot be changed: <reason>."
    wxString Cannot(const wxString& reason) const;

  private:
    SignedThing m_what;
    wxString m_unusable;
};
