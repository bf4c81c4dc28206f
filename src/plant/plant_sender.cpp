#include "plant/plant_sender.h"

#include "plant/plant_server.h"
#include "records/record_store.h"

#include <ctime>
#include <memory>

namespace {

/// The first line of a message: libpq adds hints on lines of their own.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

std::chrono::milliseconds RetryDelay(int failures, const PlantSenderTiming& timing) {
    std::chrono::milliseconds delay = timing.firstRetry;
    for (int i = 1; i < failures && delay < timing.longestRetry; ++i)
        delay *= 2;
    return std::min(delay, timing.longestRetry);
}

std::string WaitingText(const PlantSendStatus& status) {
    std::string text;
    if (status.waiting <= 0) {
        if (!status.problem.empty()) text = "Sending to the plant server: " + status.problem;
    } else {
        text = std::to_string(status.waiting) +
               (status.waiting == 1 ? " recording" : " recordings") +
               " waiting for the plant server";
        if (!status.problem.empty()) text += ": " + status.problem;
    }
    if (status.refused > 0)
        text += (text.empty() ? "" : "; ") + std::to_string(status.refused) +
                (status.refused == 1 ? " recording" : " recordings") +
                " not sent (in the audit trail): " + status.lastRefused;
    if (!status.conflicts.empty()) {
        const size_t n = status.conflicts.size();
        text += (text.empty() ? "" : "; ") + std::to_string(n) +
                (n == 1 ? " conflict" : " conflicts") +
                " on the plant server: " + status.conflicts.back();
    }
    return text;
}

PlantSender::PlantSender(std::string storePath, std::string connection, Report report,
                         PlantSenderTiming timing)
    : m_storePath(std::move(storePath)), m_connection(std::move(connection)),
      m_report(std::move(report)), m_timing(timing), m_thread([this] { Run(); }) {}

PlantSender::~PlantSender() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PlantSender::Nudge() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nudged = true;
    }
    m_wake.notify_all();
}

PlantSendStatus PlantSender::Status() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

void PlantSender::Wait(std::chrono::milliseconds delay, bool nudgeable) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, delay, [&] { return m_stopping || (nudgeable && m_nudged); });
    m_nudged = false;
}

void PlantSender::Publish(const PlantSendStatus& status) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = status;
    }
    if (m_report) m_report(status);
}

void PlantSender::Run() {
    auto stopping = [this] { return m_stopping.load(); };
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<PlantServer> server;
    PlantSendStatus status;
    int failures = 0;
    auto fail = [&](const std::string& why) {
        status.problem = FirstLine(why);
        Publish(status);
        Wait(RetryDelay(++failures, m_timing), false);
    };
    while (!stopping()) {
        std::string why;
        if (!store) store = RecordStore::Open(m_storePath, &why);
        if (!store) {
            fail("the record store cannot be read: " + why);
            continue;
        }
        const int64_t waiting = store->OutboxCount();
        const std::vector<OutboxEntry> entries = store->Outbox(20);
        if (waiting < 0 || (waiting > 0 && entries.empty())) {
            // Not an empty outbox: one that cannot be read now.
            fail("the record store cannot be read (" + store->Path() + ")");
            continue;
        }
        status.waiting = waiting;
        if (entries.empty()) {
            status.problem.clear();
            failures = 0;
            Publish(status);
            // Nothing to send until a recording is added; a minute's look
            // at the outbox all the same.
            Wait(std::chrono::minutes(1), true);
            continue;
        }
        if (!server) {
            server = PlantServer::Connect(m_connection, &why, &m_stopping);
            if (server) server->SetAnswerTimeout(m_timing.answerTimeout);
            if (server && !server->PrepareSchema(&why)) server.reset();
        }
        if (!server) {
            fail(why);
            continue;
        }
        Publish(status);
        std::string unreadable;
        for (const OutboxEntry& entry : entries) {
            if (stopping()) break;
            Recording recording;
            RecordStatus recordStatus = RecordStatus::Complete;
            if (!store->Load(entry.id, recording, &recordStatus)) {
                // Told, and the others sent all the same.
                unreadable = "recording " + entry.uuid + " cannot be read from the record store";
                store->NoteAttempt(entry.id, nullptr);
                continue;
            }
            // A recording changed after it was sealed is never sent as
            // evidence; nor is one the server refused sent again.
            std::string changed;
            bool refused = false;
            if (!store->RecordIntact(entry.id, &changed)) {
                why = "recording " + entry.uuid + " was not sent: " + changed;
                refused = true;
            } else if (!server->Send(recording, recordStatus, &why, &refused,
                                     store->RecordHash(entry.uuid)) &&
                       !refused) {
                server.reset(); // a new connection for the next try
                store->NoteAttempt(entry.id, nullptr);
                fail(why);
                break;
            }
            if (refused) {
                Change note;
                note.at = static_cast<int64_t>(std::time(nullptr));
                note.who = "plant sender";
                note.pcName = recording.setup.pcName;
                note.press = recording.setup.pressName;
                note.what = kPlantRefusedChange;
                note.newValue = entry.uuid;
                note.reason = why;
                std::string unwritten;
                if (!store->AddChange(note, &unwritten) ||
                    !store->Delivered(entry.id, &unwritten)) {
                    fail("the record store cannot be written: " + unwritten);
                    break;
                }
                ++status.refused;
                --status.waiting;
                status.lastRefused = FirstLine(why);
                Publish(status);
                continue;
            }
            // Confirmed: only now does it leave the outbox. Should this fail,
            // it is sent again, and the server keeps one row.
            if (!store->Delivered(entry.id, &why)) {
                fail("the record store cannot be written: " + why);
                break;
            }
            ++status.sent;
            --status.waiting;
            status.problem.clear();
            failures = 0;
            Publish(status);
        }
        if (server && server->Conflicts(status.conflicts, nullptr)) Publish(status);
        if (!unreadable.empty()) fail(unreadable);
    }
}
