#include "shell/ip_ctrl.h"

#include "recorder/messages.h"
#include "station/settings.h"

#include <wx/regex.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/valtext.h>

namespace {

unsigned long ToUnsigned(const wxString& text) {
    unsigned long value = 0;
    for (wxUniChar c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<unsigned long>(c.GetValue() - '0');
        if (value > 100000) break;
    }
    return value;
}

} // namespace

wxIPCtrl::wxIPCtrl(wxWindow* parent, const wxPoint& p, const wxString& address, bool anyFirstOctet,
                   bool noInitialValue, bool disabled)
    : m_anyFirstOctet(anyFirstOctet), m_noInitialValue(noInitialValue) {
    const int x = p.x, y = p.y;
    m_background = new wxTextCtrl(parent, 2000, "", wxPoint(x, y), wxSize(170, 25), wxTE_READONLY);
    m_background->Disable();
    m_padLeft =
        new wxStaticText(parent, 2008, "  ", wxPoint(x + 2, y + 2), wxSize(10, 21), wxBORDER_NONE);
    wxTextValidator numeric(wxFILTER_NUMERIC);
    const int fieldX[4] = {11, 51, 91, 131};
    const int dotX[3] = {39, 79, 119};
    for (int i = 0; i < 4; ++i) {
        m_fields[i] = new wxTextCtrl(parent, 2004 + i, "0", wxPoint(x + fieldX[i], y + 2),
                                     wxSize(28, 21), wxBORDER_NONE | wxTE_CENTRE, numeric);
        m_fields[i]->SetMaxLength(3);
        if (i < 3)
            m_dots[i] = new wxStaticText(parent, 2001 + i, " . ", wxPoint(x + dotX[i], y + 2),
                                         wxSize(12, 21), wxBORDER_NONE);
    }
    m_padRight =
        new wxStaticText(parent, 2009, "  ", wxPoint(x + 159, y + 2), wxSize(9, 21), wxBORDER_NONE);

    SetEnabled(true);
    if (disabled) SetEnabled(false);
    if (!noInitialValue) SetValue(address);
    for (wxTextCtrl* field : m_fields)
        field->Bind(wxEVT_KILL_FOCUS, &wxIPCtrl::OnFieldKillFocus, this);
}

bool wxIPCtrl::SetValue(const wxString& address) {
    wxRegEx pattern("([0-9]{1,3})([.])([0-9]{1,3})([.])([0-9]{1,3})([.])([0-9]{1,3})");
    wxString parts[4];
    bool accepted = false;
    if (pattern.IsValid() && pattern.Matches(address)) {
        for (int i = 0; i < 4; ++i)
            parts[i] = pattern.GetMatch(address, 1 + 2 * i);
        unsigned long first = ToUnsigned(parts[0]);
        bool firstOk = m_anyFirstOctet ? first <= 255 : (first >= 1 && first <= 223);
        accepted = firstOk && ToUnsigned(parts[1]) <= 255 && ToUnsigned(parts[2]) <= 255 &&
                   ToUnsigned(parts[3]) <= 255;
    }
    if (!accepted) {
        ShowError(wxString::Format(_("Invalid IP = %s"), address));
        parts[0] = "223";
        parts[1] = parts[2] = parts[3] = "255";
    }
    for (int i = 0; i < 4; ++i)
        m_fields[i]->ChangeValue(parts[i]);
    m_fields[0]->SetFocus();
    return accepted;
}

wxString wxIPCtrl::GetValue() {
    m_value = m_fields[0]->GetValue() + "." + m_fields[1]->GetValue() + "." +
              m_fields[2]->GetValue() + "." + m_fields[3]->GetValue();
    return m_value;
}

bool wxIPCtrl::Validate() {
    unsigned long n[4];
    for (int i = 0; i < 4; ++i)
        n[i] = ToUnsigned(m_fields[i]->GetValue());
    bool firstOk = (m_anyFirstOctet || m_noInitialValue) ? n[0] <= 255 : (n[0] >= 1 && n[0] <= 223);
    return firstOk && n[1] <= 255 && n[2] <= 255 && n[3] <= 255;
}

void wxIPCtrl::SetEnabled(bool enabled) {
    for (wxTextCtrl* field : m_fields)
        field->SetEditable(enabled);
    wxColour colour = enabled ? wxColour(255, 255, 255) : wxColour(204, 204, 204);
    m_background->SetBackgroundColour(colour);
    m_padLeft->SetBackgroundColour(colour);
    m_padRight->SetBackgroundColour(colour);
    for (wxTextCtrl* field : m_fields)
        field->SetBackgroundColour(colour);
    for (wxStaticText* dot : m_dots)
        dot->SetBackgroundColour(colour);
}

void wxIPCtrl::OnFieldKillFocus(wxFocusEvent& event) {
    wxTextCtrl* field = wxDynamicCast(event.GetEventObject(), wxTextCtrl);
    if (field == nullptr) return;
    if (LeadingInt(field->GetValue()) >= 256) {
        ShowError(_("Ip field can be 255 maximum"));
        field->SetSelection(0, 3);
        field->SetFocus();
    }
}
