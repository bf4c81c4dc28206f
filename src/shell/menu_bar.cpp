#include "shell/menu_bar.h"

#include "recorder/history_window.h"
#include "recorder/terminal_panel.h"
#include "recorder/events.h"
#include "shell/main_window.h"
#include "recorder/messages.h"
#include "station/translate.h"
#include "recorder/statistics_window.h"
#include "shell/accounts_dialog.h"
#include "shell/limits_dialog.h"
#include "shell/press_register_dialog.h"
#include "shell/new_dialog.h"
#include "shell/programs_dialog.h"

#include <wx/dirdlg.h>
#include <wx/frame.h>

MenuBar::MenuBar() : wxMenuBar() {
    m_fileMenu = new wxMenu();
    m_helpMenu = new wxMenu();
    m_modifyMenu = new wxMenu();

    m_fileMenu->Append(wxID_NEW, _("&New Connection"), "", wxITEM_NORMAL);
    m_fileMenu->Append(wxID_EDIT, _("&Edit parameters"), "", wxITEM_NORMAL);
    m_fileMenu->Append(ID_HISTORY, TrW("&History\xE2\x80\xA6\tCtrl+H"), "", wxITEM_NORMAL);
    m_fileMenu->Append(ID_STATISTICS, TrW("&Statistics\xE2\x80\xA6"), "", wxITEM_NORMAL);
    m_fileMenu->Append(ID_IMPORT_REPORTS, TrW("&Import Reports\xE2\x80\xA6"), "", wxITEM_NORMAL);
    m_fileMenu->Append(wxID_EXIT, _("&Quit"), "", wxITEM_NORMAL);
    m_modifyMenu->Append(ID_CHANGE_PDF_DIRECTORY, _("&Change PDF Directory"), "", wxITEM_NORMAL);
    m_modifyMenu->Append(ID_FORCE_LIMITS, TrW("&Force Limits\xE2\x80\xA6"), "", wxITEM_NORMAL);
    m_modifyMenu->Append(ID_PRESS_REGISTER, TrW("&Press Register\xE2\x80\xA6"), "", wxITEM_NORMAL);
    m_modifyMenu->Append(ID_MOUNTING_PROGRAMS, TrW("&Mounting Programs\xE2\x80\xA6"), "",
                         wxITEM_NORMAL);
    m_modifyMenu->Append(ID_QUALITY_ENGINEERS, TrW("&Quality Engineers\xE2\x80\xA6"), "",
                         wxITEM_NORMAL);
    m_helpMenu->Append(wxID_HELP, _("&Help"), "", wxITEM_NORMAL);

    Append(m_fileMenu, _("&File"));
    Append(m_modifyMenu, _("&Modify"));
    Append(m_helpMenu, _("&Help"));

    wxFrame* frame = MainWindow::GetInstance()->m_frame;
    frame->Bind(wxEVT_MENU, &MenuBar::OnNewConnection, this, wxID_NEW);
    frame->Bind(wxEVT_MENU, &MenuBar::OnEditParameters, this, wxID_EDIT);
    frame->Bind(wxEVT_MENU, &MenuBar::OnHistory, this, ID_HISTORY);
    frame->Bind(wxEVT_MENU, &MenuBar::OnStatistics, this, ID_STATISTICS);
    frame->Bind(wxEVT_MENU, &MenuBar::OnImportReports, this, ID_IMPORT_REPORTS);
    frame->Bind(wxEVT_MENU, &MenuBar::OnQuit, this, wxID_EXIT);
    frame->Bind(wxEVT_MENU, &MenuBar::OnChangePdfDirectory, this, ID_CHANGE_PDF_DIRECTORY);
    frame->Bind(wxEVT_MENU, &MenuBar::OnForceLimits, this, ID_FORCE_LIMITS);
    frame->Bind(wxEVT_MENU, &MenuBar::OnPressRegister, this, ID_PRESS_REGISTER);
    frame->Bind(wxEVT_MENU, &MenuBar::OnMountingPrograms, this, ID_MOUNTING_PROGRAMS);
    frame->Bind(wxEVT_MENU, &MenuBar::OnQualityEngineers, this, ID_QUALITY_ENGINEERS);
    frame->Bind(wxEVT_MENU, &MenuBar::OnHelp, this, wxID_HELP);
    frame->Bind(wxEVT_MENU, &MenuBar::OnAbout, this, wxID_ABOUT);
    frame->SetMenuBar(this);
}

void MenuBar::OnNewConnection(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (main->m_panel && main->m_panel->RefuseChangeWhileRecording()) return;
    // It opens with the module and press in use, never the factory address.
    TerminalPanel* panel = main->m_panel;
    new NewDialog(
        main->m_frame, wxID_ANY, _("Connection Parameters"), wxDefaultPosition, wxSize(380, 300),
        wxDEFAULT_DIALOG_STYLE, panel ? panel->Connection().address : "",
        panel ? panel->Connection().port : "65100", panel && panel->Connection().autoconnect,
        panel && panel->Connection().skipQuestion, panel ? panel->Connection().pressIndex : 0);
}

void MenuBar::OnEditParameters(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (main->m_panel) {
        if (main->m_panel->RefuseChangeWhileRecording()) return;
        wxCommandEvent event = MakeProgramEvent(EVT_EDIT_PARAMETERS);
        wxPostEvent(main->m_panel, event);
    }
}

void MenuBar::OnHistory(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (main->m_panel) ShowHistory(main->m_frame, *main->m_panel);
}

void MenuBar::OnStatistics(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (!main->m_panel) return;
    main->m_panel->Job().FlushRecordStore(); // the recording that just ended counts
    ShowStatistics(main->m_frame, main->m_panel->Job().StorePath(), {},
                   main->m_panel->Job().PlantServerConnection(), false, &main->m_panel->Host());
}

void MenuBar::OnImportReports(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (!main->m_panel) return;
    wxDirDialog chooser(main->m_frame, _("Folder of reports to import"), main->m_pdfDirectory,
                        wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (chooser.ShowModal() != wxID_OK) return;
    ImportReportsInto(*main->m_panel, chooser.GetPath());
}

void MenuBar::OnQuit(wxCommandEvent& event) {
    MainWindow::GetInstance()->m_frame->Close(false);
    event.Skip();
}

void MenuBar::OnChangePdfDirectory(wxCommandEvent&) {
    MainWindow::GetInstance()->ChoosePdfDirectory();
}

void MenuBar::OnForceLimits(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (!main->m_panel || main->PressName(main->m_panel->Connection().pressIndex).empty()) {
        ShowError(_("No press is selected: choose one under File, New Connection first."));
        return;
    }
    LimitsDialog dialog(main->m_frame, main->m_panel->Connection().pressIndex);
    dialog.ShowModal();
}

void MenuBar::OnPressRegister(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    if (!main->m_panel) return;
    PressRegisterDialog dialog(main->m_frame, main->m_panel->Connection().pressIndex);
    dialog.ShowModal();
}

void MenuBar::OnMountingPrograms(wxCommandEvent&) {
    ProgramsDialog dialog(MainWindow::GetInstance()->m_frame);
    dialog.ShowModal();
}

void MenuBar::OnQualityEngineers(wxCommandEvent&) {
    AccountsDialog dialog(MainWindow::GetInstance()->m_frame);
    dialog.ShowModal();
}

void MenuBar::OnHelp(wxCommandEvent&) {
    ShowInfo(_("For the user manual please refer to the document : Appendix-  Pressure recording "
               "System.pdf"),
             _("Help"));
}

void MenuBar::OnAbout(wxCommandEvent&) {
    ShowInfo("Vemo Press Pressure Recorder 1.0.8\n\n" +
                 _("Records the oil pressure of a bearing mounting press, draws the press force "
                   "against time and writes the mounting report."),
             _("About"));
}
