// Modify → Force Limits…: the lower and upper limit of the peak force for the
// press currently selected, kept in limits.ini. Both fields empty removes the
// press's limits.
#pragma once

#include <wx/dialog.h>

class wxTextCtrl;
class wxStaticText;

class LimitsDialog : public wxDialog {
  public:
    LimitsDialog(wxWindow* parent, long pressIndex);

    wxTextCtrl* m_lower;
    wxTextCtrl* m_upper;
    wxStaticText* m_errorText;

    /// OK: checks the two limits, writes limits.ini and closes; a value that
    /// cannot be a limit is named in the dialog, which stays open.
    void OnOk(wxCommandEvent& event);

  private:
    void Close(int code);
    long m_pressIndex;
};
