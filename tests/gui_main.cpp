// Runs the GUI tests inside the program's own event loop, in real windows (the
// test script starts them under Xvfb with a window manager), in a working
// directory of their own with the program's settings files.
#include "gui_support.h"

#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>

#include <wx/dir.h>
#include <wx/stdpaths.h>

#include <cstdlib>
#include <unistd.h>

static std::string g_workDir;

std::string WorkDir() {
    return g_workDir;
}

// A fresh working directory with the program's icons.
std::string MakeWorkDir() {
#ifdef _WIN32
    // Built on Linux, run under Wine: the sources are two levels above the
    // test program (build-win/tests).
    wxFileName icons(wxStandardPaths::Get().GetExecutablePath());
    icons.RemoveLastDir();
    icons.RemoveLastDir();
    icons.AppendDir("icons");
    const wxString dir =
        wxFileName::GetTempDir() + wxString::Format("\\vemo-gui-%lu", wxGetProcessId());
    wxFileName::Mkdir(dir + "\\icons", 0777, wxPATH_MKDIR_FULL);
    wxArrayString files;
    wxDir::GetAllFiles(icons.GetPath(), &files, "*", wxDIR_FILES);
    for (const wxString& file : files)
        wxCopyFile(file, dir + "\\icons\\" + wxFileName(file).GetFullName());
    wxSetWorkingDirectory(dir);
    // Forward slashes: config.ini reads a backslash as an escape.
    wxString forward = dir;
    forward.Replace("\\", "/");
    return std::string(forward.utf8_str());
#else
    char pattern[] = "/tmp/vemo-gui-XXXXXX";
    std::string dir = mkdtemp(pattern);
    wxSetWorkingDirectory(dir);
    if (symlink(SOURCE_DIR "/icons", (dir + "/icons").c_str()) != 0) std::perror("icons");
    return dir;
#endif
}

class GuiTestApp : public wxApp {
  public:
    bool OnInit() override {
        // A logged error would otherwise open a modal box and hang the run.
        delete wxLog::SetActiveTarget(new wxLogStderr);
        // A failed toolkit assertion fails the test instead of opening a box.
        wxSetAssertHandler([](const wxString& file, int line, const wxString& func,
                              const wxString& cond, const wxString& msg) {
            ADD_FAILURE() << "wx assertion " << cond << " in " << func << " (" << file << ":"
                          << line << "): " << msg;
        });
        SetExitOnFrameDelete(false);
        wxInitAllImageHandlers();

        g_workDir = MakeWorkDir();
        WriteText(g_workDir + "/superfici.ini", "1250:P0,2010:P1,500:P2\n");
        WriteText(g_workDir + "/init.ini", "i001\ni002\n");
        WriteText(g_workDir + "/config.ini",
                  "ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nskipQuestion=true\n"
                  "dir_path=" +
                      g_workDir + "/reports\n");
        wxFileName::Mkdir(g_workDir + "/reports");
        MainWindow::GetInstance();

        CallAfter([this] {
            m_result = RUN_ALL_TESTS();
            MainWindow::DestroyInstance();
            ExitMainLoop();
        });
        return true;
    }
    int OnExit() override { return 0; }
    int Result() const { return m_result; }

  private:
    int m_result = 1;
};

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new GuiTestApp);
    wxEntryStart(argc, argv);
    if (!wxTheApp->CallOnInit()) return 1;
    wxTheApp->OnRun();
    int result = static_cast<GuiTestApp*>(wxTheApp)->Result();
    wxTheApp->OnExit();
    wxEntryCleanup();
    if (std::getenv("VEMO_KEEP_WORKDIR") == nullptr)
        wxFileName::Rmdir(wxString::FromUTF8(g_workDir), wxPATH_RMDIR_RECURSIVE);
    return result;
}
