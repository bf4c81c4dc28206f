// A job judged by a mounting program: the quality engineer imports it,
// the scanned bearing chooses it at Start, and the recording's verdict,
// banner and kept recording come from its criteria, on noisy readings.
#include "gui_support.h"
#include "manual_clock.h"

#include "plot/plot_canvas.h"
#include "recorder/events.h"
#include "recorder/history_window.h"
#include "recorder/render_timer.h"
#include "recorder/state_banner.h"
#include "recorder/terminal_panel.h"
#include "shell/main_window.h"
#include "shell/programs_dialog.h"
#include "shell/quality_signature.h"
#include "records/quality_password.h"
#include "station/local_time.h"
#include "station/report_data.h"

#include <wx/button.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cmath>
#include <random>

namespace {

std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

const char* const kProgram = R"({"name": "TBU 130x230", "version": 1,
  "bearing": "TBU 130x230*", "record_length_s": 12, "alarm_threshold_bar": 380,
  "criteria": [{"peak": {"min_t": 350, "max_t": 420}},
               {"hold": {"above_t": 390, "min_s": 3.0}}]})";

struct ProgramGuiTest : testing::Test {
    void SetUp() override {
        // A store and a quality engineer's key of its own: the trail keeps
        // which key it was signed with.
        const std::string store = WorkDir() + "/programs.db";
        for (const char* suffix : {"", "-wal", "-shm"})
            if (wxFileExists(store + suffix)) wxRemoveFile(store + suffix);
        if (wxFileExists(kQualityPasswordFile)) wxRemoveFile(kQualityPasswordFile);
        RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n"
                          "program_required=true\nrecords_db=" +
                          store + "\n");
        panel = Panel();
        panel->Job().SetClock(clock);
        FillStartFields(panel);
    }
    void TearDown() override {
        panel->Job().AssumeConnected(false);
        panel->Timer().StopCountdown();
        Pump(20);
    }
    /// A stroke sampled every 75 ms ± 10 ms with ±1 bar of noise: a rise to
    /// 318 bar (405 t on 1250 cm²), held for `holdS`, then released.
    void Stroke(double holdS) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> jitter(-10, 10), noise(-1, 1);
        long long t = ms;
        auto reading = [&](int bar) {
            ms += 75 + jitter(random);
            clock.SetMs(ms);
            panel->Job().ApplyReadings({{bar, clock.Steady()}});
        };
        for (int bar = 10; bar < 318; bar += 12)
            reading(bar);
        while (ms - t < 2000 + holdS * 1000)
            reading(318 + noise(random));
        for (int bar = 300; bar >= 0; bar -= 50)
            reading(bar);
        for (int k = 0; k < 40; ++k) // released: the recording ends 2 s later
            reading(0);
    }
    ManualClock clock{3000000};
    long long ms = 0;
    TerminalPanel* panel = nullptr;
};

} // namespace

TEST_F(ProgramGuiTest, TheScannedBearingChoosesItsProgramAndItsCriteriaJudgeTheJob) {
    const std::string file = WorkDir() + "/tbu130.json";
    WriteText(file, kProgram);
    {
        ProgramsDialog dialog(MainWindow::GetInstance()->m_frame);
        EXPECT_FALSE(dialog.Import(file)) << "unsigned";
        SignAsQualityEngineer(dialog.Signature());
        ASSERT_TRUE(dialog.Import(file)) << dialog.m_errorText->GetLabel();
        EXPECT_EQ(dialog.m_list->GetItemCount(), 1);
        EXPECT_FALSE(dialog.Import(file)); // the same version again
        EXPECT_EQ(dialog.m_errorText->GetLabel(),
                  "TBU 130x230 v1 was not kept: TBU 130x230 v1 is already kept as it is.");
    }
    // Connected once the slow password check is done, so that no watch
    // takes the quiet link for a lost one.
    panel->Job().AssumeConnected(true);
    const PanelControls& ui = panel->Controls();
    // Every bearing needs its program here: one without is not mounted.
    ui.bearingDesignation->SetValue("6205-2RS");
    EXPECT_FALSE(ui.startButton->IsEnabled());
    EXPECT_EQ(ui.programText->GetLabel(), "No program for this bearing here");
    EXPECT_TRUE(ui.programText->GetToolTipText().StartsWith(
        "No mounting program is kept for the bearing \"6205-2RS\""))
        << ui.programText->GetToolTipText();
    ui.productionDate->ChangeValue("2025-06");
    ui.refurbishmentDate->ChangeValue("-");
    // Scanned, in the scanner's case: the program is chosen and shown.
    ui.bearingDesignation->SetValue("tbu 130x230 tn9");
    EXPECT_EQ(ui.programText->GetLabel(),
              wxString::FromUTF8("Program: TBU 130x230 v1 \xC2\xB7 alarm 380 bar"));
    EXPECT_TRUE(ui.startButton->IsEnabled());
    EXPECT_EQ(ui.recordLength->GetValue(), "12"); // the program's

    // A hold of 1.5 s where 3 s are required: FAIL with its finding, on the
    // page and in the CSV file with the program that judged it.
    const std::string reports = WorkDir() + "/program-reports";
    wxFileName::Mkdir(reports);
    MainWindow::GetInstance()->SetPdfDirectory(reports);
    Click(panel, ID_START);
    Stroke(1.5);
    wxTEST_DIALOG(Pump(300), ExpectBoxStarting("Write the report ", wxYES, "Print REPORT?"),
                  ExpectBoxStarting("Report Created: ", wxOK, "Report"));
    ASSERT_TRUE(panel->Job().LastRecording().has_value());
    const Recording& failed = *panel->Job().LastRecording();
    ASSERT_TRUE(failed.setup.program);
    EXPECT_EQ(failed.setup.program->Title(), "TBU 130x230 v1");
    EXPECT_EQ(failed.setup.recordLengthSeconds, 12);
    EXPECT_EQ(failed.setup.alarmThresholdBar, 380);
    EXPECT_EQ(ui.alarmThreshold->GetValue(), "0"); // the press's own, as it was set
    const Judgement j = failed.Judged();
    EXPECT_EQ(j.verdict, Verdict::Fail);
    EXPECT_EQ(j.criteria.size(), 2u);
    EXPECT_TRUE(j.criteria[0].ok) << j.criteria[0].text;
    EXPECT_EQ(j.brief.rfind("hold 1.", 0), 0u) << j.brief;
    const Banner done = ComposeBanner(panel->Job().BannerState());
    EXPECT_EQ(done.badge, Verdict::Fail);
    EXPECT_NE(done.Line().find(j.brief), std::string::npos) << done.Line();
    EXPECT_EQ(ui.verdictText->GetLabel(), "FAIL");
    const std::string pdf =
        reports + "/" + ReportFileName("AX4711", "A", FileDate(failed.stoppedAt));
    const std::string page = CommandOutput("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(page.find("Program: TBU 130x230 v1"), std::string::npos) << page;
    EXPECT_NE(page.find("Result: FAIL"), std::string::npos) << page;
    EXPECT_NE(page.find("NOK hold 1."), std::string::npos) << page;
    const std::string csv = ReadText(pdf.substr(0, pdf.size() - 4) + ".csv");
    EXPECT_NE(csv.find("# program,\"TBU 130x230\"\n# program_version,1\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("# criterion,\"NOK: hold 1."), std::string::npos) << csv;
    // The fields emptied for the next axle, the curve keeps the lines it
    // was judged by.
    EXPECT_TRUE(ui.plot.holdLine->IsVisible());
    EXPECT_DOUBLE_EQ(ui.plot.upperLimitLine->GetValue(), 420);
    FillStartFields(panel); // the report emptied the per-axle fields
    ui.bearingDesignation->SetValue("TBU 130x230 TN9");

    // Held for 3.5 s: PASS.
    Click(panel, ID_START);
    Stroke(3.5);
    wxTEST_DIALOG(Pump(300), ExpectBoxStarting("Write the report ", wxNO, "Print REPORT?"));
    EXPECT_EQ(panel->Job().LastRecording()->Judged().verdict, Verdict::Pass)
        << panel->Job().LastRecording()->Judged().reason;
    EXPECT_EQ(ui.verdictText->GetLabel(), "PASS");
}

// History: recordings judged again by a stricter version beside the verdicts
// they were signed with, which stay; and an envelope taught from them,
// written one version up for the quality engineer to import.
TEST_F(ProgramGuiTest, HistoryEvaluatesWithAnotherVersionAndTeachesAnEnvelope) {
    auto program = std::make_shared<Program>();
    std::string why;
    ASSERT_TRUE(ParseProgram(kProgram, *program, &why)) << why;
    std::unique_ptr<RecordStore> store = MainWindow::GetInstance()->OpenAuditStore(&why);
    ASSERT_TRUE(store) << why;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-0.6, 0.6);
    std::vector<Recording> kept(22);
    for (size_t k = 0; k < kept.size(); ++k) {
        Recording& r = kept[k];
        r.setup.uuid = NewRecordingId();
        r.setup.program = program;
        r.setup.job.axleDesignation = "AX-E" + std::to_string(k);
        r.setup.pressName = "P0";
        r.setup.surface = 1250;
        r.stoppedAt = r.startedAt = 1796752800 + static_cast<int64_t>(k) * 600;
        // Rise 2 s, hold 3.2 to 3.8 s at about 405 t, release.
        const double hold = 3.2 + 0.6 * static_cast<double>(k % 4) / 3;
        for (double t = 0; t < 2 + hold + 1; t += 0.075) {
            const double f = t < 2 ? 10 + 190 * t : t < 2 + hold ? 405 : 405 * (3 + hold - t);
            r.times.push_back(std::round(t * 1000) / 1000);
            r.forces.push_back(std::max(0.0, f + noise(random)));
            r.pressures.push_back(static_cast<int>(r.forces.back() / 1.275));
        }
        ASSERT_EQ(r.Judged().verdict, Verdict::Pass) << r.Judged().reason;
        ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
    }
    auto* history =
        new HistoryWindow(MainWindow::GetInstance()->m_frame, *Panel(), std::move(store));
    for (long i = 0; i < history->m_list->GetItemCount(); ++i)
        history->m_list->SetItemState(
            i, history->m_list->Row(i).axle.rfind("AX-E", 0) == 0 ? wxLIST_STATE_SELECTED : 0,
            wxLIST_STATE_SELECTED);
    Program stricter = *program;
    stricter.version = 2;
    stricter.criteria[1].minSeconds = 3.5;
    EvaluationWindow* evaluated = history->EvaluateWith(stricter);
    ASSERT_TRUE(evaluated);
    ASSERT_EQ(evaluated->m_list->GetItemCount(), 22);
    int nowFail = 0;
    for (long i = 0; i < evaluated->m_list->GetItemCount(); ++i) {
        EXPECT_EQ(evaluated->m_list->GetItemText(i, 2), "PASS"); // as signed
        nowFail += evaluated->m_list->GetItemText(i, 4) == "FAIL";
    }
    EXPECT_GT(nowFail, 0);
    EXPECT_LT(nowFail, 22);
    evaluated->Destroy();

    const std::string taught = WorkDir() + "/tbu-taught.json";
    wxTEST_DIALOG(EXPECT_TRUE(history->TeachInto(*program, wxString::FromUTF8(taught))),
                  ExpectBoxStarting("The envelope of TBU 130x230 v2 was taught from", wxOK,
                                    "Teach envelope"));
    Program read;
    ASSERT_TRUE(ParseProgram(ReadText(taught), read, &why)) << why;
    EXPECT_EQ(read.version, 2);
    ASSERT_EQ(read.criteria.back().kind, CriterionKind::Envelope);
    EXPECT_EQ(read.criteria.back().taughtFrom.size(), 22u);
    // Every curve it was taught from lies inside it.
    for (const Recording& r : kept)
        EXPECT_EQ(r.JudgedBy(read).verdict, Verdict::Pass) << r.JudgedBy(read).reason;
    history->Destroy();
}
