// Pictures for the documentation, made only when VEMO_SCREENSHOTS names a
// directory: the main window during a recording fed by press-sim, the plot
// canvas with a press-like curve, and a report page.
#include "gui_support.h"

#include "plot/plot_canvas.h"
#include "recorder/terminal_panel.h"
#include "shell/events.h"
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
    panel->m_curve->SetData(t, f);
    panel->m_plot->Fit(0, 90, 0, *std::max_element(f.begin(), f.end()) * 1.2);
    Pump(200);
    ASSERT_TRUE(
        panel->m_plot->SaveScreenshot(wxString(ShotDir()) + "/canvas.png", wxBITMAP_TYPE_PNG));
}

TEST(DocsScreenshots, MainWindowDuringRecording) {
    if (!ShotDir()) GTEST_SKIP() << "VEMO_SCREENSHOTS not set";
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\ndir_path=" +
                      WorkDir() + "/reports\n");
    TerminalPanel* panel = Panel();
    std::string profile = WorkDir() + "/docs_cycle.csv";
    WriteText(profile, "0,0\n1,0\n6,280\n30,300\n40,300\n");
    SimProcess sim({"--profile", profile, "--once"});
    panel->SetConnectionParameters("127.0.0.1", wxString::Format("%d", sim.Port()), true, true, 0);
    Click(panel, ID_CONNECT);
    ASSERT_TRUE(panel->m_connected);
    panel->m_operatorId->ChangeValue("OP-17");
    panel->m_axleDesignation->ChangeValue("AX-4471");
    panel->m_bearingDesignation->ChangeValue("TBU 130x230");
    panel->m_productionDate->ChangeValue("2024-03");
    panel->m_refurbishmentDate->ChangeValue("2026-10");
    panel->m_alarmThreshold->SetValue("290"); // as typed: the threshold line follows
    Click(panel, ID_START);
    Pump(12000);
    std::string command =
        "import -window root '" + std::string(ShotDir()) + "/main-window-recording.png'";
    EXPECT_EQ(system(command.c_str()), 0);
    wxTEST_DIALOG(Click(panel, ID_STOP); Pump(200),
                                         ExpectBox("Do you want to print a REPORT", wxYES),
                                         ExpectBoxStarting("Report Created.", wxOK, "Success"));
    Click(panel, ID_DISCONNECT);
    wxString pdf = MainWindow::GetInstance()->m_pdfDirectory + "/Report_Mounting_AX-4471A_" +
                   panel->m_stopDate + ".pdf";
    ASSERT_TRUE(wxFileName::FileExists(pdf)) << pdf;
    command = "pdftoppm -png -r 80 -singlefile '" + std::string(pdf.utf8_str()) + "' '" +
              std::string(ShotDir()) + "/report-page'";
    EXPECT_EQ(system(command.c_str()), 0);
}
