// Writes to the record store on a thread of its own, so a recording of 13 000
// samples written with a full sync never holds up the window. Jobs run in the
// order they were posted; each one's outcome is handed to its callback on the
// writer's thread (the panel moves it to the GUI thread). Jobs still queued
// when the writer is destroyed are written first: nothing is dropped at exit.
#pragma once

#include "records/record_store.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class RecordWriter {
  public:
    /// A job: true, or false with the reason.
    using Job = std::function<bool(RecordStore&, std::string* why)>;
    using Done = std::function<void(bool ok, const std::string& why)>;

    explicit RecordWriter(std::unique_ptr<RecordStore> store);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void Post(Job job, Done done);
    /// From now on every job fails with `why` without touching the store (a
    /// damaged store is left as it is). Callable from a job's callback.
    void Refuse(std::string why);
    /// Waits until every job posted so far has run (tests, exit).
    void Drain();

  private:
    void Run();
    std::unique_ptr<RecordStore> m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<std::pair<Job, Done>> m_jobs;
    bool m_busy = false;
    bool m_stopping = false;
    std::string m_refused;
    std::thread m_thread;
};
