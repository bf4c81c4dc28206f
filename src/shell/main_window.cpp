#include "shell/main_window.h"

#include "records/record_store.h"

#include "link/transport.h"
#include "recorder/terminal_panel.h"
#include "recorder/events.h"
#include "shell/menu_bar.h"
#include "recorder/messages.h"
#include "shell/new_dialog.h"
#include "shell/paths.h"

#include <wx/checkbox.h>
#include <wx/display.h>
#include <wx/dirdlg.h>
#include <wx/fileconf.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statusbr.h>
#include <wx/filename.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/wfstream.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <stdexcept>

const char* const kProgramTitle = "Vemo Press Pressure Recorder";

namespace {
const char* const kConfigFile = "config.ini";
}

MainWindow* MainWindow::s_instance = nullptr;

namespace {

/// A value of config.ini read before the main window exists.
wxString EarlySetting(const wxString& key, const wxString& fallback) {
    if (!wxFileName::FileExists(kConfigFile)) return fallback;
    wxFileInputStream in(kConfigFile);
    return in.IsOk() ? wxFileConfig(in, wxConvAuto()).Read(key, fallback) : fallback;
}

} // namespace

std::string RecordStorePath() {
    return std::string(EarlySetting("records_db", "records.db").utf8_str());
}

std::string PlantServerSetting() {
    return std::string(EarlySetting("records_server", "").Trim().Trim(false).utf8_str());
}

std::string LanguageSetting() {
    return std::string(EarlySetting("language", "").utf8_str());
}

MainWindow::MainWindow() {
    std::memset(m_initCommands, 0, sizeof m_initCommands);
    std::memset(m_surfaces, 0, sizeof m_surfaces);
}

MainWindow::~MainWindow() {
    delete m_config;
    delete m_pressNames;
}

MainWindow* MainWindow::GetInstance() {
    if (s_instance == nullptr) {
        s_instance = new MainWindow();
        s_instance->Build();
    }
    return s_instance;
}

void MainWindow::DestroyInstance() {
    if (s_instance == nullptr) return;
    // The panel goes at once, with its timers and pending calls: the frame
    // goes only on idle, and none of them may build a new window from the
    // old settings meanwhile.
    if (s_instance->m_panel) s_instance->m_panel->Destroy();
    s_instance->m_panel = nullptr;
    if (s_instance->m_frame) s_instance->m_frame->Destroy();
    delete s_instance;
    s_instance = nullptr;
}

void MainWindow::Build() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_JPEG)) wxImage::AddHandler(new wxJPEGHandler);

    if (!SockInit()) throw std::runtime_error(SockErrorText(SockGetLastError()));

    wxRect display = wxDisplay(0u).GetGeometry();
    const int W = display.GetWidth();
    const int H = display.GetHeight();

    m_frame = new wxFrame(nullptr, wxID_ANY, kProgramTitle, wxDefaultPosition, wxSize(800, 600),
                          wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX |
                              wxMAXIMIZE_BOX | wxMAXIMIZE);
    m_frame->Maximize(true);
#ifdef _WIN32
    m_frame->SetIcon(wxIcon("aaaa_appicon")); // from the program's resources
#else
    if (wxFileName::FileExists(DataPath("icons/vemo-recorder.png")))
        m_frame->SetIcon(wxIcon(DataPath("icons/vemo-recorder.png"), wxBITMAP_TYPE_PNG));
#endif

    m_statusBar = m_frame->CreateStatusBar(1, wxSTB_DEFAULT_STYLE, 0);
    m_statusBar->SetStatusText(
        wxString::Format(_("Vemo Press Pressure Recorder - Version %s"), kProgramVersion), 0);

    m_menuBar = new MenuBar();

    try {
        m_panel = new TerminalPanel(m_frame, *this, W, H);
        new wxStaticBitmap(m_frame, wxID_ANY,
                           wxBitmap(DataPath("icons/logo.jpg"), wxBITMAP_TYPE_JPEG),
                           wxPoint(W - 220, 0), wxSize(200, 50));
        // Under the right column's last setting, clear of every control.
        // Left out where the screen has no room for it below the settings
        // (a 768-pixel screen), rather than cut by the status line.
        const int below = m_panel->Controls().autoEndCheck->GetRect().GetBottom() + 10;
        const int room = wxDisplay(0u).GetClientArea().GetHeight() - 60; // menu and status line
        const int logoY = std::max(below, H - 145);
        if (logoY + 33 <= room)
            new wxStaticBitmap(m_frame, wxID_ANY,
                               wxBitmap(DataPath("icons/logoVemo.jpg"), wxBITMAP_TYPE_JPEG),
                               wxPoint(W - 262, logoY), wxSize(242, 33));
    } catch (const wxString& message) {
        ShowError(message);
    }

    m_sizer = new wxBoxSizer(wxVERTICAL);
    if (m_panel) m_sizer->Add(m_panel, 1, wxEXPAND, 0);
    m_frame->SetSizer(m_sizer);
    m_frame->Layout();

    m_frame->SetBackgroundColour(*wxWHITE);
    m_frame->Centre(wxBOTH);
    m_frame->Show(true);

    m_frame->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        // A running recording is never lost silently: ask, and end it with
        // its journal closed.
        if (m_panel && m_panel->Job().IsRecording()) {
            if (event.CanVeto() &&
                !AskYesNo(_("A recording is running. Quit anyway? The recording ends here; its "
                            "data is kept in the recordings folder."),
                          _("Quit?"))) {
                event.Veto();
                return;
            }
            m_panel->Job().EndForExit();
        }
        event.Skip();
    });

    wxString ip, port;
    bool autoconnect = true, skipQuestion = true;
    long pressIndex = 0;
    ReadSettingsFiles(ip, port, autoconnect, pressIndex, skipQuestion);
    // The shift's operator, as kept by the last report.
    if (m_panel) m_panel->Controls().operatorId->ChangeValue(m_config->Read("operator", ""));
    if (m_panel) m_panel->ShowPrinter();
    // The keyboard starts where the job does, whenever the window becomes
    // active without a field of its own in use: the axle field once the
    // shift's operator is known.
    if (m_panel)
        m_frame->Bind(
            wxEVT_ACTIVATE, [frame = m_frame, first = true](wxActivateEvent& event) mutable {
                event.Skip();
                // Looked up each time: a frame on its way out has no panel left.
                if (!event.GetActive() || frame->IsBeingDeleted()) return;
                auto* panel = dynamic_cast<TerminalPanel*>(frame->FindWindow(ID_TERMINAL_PANEL));
                if (!panel || panel->IsBeingDeleted()) return;
                // The first time whatever the toolkit chose; later only when no
                // control of the panel has the keyboard.
                const bool always = first;
                first = false;
                panel->CallAfter([panel, always] {
                    const wxWindow* focus = wxWindow::FindFocus();
                    if (!always && focus && panel->IsDescendant(const_cast<wxWindow*>(focus)))
                        return;
                    const PanelControls& ui = panel->Controls();
                    if (!ui.operatorId->IsEnabled()) return; // a cycle runs
                    (ui.operatorId->IsEmpty() ? ui.operatorId : ui.axleDesignation)->SetFocus();
                });
            });
    // On unless switched off.
    if (m_panel)
        m_panel->Controls().autoEndCheck->SetValue(
            FlagFromText(m_config->Read("end_when_released", "")));

    // The record store, before the interrupted journals are kept in it.
    if (m_panel)
        m_panel->Job().OpenRecordStore(
            std::string(m_config->Read("records_db", "records.db").utf8_str()),
            PlantServerSetting());
    if (m_panel) m_panel->CallAfter([panel = m_panel] { panel->ReportInterruptedJournals(); });
    if (skipQuestion) {
        if (m_panel) {
            m_panel->SetConnectionParameters(ip, port, autoconnect, true,
                                             static_cast<unsigned>(pressIndex));
            if (autoconnect) {
                wxCommandEvent event = MakeProgramEvent(EVT_AUTOCONNECT);
                wxPostEvent(m_panel, event);
            }
        }
    } else {
        // The saved module stays in use when the operator cancels the dialog.
        if (m_panel)
            m_panel->SetConnectionParameters(ip, port, autoconnect, false,
                                             static_cast<unsigned>(pressIndex));
        new NewDialog(m_frame, wxID_ANY, _("Vemo Press Pressure Recorder Connect"),
                      wxDefaultPosition, wxSize(380, 300), wxDEFAULT_DIALOG_STYLE, ip, port,
                      autoconnect, false, static_cast<unsigned>(pressIndex));
    }
}

void MainWindow::ReadSettingsFiles(wxString& ip, wxString& port, bool& autoconnect,
                                   long& pressIndex, bool& skipQuestion) {
    ReadInitCommandsFile("init.ini", m_initCommands);

    PressList presses = ReadPressFile("superfici.ini");

    std::string ignored;
    m_limits = ReadLimits(kLimitsFile, &ignored);
    if (!ignored.empty())
        fprintf(stderr,
                "%s: line %s ignored: not \"lower_t,upper_t,press\" with 0 <= lower < upper\n",
                kLimitsFile, ignored.c_str());

    if (wxFileName::FileExists(kConfigFile)) {
        wxFileInputStream in(kConfigFile);
        m_config = in.IsOk() ? new wxFileConfig(in, wxConvAuto())
                             : new wxFileConfig(wxEmptyString, wxEmptyString, wxEmptyString,
                                                wxEmptyString, 0);
    } else {
        m_config = new wxFileConfig(wxEmptyString, wxEmptyString, wxEmptyString, wxEmptyString, 0);
    }
    // Values are read back exactly as stored: no environment expansion.
    m_config->SetExpandEnvVars(false);

    // The audit trail holds the limits; an edit of limits.ini made outside
    // the program is put back and told.
    std::string why;
    if (std::unique_ptr<RecordStore> store = OpenAuditStore(&why)) {
        bool rewrite = false;
        const std::vector<std::string> notes = ReconcileLimits(
            m_limits, *store, m_limitOrigins, PcName(), wxDateTime::Now().GetTicks(), &rewrite);
        std::string error;
        if (rewrite && !WriteLimits(kLimitsFile, m_limits, &error))
            fprintf(stderr, "%s cannot be written: %s\n", kLimitsFile, error.c_str());
        if (!notes.empty()) {
            wxString text = _("The force limits were changed outside the program:");
            for (const std::string& note : notes)
                text += "\n" + wxString::FromUTF8(note);
            CallAfter([text] { ShowError(text, _("Force limits")); });
        }
        // The press register holds the surfaces: superfici.ini follows it.
        rewrite = false;
        const std::vector<std::string> surfaceNotes = ReconcileSurfaces(
            presses, *store, m_register, PcName(), wxDateTime::Now().GetTicks(), &rewrite);
        if (rewrite && !WritePressFile("superfici.ini", presses, &error))
            fprintf(stderr, "superfici.ini cannot be written: %s\n", error.c_str());
        if (!surfaceNotes.empty()) {
            wxString text = _("The press surfaces were changed outside the program:");
            for (const std::string& note : surfaceNotes)
                text += "\n" + wxString::FromUTF8(note);
            CallAfter([text] { ShowError(text, _("Press register")); });
        }
    }
    if (presses.loaded) {
        std::memcpy(m_surfaces, presses.surfaces, sizeof m_surfaces);
        m_pressNames = new wxArrayString();
        for (const std::string& name : presses.names)
            m_pressNames->Add(wxString::FromUTF8(name));
    }

    ip = m_config->Read("ip", "");
    port = m_config->Read("port", "");
    autoconnect = FlagFromText(m_config->Read("autoconnect", ""));
    pressIndex = LeadingInt(m_config->Read("superficie", ""));
    m_pdfDirectory = m_config->Read("dir_path", "");
    skipQuestion = FlagFromText(m_config->Read("skipQuestion", ""));
}

std::vector<std::string> MainWindow::StartupCommands() const {
    return ::StartupCommands(&m_initCommands[0][0], kInitCommandCount, kInitCommandSize);
}

void MainWindow::KeepOperator(const wxString& operatorId) {
    if (m_config == nullptr || m_config->Read("operator", "") == operatorId) return;
    m_config->Write("operator", operatorId);
    SaveSettingsOrTell();
}

bool MainWindow::SelectPress(unsigned index) {
    if (!m_panel) return false;
    const ConnectionSettings& now = m_panel->Connection();
    return ApplyConnectionSettings(now.address, now.port, now.skipQuestion, now.autoconnect, index);
}

void MainWindow::ShowPlantStatus(const wxString& text) {
    // Beside the program's name, in a field of its own once there is a
    // plant server.
    if (m_statusBar->GetFieldsCount() < 2) {
        const int widths[] = {-1, -2};
        m_statusBar->SetFieldsCount(2, widths);
    }
    m_statusBar->SetStatusText(text, 1);
}

const PressEntry* MainWindow::Registered(long index) const {
    const std::string name(PressName(index).utf8_str());
    return name.empty() ? nullptr : m_register.Find(name);
}

bool MainWindow::SetRegistered(const PressEntry& entry, std::string* why) {
    bool found = false;
    for (PressEntry& kept : m_register.presses)
        if (kept.name == entry.name) {
            kept = entry;
            found = true;
        }
    if (!found) m_register.presses.push_back(entry);
    const PressList presses = PressListOf(m_register);
    const bool written = WritePressFile("superfici.ini", presses, why);
    std::memcpy(m_surfaces, presses.surfaces, sizeof m_surfaces);
    if (!m_pressNames) m_pressNames = new wxArrayString();
    m_pressNames->Clear();
    for (const std::string& name : presses.names)
        m_pressNames->Add(wxString::FromUTF8(name));
    if (m_panel) {
        const ConnectionSettings& now = m_panel->Connection();
        m_panel->SetConnectionParameters(now.address, now.port, now.autoconnect, now.skipQuestion,
                                         now.pressIndex);
        m_panel->LimitsChanged();
    }
    return written;
}

bool MainWindow::CalibrationRequired() const {
    // Set in config.ini by the plant: "calibration_required=true".
    return m_config != nullptr && m_config->Read("calibration_required", "false") == "true";
}

bool MainWindow::ProgramRequired() const {
    // Set in config.ini by the plant: "program_required=true".
    return m_config != nullptr && m_config->Read("program_required", "false") == "true";
}

wxString MainWindow::ViewSetting(const wxString& key) const {
    return m_config ? m_config->Read(key, "") : wxString();
}

void MainWindow::KeepViewSetting(const wxString& key, const wxString& value) {
    if (m_config == nullptr || m_config->Read(key, "") == value) return;
    m_config->Write(key, value);
    SaveSettingsOrTell();
}

void MainWindow::KeepEndWhenReleased(bool on) {
    if (m_config == nullptr || FlagFromText(m_config->Read("end_when_released", "")) == on) return;
    m_config->Write("end_when_released", on ? "true" : "false");
    SaveSettingsOrTell();
    KeepInTrail(kEndWhenReleasedChange, "", on ? "off" : "on", on ? "on" : "off",
                std::string(m_config->Read("operator", "").utf8_str()));
}

void MainWindow::KeepInTrail(const std::string& what, const std::string& press,
                             const std::string& oldValue, const std::string& newValue,
                             const std::string& who) {
    std::string why;
    std::unique_ptr<RecordStore> store = OpenAuditStore(&why);
    std::string before = oldValue;
    if (before.empty() && store) {
        Change last;
        before = store->LastChange(what, press, &last) ? last.newValue : "not kept before";
        if (before == newValue) return;
    }
    Change change;
    change.at = wxDateTime::Now().GetTicks();
    change.who = who.empty() ? std::string(wxGetUserId().utf8_str()) : who;
    change.pcName = PcName();
    change.press = press;
    change.what = what;
    change.oldValue = before;
    change.newValue = newValue;
    change.reason = "set on the panel";
    if (!store || !store->AddChange(change, &why))
        fprintf(stderr, "the change of the %s was not kept in the audit trail: %s\n", what.c_str(),
                why.c_str());
}

wxString MainWindow::DataFile(const wxString& relative) const {
    return DataPath(relative);
}

void MainWindow::EditConnection(const wxString& address, const wxString& port, bool autoconnect,
                                bool skipQuestion, unsigned pressIndex) {
    new NewDialog(m_frame, wxID_ANY, _("Connection Parameters"), wxDefaultPosition,
                  wxSize(380, 300), wxDEFAULT_DIALOG_STYLE, address, port, autoconnect,
                  skipQuestion, pressIndex);
}

wxString MainWindow::PressName(long index) const {
    if (m_pressNames == nullptr || index < 0 || static_cast<size_t>(index) >= m_pressNames->size())
        return "";
    return (*m_pressNames)[static_cast<size_t>(index)];
}

double MainWindow::Surface(long index) const {
    if (m_pressNames == nullptr || index < 0 ||
        static_cast<size_t>(index) >= m_pressNames->size() || index >= kPressCount)
        return 0.0;
    return m_surfaces[index];
}

const ForceLimits* MainWindow::Limits(long index) const {
    const wxString name = PressName(index);
    if (name.empty()) return nullptr;
    auto found = m_limits.find(std::string(name.utf8_str()));
    return found == m_limits.end() ? nullptr : &found->second;
}

bool MainWindow::LimitsSet(long index, int64_t* at, std::string* by) const {
    const auto found = m_limitOrigins.find(std::string(PressName(index).utf8_str()));
    if (found == m_limitOrigins.end() || found->second.at == 0) return false;
    *at = found->second.at;
    *by = found->second.by;
    return true;
}

std::unique_ptr<RecordStore> MainWindow::OpenAuditStore(std::string* why) const {
    return RecordStore::Open(RecordStorePath(), why);
}

std::string MainWindow::PcName() {
    return std::string(wxGetHostName().utf8_str());
}

bool MainWindow::SetLimits(long index, const ForceLimits* limits, std::string* error,
                           const std::string& who, const std::string& reason) {
    const wxString name = PressName(index);
    if (name.empty()) {
        if (error) *error = "no press is selected";
        return false;
    }
    if (limits && !ValidLimits(*limits, error)) return false;
    const std::string press(name.utf8_str());
    std::string why;
    std::unique_ptr<RecordStore> store = OpenAuditStore(&why);
    if (!store) {
        if (error) *error = "the change cannot be kept in the audit trail: " + why;
        return false;
    }
    const LimitTable old = m_limits;
    LimitTable table = m_limits;
    if (limits)
        table[press] = *limits;
    else
        table.erase(press);
    std::string written;
    if (!WriteLimits(kLimitsFile, table, &written)) {
        if (error) *error = std::string(kLimitsFile) + " cannot be written (" + written + ")";
        return false;
    }
    Change change;
    change.at = wxDateTime::Now().GetTicks();
    change.who = who.empty() ? std::string(wxGetUserId().utf8_str()) : who;
    change.pcName = PcName();
    change.press = press;
    change.what = kLimitsChange;
    const auto before = old.find(press);
    change.oldValue = LimitsValue(before == old.end() ? nullptr : &before->second);
    change.newValue = LimitsValue(limits);
    change.reason = reason;
    if (!store->AddChange(change, &why)) {
        std::string ignored;
        WriteLimits(kLimitsFile, old, &ignored);
        if (error) *error = "the change cannot be kept in the audit trail: " + why;
        return false;
    }
    m_limits = std::move(table);
    m_limitOrigins[press] = {change.at, change.who};
    return true;
}

void MainWindow::SetPdfDirectory(const wxString& path) {
    m_pdfDirectory = path;
    if (m_config) m_config->Write("dir_path", path);
    SaveSettingsOrTell();
}

bool MainWindow::ChoosePdfDirectory() {
    wxDirDialog chooser(m_frame, wxDirSelectorPromptStr, "", wxDD_DEFAULT_STYLE);
    if (chooser.ShowModal() != wxID_OK) return false;
    SetPdfDirectory(chooser.GetPath());
    return true;
}

bool MainWindow::ApplyConnectionSettings(const wxString& ip, const wxString& port,
                                         bool skipQuestion, bool autoconnect,
                                         unsigned int pressIndex) {
    if (m_panel && m_panel->RefuseChangeWhileRecording()) return false;
    if (m_panel) {
        m_panel->SetConnectionParameters(ip, port, autoconnect, skipQuestion, pressIndex);
        m_panel->Show();
    }
    if (m_config) {
        m_config->Write("ip", ip);
        m_config->Write("port", port);
        m_config->Write("skipQuestion", skipQuestion ? "true" : "false");
        m_config->Write("autoconnect", autoconnect ? "true" : "false");
        m_config->Write("superficie", wxString::Format("%d", static_cast<int>(pressIndex)));
    }
    SaveSettingsOrTell();
    if (m_sizer) m_sizer->Layout();
    return true;
}

bool MainWindow::SaveSettings(wxString* why) {
    if (m_config == nullptr) return false;
    return SaveConfigAtomically(*m_config, kConfigFile, why);
}

void MainWindow::SaveSettingsOrTell() {
    wxString why;
    if (m_config == nullptr || SaveSettings(&why)) return;
    ShowError(wxString::Format(_("The settings were not saved: %s cannot be written (%s). They "
                                 "apply until the program ends."),
                               kConfigFile, why));
}
