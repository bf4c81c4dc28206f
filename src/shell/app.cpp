// The application object: builds the main window at start-up and releases the
// socket layer at exit.
#include "link/transport.h"
#include "shell/main_window.h"
#include "shell/paths.h"

#include <wx/app.h>

class VemoLogger : public wxApp {
  public:
    bool OnInit() override {
        EnterUserWorkingDirectoryIfNeeded();
        MainWindow::GetInstance();
        return true;
    }
    int OnExit() override {
        MainWindow::GetInstance();
        SockRelease();
        return 0;
    }
};

wxIMPLEMENT_APP(VemoLogger);
