// Where the program finds its data files: the working directory first (as the
// program has always done), then the installed data directory of the package.
#pragma once

#include <vector>

#include <wx/string.h>

/// Path of a data file such as "icons/alarm.wav".
wxString DataPath(const wxString& relative);

/// Where the language catalogues may be: beside the program (a build), one
/// folder up (the tests') and in the installed data folder.
std::vector<wxString> CatalogueFolders();

/// When started from the desktop entry (VEMO_USER_DIR=1) or the Windows
/// shortcut (`asked`, from "--user-dir"), moves into the per-user directory,
/// creating it, so that settings files live there: $XDG_DATA_HOME/vemo-recorder,
/// or vemo-recorder in the user's application data folder on Windows.
void EnterUserWorkingDirectoryIfNeeded(bool asked);
