// The one way the program shows message boxes and asks questions: modal boxes
// without a parent, with the program's fixed English texts. Logic code returns
// results and leaves the showing to these functions.
#pragma once

#include <wx/dialog.h>
#include <wx/string.h>

class wxSizer;

/// The text with every word longer than `width` characters broken into lines
/// of that length, so that every box fits the screen.
wxString WrappedForBox(const wxString& text, size_t width = 90);

/// Caption "Error", OK button, error icon.
/// `caption` empty: "Error" in the chosen language.
void ShowError(const wxString& text, const wxString& caption = wxString());
/// OK button, information icon.
void ShowInfo(const wxString& text, const wxString& caption);
/// Yes and No with the question icon; true on Yes.
bool AskYesNo(const wxString& text, const wxString& caption);

/// A dialog's row of standard buttons (wxOK, wxCANCEL, wxCLOSE), with the
/// ids the dialog ends by, in the program's language.
wxSizer* DialogButtons(wxDialog* dialog, long flags);
/// The buttons with a standard id in `window` (a dialog the toolkit makes)
/// relabelled in the program's language. GTK draws such buttons with its own
/// words, in the system's language rather than the program's.
void InOwnWords(wxWindow* window);

/// An error box that the program closes itself once what it tells is over
/// (the module is back). Modal like the others, with the error icon and OK.
class NoticeBox : public wxDialog {
  public:
    NoticeBox(const wxString& text, const wxString& caption);
    const wxString& Message() const { return m_message; }
    /// Closes the box from an event handled while it is open.
    void Dismiss();
    bool Dismissed() const { return m_dismissed; }

  private:
    wxString m_message;
    bool m_dismissed = false;
};

/// Shows `text` in a NoticeBox that `*open` points to while it is open;
/// true when the program closed it rather than the operator.
bool ShowNotice(const wxString& text, const wxString& caption, NoticeBox** open);
