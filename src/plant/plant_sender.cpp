#include "plant/plant_sender.h"

#include "plant/plant_server.h"
#include "records/record_store.h"

#include <cstdint>
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
    if (!status.link.empty())
        text += (text.empty() ? "No recording waiting for the plant server" : "") +
                std::string("; the link to it is ") + status.link;
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
    // The seals of the audit trail and the pages: the last row of each chain
    // the server holds (-1 until asked), and the PC they are kept under.
    const char* const chains[] = {"changes", "pages"};
    int64_t sealed[] = {-1, -1};
    std::string sealPc;
    auto unsealed = [&] {
        for (int c = 0; c < 2; ++c)
            if (sealed[c] < 0 || !store->SealedRows(chains[c], sealed[c], 1).empty()) return true;
        return false;
    };
    auto connect = [&](std::string* why) {
        if (server) return true;
        server = PlantServer::Connect(m_connection, why, &m_stopping);
        if (server) server->SetAnswerTimeout(m_timing.answerTimeout);
        if (server && !server->PrepareSchema(why)) server.reset();
        if (server) status.link = server->Link();
        return server != nullptr;
    };
    // Sends what the chains gained since; false with the reason.
    auto sendSeals = [&](std::string* why) {
        if (sealPc.empty()) {
            if (!server->OwnPc(sealPc, why)) return false;
            // A server without a role per PC: the PC the store's recordings name.
            const std::vector<std::string> pcs = store->PcNames();
            if (sealPc.empty() && pcs.size() == 1) sealPc = pcs.front();
            if (sealPc.empty()) { // nothing to keep them under
                sealed[0] = sealed[1] = INT64_MAX;
                return true;
            }
        }
        for (int c = 0; c < 2 && !stopping(); ++c) {
            if (sealed[c] < 0) sealed[c] = server->LastSeal(sealPc, chains[c], why);
            if (sealed[c] < 0) return false;
            for (std::vector<SealedRow> rows; !stopping();) {
                rows = store->SealedRows(chains[c], sealed[c], 200);
                if (rows.empty()) break;
                if (!server->SendSeals(sealPc, chains[c], rows, why)) return false;
                sealed[c] = rows.back().id;
                status.sealed += static_cast<int64_t>(rows.size());
            }
        }
        return true;
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
            if (unsealed()) {
                if (!connect(&why) || !sendSeals(&why)) {
                    server.reset();
                    fail("the seals of the audit trail and the pages were not sent: " + why);
                    continue;
                }
            }
            status.problem.clear();
            failures = 0;
            Publish(status);
            // Nothing to send until a recording is added; a minute's look
            // at the outbox all the same.
            Wait(std::chrono::minutes(1), true);
            continue;
        }
        if (!connect(&why)) {
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
