// The panel's side of the link: connection parameters and status line, a
// connection attempt with its progress dialog, the start of the link, the
// closing of the link by the operator, and a lost module noticed by the link,
// after which the panel reconnects by itself in the background.
#include "recorder/terminal_panel.h"

#include "recorder/render_timer.h"
#include "recorder/state_banner.h"
#include "recorder/events.h"
#include "recorder/messages.h"
#include "recorder/typed_number.h"

#include <wx/choice.h>
#include <wx/textctrl.h>
#include <wx/app.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/progdlg.h>
#include <wx/stattext.h>
#include <wx/utils.h>

namespace {

// A progress dialog's update dispatches only user-interface events of the
// toolkit; the workers' outcomes wait in the handlers' queues. Let them
// through while a wait runs.
void DispatchPendingEvents() {
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
}

const char* const kConnectFailed = "Wi-Fi Module disconnected: please check if the module is on "
                                   "and the PC is connected to the Wi-Fi network.";

} // namespace

void TerminalPanel::SetConnectionParameters(const wxString& address, const wxString& port,
                                            bool autoconnect, bool skipQuestion,
                                            unsigned int pressIndex) {
    // Another module: the link to the old one is closed and the new one is
    // connected, so no reading of the old module is shown under the new name.
    const bool otherModule = (m_connected || m_reconnecting || m_connectThread) &&
                             (address != m_ipAddress || port != m_portText);
    m_ipAddress = address;
    m_portText = port;
    m_autoConnect = autoconnect;
    m_skipQuestion = skipQuestion;
    // The threshold kept for the press comes with it (not during a cycle:
    // the press cannot change then).
    const bool otherPress = m_pressIndex != static_cast<int>(pressIndex);
    if (otherPress) KeepThreshold();
    m_pressIndex = static_cast<int>(pressIndex);
    // The presses are known once the settings are read.
    wxArrayString presses;
    for (long i = 0; i < kPressChoices && !m_host.PressName(i).empty(); ++i)
        presses.Add(m_host.PressName(i));
    if (presses != m_pressChoice->GetStrings()) m_pressChoice->Set(presses);
    m_pressChoice->SetSelection(
        m_pressIndex < static_cast<int>(m_pressChoice->GetCount()) ? m_pressIndex : wxNOT_FOUND);
    if (!m_cycle.m_armed && !m_cycle.m_recording) {
        const auto kept = m_thresholds.find(std::string(m_host.PressName(m_pressIndex).utf8_str()));
        if (kept != m_thresholds.end())
            m_alarmThreshold->ChangeValue(wxString::Format("%d", kept->second));
        else if (otherPress)
            m_alarmThreshold->ChangeValue("0");
    }
    UpdateThresholdLine(); // the force of the threshold follows the press
    UpdateLimitLines();
    if (!m_reconnecting)
        m_statusText->SetLabel(StatusLine(address, port, m_host.PressName(m_pressIndex)));
    if (otherModule) ReconnectToNewModule();
}

void TerminalPanel::ReconnectToNewModule() {
    if (m_reconnecting) {
        StopReconnecting();
        ShowClosedButtons();
    } else if (m_connected) {
        wxCommandEvent closing;
        OnDisconnect(closing);
    }
    RefreshBanner();
    wxCommandEvent event = MakeProgramEvent(EVT_AUTOCONNECT);
    wxPostEvent(this, event);
}

bool TerminalPanel::RefuseChangeWhileRecording() const {
    if (!m_cycle.m_armed && !m_cycle.m_recording) return false;
    ShowError("Stop the recording first: the module and the press of a recording cannot change "
              "after Start.");
    return true;
}

wxString TerminalPanel::AddressText() const {
    return m_ipAddress + ":" + wxString::Format("%d", LeadingInt(m_portText) & 0xFFFF);
}

std::unique_ptr<ConnectThread> TerminalPanel::StartConnectThread() {
    const std::string address(m_ipAddress.utf8_str());
    const uint16_t port = static_cast<uint16_t>(LeadingInt(m_portText) & 0xFFFF);
    return std::make_unique<ConnectThread>(
        address, port, ++m_attemptCount, SockGetConnectTimeout() * 1000, [this](ConnectResult r) {
            auto result = std::make_shared<ConnectResult>(std::move(r));
            CallAfter([this, result] { OnConnectOutcome(*result); });
        });
}

void TerminalPanel::OnConnectOutcome(ConnectResult& result) {
    // An outcome of an attempt that was given up is dropped; its socket closes.
    if (result.attempt != m_attemptCount) return;
    if (m_reconnecting) {
        m_connectThread.reset();
        if (!result.socket.Valid()) {
            ScheduleReconnect();
            return;
        }
        m_reconnecting = false;
        StartLink(std::move(result.socket));
        return;
    }
    if (!m_connectThread) return;
    m_connectCause = result.cause;
    m_connectedSocket = std::move(result.socket);
    m_connectState = m_connectedSocket.Valid() ? 1 : -1;
}

void TerminalPanel::OnConnect(wxCommandEvent&) {
    if (m_connected || m_connectThread || m_reconnecting) return;
    m_connectState = 0;
    m_connectedSocket.Reset();
    m_connectThread = StartConnectThread();
    RefreshBanner();
    m_banner->Update();
    {
        wxProgressDialog progress("Connection to Wi-Fi module",
                                  "Connection in progress. Please Wait...", 100, this,
                                  wxPD_CAN_ABORT | wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_SMOOTH);
        const int sleepMs = 10 * SockGetConnectTimeout() + 100;
        for (int value = 0; value <= 100; value += 2) {
            wxMilliSleep(sleepMs);
            DispatchPendingEvents();
            if (m_connectState != 0) break;
            if (!progress.Update(value)) {
                if (AskYesNo("Do you really want to cancel connection?", "End Connection?")) break;
                progress.Resume();
            }
            if (m_connectState != 0) break;
        }
    }
    // Cancels an attempt still running and waits for its thread (a tenth of
    // a second at most): nothing of it is left to wind down later.
    m_connectThread.reset();
    const int state = m_connectState;
    m_connectState = 0;
    if (state == 0) {
        m_connectedSocket.Reset();
        return;
    }
    if (state == -1) {
        ShowError(wxString(kConnectFailed) + "\n\n" + AddressText() + ": " +
                  wxString::FromUTF8(SockConnectFailureText(m_connectCause)) +
                  wxString(L".\nThe address and port are changed in File \u2192 New Connection."));
        return;
    }
    StartLink(std::move(m_connectedSocket));
}

void TerminalPanel::StartLink(UniqueSocket socket) {
    LinkOptions options;
    options.startupCommands = m_host.StartupCommands();
    m_link = std::make_unique<Link>(std::move(socket), ++m_linkCount, options, *this);
    m_socket = m_link->Socket();
    m_link->Start();

    m_connected = true;
    m_connectState = 1;
    m_haveReading = false;
    m_linkStartedAt = SteadyClock::now();
    // The box that told of the loss has nothing more to say.
    if (m_lossBox) m_lossBox->Dismiss();
    RefreshBanner();
    m_connectButton->Disable();
    m_disconnectButton->Enable();
    UpdateStartButton();
    m_statusText->SetLabel(StatusLine(m_ipAddress, m_portText, m_host.PressName(m_pressIndex)));
}

void TerminalPanel::OnReadingsWaiting(int linkId) {
    CallAfter([this, linkId] { DrainReadings(linkId); });
}

void TerminalPanel::OnLinkLost(int linkId, LinkLoss loss) {
    CallAfter([this, linkId, loss] { HandleLinkLost(linkId, loss); });
}

void TerminalPanel::DrainReadings(int linkId) {
    // Readings of a link that is closing or closed have no effect.
    if (!m_connected || !m_link || m_link->Id() != linkId) return;
    m_link->TakeReadings(m_taken);
    ApplyReadings(m_taken);
}

void TerminalPanel::HandleLinkLost(int linkId, LinkLoss loss) {
    if (!m_connected || !m_link || m_link->Id() != linkId) return;
    m_connected = false;
    m_connectState = 0;
    // The link ends on a thread of its own; the window never waits for it.
    m_link->Pause();
    m_closing.push_back(std::make_unique<DisconnectThread>(std::move(m_link)));
    m_pressureText->SetLabel(_("Pressure: none"));
    m_startButton->Disable();
    m_connectButton->Disable();
    m_disconnectButton->Enable(); // stops the reconnection

    wxString message = _("Network disconnected: ") + wxString(LinkLossText(loss)) + ".";
    const bool endedRecording = m_cycle.m_recording;
    if (m_cycle.m_recording) {
        FinishCycle(loss == LinkLoss::ReadingsStopped ? RecordEnd::ReadingsStopped
                                                      : RecordEnd::ModuleLost,
                    false);
        message += "\n" + _("The recording ended early: ") + wxString(m_cycle.IncompleteText()) +
                   ". " + _("Print Report writes what was recorded, marked incomplete.");
    }
    // A module that keeps dropping the link is one incident: the back-off
    // goes on, and the operator is told once, until a link holds 30 s.
    const bool held = SteadyClock::now() - m_linkStartedAt >= std::chrono::seconds(30);
    const bool newIncident = held || m_reconnectAttempt == 0;
    if (held) m_reconnectAttempt = 0;
    m_reconnecting = true;
    ScheduleReconnect();
    message += "\n" + wxString::Format(
                          _("The program reconnects to %s by itself; press Disconnect to stop."),
                          AddressText());
    RefreshBanner();
    // One box at a time; a recording cut short is always told.
    if (m_lossBox || !(newIncident || endedRecording)) return;
    // Reconnection goes on while the box is open; a link that is back
    // closes it.
    if (ShowNotice(message, _("Disconnected"), &m_lossBox)) ++m_lossBoxesClosed;
}

void TerminalPanel::ScheduleReconnect() {
    ++m_reconnectAttempt;
    m_statusText->SetLabel(
        wxString::Format(_(L"Module lost \u2014 reconnecting to %s (attempt %d)"), AddressText(),
                         m_reconnectAttempt));
    m_reconnectTimer.StartOnce(ReconnectDelayMs(m_reconnectAttempt));
}

void TerminalPanel::OnReconnectTimer(wxTimerEvent&) {
    if (!m_reconnecting || m_connectThread) return;
    for (auto it = m_closing.begin(); it != m_closing.end();)
        it = (*it)->Done() ? m_closing.erase(it) : it + 1;
    m_connectThread = StartConnectThread();
}

void TerminalPanel::StopReconnecting() {
    m_reconnecting = false;
    m_reconnectAttempt = 0;
    m_reconnectTimer.Stop();
    m_connectThread.reset();
    m_statusText->SetLabel(StatusLine(m_ipAddress, m_portText, m_host.PressName(m_pressIndex)));
}

void TerminalPanel::ShowClosedButtons() {
    m_pressureText->SetLabel(_("Pressure: none"));
    m_connectButton->Enable();
    m_disconnectButton->Disable();
    m_startButton->Disable();
}

void TerminalPanel::OnDisconnect(wxCommandEvent&) {
    if (m_reconnecting) {
        // The operator's Disconnect ends the reconnection too.
        StopReconnecting();
        ShowClosedButtons();
        return;
    }
    if (!m_connected) return;
    m_connected = false;
    m_disconnectButton->Disable();
    m_startButton->Disable();

    if (m_link) {
        m_link->Pause();
        auto closing = std::make_unique<DisconnectThread>(std::move(m_link));
        wxProgressDialog progress("Disconnecting", "Disconnecting, please wait...", 100, this,
                                  wxPD_AUTO_HIDE | wxPD_SMOOTH);
        m_renderTimer->StopCountdown();
        for (int i = 0; i < 301 && !closing->Done(); ++i) {
            wxMilliSleep(10);
            progress.Pulse();
        }
    }
    m_connectState = 0;
    ShowClosedButtons();
    RefreshBanner();
    // The operator first sees the link closed, then learns that the
    // recording ended with it.
    if (m_cycle.m_recording) FinishCycle(RecordEnd::Disconnected, false);
}

void TerminalPanel::OnEditConnection(wxCommandEvent&) {
    if (RefuseChangeWhileRecording()) return;
    m_host.EditConnection(m_ipAddress, m_portText, m_autoConnect, m_skipQuestion,
                          static_cast<unsigned>(m_pressIndex));
}
