// The station's hand-over to the GUI thread: a task posted from any thread
// runs there through the event queue of the window that owns the executor,
// in the order posted; one posted for later runs from a one-shot timer. Tasks
// still queued when that window goes are dropped with its queue.
#pragma once

#include "station/station_listener.h"

#include <memory>
#include <vector>

class wxEvtHandler;
class wxTimer;

class GuiExecutor : public StationExecutor {
  public:
    explicit GuiExecutor(wxEvtHandler& owner);
    ~GuiExecutor() override;

    void Post(std::function<void()> task) override;
    void PostAfter(int ms, std::function<void()> task) override;

  private:
    wxEvtHandler& m_owner;
    std::vector<std::unique_ptr<wxTimer>> m_timers;
};
