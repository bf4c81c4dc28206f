#include "plant/plant_queries.h"

#include "plant/plant_server.h"

PlantQueries::PlantQueries(std::string connection)
    : m_connection(std::move(connection)), m_thread([this] { Run(); }) {}

PlantQueries::~PlantQueries() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_questions.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

void PlantQueries::Ask(Question question, const std::string& kind) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!kind.empty())
            for (auto& waiting : m_questions)
                if (waiting.first == kind) {
                    waiting.second = std::move(question);
                    question = nullptr;
                    break;
                }
        if (question) m_questions.emplace_back(kind, std::move(question));
    }
    m_wake.notify_all();
}

void PlantQueries::Run() {
    std::unique_ptr<PlantServer> server;
    for (;;) {
        Question question;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_questions.empty(); });
            if (m_stopping) return;
            question = std::move(m_questions.front().second);
            m_questions.pop_front();
        }
        std::string why;
        if (!server) {
            server = PlantServer::Connect(m_connection, &why, &m_stopping);
            if (server && !server->PrepareSchema(&why)) server.reset();
        }
        if (!question(server.get(), why.substr(0, why.find('\n')))) server.reset();
    }
}
