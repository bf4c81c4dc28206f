// The one way the program shows message boxes and asks questions: modal boxes
// without a parent, with the program's fixed English texts. Logic code returns
// results and leaves the showing to these functions.
#pragma once

#include <wx/string.h>

/// Caption "Error", OK button, error icon.
void ShowError(const wxString& text, const wxString& caption = "Error");
/// OK button, information icon.
void ShowInfo(const wxString& text, const wxString& caption);
/// Yes and No with the question icon; true on Yes.
bool AskYesNo(const wxString& text, const wxString& caption);
