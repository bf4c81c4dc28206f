// The alarm sound. On Linux it is played through the desktop's sound service
// (libcanberra); elsewhere through wxSound. A sound that cannot be played stays
// silent without a message.
#pragma once

#include <wx/string.h>

#include <memory>

class AlarmSound {
  public:
    explicit AlarmSound(const wxString& path);
    ~AlarmSound();
    AlarmSound(const AlarmSound&) = delete;
    AlarmSound& operator=(const AlarmSound&) = delete;

    bool IsOk() const;
    /// Starts playing and returns at once.
    void Play();
    /// Times Play was called (for tests and the log).
    int PlayCount() const { return m_plays; }

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_plays = 0;
};
