// The alarm sound. On Linux it is played through the desktop's sound service
// (libcanberra); elsewhere through wxSound. Play says whether the sound could
// be started, so the operator can be told once that there is none.
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
    /// Starts playing and returns at once; false when it cannot be played.
    bool Play();
    /// Times Play was called (for tests and the log).
    int PlayCount() const { return m_plays; }

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_plays = 0;
};
