// A press job as an operator does it, through the window with simulated mouse
// and keyboard: the program starts connected to press-sim, the job data are
// typed, Start is clicked, the press cycle runs, the report is printed; then a
// second job loses the module half way.
#include "gui_support.h"

#include "plot/plot_canvas.h"
#include "recorder/alarm.h"
#include "station/local_time.h"
#include "station/report_data.h"
#include "recorder/terminal_panel.h"
#include "recorder/events.h"
#include "recorder/state_banner.h"
#include "shell/main_window.h"

#include <wx/choice.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/filename.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <cmath>
#include <cstdio>

namespace {

void ClickOn(wxWindow* window) {
    wxUIActionSimulator input;
    input.MouseMove(window->GetScreenPosition() +
                    wxPoint(window->GetSize().x / 2, window->GetSize().y / 2));
    Pump(50);
    input.MouseClick();
    Pump(150);
}

void TypeInto(wxTextCtrl* field, const char* text) {
    ClickOn(field);
    field->SetFocus();
    field->SelectAll();
    wxUIActionSimulator input;
    input.Char(WXK_DELETE);
    input.Text(text);
    Pump(150);
}

} // namespace

TEST(OperatorJob, PressJobFromStartToReport) {
    // 12 s idle (the operator types the job data), a ramp to 250 bar over 4 s,
    // a hold, a release.
    std::string profile = WorkDir() + "/job_cycle.csv";
    WriteText(profile, "0,0\n12,0\n16,250\n19,250\n20,0\n40,0\n");
    SimProcess sim({"--profile", profile, "--once"});
    const std::string reports = WorkDir() + "/operator_reports";
    wxFileName::Mkdir(reports);
    RebuildMainWindow("ip=127.0.0.1\nport=" + std::to_string(sim.Port()) +
                      "\nautoconnect=true\nsuperficie=1\nskipQuestion=true\ndir_path=" + reports +
                      "\n");
    TerminalPanel* panel = Panel();
    ASSERT_TRUE(WaitUntil([&] { return panel->Job().Connected(); }, 5000)) << "autoconnect";
    ASSERT_TRUE(WaitUntil(
        [&] { return panel->Controls().pressureText->GetLabel() == "Pressure: 0 bar"; }, 3000));

    TypeInto(panel->Controls().operatorId, "OP-17");
    TypeInto(panel->Controls().axleDesignation, "AX-4471");
    TypeInto(panel->Controls().bearingDesignation, "TBU-130");
    TypeInto(panel->Controls().productionDate, "2024-03");
    TypeInto(panel->Controls().refurbishmentDate, "2026-10");
    TypeInto(panel->Controls().alarmThreshold, "200");
    TypeInto(panel->Controls().recordLength, "8");
    wxUIActionSimulator input;
    panel->Controls().mountingSide->SetFocus();
    input.Select("B");
    Pump(150);
    EXPECT_EQ(panel->Controls().operatorId->GetValue(), "OP-17");
    EXPECT_EQ(panel->Controls().recordLength->GetValue(), "8");
    EXPECT_EQ(panel->Controls().mountingSide->GetStringSelection(), "B");

    const int alarms = panel->Alarm().PlayCount();
    ClickOn(panel->Controls().startButton);
    ASSERT_TRUE(panel->Job().Cycle().m_armed) << "Start was not pressed";
    wxTEST_DIALOG(WaitUntil([&] { return !panel->Job().Cycle().m_armed; }, 20000);
                  Pump(300),
                  ExpectBoxStarting("ALARM during this recording: above 200 bar", wxOK, "Alarm"),
                  ExpectBoxStarting("Write the report ", wxYES, "Print REPORT?"),
                  ExpectBoxStarting("Report Created: ", wxOK, "Success"));

    const std::string pdf =
        reports + "/" +
        ReportFileName("AX-4471", "B", FileDate(panel->Job().LastRecording()->stoppedAt));
    ASSERT_TRUE(wxFileName::FileExists(pdf)) << pdf;
    std::string text = RunCommand("pdftotext -layout '" + pdf + "' -");
    for (const char* expected : {"OP-17", "AX-4471", "TBU-130", "2024-03", "2026-10", "Press: P1"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    std::vector<double> times, forces;
    ASSERT_TRUE(ReadCurveCsv(pdf.substr(0, pdf.size() - 4) + ".csv", times, forces));
    ASSERT_GT(times.size(), 50u);
    // Every force is a whole number of bar on the 2010 cm² piston of press P1,
    // written to 0.0001 t.
    const double tonsPerBar = 2010.0 / 100 * 0.102;
    double peakBar = 0;
    for (double f : forces) {
        double bar = f / tonsPerBar;
        EXPECT_NEAR(bar, std::round(bar), 0.00005 / tonsPerBar + 1e-9);
        peakBar = std::max(peakBar, bar);
    }
    EXPECT_NEAR(peakBar, 250, 1);
    // The recording starts above 4 bar, on the ramp (about 0.06 s per bar).
    EXPECT_GT(forces.front() / tonsPerBar, 4);
    EXPECT_LT(forces.front() / tonsPerBar, 30);
    // About 13 samples a second, over the record length (the countdown may end
    // it up to a second early).
    const double rate = (times.size() - 1) / (times.back() - times.front());
    EXPECT_GT(rate, 11.0);
    EXPECT_LT(rate, 14.5);
    EXPECT_GE(times.back(), 6.5);
    EXPECT_LE(times.back(), 8.2);
    // The time axis shows the whole curve across the width, the force axis
    // the peak plus a fifth.
    EXPECT_DOUBLE_EQ(panel->Controls().plot.plot->GetDesiredXmax(), std::ceil(times.back()));
    EXPECT_NEAR(panel->Controls().plot.plot->GetDesiredYmax(), peakBar * tonsPerBar * 1.2, 1e-6);
    // Above 200 bar for about 3 s, then latched until acknowledged at the
    // end: the alarm sounded every 2 s, not on every reading.
    EXPECT_GE(panel->Alarm().PlayCount() - alarms, 1);
    EXPECT_LE(panel->Alarm().PlayCount() - alarms, 6);
    ASSERT_EQ(panel->Job().LastRecording()->alarms.size(), 1u);
    EXPECT_EQ(panel->Job().LastRecording()->alarms[0].acknowledgedBy, "OP-17");
    EXPECT_NE(text.find("Alarm: above 200 bar from"), std::string::npos) << text;

    ClickOn(panel->Controls().disconnectButton);
    EXPECT_FALSE(panel->Job().Connected());
}

// A job without the mouse: the shift's operator is kept from the last start,
// the scanner types the axle and Enter, Tab moves on, F5 starts, the press
// strokes, the recording ends by itself 2 s after the release, Enter takes the
// question's default (Yes), and the axle field waits for the next axle.
TEST(OperatorJob, AKeyboardOnlyJobEndsByItselfAfterTheStroke) {
    std::string profile = WorkDir() + "/keyboard_cycle.csv";
    WriteText(profile, "0,0\n6,0\n9,250\n11,250\n12,0\n60,0\n");
    SimProcess sim({"--profile", profile, "--once"});
    const std::string reports = WorkDir() + "/keyboard_reports";
    wxFileName::Mkdir(reports);
    RebuildMainWindow("ip=127.0.0.1\nport=" + std::to_string(sim.Port()) +
                      "\nautoconnect=true\nsuperficie=1\nskipQuestion=true\noperator=OP-3\n"
                      "dir_path=" +
                      reports + "\n");
    TerminalPanel* panel = Panel();
    ASSERT_TRUE(WaitUntil([&] { return panel->Job().Connected(); }, 5000)) << "autoconnect";
    // The window comes up with the keyboard, as at a start (a click on the
    // banner stands in for the window manager's activation of a new window).
    ClickOn(panel->Controls().banner);
    EXPECT_TRUE(WaitUntil([&] { return wxWindow::FindFocus() != nullptr; }, 2000));
    EXPECT_EQ(wxWindow::FindFocus(), panel->Controls().axleDesignation);
    EXPECT_FALSE(panel->Controls().startButton->IsEnabled()); // no axle yet

    wxUIActionSimulator input;
    input.Text("AX-9001");
    input.Char(WXK_RETURN); // the scanner's Enter
    Pump(150);
    EXPECT_EQ(wxWindow::FindFocus(), panel->Controls().mountingSide);
    input.Char(WXK_TAB);
    Pump(100);
    EXPECT_EQ(wxWindow::FindFocus(), panel->Controls().bearingDesignation);
    input.Text("TBU-130");
    input.Char(WXK_TAB);
    input.Text("2024-03");
    input.Char(WXK_TAB);
    input.Text("2026-10");
    Pump(150);
    EXPECT_EQ(panel->Controls().bearingDesignation->GetValue(), "TBU-130");
    EXPECT_EQ(panel->Controls().refurbishmentDate->GetValue(), "2026-10");
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
    input.Char(WXK_F5);
    Pump(150);
    ASSERT_TRUE(panel->Job().Cycle().m_armed) << "F5 did not start";
    // The fields grey out; the keyboard is on Stop, not nowhere.
    EXPECT_EQ(wxWindow::FindFocus(), panel->Controls().stopButton);

    // The report question's default button is Yes: Enter answers it.
    wxTEST_DIALOG(WaitUntil([&] { return !panel->Job().Cycle().m_armed; }, 30000);
                  Pump(300),
                  ExpectBox("Write the report for axle AX-9001 A?", wxYES, "Print REPORT?"),
                  ExpectBoxStarting("Report Created: ", wxOK, "Success"));
    ASSERT_TRUE(panel->Job().LastRecording().has_value());
    const Recording& job = *panel->Job().LastRecording();
    EXPECT_EQ(job.incomplete, "");
    EXPECT_EQ(panel->Job().Cycle().EndReason(), RecordEnd::Released);
    // Released at about 12 s after a start near 6 s: ended near 8 s, not at
    // the record length of 80 s.
    EXPECT_GT(job.LastTime(), 5.0);
    EXPECT_LT(job.LastTime(), 12.0);
    EXPECT_EQ(job.setup.job.operatorId, "OP-3");
    EXPECT_EQ(job.setup.job.bearingDesignation, "TBU-130");
    EXPECT_EQ(job.setup.job.productionDate, "2024-03");
    EXPECT_EQ(panel->Controls().axleDesignation->GetValue(), "");
    EXPECT_EQ(panel->Controls().operatorId->GetValue(), "OP-3");
    EXPECT_EQ(wxWindow::FindFocus(), panel->Controls().axleDesignation);
}

TEST(OperatorJob, ModuleLostInTheMiddleAndConnectedAgain) {
    std::string profile = WorkDir() + "/lost_cycle.csv";
    WriteText(profile, "0,0\n1,0\n3,150\n60,150\n");
    SimProcess sim({"--profile", profile, "--close-after", "50", "--refuse-for", "3"}); // 3.7 s
    RebuildMainWindow("ip=127.0.0.1\nport=" + std::to_string(sim.Port()) +
                      "\nautoconnect=true\nsuperficie=0\nskipQuestion=true\ndir_path=" + WorkDir() +
                      "\n");
    TerminalPanel* panel = Panel();
    ASSERT_TRUE(WaitUntil([&] { return panel->Job().Connected(); }, 5000));
    FillStartFields(panel);
    ClickOn(panel->Controls().startButton);
    ASSERT_TRUE(WaitUntil([&] { return panel->Job().Cycle().m_recording; }, 5000));
    wxTEST_DIALOG(WaitUntil([&] { return !panel->Job().Connected(); }, 10000);
                  Pump(500), ExpectBoxStarting("Network disconnected: the module closed the "
                                               "connection.\nThe recording ended early: module "
                                               "lost at ",
                                               wxOK, "Disconnected"));
    EXPECT_EQ(panel->Controls().pressureText->GetLabel(), "Pressure: none");
    EXPECT_FALSE(panel->Controls().connectButton->IsEnabled());
    EXPECT_TRUE(panel->Controls().disconnectButton->IsEnabled()); // stops the reconnection
    EXPECT_FALSE(panel->Controls().startButton->IsEnabled());
    EXPECT_GT(panel->Controls().plot.curve->GetDataLength(),
              10u); // what was recorded stays on the plot

    // The module is back after its reboot: the program reconnects by itself.
    ASSERT_TRUE(WaitUntil([&] { return panel->Job().Connected(); }, 12000));
    EXPECT_TRUE(WaitUntil(
        [&] { return panel->Controls().pressureText->GetLabel() != "Pressure: none"; }, 3000));
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
    ClickOn(panel->Controls().disconnectButton);
}
