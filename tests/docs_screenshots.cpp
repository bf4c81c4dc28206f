// Pictures for the documentation, made only when VEMO_SCREENSHOTS names a
// directory: the main window in each state of a job fed by press-sim, the plot
// canvas with a press-like curve, and a report page.
#include "gui_support.h"

#include "plot/plot_canvas.h"
#include "station/cycle.h"
#include "recorder/history_window.h"
#include "recorder/statistics_window.h"
#include "shell/paths.h"
#include "station/translate.h"
#include "station/local_time.h"
#include "records/record_store.h"
#include "recorder/terminal_panel.h"
#include "recorder/events.h"
#include "station/limits.h"
#include "recorder/state_banner.h"
#include "shell/main_window.h"

#include <wx/combobox.h>
#include <wx/dcmemory.h>
#include <wx/filename.h>
#include <wx/textctrl.h>

#include <cmath>
#include <cstdlib>

namespace {
const char* ShotDir() {
    return std::getenv("VEMO_SCREENSHOTS");
}
} // namespace

TEST(DocsScreenshots, CanvasWithPressCurve) {
    if (!ShotDir()) GTEST_SKIP() << "VEMO_SCREENSHOTS not set";
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    TerminalPanel* panel = Panel();
    std::vector<double> t, f;
    for (int i = 0; i <= 80 * 13; ++i) {
        double s = i / 13.0;
        double bar = s < 5 ? 0 : 320 * (1 - std::exp(-(s - 5) / 12.0));
        t.push_back(s);
        f.push_back(std::round(bar) * 1250.0 / 100 * 0.102);
    }
    panel->Controls().plot.curve->SetData(t, f);
    panel->Controls().plot.plot->Fit(0, 90, 0, *std::max_element(f.begin(), f.end()) * 1.2);
    Pump(200);
    ASSERT_TRUE(panel->Controls().plot.plot->SaveScreenshot(wxString(ShotDir()) + "/canvas.png",
                                                            wxBITMAP_TYPE_PNG));
}

/// Takes the whole screen as docs/main-window-`state`.png; on a screen other
/// than 1366 x 768 the name ends in its size.
void ShotOfScreen(const std::string& state) {
    const wxSize screen = wxGetDisplaySize();
    std::string name = std::string(ShotDir()) + "/main-window-" + state;
    if (screen != wxSize(1366, 768))
        name += "-" + std::to_string(screen.x) + "x" + std::to_string(screen.y);
    EXPECT_EQ(system(("import -window root '" + name + ".png'").c_str()), 0);
}

// Three press jobs fed by press-sim, taken in each state of the banner:
// ready, armed, recording, alarm (latched) and done with PASS; done with FAIL;
// done INCOMPLETE (stopped under pressure); then the module lost, and the
// first job's report page.
TEST(DocsScreenshots, MainWindowStates) {
    if (!ShotDir()) GTEST_SKIP() << "VEMO_SCREENSHOTS not set";
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n"
                      "plant_name=Wheelset shop, Verona\ndir_path=" +
                      WorkDir() + "/reports\n");
    MainWindow* main = MainWindow::GetInstance();
    const ForceLimits limits{350, 420};
    std::string error;
    ASSERT_TRUE(main->SetLimits(0, &limits, &error, "Anna Rossi", "new bearing type")) << error;
    TerminalPanel* panel = Panel();
    // A good stroke (300 bar = 382.5 t), a weak one (250 bar = 318.8 t) and
    // one held until the operator stops it.
    const std::string profile = WorkDir() + "/docs_cycle.csv";
    WriteText(profile, "0,0\n3,0\n3.5,2\n5,2\n11,270\n20,300\n26,300\n27,0\n"
                       "40,0\n46,250\n50,250\n51,0\n60,0\n66,300\n120,300\n");
    SimProcess sim({"--profile", profile, "--once"});
    panel->SetConnectionParameters("127.0.0.1", wxString::Format("%d", sim.Port()), true, true, 0);
    Click(panel, ID_CONNECT);
    ASSERT_TRUE(panel->Job().Connected());
    panel->Controls().operatorId->SetValue(wxString::FromUTF8("Łukasz Żółć")); // as typed
    auto job = [&](const char* axle) {
        panel->Controls().axleDesignation->SetValue(axle);
        panel->Controls().bearingDesignation->ChangeValue("TBU 130x230");
        panel->Controls().productionDate->ChangeValue("2024-03");
        panel->Controls().refurbishmentDate->SetValue("2026-10");
    };
    job("AX-4471");
    EnterThreshold(panel, "290"); // as typed: the threshold line follows
    panel->Controls().recordLength->ChangeValue("30");
    Pump(1500);
    ShotOfScreen("ready");
    Click(panel, ID_START);
    Pump(2500);
    ShotOfScreen("armed");
    ASSERT_TRUE(WaitUntil(
        [&] { return panel->Job().Cycle().m_recording && panel->Job().Cycle().LastTime() > 6.5; },
        15000));
    ShotOfScreen("recording");
    ASSERT_TRUE(WaitUntil([&] { return panel->Controls().banner->Shown().flashing; }, 15000));
    Pump(1200);
    WaitUntil([&] { return panel->Controls().banner->Shown().lit; }, 1000);
    ShotOfScreen("alarm");
    // It ends by itself 2 s after the release.
    wxTEST_DIALOG(WaitUntil([&] { return !panel->Job().Cycle().m_recording; }, 30000);
                  Pump(500), ExpectBoxStarting("ALARM during this recording", wxOK, "Alarm"),
                  ExpectBoxStarting("Write the report ", wxYES, "Print REPORT?"),
                  ExpectBoxStarting("Report Created: ", wxOK, "Success"));
    const Recording first = *panel->Job().LastRecording();
    Pump(1000);
    ShotOfScreen("done-pass");

    job("AX-4472");
    EnterThreshold(panel, "350");
    Click(panel, ID_START);
    ASSERT_TRUE(panel->Job().Cycle().m_armed);
    wxTEST_DIALOG(ASSERT_TRUE(WaitUntil([&] { return panel->Job().Cycle().m_recording; }, 20000));
                  WaitUntil([&] { return !panel->Job().Cycle().m_recording; }, 30000);
                  Pump(500), ExpectBoxStarting("Write the report ", wxNO, "Print REPORT?"));
    Pump(1000);
    ShotOfScreen("done-fail");

    Click(panel, ID_START);
    ASSERT_TRUE(WaitUntil(
        [&] { return panel->Job().Cycle().m_recording && panel->Job().Cycle().LastTime() > 8; },
        20000));
    wxTEST_DIALOG(Click(panel, ID_STOP);
                  Pump(300), ExpectBoxStarting("Write the report ", wxNO, "Print REPORT?"));
    Pump(1000);
    ShotOfScreen("done-incomplete");

    // The module gone: its own look, not the alarm's red.
    wxTEST_DIALOG(sim.Stop(); WaitUntil([&] { return !panel->Job().Connected(); }, 10000);
                  Pump(300), ExpectBoxStarting("", wxOK, "Disconnected"));
    WaitUntil([&] { return panel->Controls().banner->Shown().colour == BannerColour::Lost; }, 5000);
    Pump(300);
    ShotOfScreen("module-lost");
    Click(panel, ID_DISCONNECT);
    main->SetLimits(0, nullptr, &error);
    const wxString pdf =
        main->m_pdfDirectory + "/Report_Mounting_AX-4471A_" + FileDate(first.stoppedAt) + ".pdf";
    ASSERT_TRUE(wxFileName::FileExists(pdf)) << pdf;
    if (wxGetDisplaySize() != wxSize(1366, 768)) return; // the page once
    const std::string command = "pdftoppm -png -r 80 -singlefile '" + std::string(pdf.utf8_str()) +
                                "' '" + std::string(ShotDir()) + "/report-page'";
    EXPECT_EQ(system(command.c_str()), 0);
}

// The history of a month of jobs on two presses, one selected and then three
// drawn over one another.
TEST(DocsScreenshots, History) {
    if (!ShotDir()) GTEST_SKIP() << "VEMO_SCREENSHOTS not set";
    const std::string db = WorkDir() + "/history-shots.db";
    wxRemoveFile(db);
    {
        std::string why;
        auto store = RecordStore::Open(db, &why);
        ASSERT_TRUE(store) << why;
        const int64_t start = 1796752800 - 30 * 86400;
        for (int job = 0; job < 40; ++job) {
            Recording r;
            RecordingSetup& s = r.setup;
            s.uuid = NewRecordingId();
            s.job = {job % 3 ? "OP-17" : "OP-22",
                     "AX-" + std::to_string(4700 + job),
                     job % 2 ? "B" : "A",
                     "TBU 130x230",
                     "2024-03",
                     "2026-10"};
            s.pressName = job % 4 ? "Press A" : "Press B";
            s.surface = job % 4 ? 1250 : 2010;
            s.hasLimits = true;
            s.limits = job % 4 ? ForceLimits{350, 420} : ForceLimits{550, 700};
            s.recordLengthSeconds = 20;
            s.alarmThresholdBar = job % 4 ? 300 : 330;
            s.version = kProgramVersion;
            const int peak = 300 + (job * 37) % 45 - (job == 9 ? 40 : 0);
            for (int i = 0; i <= 20 * 13; ++i) {
                const double t = i / 13.0;
                const int bar = static_cast<int>(std::min(1.0, t / 6) * peak);
                r.times.push_back(std::round(t * 1000) / 1000);
                r.forces.push_back(ForceTons(bar, s.surface));
                r.pressures.push_back(bar);
            }
            if (job == 5) {
                r.times.resize(90);
                r.forces.resize(90);
                r.pressures.resize(90);
                r.incomplete = "module lost at 6.8 s";
            }
            r.startedAt = start + job * 18 * 3600;
            r.stoppedAt = r.startedAt + 20;
            s.armedAt = r.startedAt - 30;
            ASSERT_TRUE(store->Add(
                r, r.incomplete.empty() ? RecordStatus::Complete : RecordStatus::Incomplete,
                nullptr, &why))
                << why;
        }
    }
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + db +
                      "\n");
    ShowHistory(MainWindow::GetInstance()->m_frame, *Panel());
    HistoryWindow* history = nullptr;
    for (wxWindow* window : wxTopLevelWindows)
        if (auto* found = dynamic_cast<HistoryWindow*>(window)) history = found;
    ASSERT_NE(history, nullptr);
    Pump(800);
    const wxSize screen = wxGetDisplaySize();
    const std::string size = screen == wxSize(1366, 768)
                                 ? ""
                                 : "-" + std::to_string(screen.x) + "x" + std::to_string(screen.y);
    EXPECT_EQ(
        system(("import -window root '" + std::string(ShotDir()) + "/history" + size + ".png'")
                   .c_str()),
        0);
    for (long i = 1; i < 3; ++i)
        history->m_list->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    history->ShowSelection();
    Pump(500);
    EXPECT_EQ(system(("import -window root '" + std::string(ShotDir()) + "/history-overlay" + size +
                      ".png'")
                         .c_str()),
              0);
    history->Destroy();
    Pump(50);
}

// The Statistics window and its page, in English and in Italian, over two
// months of one bearing type judged by its program: a press whose peak
// creeps up, one FAIL by the hold, a zero that wanders.
TEST(DocsScreenshots, StatisticsWindowAndPage) {
    if (!ShotDir()) GTEST_SKIP() << "VEMO_SCREENSHOTS not set";
    const std::string db = WorkDir() + "/statistics-shots.db";
    wxRemoveFile(db);
    Program program;
    std::string why;
    ASSERT_TRUE(ParseProgram(R"({"name": "TBU 130x230", "version": 3, "bearing": "TBU 130x230*",
        "criteria": [{"peak": {"min_t": 350, "max_t": 420}},
                     {"hold": {"above_t": 340, "min_s": 3}}]})",
                             program, &why))
        << why;
    const auto shared = std::make_shared<const Program>(program);
    {
        auto store = RecordStore::Open(db, &why);
        ASSERT_TRUE(store) << why;
        for (int k = 0; k < 60; ++k) {
            Recording r;
            RecordingSetup& s = r.setup;
            s.uuid = NewRecordingId();
            s.job = {"OP-17",           "AX-" + std::to_string(4700 + k / 2),
                     k % 2 ? "B" : "A", "TBU 130x230",
                     "2024-03",         "2026-10"};
            s.pressName = "Press A";
            s.surface = 1250;
            s.program = shared;
            s.restBar = k / 20;
            s.version = kProgramVersion;
            const double peak = 378 + 0.12 * k + 3 * std::sin(k * 1.7) + (k == 41 ? 14 : 0);
            const double hold = k == 23 ? 2.4 : 3.6 + 0.4 * std::cos(k * 0.9);
            for (int i = 0; i * 0.05 < 4.5 + hold; ++i) {
                const double t = i * 0.05;
                r.times.push_back(t);
                const double f = t < 2 ? peak * t / 2 : t < 2 + hold ? peak - 6 : 60;
                r.forces.push_back(std::round(f * 1e4) / 1e4);
                r.pressures.push_back(static_cast<int>(f * 8));
            }
            r.forces[40] = peak;
            r.startedAt = 1796752800 - (60 - k) * 86400;
            r.stoppedAt = r.startedAt + 20;
            ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
        }
    }
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + db +
                      "\n");
    for (const std::string language : {"en", "it"}) {
        UseLanguage(language, CatalogueFolders());
        const std::string suffix = language == "en" ? "" : "-it";
        StatisticsWindow* window =
            ShowStatistics(MainWindow::GetInstance()->m_frame, db, {}, "", false, &Panel()->Host());
        ASSERT_NE(window, nullptr);
        Pump(600);
        RunCommand("import -window root '" + std::string(ShotDir()) + "/statistics-window" +
                   suffix + ".png'");
        const std::string pdf = WorkDir() + "/statistics-page" + suffix + ".pdf";
        wxTEST_DIALOG(window->ExportPage(pdf),
                      ExpectBoxStarting("", wxOK, language == "en" ? "Statistics" : "Statistiche"));
        RunCommand("pdftoppm -png -r 100 -singlefile '" + pdf + "' '" + std::string(ShotDir()) +
                   "/statistics-page" + suffix + "'");
        window->Destroy();
        Pump(100);
    }
    UseLanguage("en", CatalogueFolders());
}
