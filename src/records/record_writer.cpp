#include "records/record_writer.h"

RecordWriter::RecordWriter(std::unique_ptr<RecordStore> store)
    : m_store(std::move(store)), m_thread([this] { Run(); }) {}

RecordWriter::~RecordWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void RecordWriter::Post(Job job, Done done) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.emplace_back(std::move(job), std::move(done));
    }
    m_wake.notify_one();
}

void RecordWriter::Refuse(std::string why) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refused = std::move(why);
}

void RecordWriter::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void RecordWriter::Run() {
    for (;;) {
        std::pair<Job, Done> next;
        std::string refused;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty()) return; // stopping, and everything written
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
            refused = m_refused;
        }
        std::string why = refused;
        const bool ok = refused.empty() && next.first(*m_store, &why);
        if (next.second) next.second(ok, why);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busy = false;
        }
        m_idle.notify_all();
    }
}
