// The program with a plant server of the test's own: what the PC records
// reaches the server through its outbox, the status line says what waits and
// why, and the history's Plant scope finds every PC's recordings, by PC, and
// says so when the server is away while This PC still answers.
#include "gui_support.h"
#include "pg_cluster.h"
#include "plot/plot_canvas.h"
#include "recorder/history_window.h"
#include "recorder/statistics_window.h"
#include "recorder/terminal_panel.h"
#include "plant/plant_sender.h"
#include "plant/plant_server.h"
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/statusbr.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdio>
#include <cstdlib>

namespace {

Recording Stroke(const std::string& axle, const std::string& pc, int64_t stoppedAt) {
    Recording r;
    r.setup.uuid = NewRecordingId();
    r.setup.pcName = pc;
    r.setup.pressName = "P0";
    r.setup.job = {"OP1", axle, "A", "TBU-150", "2025-01", ""};
    r.setup.surface = 1250;
    r.setup.recordLengthSeconds = 20;
    r.startedAt = stoppedAt - 20;
    r.stoppedAt = stoppedAt;
    for (int i = 0; i < 200; ++i) {
        r.times.push_back(i * 0.075);
        r.pressures.push_back(i);
        r.forces.push_back(i * 1.25);
    }
    return r;
}

/// Picks entry `index` of a choice as a click would.
void Choose(wxChoice* choice, int index) {
    choice->SetSelection(index);
    wxCommandEvent event(wxEVT_CHOICE, choice->GetId());
    event.SetInt(index);
    event.SetEventObject(choice);
    choice->GetEventHandler()->ProcessEvent(event);
}

wxString PlantStatus() {
    wxStatusBar* bar = MainWindow::GetInstance()->m_frame->GetStatusBar();
    return bar->GetFieldsCount() > 1 ? bar->GetStatusText(1) : wxString();
}

} // namespace

TEST(PlantHistory, EveryPcsRecordingsAreFoundAndAServerAwayIsTold) {
    PgCluster cluster;
    std::string why;
    ASSERT_TRUE(cluster.Create(&why)) << why;
    ASSERT_TRUE(cluster.Start(&why)) << why;
    // Another PC's recording is already on the server.
    {
        auto server = PlantServer::Connect(cluster.Connection(), &why);
        ASSERT_TRUE(server) << why;
        ASSERT_TRUE(server->PrepareSchema(&why)) << why;
        ASSERT_TRUE(server->Send(Stroke("PX-7", "PC-7", 1796750000), RecordStatus::Complete, &why))
            << why;
    }
    const std::string db = WorkDir() + "/plant-history.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((db + suffix).c_str());
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + db +
                      "\nrecords_server=" + cluster.Connection() + "\n");
    TerminalPanel* panel = Panel();
    ASSERT_NE(panel->Job().Sender(), nullptr);
    panel->Job().StoreRecording(Stroke("PX-1", "PC-1", 1796760000), RecordStatus::Complete);
    EXPECT_TRUE(WaitUntil([&] { return panel->Job().Sender()->Status().sent == 1; }, 30000));
    EXPECT_TRUE(WaitUntil(
        [] { return PlantStatus() == "No recording waiting for the plant server"; }, 5000))
        << PlantStatus();

    ShowHistory(MainWindow::GetInstance()->m_frame, *panel);
    HistoryWindow* history = nullptr;
    for (wxWindow* window : wxTopLevelWindows)
        if (auto* found = dynamic_cast<HistoryWindow*>(window))
            if (!found->IsBeingDeleted()) history = found;
    ASSERT_NE(history, nullptr);
    ASSERT_NE(history->m_scope, nullptr);
    EXPECT_EQ(history->m_count->GetLabel(), "1 recording");

    // The plant: both PCs, newest first, each with its PC; then one PC.
    Choose(history->m_scope, 1);
    EXPECT_TRUE(WaitUntil(
        [&] { return history->m_count->GetLabel() == "2 recordings on the plant server"; }, 30000))
        << history->m_count->GetLabel();
    EXPECT_EQ(history->m_list->GetItemText(0, 1), "PC-1");
    EXPECT_EQ(history->m_list->GetItemText(1, 1), "PC-7");
    EXPECT_FALSE(history->m_printAgain->IsShown()) << "a reprint is kept by the PC that recorded";
    ASSERT_EQ(history->m_pc->GetCount(), 3u);
    if (const char* shots = std::getenv("VEMO_SCREENSHOTS")) {
        // The documentation's picture of the Plant scope.
        WaitUntil([&] { return history->m_shown.size() == 1; }, 30000);
        Pump(500);
        EXPECT_EQ(
            system(("import -window root '" + std::string(shots) + "/history-plant.png'").c_str()),
            0);
    }
    Choose(history->m_pc, history->m_pc->FindString("PC-7"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return history->m_shown.size() == 1 &&
                   history->m_shown[0].setup.job.axleDesignation == "PX-7";
        },
        30000));
    EXPECT_EQ(history->m_count->GetLabel(), "1 recording on the plant server");
    EXPECT_EQ(history->m_plot.curve->GetDataLength(), 200u);

    // The server goes away: the Plant scope says so; This PC still answers,
    // and what is recorded now waits in the outbox, told on the status line.
    cluster.Stop();
    history->m_text->SetValue("PX");
    EXPECT_TRUE(WaitUntil(
        [&] {
            return history->m_count->GetLabel().StartsWith("The plant server cannot be asked: ");
        },
        30000))
        << history->m_count->GetLabel();
    EXPECT_EQ(history->m_list->GetItemCount(), 0);
    Choose(history->m_scope, 0);
    EXPECT_EQ(history->m_count->GetLabel(), "1 recording");
    ASSERT_EQ(history->m_shown.size(), 1u);
    EXPECT_EQ(history->m_shown[0].setup.job.axleDesignation, "PX-1");
    history->Destroy();

    panel->Job().StoreRecording(Stroke("PX-2", "PC-1", 1796770000), RecordStatus::Complete);
    // The first try may meet the connection the server's going broke; the
    // next ones are refused.
    EXPECT_TRUE(WaitUntil(
        [] {
            return PlantStatus().StartsWith("1 recording waiting for the plant server: ") &&
                   PlantStatus().Contains("Connection refused");
        },
        30000))
        << PlantStatus();

    // Back: the waiting recording arrives, once.
    ASSERT_TRUE(cluster.Start(&why)) << why;
    EXPECT_TRUE(WaitUntil([] { return PlantStatus().StartsWith("No recording"); }, 90000))
        << PlantStatus();
    auto server = PlantServer::Connect(cluster.Connection(), &why);
    ASSERT_TRUE(server) << why;
    EXPECT_EQ(server->Count(&why), 3);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
}

// File → Statistics… with the plant in scope: the server's answer for every
// PC's recordings, drawn in runs, and a PC chosen narrows it.
TEST(PlantHistory, ThePlantsStatisticsAreShownFromTheServersAnswer) {
    PgCluster cluster;
    std::string why;
    ASSERT_TRUE(cluster.Create(&why)) << why;
    ASSERT_TRUE(cluster.Start(&why)) << why;
    {
        auto server = PlantServer::Connect(cluster.Connection(), &why);
        ASSERT_TRUE(server && server->PrepareSchema(&why)) << why;
        // 1 500 strokes of two PCs, their peaks drifting up 0.01 t a stroke.
        for (int k = 0; k < 1500; ++k) {
            Recording r =
                Stroke("AX-" + std::to_string(k), k % 3 ? "PC-1" : "PC-2", 1796750000 + 60 * k);
            r.times.resize(20);
            r.pressures.resize(20);
            r.forces.assign(20, 0);
            r.forces[10] = 380 + 0.01 * k + (k * 37 % 11) * 0.3;
            ASSERT_TRUE(server->Send(r, RecordStatus::Complete, &why)) << why;
        }
    }
    const std::string db = WorkDir() + "/plant-statistics.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((db + suffix).c_str());
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + db +
                      "\n");
    StatisticsWindow* window =
        ShowStatistics(MainWindow::GetInstance()->m_frame, db, {}, cluster.Connection(), true);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !window->Asking(); }, 30000));
    Pump(300);
    const MountingStatistics& s = window->Shown();
    EXPECT_TRUE(s.plant);
    EXPECT_EQ(window->m_counts->GetLabel(),
              "1500 mountings\n0 PASS, 0 FAIL, 0 INCOMPLETE\n1500 without "
              "a verdict, 0 re-mounts of an axle side");
    EXPECT_EQ(s.runs.size(), 750u);
    EXPECT_EQ(s.trend.direction, 1);
    const wxString notes = window->m_notes->GetLabel();
    EXPECT_NE(notes.Find("drawn in runs of 2 mountings"), wxNOT_FOUND) << notes;
    EXPECT_NE(notes.Find("rising: the press drifts"), wxNOT_FOUND) << notes;
    // The runs are drawn: navy means across the chart.
    mpWindow* chart = window->m_individuals;
    wxBitmap bitmap(chart->GetClientSize());
    {
        wxMemoryDC dc(bitmap);
        chart->PaintLayers(dc);
    }
    const wxImage image = bitmap.ConvertToImage();
    int left = 0, right = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (image.GetRed(x, y) < 40 && image.GetGreen(x, y) < 60 && image.GetBlue(x, y) > 100)
                ++(x < chart->x2p(750) ? left : right);
    EXPECT_GT(left, 200);
    EXPECT_GT(right, 200);

    // One PC: its third of the strokes.
    Choose(window->m_pc, window->m_pc->FindString("PC-2"));
    ASSERT_TRUE(WaitUntil([&] { return !window->Asking(); }, 30000));
    EXPECT_EQ(window->Shown().mountings, 500u);
    window->Destroy();
}
