// The application shell: the main frame, its menus, the settings files and the
// connection dialog.
#include "gui_support.h"

#include "recorder/terminal_panel.h"
#include "shell/ip_ctrl.h"
#include "shell/main_window.h"
#include "recorder/messages.h"
#include "shell/new_dialog.h"

#include <wx/choice.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/display.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>

namespace {

const char* const kConfig =
    "ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nskipQuestion=true\n";

struct ShellTest : testing::Test {
    void TearDown() override {
        DestroyNewDialogs();
        RebuildMainWindow(kConfig);
    }
    wxString Status() { return Panel()->Controls().statusText->GetLabel(); }
};

} // namespace

TEST_F(ShellTest, MainFrameTitleStatusBarAndMenus) {
    RebuildMainWindow(kConfig);
    wxFrame* frame = MainWindow::GetInstance()->m_frame;
    EXPECT_EQ(frame->GetTitle(), "Vemo Press Pressure Recorder");
    // Maximised: the window manager gives the frame the whole screen.
    const wxRect screen = wxDisplay(0u).GetGeometry();
    EXPECT_TRUE(WaitUntil([&] { return frame->GetSize().x == screen.width; }, 2000))
        << frame->GetSize().x << " of " << screen.width;
    EXPECT_GT(frame->GetSize().y, screen.height - 80);
    EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0),
              "Vemo Press Pressure Recorder - Version 1.0.8");
    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_EQ(bar->GetMenuCount(), 3u);
    EXPECT_EQ(bar->GetMenuLabel(0), "&File");
    EXPECT_EQ(bar->GetMenuLabel(1), "&Modify");
    EXPECT_EQ(bar->GetMenuLabel(2), "&Help");
    EXPECT_EQ(bar->GetLabel(wxID_NEW), "&New Connection");
    EXPECT_EQ(bar->GetLabel(wxID_EDIT), "&Edit parameters");
    EXPECT_EQ(bar->GetLabel(wxID_EXIT), "&Quit");
    EXPECT_EQ(bar->GetLabel(5118), "&Change PDF Directory");
    EXPECT_EQ(bar->GetLabel(wxID_HELP), "&Help");
}

TEST_F(ShellTest, HelpShowsTheManualBox) {
    wxCommandEvent help(wxEVT_MENU, wxID_HELP);
    wxTEST_DIALOG(MainWindow::GetInstance()->m_frame->GetEventHandler()->ProcessEvent(help),
                  ExpectBox("For the user manual please refer to the document : Appendix-  "
                            "Pressure recording System.pdf",
                            wxOK, "Help"));
}

TEST_F(ShellTest, StoredParametersAppliedWithoutQuestion) {
    RebuildMainWindow("ip=127.0.2.3\nport=65100\nautoconnect=false\nsuperficie=2x\n");
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 65100 - Press: P2");
    EXPECT_EQ(FindNewDialog(), nullptr);
    EXPECT_EQ(Panel()->Connection().pressIndex, 2);
    EXPECT_FALSE(Panel()->Connection().autoconnect);
}

TEST_F(ShellTest, PressIndexOutsideTheListShowsNone) {
    RebuildMainWindow("ip=127.0.2.3\nport=5\nautoconnect=false\nsuperficie=7\n");
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 5 - Press: none");
    EXPECT_DOUBLE_EQ(MainWindow::GetInstance()->Surface(7), 0.0);
}

TEST_F(ShellTest, SkipQuestionFalseOpensTheDialogWithStoredValues) {
    RebuildMainWindow(
        "ip=127.0.2.3\nport=4242\nautoconnect=true\nsuperficie=1\nskipQuestion=false\n");
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetTitle(), "Vemo Press Pressure Recorder Connect");
    EXPECT_EQ(dialog->m_ipCtrl->GetValue(), "127.0.2.3");
    EXPECT_EQ(dialog->m_portField->GetValue(), "4242");
    EXPECT_TRUE(dialog->m_autoconnectBox->GetValue());
    EXPECT_FALSE(dialog->m_skipBox->GetValue());
    EXPECT_EQ(dialog->m_skipBox->GetLabel(), "Do not ask again");
    EXPECT_EQ(dialog->m_pressBox->GetSelection(), 1);
    // The saved module is in use; nothing is saved before the dialog is confirmed.
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 4242 - Press: P1");
}

TEST_F(ShellTest, OkWithInvalidAddressAppliesNothing) {
    RebuildMainWindow("ip=127.0.2.3\nport=4242\nskipQuestion=false\nmystery=keep\n");
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->m_ipCtrl->Field(0)->ChangeValue("0");
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    dialog->GetEventHandler()->ProcessEvent(ok);
    EXPECT_EQ(dialog->m_ipErrorText->GetLabel(), "Invalid IP");
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 4242 - Press: P0");

    // Empty port: "Invalid Port" as well.
    dialog->m_portField->ChangeValue("");
    dialog->GetEventHandler()->ProcessEvent(ok);
    EXPECT_EQ(dialog->m_portErrorText->GetLabel(), "Invalid Port");

    // Corrected: applied and saved, the unknown key kept.
    dialog->m_ipCtrl->Field(0)->ChangeValue("127");
    dialog->m_portField->ChangeValue("5000");
    dialog->m_skipBox->SetValue(true);
    dialog->GetEventHandler()->ProcessEvent(ok);
    Pump(20);
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 5000 - Press: P0");
    std::string saved = ReadText(WorkDir() + "/config.ini");
    EXPECT_NE(saved.find("mystery=keep"), std::string::npos);
    EXPECT_NE(saved.find("ip=127.0.2.3"), std::string::npos);
    EXPECT_NE(saved.find("skipQuestion=true"), std::string::npos);
    EXPECT_NE(saved.find("superficie=0"), std::string::npos);
}

TEST_F(ShellTest, OkWithEmptyPortClearsInvalidIpWhenAddressIsFixed) {
    RebuildMainWindow("ip=127.0.2.3\nport=4242\nskipQuestion=false\n");
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->m_ipCtrl->Field(0)->ChangeValue("0");
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    dialog->GetEventHandler()->ProcessEvent(ok);
    dialog->m_ipCtrl->Field(0)->ChangeValue("10");
    dialog->m_portField->ChangeValue("");
    dialog->GetEventHandler()->ProcessEvent(ok);
    EXPECT_EQ(dialog->m_ipErrorText->GetLabel(), "");
    EXPECT_EQ(dialog->m_portErrorText->GetLabel(), "Invalid Port");
}

// Fault mended: Cancel saved whatever the fields held, so New Connection then
// Cancel replaced the operator's module with the factory address.
TEST_F(ShellTest, CancelChangesNothing) {
    RebuildMainWindow("ip=127.0.2.3\nport=4242\nskipQuestion=true\nautoconnect=false\n");
    const std::string before = ReadText(WorkDir() + "/config.ini");
    wxCommandEvent menu(wxEVT_MENU, wxID_NEW);
    MainWindow::GetInstance()->m_frame->GetEventHandler()->ProcessEvent(menu);
    Pump(20);
    ASSERT_NE(FindNewDialog(), nullptr);
    ASSERT_EQ(FindNewDialog()->m_ipCtrl->GetValue(), "127.0.2.3");
    FindNewDialog()->Close(); // Escape and the close box
    Pump(20);
    EXPECT_EQ(FindNewDialog(), nullptr);
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 4242 - Press: P0");
    EXPECT_EQ(ReadText(WorkDir() + "/config.ini"), before);

    RebuildMainWindow("ip=127.0.2.3\nport=4242\nskipQuestion=false\n");
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    // Field 4 never had the focus, so leaving it shows no box of its own.
    dialog->m_ipCtrl->Field(3)->ChangeValue("300");
    dialog->m_portField->ChangeValue("");
    wxCommandEvent cancel(wxEVT_BUTTON, wxID_CANCEL);
    dialog->GetEventHandler()->ProcessEvent(cancel);
    Pump(20);
    EXPECT_EQ(Status(), "IP: 127.0.2.3 - Port: 4242 - Press: P0");
    std::string saved = ReadText(WorkDir() + "/config.ini");
    EXPECT_EQ(saved.find("127.0.2.300"), std::string::npos);
}

// Fault mended: New Connection opened with the factory address, whatever
// module was in use; the press could be changed only inside that dialog.
TEST_F(ShellTest, NewConnectionAndThePressChoiceStartFromWhatIsInUse) {
    RebuildMainWindow("ip=127.0.9.9\nport=1\nautoconnect=false\nsuperficie=1\nskipQuestion=true\n");
    wxCommandEvent menu(wxEVT_MENU, wxID_NEW);
    MainWindow::GetInstance()->m_frame->GetEventHandler()->ProcessEvent(menu);
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetTitle(), "Connection Parameters");
    EXPECT_EQ(dialog->m_ipCtrl->GetValue(), "127.0.9.9");
    EXPECT_EQ(dialog->m_portField->GetValue(), "1");
    EXPECT_FALSE(dialog->m_autoconnectBox->GetValue());
    EXPECT_TRUE(dialog->m_skipBox->GetValue());
    EXPECT_EQ(dialog->m_pressBox->GetSelection(), 1);
    dialog->Close();
    Pump(20);

    // The panel's own press choice: shown, changed, kept for the next start.
    TerminalPanel* panel = Panel();
    EXPECT_EQ(panel->Controls().pressChoice->GetSelection(), 1);
    panel->Controls().pressChoice->SetSelection(0);
    wxCommandEvent choose(wxEVT_CHOICE, panel->Controls().pressChoice->GetId());
    choose.SetEventObject(panel->Controls().pressChoice);
    choose.SetInt(0);
    panel->Controls().pressChoice->GetEventHandler()->ProcessEvent(choose);
    EXPECT_EQ(panel->Connection().pressIndex, 0);
    EXPECT_EQ(Status(), "IP: 127.0.9.9 - Port: 1 - Press: P0");
    EXPECT_NE(ReadText(WorkDir() + "/config.ini").find("superficie=0"), std::string::npos);
}

TEST_F(ShellTest, EditParametersShowsThePanelsValues) {
    RebuildMainWindow("ip=127.0.9.9\nport=77\nautoconnect=false\nsuperficie=1\n");
    wxCommandEvent menu(wxEVT_MENU, wxID_EDIT);
    MainWindow::GetInstance()->m_frame->GetEventHandler()->ProcessEvent(menu);
    ASSERT_TRUE(WaitUntil([] { return FindNewDialog() != nullptr; }, 1000));
    NewDialog* dialog = FindNewDialog();
    EXPECT_EQ(dialog->m_ipCtrl->GetValue(), "127.0.9.9");
    EXPECT_EQ(dialog->m_portField->GetValue(), "77");
    EXPECT_TRUE(dialog->m_skipBox->GetValue());
    EXPECT_EQ(dialog->m_pressBox->GetSelection(), 1);
}

TEST_F(ShellTest, IpControlRejectsTextThatIsNoAddress) {
    RebuildMainWindow("ip=127.0.2.3\nport=4242\nskipQuestion=false\n");
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    wxIPCtrl* ip = dialog->m_ipCtrl;
    bool accepted = true;
    wxTEST_DIALOG(accepted = ip->SetValue(""), ExpectBox("Invalid IP = ", wxOK, "Error"));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(ip->GetValue(), "223.255.255.255");
    wxTEST_DIALOG(accepted = ip->SetValue("224.1.1.1"), ExpectBox("Invalid IP = 224.1.1.1", wxOK));
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(ip->SetValue("a 192.168.100.10.77 b")); // the first match counts
    EXPECT_EQ(ip->GetValue(), "192.168.100.10");
    EXPECT_TRUE(ip->SetValue("010.1.2.3"));
    EXPECT_EQ(ip->GetValue(), "010.1.2.3");
    ip->Field(0)->ChangeValue("223");
    ip->Field(1)->ChangeValue("");
    EXPECT_TRUE(ip->Validate());
    ip->Field(0)->ChangeValue("0");
    EXPECT_FALSE(ip->Validate());
}

TEST_F(ShellTest, LeavingAFieldAbove255Warns) {
    RebuildMainWindow("ip=127.0.2.3\nport=4242\nskipQuestion=false\n");
    NewDialog* dialog = FindNewDialog();
    ASSERT_NE(dialog, nullptr);
    wxTextCtrl* field = dialog->m_ipCtrl->Field(2);
    auto leave = [&] {
        wxFocusEvent lost(wxEVT_KILL_FOCUS, field->GetId());
        lost.SetEventObject(field);
        field->GetEventHandler()->ProcessEvent(lost);
    };
    field->ChangeValue("300");
    wxTEST_DIALOG(leave(), ExpectBox("Ip field can be 255 maximum", wxOK, "Error"));
    EXPECT_EQ(field->GetValue(), "300"); // the field keeps its text
    field->ChangeValue("255");
    leave(); // no box
}

TEST_F(ShellTest, ChoosingADirectoryKeepsUnknownKeys) {
    RebuildMainWindow("ip=127.0.0.4\nport=1\nautoconnect=false\nzzz=unknown\n");
    MainWindow::GetInstance()->SetPdfDirectory("/tmp/reports here");
    std::string saved = ReadText(WorkDir() + "/config.ini");
    EXPECT_NE(saved.find("zzz=unknown"), std::string::npos);
    EXPECT_NE(saved.find("dir_path=/tmp/reports here"), std::string::npos);
    EXPECT_LT(saved.find("ip="), saved.find("zzz="));
}

TEST_F(ShellTest, NoSettingsFilesStartsAndStaysOnThisMachine) {
    // An empty address is 0.0.0.0 and port 0: the attempt fails on this machine.
    wxTEST_DIALOG(
        RebuildMainWindow("");
        WaitUntil([] { return !Panel()->Job().Connected() && !Panel()->Job().Connecting(); }, 100);
        Pump(1500), ExpectBox(wxString::FromUTF8("Wi-Fi Module disconnected: please check if the "
                                                 "module is on and the PC is connected to the "
                                                 "Wi-Fi network.\n\n:0: connection refused.\n"
                                                 "The address and port are changed in File "
                                                 "\u2192 New Connection."),
                              wxOK, "Error"));
    EXPECT_EQ(Status(), "IP: none - Port: none - Press: P0");
}

// Fault mended: a config.ini that could not be written was not told, and the
// operator believed the settings kept.
TEST_F(ShellTest, SettingsThatCannotBeSavedAreTold) {
    RebuildMainWindow(kConfig);
    const wxString blocker = wxString::FromUTF8(WorkDir() + "/config.ini.tmp");
    ASSERT_TRUE(wxFileName::Mkdir(blocker)); // where the new file is written first
    wxTEST_DIALOG(MainWindow::GetInstance()->SetPdfDirectory("/tmp/elsewhere"),
                  ExpectBoxStarting("The settings were not saved: config.ini cannot be written (",
                                    wxOK, "Error"));
    wxFileName::Rmdir(blocker);
    EXPECT_EQ(ReadText(WorkDir() + "/config.ini").find("elsewhere"), std::string::npos);
}

// Fault mended: a box about a 222-character name was wider than the screen.
TEST_F(ShellTest, EveryBoxBreaksWordsLongerThanALine) {
    const wxString path = "/reports/Report_Mounting_" + wxString('X', 222) + "B_20261208.pdf";
    const wxString text = WrappedForBox("Report not created: the file " + path +
                                        " cannot be written (File name too long).");
    // The toolkit breaks lines at spaces: no run without one is longer than 90.
    wxString runs = text;
    runs.Replace("\n", " ");
    for (const wxString& run : wxSplit(runs, ' ', '\0'))
        EXPECT_LE(run.length(), 90u) << run;
    wxString joined = text;
    joined.Replace("\n", "");
    EXPECT_NE(joined.Find(path), wxNOT_FOUND); // nothing lost
    EXPECT_EQ(WrappedForBox("Do you want to print a REPORT"), "Do you want to print a REPORT");
}
