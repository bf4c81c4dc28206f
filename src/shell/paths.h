// Where the program finds its data files: the working directory first (as the
// program has always done), then the installed data directory of the package.
#pragma once

#include <wx/string.h>

/// Path of a data file such as "icons/alarm.wav".
wxString DataPath(const wxString& relative);

/// When started from the desktop (the working directory is not writable or is
/// the home directory), moves into the per-user directory
/// $XDG_DATA_HOME/vemo-recorder, creating it, so that settings files live there.
void EnterUserWorkingDirectoryIfNeeded();
