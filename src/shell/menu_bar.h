// The main frame's menus: File (New Connection, Edit parameters, History…,
// Statistics…,
// Import Reports…, Quit),
// Modify (Change PDF Directory, Force Limits…, Press Register…, Mounting
// Programs…, Quality Engineers…) and Help (Help).
#pragma once

#include <wx/menu.h>

enum {
    ID_CHANGE_PDF_DIRECTORY = 5118,
    ID_FORCE_LIMITS = 5119,
    ID_HISTORY = 5120,
    ID_IMPORT_REPORTS = 5121,
    ID_MOUNTING_PROGRAMS = 5122,
    ID_PRESS_REGISTER = 5123,
    ID_QUALITY_ENGINEERS = 5124,
    ID_STATISTICS = 5125
};

class MenuBar : public wxMenuBar {
  public:
    MenuBar();

  private:
    void OnNewConnection(wxCommandEvent& event);
    void OnEditParameters(wxCommandEvent& event);
    void OnHistory(wxCommandEvent& event);
    void OnStatistics(wxCommandEvent& event);
    void OnImportReports(wxCommandEvent& event);
    void OnQuit(wxCommandEvent& event);
    void OnChangePdfDirectory(wxCommandEvent& event);
    void OnForceLimits(wxCommandEvent& event);
    void OnPressRegister(wxCommandEvent& event);
    void OnMountingPrograms(wxCommandEvent& event);
    void OnQualityEngineers(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);

    wxMenu* m_fileMenu;
    wxMenu* m_helpMenu;
    wxMenu* m_modifyMenu;
};
