// Helpers of the GUI tests: event pumping, the working directory with its
// settings files, and the press module simulator as a child process.
#pragma once

#include "sim_process.h"

#include <functional>
#include <string>
#include <vector>

#include <wx/string.h>

class TerminalPanel;

/// Lets the event loop run for `ms` milliseconds.
void Pump(int ms);
/// Pumps until `done` is true or `timeoutMs` passed; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

/// The test working directory (icons linked, settings files written).
std::string WorkDir();
void WriteText(const std::string& path, const std::string& content);
std::string ReadText(const std::string& path);

/// Builds the program's main window anew with the given config.ini contents.
void RebuildMainWindow(const std::string& config);
/// Removes every press's limits as the program does, so the audit trail
/// and limits.ini stay in step for the next test.
void ClearLimits();
class LimitsDialog;
/// The quality engineer's name, password (set on first use) and a reason,
/// typed into the limits dialog.
void SignAsQualityEngineer(LimitsDialog& dialog);
class QualitySignature;
void SignAsQualityEngineer(QualitySignature& signature);
extern const char* const kTestQualityPassword;
TerminalPanel* Panel();

/// The press module simulator on a free port of 127.0.0.1, logging into the
/// test working directory.
class SimProcess : public PressSimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args = {});
};

/// A port of 127.0.0.1 where nothing listens.
inline int UnusedPort() {
    return UnusedLoopbackPort();
}

/// Open descriptors and threads of this process.
int CountOpenFds();
int CountThreads();

/// Runs a shell command and returns what it printed.
std::string RunCommand(const std::string& command);

/// Sends a button click to the panel as the button itself would.
void Click(TerminalPanel* panel, int id);

#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

/// Expects a message box with exactly `message` (and `caption`, when given)
/// and answers it with `answer` (wxYES, wxNO, wxOK).
/// The text of a message box or of the program's own notice box.
wxString BoxMessage(wxDialog* dialog);
/// A message box's buttons carry the program's words, not the toolkit's
/// stock ones (GTK's, in the system's language).
void ExpectButtonsInOwnWords(wxDialog* dialog);
/// True for a message box or the program's notice box: what ExpectBox takes.
bool IsBox(wxDialog* dialog);

class ExpectBox : public wxExpectDismissableModal<wxDialog> {
  public:
    ExpectBox(const wxString& message, int answer, const wxString& caption = wxString())
        : wxExpectDismissableModal<wxDialog>(answer), m_message(message), m_caption(caption) {
        Describe("message box \"" + message + "\"");
    }

  protected:
    int Invoke(wxDialog* dialog) const override {
        return IsBox(dialog) ? wxExpectDismissableModal<wxDialog>::Invoke(dialog) : wxID_NONE;
    }
    int OnInvoked(wxDialog* dialog) const override {
        ExpectButtonsInOwnWords(dialog);
        EXPECT_EQ(BoxMessage(dialog), m_message);
        if (!m_caption.empty()) {
            EXPECT_EQ(dialog->GetTitle(), m_caption);
        }
        return wxExpectDismissableModal<wxDialog>::OnInvoked(dialog);
    }

  private:
    wxString m_message, m_caption;
};

/// Expects a message box whose text begins with `start`.
class ExpectBoxStarting : public wxExpectDismissableModal<wxDialog> {
  public:
    ExpectBoxStarting(const wxString& start, int answer, const wxString& caption)
        : wxExpectDismissableModal<wxDialog>(answer), m_start(start), m_caption(caption) {
        Describe("message box starting \"" + start + "\"");
    }

  protected:
    int Invoke(wxDialog* dialog) const override {
        return IsBox(dialog) ? wxExpectDismissableModal<wxDialog>::Invoke(dialog) : wxID_NONE;
    }
    int OnInvoked(wxDialog* dialog) const override {
        ExpectButtonsInOwnWords(dialog);
        EXPECT_TRUE(BoxMessage(dialog).StartsWith(m_start)) << BoxMessage(dialog).utf8_str();
        EXPECT_EQ(dialog->GetTitle(), m_caption);
        return wxExpectDismissableModal<wxDialog>::OnInvoked(dialog);
    }

  private:
    wxString m_start, m_caption;
};

/// Fills the fields Start needs (operator and axle) as an operator would
/// have before a job.
void FillStartFields(TerminalPanel* panel);
/// Types `bar` into the alarm threshold and presses Enter, which applies it.
void EnterThreshold(TerminalPanel* panel, const wxString& bar);

/// The first open connection dialog, or null.
class NewDialog;
NewDialog* FindNewDialog();
/// Closes every open connection dialog without applying anything.
void DestroyNewDialogs();

// Readable wxString values in test failure messages.
inline void PrintTo(const wxString& s, std::ostream* os) {
    *os << '"' << s.utf8_str() << '"';
}
