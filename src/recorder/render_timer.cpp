#include "recorder/render_timer.h"

#include "station/local_time.h"
#include "station/translate.h"

#include <wx/button.h>
#include <wx/intl.h>

#include <algorithm>
#include <wx/datetime.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

wxString ClockDay(int year, int month, int day) {
    static const char* const kMonths[] = {N_("January"), N_("February"), N_("March"),
                                          N_("April"),   N_("May"),      N_("June"),
                                          N_("July"),    N_("August"),   N_("September"),
                                          N_("October"), N_("November"), N_("December")};
    // The order of the day's words is the language's: "<day> <month> <year>".
    wxString text = TrW("<month> <day>, <year>");
    text.Replace("<month>", TrW(kMonths[(month + 11) % 12]));
    text.Replace("<day>", wxString::Format("%02d", day));
    text.Replace("<year>", wxString::Format("%d", year));
    return text;
}

wxString ClockLabel(int64_t epochSeconds) {
    const LocalTime t = ToLocalTime(epochSeconds);
    return ClockDay(t.year, t.month, t.day) + "\n" + wxString::FromUTF8(IsoTime(epochSeconds));
}

RenderTimer::RenderTimer(wxStaticText* clockText, wxButton* stopButton, wxStaticText* recordingText,
                         std::function<int64_t()> wallSeconds, std::function<void()> countdownEnded)
    : wxTimer(), m_clockText(clockText), m_stopButton(stopButton), m_recordingText(recordingText),
      m_wallSeconds(std::move(wallSeconds)), m_countdownEnded(std::move(countdownEnded)) {}

RenderTimer::~RenderTimer() {
    Stop();
}

void RenderTimer::Notify() {
    m_clockText->SetLabel(ClockLabel(m_wallSeconds()));
    if (m_overdue) {
        // Run out, but the recording goes on until its last sample comes.
        m_countdownEnded();
        return;
    }
    if (!m_running) return;
    const int left = m_secondsLeft ? m_secondsLeft() : -1;
    const int shown = left >= 0 ? std::min(m_countdown, left) : m_countdown;
    m_shown = shown;
    --m_countdown;
    m_stopButton->SetLabel(wxString::Format(_("Stop (%d)"), shown));
    m_recordingText->Show(m_countdown % 2 == 0);
    if (m_countdown > 0) return;
    m_running = false;
    m_overdue = true;
    m_recordingText->Hide();
    m_countdownEnded();
}

void RenderTimer::StartCountdown(int seconds) {
    m_running = true;
    m_overdue = false;
    m_countdown = seconds;
    m_shown = m_countdown;
}

void RenderTimer::StopCountdown() {
    m_running = false;
    m_overdue = false;
    m_recordingText->Hide();
    m_stopButton->SetLabel(_("Stop")); // no count left over on the idle button
}
