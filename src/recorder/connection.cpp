// The panel's side of the link: connection parameters and status line, a
// connection attempt with its progress dialog, the start of the reader and the
// sender, and the closing of the link by the operator or on a lost module.
#include "recorder/terminal_panel.h"

#include "link/threads.h"
#include "recorder/render_timer.h"
#include "shell/events.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/new_dialog.h"
#include "shell/settings.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/progdlg.h>
#include <wx/stattext.h>
#include <wx/app.h>
#include <wx/utils.h>

namespace {

// A progress dialog's update dispatches only user-interface events of the
// toolkit; the workers' outcome events wait in the handlers' queues. Let them
// through while a wait runs.
void DispatchPendingEvents() {
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
}

} // namespace

void TerminalPanel::SetConnectionParameters(const wxString& address, const wxString& port,
                                            bool autoconnect, bool skipQuestion,
                                            unsigned int pressIndex) {
    m_ipAddress = address;
    m_portText = port;
    m_autoConnect = autoconnect;
    m_skipQuestion = skipQuestion;
    m_pressIndex = static_cast<int>(pressIndex);
    m_statusText->SetLabel(
        StatusLine(address, port, MainWindow::GetInstance()->PressName(m_pressIndex)));
}

void TerminalPanel::OnConnect(wxCommandEvent&) {
    if (m_connected || m_attempt) return; // open, or an attempt already runs

    const std::string address(m_ipAddress.utf8_str());
    const uint16_t port = static_cast<uint16_t>(LeadingInt(m_portText) & 0xFFFF);

    auto attempt = std::make_shared<ConnectAttempt>();
    attempt->number = ++m_attemptCount;
    m_attempt = attempt;
    m_connectState = 0;

    ConnectThread* worker = new ConnectThread(this, address, port, attempt);
    m_connectThread = worker;
    if (worker->Create() != wxTHREAD_NO_ERROR || worker->Run() != wxTHREAD_NO_ERROR) {
        delete worker;
        attempt->finished = true;
        m_connectState = -1;
    }

    {
        wxProgressDialog progress("Connection to Wi-Fi module",
                                  "Connection in progress. Please Wait...", 100, this,
                                  wxPD_CAN_ABORT | wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_SMOOTH);
        const int sleepMs = 10 * SockGetConnectTimeout() + 100;
        for (int value = 0; value <= 100; value += 2) {
            wxMilliSleep(sleepMs);
            DispatchPendingEvents();
            if (m_connectState == 1 || m_connectState == -1) break;
            if (!progress.Update(value)) {
                if (AskYesNo("Do you really want to cancel connection?", "End Connection?")) break;
                progress.Resume();
            }
            if (m_connectState == 1 || m_connectState == -1) break;
        }
    }

    m_connectThread = nullptr;
    if (m_connectState == 0) {
        // No outcome: stop the worker and wait for it, the GUI still dispatching
        // events. Its late outcome, if any, belongs to no attempt any more.
        attempt->stopRequested = true;
        m_attempt.reset();
        while (!attempt->finished) {
            wxYield();
            wxMilliSleep(10);
        }
        m_connectState = 0;
        return;
    }
    m_attempt.reset();
    if (m_connectState == -1) {
        ShowError("Wi-Fi Module disconnected: please check if the module is on and the PC is "
                  "connected to the Wi-Fi network.");
        m_connectState = 0;
        return;
    }

    // Connected: m_link was set by OnConnectOk.
    ReadThread* reader = new ReadThread(this, m_link);
    m_readThread = reader;
    m_link->reader = reader;
    if (reader->Create() != wxTHREAD_NO_ERROR || reader->Run() != wxTHREAD_NO_ERROR) {
        delete reader;
        m_readThread = nullptr;
        ShowLinkError();
    }
    SendMessageThread* sender = new SendMessageThread(this, 75, m_link);
    m_sendThread = sender;
    m_link->sender = sender;
    if (sender->Create() != wxTHREAD_NO_ERROR || sender->Run() != wxTHREAD_NO_ERROR) {
        delete sender;
        m_sendThread = nullptr;
        ShowLinkError();
    }

    m_connected = true;
    m_connectButton->Disable();
    m_disconnectButton->Enable();
    m_startButton->Enable();
}

void TerminalPanel::OnConnectOk(wxCommandEvent& event) {
    if (event.GetId() != EVT_CONNECT_OK) return;
    ConnectOutcomeEvent* outcome = dynamic_cast<ConnectOutcomeEvent*>(&event);
    // An outcome of an attempt that was given up is dropped; its socket closes.
    if (outcome == nullptr || !m_attempt || outcome->Attempt() != m_attempt->number) return;
    std::shared_ptr<UniqueSocket> socket = outcome->Socket();
    if (!socket || !socket->Valid()) return;
    m_link = std::make_shared<LinkSession>(std::move(*socket), ++m_linkCount);
    m_socket = m_link->Socket();
    m_connectState = 1;
}

void TerminalPanel::OnConnectFailed(wxCommandEvent& event) {
    if (event.GetId() != EVT_CONNECT_FAILED) return;
    ConnectOutcomeEvent* outcome = dynamic_cast<ConnectOutcomeEvent*>(&event);
    if (outcome == nullptr || !m_attempt || outcome->Attempt() != m_attempt->number) return;
    m_connectState = -1;
}

void TerminalPanel::ShowLinkError() {
    ShowError(wxString::FromUTF8(SockErrorText(SockGetLastError())));
}

void TerminalPanel::OnDisconnect(wxCommandEvent& event) {
    if (!m_connected) return;
    m_connected = false;
    m_disconnectButton->Disable();
    m_startButton->Disable();

    std::shared_ptr<LinkSession> link = m_link;
    if (link) link->Pause();
    // Readings and outcomes still queued belong to the link being closed.
    DeletePendingEvents();

    if (link) {
        DisconnectThread* worker = new DisconnectThread(link, this);
        if (worker->Create() != wxTHREAD_NO_ERROR || worker->Run() != wxTHREAD_NO_ERROR) {
            delete worker;
            link->EndWorkers(0); // the wait below watches them go
        }
        {
            wxProgressDialog progress("Disconnecting", "Disconnecting, please wait...", 100, this,
                                      wxPD_AUTO_HIDE | wxPD_SMOOTH);
            // Handled once this closing is done, so that the operator first learns
            // that the link is gone and then that the recording ended with it.
            PostRecordEnd();
            m_renderTimer->StopCountdown();
            for (int i = 0; i < 301 && (link->reader.load() || link->sender.load()); ++i) {
                wxMilliSleep(10);
                progress.Pulse();
            }
        }
        if (event.GetId() == EVT_LINK_LOST) ShowError("Network disconnected", "Disonnected");
    }
    // The socket closes once the workers still holding it have ended.
    m_link.reset();
    m_connectState = 0;
    m_pressureText->SetLabel("Pressure: none");
    m_connectButton->Enable();
}

void TerminalPanel::OnEditConnection(wxCommandEvent&) {
    new NewDialog(MainWindow::GetInstance()->m_frame, wxID_ANY, "Connection Parameters",
                  wxDefaultPosition, wxSize(380, 300), wxDEFAULT_DIALOG_STYLE, m_ipAddress,
                  m_portText, m_autoConnect, m_skipQuestion, static_cast<unsigned>(m_pressIndex));
}

void TerminalPanel::EndLinkWorkers() {
    if (m_attempt) {
        m_attempt->stopRequested = true;
        for (int i = 0; i < 6000 && !m_attempt->finished; ++i)
            wxMilliSleep(1);
    }
    if (!m_link) return;
    m_link->Pause();
    m_link->EndWorkers(3000);
    m_link.reset();
}
