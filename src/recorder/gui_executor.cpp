#include "recorder/gui_executor.h"

#include <wx/event.h>
#include <wx/timer.h>

#include <algorithm>

namespace {

/// Fires once and hands its task to the owner's queue, so the task never
/// runs inside the timer's own notification (it may post the next one).
class OneShot : public wxTimer {
  public:
    OneShot(wxEvtHandler& owner, std::function<void()> task)
        : m_owner(owner), m_task(std::move(task)) {}
    void Notify() override {
        if (m_task) m_owner.CallAfter(std::move(m_task));
        m_task = nullptr;
    }
    bool Fired() const { return !m_task; }

  private:
    wxEvtHandler& m_owner;
    std::function<void()> m_task;
};

} // namespace

GuiExecutor::GuiExecutor(wxEvtHandler& owner) : m_owner(owner) {}

GuiExecutor::~GuiExecutor() {
    for (auto& timer : m_timers)
        timer->Stop();
}

void GuiExecutor::Post(std::function<void()> task) {
    m_owner.CallAfter(std::move(task));
}

void GuiExecutor::PostAfter(int ms, std::function<void()> task) {
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [](const auto& timer) {
                                      return static_cast<const OneShot&>(*timer).Fired();
                                  }),
                   m_timers.end());
    m_timers.push_back(std::make_unique<OneShot>(m_owner, std::move(task)));
    m_timers.back()->StartOnce(std::max(1, ms));
}
