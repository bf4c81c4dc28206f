#include "recorder/alarm.h"

#include <wx/filename.h>

#ifdef __linux__
#include <canberra.h>

struct AlarmSound::Impl {
    ca_context* context = nullptr;
    std::string path;
    uint32_t id = 1;
};

AlarmSound::AlarmSound(const wxString& path) : m_impl(new Impl) {
    if (!wxFileName::FileExists(path)) return;
    m_impl->path = std::string(wxFileName(path).GetAbsolutePath().utf8_str());
    if (ca_context_create(&m_impl->context) != CA_SUCCESS) m_impl->context = nullptr;
}

AlarmSound::~AlarmSound() {
    // The context lives as long as the panel, so a sound still playing is not cut.
    if (m_impl->context) ca_context_destroy(m_impl->context);
}

bool AlarmSound::IsOk() const {
    return m_impl->context != nullptr;
}

bool AlarmSound::Play() {
    ++m_plays;
    if (!m_impl->context) return false;
    return ca_context_play(m_impl->context, m_impl->id, CA_PROP_MEDIA_FILENAME,
                           m_impl->path.c_str(), CA_PROP_EVENT_DESCRIPTION, "Pressure alarm",
                           nullptr) == CA_SUCCESS;
}

#else
#include <wx/sound.h>

struct AlarmSound::Impl {
    wxSound sound;
};

AlarmSound::AlarmSound(const wxString& path) : m_impl(new Impl) {
    if (wxFileName::FileExists(path)) m_impl->sound.Create(path);
}

AlarmSound::~AlarmSound() = default;

bool AlarmSound::IsOk() const {
    return m_impl->sound.IsOk();
}

bool AlarmSound::Play() {
    ++m_plays;
    return m_impl->sound.IsOk() && m_impl->sound.Play(wxSOUND_ASYNC);
}
#endif
