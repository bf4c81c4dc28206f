// The connection dialog: the module's address and port, the press, and the two
// start-up flags. Modeless; both buttons hand the values to
// MainWindow::ApplyConnectionSettings, which applies and saves them.
#pragma once

#include <wx/dialog.h>

class wxIPCtrl;
class wxTextCtrl;
class wxCheckBox;
class wxComboBox;
class wxStaticText;

class NewDialog : public wxDialog {
  public:
    NewDialog(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& position,
              const wxSize& size, long style, const wxString& address, const wxString& port,
              bool autoconnect, bool skipQuestion, unsigned int pressIndex);

    wxIPCtrl* m_ipCtrl;
    wxTextCtrl* m_portField;
    wxCheckBox* m_autoconnectBox;
    wxComboBox* m_pressBox;
    wxCheckBox* m_skipBox;
    wxStaticText* m_ipErrorText;
    wxStaticText* m_portErrorText;

    void OnOk(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);

  private:
    void ApplyAndClose();
};
