// The Statistics window on a store of known mountings: the counts and
// figures it shows, and the chart's points drawn, the one beyond 3σ marked.
#include "gui_support.h"

#include "plot/plot_canvas.h"
#include "recorder/statistics_window.h"
#include "recorder/terminal_panel.h"
#include "shell/main_window.h"
#include "records/file_access.h"
#include "records/integrity.h"
#include "records/record_store.h"
#include "station/cycle.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

TEST(StatisticsWindow, ShowsTheFiguresOfTheSelectionAndDrawsItsPoints) {
    const std::string path = WorkDir() + "/statistics-gui.db";
    std::string why;
    {
        auto store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        std::mt19937 random(9);
        std::uniform_real_distribution<double> noise(-1.5, 1.5);
        for (int k = 0; k < 30; ++k) {
            Recording r;
            r.setup.uuid = NewRecordingId();
            r.setup.job = {"OP7", "AX-" + std::to_string(k), "A", "TAROL 130/230", "2024-01", "-"};
            r.setup.pressName = "Press A";
            r.setup.surface = 1250;
            r.setup.hasLimits = true;
            r.setup.limits = {390, 425};
            r.setup.restBar = k / 12; // the zero creeping up a bar at a time
            r.startedAt = 1796752800 + k * 600;
            r.stoppedAt = r.startedAt + 20;
            const double peak = k == 20 ? 422 : 405 + noise(random); // one far out, still a PASS
            for (int i = 0; i < 60; ++i) {
                r.times.push_back(i * 0.075);
                r.forces.push_back(i < 30 ? peak * i / 30 : peak - 0.2 * (i % 3));
                r.pressures.push_back(static_cast<int>(r.forces.back() * 8));
            }
            ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
        }
    }
    MountingFilter start;
    start.press = "Press A";
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    StatisticsWindow* window = ShowStatistics(MainWindow::GetInstance()->m_frame, path, start, "",
                                              false, &Panel()->Host());
    ASSERT_NE(window, nullptr);
    window->m_bearing->SetValue("tarol*");
    Pump(300);
    const MountingStatistics& s = window->Shown();
    EXPECT_EQ(s.summary.n, 30u);
    EXPECT_EQ(window->m_counts->GetLabel(),
              "30 mountings\n30 PASS, 0 FAIL, 0 INCOMPLETE\n0 without "
              "a verdict, 0 re-mounts of an axle side");
    EXPECT_NE(window->m_figures->GetLabel().Find(wxString::Format("%.2f", s.capability.cpk)),
              wxNOT_FOUND);
    EXPECT_NE(window->m_notes->GetLabel().Find(wxString::FromUTF8("one beyond 3\xCF\x83: 1 point")),
              wxNOT_FOUND)
        << window->m_notes->GetLabel();
    if (const char* dir = std::getenv("VEMO_SCREENSHOTS"))
        RunCommand("import -window root '" + std::string(dir) + "/statistics-window.png'");

    // The chart as it paints: thirty navy points, the outlier marked in red
    // where its x falls.
    mpWindow* chart = window->m_individuals;
    wxBitmap bitmap(chart->GetClientSize());
    {
        wxMemoryDC dc(bitmap);
        chart->PaintLayers(dc);
    }
    const wxImage image = bitmap.ConvertToImage();
    int navy = 0, red = 0, redX = -1;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x) {
            const int r = image.GetRed(x, y), g = image.GetGreen(x, y), b = image.GetBlue(x, y);
            if (r < 40 && g < 60 && b > 100) ++navy;
            if (r > 180 && g < 30 && b < 30) ++red, redX = x;
        }
    EXPECT_GT(navy, 30 * 9); // a filled circle of radius 3 is about 29 pixels
    EXPECT_GT(red, 20);
    EXPECT_NEAR(redX, chart->x2p(21), 7);

    // The page for the review: one page with the figures shown, its own
    // number, and the hash of the data file written beside it.
    const std::string pdf = WorkDir() + "/statistics-page.pdf";
    std::remove(pdf.c_str());
    wxTEST_DIALOG(EXPECT_TRUE(window->ExportPage(pdf)),
                  ExpectBoxStarting("The statistics page ", wxOK, "Statistics"));
    std::string csv;
    ASSERT_TRUE(ReadWholeFile(WorkDir() + "/statistics-page.csv", csv));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4 + 1 + 30);
    const std::string text = RunCommand("pdftotext -layout '" + pdf + "' -");
    for (const std::string& shown : std::vector<std::string>{
             "Statistics of the peak force", "bearing tarol* \xC2\xB7 press Press A",
             "30 mountings: 30 PASS, 0 FAIL", Sha256Hex(csv), "statistics-page.csv",
             wxString::Format("%.2f", s.capability.cpk).ToStdString(), "Reviewed by"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
    EXPECT_NE(RunCommand("pdfinfo '" + pdf + "'").find("Pages:           1\n"), std::string::npos);
    if (const char* dir = std::getenv("VEMO_SCREENSHOTS"))
        RunCommand("pdftoppm -png -r 80 -singlefile '" + pdf + "' '" + std::string(dir) +
                   "/statistics-page'");
    window->Destroy();
}
