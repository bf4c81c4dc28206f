// The one-second timer of the panel: shows the date and time, counts the record
// length down on the Stop button and makes the recording notice blink. When
// the count has run out it asks, each second, whether the readings stopped.
#pragma once

#include <wx/timer.h>

#include <cstdint>
#include <functional>

class wxStaticText;
class wxButton;

class RenderTimer : public wxTimer {
  public:
    RenderTimer(wxStaticText* clockText, wxButton* stopButton, wxStaticText* recordingText,
                std::function<int64_t()> wallSeconds, std::function<void()> countdownEnded);
    ~RenderTimer() override;

    void Notify() override;
    void StartCountdown(int seconds);
    /// What the Stop button and the banner count down: the seconds until
    /// the recording ends by itself, as the job knows them (the length, or
    /// the release), rather than the timer's own count.
    void SetSecondsLeft(std::function<int()> secondsLeft) {
        m_secondsLeft = std::move(secondsLeft);
    }
    void StopCountdown();

    bool IsCountingDown() const { return m_running; }
    int Countdown() const { return m_countdown; }
    /// The seconds left as the Stop button shows them (0 once run out), so
    /// that the banner says the same.
    int SecondsShown() const { return m_running ? m_shown : 0; }

  private:
    wxStaticText* m_clockText;
    wxButton* m_stopButton;
    wxStaticText* m_recordingText;
    std::function<int64_t()> m_wallSeconds;
    std::function<int()> m_secondsLeft;
    std::function<void()> m_countdownEnded;
    int m_countdown = 80;
    int m_shown = 0;
    bool m_running = false;
    bool m_overdue = false; ///< run out while the recording still runs
};

/// "December 08, 2026" in the operator's language ("08 dicembre 2026").
wxString ClockDay(int year, int month, int day);
/// The day, a line feed and "18:40:22", in local time.
wxString ClockLabel(int64_t epochSeconds);
