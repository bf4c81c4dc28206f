#include "shell/paths.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include <cstdlib>

namespace {

wxString InstalledDataDir() {
    wxFileName exe(wxStandardPaths::Get().GetExecutablePath());
    exe.RemoveLastDir(); // bin
    exe.AppendDir("share");
    exe.AppendDir("vemo-recorder");
    return exe.GetPath();
}

} // namespace

wxString DataPath(const wxString& relative) {
    wxString local = relative;
    local.Replace("/", wxString(wxFileName::GetPathSeparator()));
    if (wxFileName::FileExists(local)) return local;
    wxString installed = InstalledDataDir() + wxFileName::GetPathSeparator() + local;
    if (wxFileName::FileExists(installed)) return installed;
    return local;
}

std::vector<wxString> CatalogueFolders() {
    const wxFileName exe(wxStandardPaths::Get().GetExecutablePath());
    wxFileName up(exe);
    up.RemoveLastDir();
    return {exe.GetPath() + wxFileName::GetPathSeparator() + "locale",
            up.GetPath() + wxFileName::GetPathSeparator() + "locale",
            InstalledDataDir() + wxFileName::GetPathSeparator() + "locale"};
}

void EnterUserWorkingDirectoryIfNeeded(bool asked) {
    const char* flag = std::getenv("VEMO_USER_DIR");
    if (!asked && (flag == nullptr || wxString(flag) != "1")) return;
    wxString base;
#ifdef _WIN32
    base = wxStandardPaths::Get().GetUserConfigDir(); // the user's application data folder
#else
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = wxString::FromUTF8(xdg);
    else
        base = wxGetHomeDir() + "/.local/share";
#endif
    wxString dir = base + wxFileName::GetPathSeparator() + "vemo-recorder";
    wxFileName::Mkdir(dir, 0755, wxPATH_MKDIR_FULL);
    wxSetWorkingDirectory(dir);
}
