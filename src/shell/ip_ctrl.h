// Entry field for a dotted IPv4 address: four small number fields that look
// like one text box. It has no native window of its own; its parts are children
// of the parent it is given, placed relative to the given point.
#pragma once

#include <wx/window.h>

class wxTextCtrl;
class wxStaticText;
class wxFocusEvent;

class wxIPCtrl : public wxWindow {
  public:
    wxIPCtrl(wxWindow* parent, const wxPoint& position, const wxString& address, bool anyFirstOctet,
             bool noInitialValue, bool disabled);

    /// Loads an address; shows "Invalid IP = ..." and 223.255.255.255 when it is
    /// not one. True when accepted.
    bool SetValue(const wxString& address);
    /// The four fields joined by dots, each as typed.
    wxString GetValue();
    bool Validate() override;
    void SetEnabled(bool enabled);

    wxTextCtrl* Field(int i) const { return m_fields[i]; }

  private:
    void OnFieldKillFocus(wxFocusEvent& event);

    wxString m_value;
    bool m_anyFirstOctet;
    bool m_noInitialValue;
    wxTextCtrl* m_background;
    wxTextCtrl* m_fields[4];
    wxStaticText* m_dots[3];
    wxStaticText* m_padLeft;
    wxStaticText* m_padRight;
};
