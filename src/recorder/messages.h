// The one way the program shows message boxes and asks questions: modal boxes
// without a parent, with the program's fixed English texts. Logic code returns
// results and leaves the showing to these functions.
#pragma once

#include <wx/string.h>

/// The text with every word longer than `width` characters broken into lines
/// of that length, so that every box fits the screen.
wxString WrappedForBox(const wxString& text, size_t width = 90);

/// Caption "Error", OK button, error icon.
void ShowError(const wxString& text, const wxString& caption = "Error");
/// OK button, information icon.
void ShowInfo(const wxString& text, const wxString& caption);
/// Yes and No with the question icon; true on Yes.
bool AskYesNo(const wxString& text, const wxString& caption);
