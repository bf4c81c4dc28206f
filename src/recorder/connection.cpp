// The panel's side of the link: the connection's settings and the press in
// use, and the waits the operator sees while the station connects to the
// module or closes the link.
#include "recorder/terminal_panel.h"
#include "station/translate.h"

#include "recorder/events.h"
#include "recorder/messages.h"
#include "recorder/state_banner.h"
#include "station/typed_number.h"

#include <wx/app.h>
#include <wx/choice.h>
#include <wx/progdlg.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

namespace {

// A progress dialog's update dispatches only user-interface events of the
// toolkit; the workers' outcomes wait in the handlers' queues. Let them
// through while a wait runs.
void DispatchPendingEvents() {
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
}

const char* const kConnectFailed = N_("Wi-Fi Module disconnected: please check if the module is "
                                      "on and the PC is connected to the Wi-Fi network.");

} // namespace

void TerminalPanel::SetConnectionParameters(const wxString& address, const wxString& port,
                                            bool autoconnect, bool skipQuestion,
                                            unsigned int pressIndex) {
    // The threshold kept for the press comes with it (not during a cycle:
    // the press cannot change then).
    const bool otherPress = m_connection.pressIndex != pressIndex;
    if (otherPress) KeepThreshold();
    m_connection = {address, port, autoconnect, skipQuestion, pressIndex};
    // The presses are known once the settings are read.
    wxArrayString presses;
    for (long i = 0; i < kPressChoices && !m_host.PressName(i).empty(); ++i)
        presses.Add(m_host.PressName(i));
    if (presses != m_ui.pressChoice->GetStrings()) m_ui.pressChoice->Set(presses);
    m_ui.pressChoice->SetSelection(
        pressIndex < m_ui.pressChoice->GetCount() ? static_cast<int>(pressIndex) : wxNOT_FOUND);
    if (!m_station.Running()) {
        const auto kept = m_thresholds.find(std::string(m_host.PressName(pressIndex).utf8_str()));
        if (kept != m_thresholds.end())
            m_ui.alarmThreshold->ChangeValue(wxString::Format("%d", kept->second));
        else if (otherPress)
            m_ui.alarmThreshold->ChangeValue("0");
    }
    ApplyThreshold(); // the press's own, its force on this press's surface
    UpdateLimitLines();
    const bool reconnect = m_station.SetModule(std::string(address.utf8_str()), LeadingInt(port),
                                               m_host.StartupCommands());
    OnStateChanged();
    if (reconnect) {
        // Another module: connected anew, as the operator would.
        wxCommandEvent event = MakeProgramEvent(EVT_AUTOCONNECT);
        wxPostEvent(this, event);
    }
}

bool TerminalPanel::RefuseChangeWhileRecording() const {
    if (!m_station.Running()) return false;
    ::ShowError(_("Stop the recording first: the module and the press of a recording cannot "
                  "change after Start."));
    return true;
}

void TerminalPanel::OnConnect(wxCommandEvent&) {
    if (!m_station.Connect()) return;
    m_ui.banner->Update();
    {
        wxProgressDialog progress(_("Connection to Wi-Fi module"),
                                  _("Connection in progress. Please Wait..."), 100, this,
                                  wxPD_CAN_ABORT | wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_SMOOTH);
        InOwnWords(&progress);
        const int sleepMs = 10 * SockGetConnectTimeout() + 100;
        for (int value = 0; value <= 100; value += 2) {
            wxMilliSleep(sleepMs);
            DispatchPendingEvents();
            if (!m_station.Connecting()) break;
            if (!progress.Update(value)) {
                if (AskYesNo(_("Do you really want to cancel connection?"), _("End Connection?")))
                    break;
                progress.Resume();
            }
            if (!m_station.Connecting()) break;
        }
    }
    // Cancelled, or given up at the dialog's end.
    if (m_station.Connecting()) {
        m_station.CancelConnect();
        return;
    }
    if (!m_station.Connected() && !m_station.ConnectFailure().empty())
        ::ShowError(TrW(kConnectFailed) + "\n\n" + wxString::FromUTF8(m_station.AddressText()) +
                    ": " + TrW(m_station.ConnectFailure().c_str()) + "." + "\n" +
                    TrW("The address and port are changed in File \xE2\x86\x92 New Connection."));
}

void TerminalPanel::OnDisconnect(wxCommandEvent&) {
    const bool wasConnected = m_station.Connected();
    m_station.Disconnect();
    if (!wasConnected || !m_station.Closing()) return;
    wxProgressDialog progress(_("Disconnecting"), _("Disconnecting, please wait..."), 100, this,
                              wxPD_AUTO_HIDE | wxPD_SMOOTH);
    for (int i = 0; i < 301 && m_station.Closing(); ++i) {
        wxMilliSleep(10);
        progress.Pulse();
    }
}

void TerminalPanel::OnEditConnection(wxCommandEvent&) {
    if (RefuseChangeWhileRecording()) return;
    m_host.EditConnection(m_connection.address, m_connection.port, m_connection.autoconnect,
                          m_connection.skipQuestion, m_connection.pressIndex);
}
