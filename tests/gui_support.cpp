#include "gui_support.h"

#include "recorder/messages.h"

#include "recorder/terminal_panel.h"
#include "shell/limits_dialog.h"
#include "shell/quality_signature.h"
#include "shell/main_window.h"

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

void Pump(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
            if (!loop->IsYielding()) loop->YieldFor(wxEVT_CATEGORY_ALL);
        }
        if (wxTheApp) wxTheApp->ProcessPendingEvents();
        wxMilliSleep(2);
    } while (std::chrono::steady_clock::now() < end);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        Pump(5);
    }
    return true;
}

void WriteText(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void RebuildMainWindow(const std::string& config) {
    MainWindow::DestroyInstance();
    Pump(50);
    WriteText(WorkDir() + "/config.ini", config);
    // Each test starts without thresholds kept from an earlier one.
    if (wxFileExists(WorkDir() + "/alarm.ini")) wxRemoveFile(WorkDir() + "/alarm.ini");
    MainWindow::GetInstance();
    Pump(100);
}

void ClearLimits() {
    MainWindow* main = MainWindow::GetInstance();
    for (long index = 0; index < kPressCount; ++index) {
        std::string error;
        if (main->Limits(index)) main->SetLimits(index, nullptr, &error);
    }
}

const char* const kTestQualityPassword = "quality-7-password";

void SignAsQualityEngineer(LimitsDialog& dialog) {
    dialog.m_who->ChangeValue("Anna Rossi");
    dialog.m_password->ChangeValue(kTestQualityPassword);
    if (dialog.m_repeat) dialog.m_repeat->ChangeValue(kTestQualityPassword);
    dialog.m_reason->ChangeValue("new bearing type");
}

void SignAsQualityEngineer(QualitySignature& signature) {
    signature.who->ChangeValue("Anna Rossi");
    signature.password->ChangeValue(kTestQualityPassword);
    if (signature.repeat) signature.repeat->ChangeValue(kTestQualityPassword);
    signature.reason->ChangeValue("new bearing type");
}

TerminalPanel* Panel() {
    return MainWindow::GetInstance()->m_panel;
}

namespace {
std::string NextSimLog() {
    static int counter = 0;
    return WorkDir() + "/sim" + std::to_string(++counter) + ".log";
}
} // namespace

SimProcess::SimProcess(const std::vector<std::string>& args)
    : PressSimProcess(PRESS_SIM_PATH, NextSimLog(), args) {}

static int CountEntries(const char* path) {
    int n = 0;
    if (DIR* dir = opendir(path)) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

int CountOpenFds() {
    return CountEntries("/proc/self/fd") - 1;
} // less the one opendir holds
int CountThreads() {
    return CountEntries("/proc/self/task");
}

void FillStartFields(TerminalPanel* panel) {
    panel->Controls().operatorId->SetValue("OP7");
    panel->Controls().axleDesignation->SetValue("AX4711");
}

bool IsBox(wxDialog* dialog) {
    return dynamic_cast<wxMessageDialog*>(dialog) || dynamic_cast<NoticeBox*>(dialog);
}

void ExpectButtonsInOwnWords(wxDialog* dialog) {
    auto* box = dynamic_cast<wxMessageDialog*>(dialog);
    if (box == nullptr) return;
    const bool question = box->GetMessageDialogStyle() & wxYES_NO;
    for (const wxString& label : question
                                     ? std::vector<wxString>{box->GetYesLabel(), box->GetNoLabel()}
                                     : std::vector<wxString>{box->GetOKLabel()})
        EXPECT_FALSE(label.StartsWith("gtk-")) << "the toolkit's own " << label;
}

wxString BoxMessage(wxDialog* dialog) {
    if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) return box->GetMessage();
    if (auto* notice = dynamic_cast<NoticeBox*>(dialog)) return notice->Message();
    ADD_FAILURE() << "not a message box: " << dialog->GetTitle().utf8_str();
    return "";
}

void Click(TerminalPanel* panel, int id) {
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(panel->FindWindow(id));
    panel->GetEventHandler()->ProcessEvent(event);
}

#include "shell/new_dialog.h"

#include <wx/toplevel.h>

NewDialog* FindNewDialog() {
    for (wxWindow* w : wxTopLevelWindows)
        if (NewDialog* d = dynamic_cast<NewDialog*>(w))
            if (!d->IsBeingDeleted() && d->IsShown()) return d;
    return nullptr;
}

void DestroyNewDialogs() {
    for (wxWindow* w : wxTopLevelWindows)
        if (NewDialog* d = dynamic_cast<NewDialog*>(w)) {
            d->Hide();
            d->Destroy();
        }
    Pump(20);
}

std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

void EnterThreshold(TerminalPanel* panel, const wxString& bar) {
    wxTextCtrl* field = panel->Controls().alarmThreshold;
    field->SetValue(bar);
    wxCommandEvent enter(wxEVT_TEXT_ENTER, field->GetId());
    enter.SetEventObject(field);
    field->ProcessWindowEvent(enter);
}
