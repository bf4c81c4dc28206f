// Benchmarks of the recorder, run in real windows (under Xvfb from
// bench/run_all.sh). Prints "name value unit" lines that run_all.sh puts into
// docs/benchmarks.md.
//   vemo_bench [section ...]   sections: decode step repaint report latency live
//                              reconnect flood[_SECONDS] longrun[_MINUTES]
#include "plot/plot_canvas.h"
#include "station/cycle.h"
#include "link/reading_decoder.h"
#include "recorder/terminal_panel.h"
#include "recorder/events.h"
#include "shell/main_window.h"
#include "manual_clock.h"
#include "sim_process.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/graphics.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void Report(const std::string& name, double value, const char* unit) {
    printf("%s %.4f %s\n", name.c_str(), value, unit);
    fflush(stdout);
}

void Pump(int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
            if (!loop->IsYielding()) loop->YieldFor(wxEVT_CATEGORY_ALL);
        wxTheApp->ProcessPendingEvents();
        wxMilliSleep(1);
    } while (Clock::now() < end);
}

template <typename F> double BestOf(int runs, F f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto a = Clock::now();
        f();
        best = std::min(best, Ms(a, Clock::now()));
    }
    return best;
}

std::string g_dir;
std::string g_sim;

void BenchDecode() {
    const char batch[] = "            + 123 0\r\n";
    const int n = 2000000;
    volatile int sink = 0;
    auto a = Clock::now();
    for (int i = 0; i < n; ++i)
        sink += DecodeReading(batch, sizeof batch - 1).value_or(0);
    Report("decode_one_batch", Ms(a, Clock::now()) * 1000.0 / n, "us");
}

void BenchStep() {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    static ManualClock clock{4000000}; // the station keeps it past this run
    panel->Job().SetClock(clock);
    panel->Job().AssumeConnected(true);
    panel->Controls().recordLength->ChangeValue("999");
    wxCommandEvent start(wxEVT_BUTTON, ID_START);
    panel->GetEventHandler()->ProcessEvent(start);
    std::map<int, double> at;
    const std::set<int> marks{1000, 13000};
    long long ms = 0;
    for (int i = 1; i <= 13000; ++i) {
        ms += 75;
        clock.SetMs(ms);
        int bar = 5 + (i % 300);
        if (marks.count(i)) {
            // Several steps at this size, each appending one sample.
            double best = 1e300;
            for (int k = 0; k < 20; ++k) {
                auto a = Clock::now();
                panel->Job().ApplyReadings({{bar, clock.Steady()}});
                best = std::min(best, Ms(a, Clock::now()));
            }
            at[i] = best;
        } else {
            panel->Job().ApplyReadings({{bar, clock.Steady()}});
        }
    }
    Report("reading_step_1000", at[1000], "ms");
    Report("reading_step_13000", at[13000], "ms");
    // SetData plus Fit alone, at 13 000 samples.
    const auto& t = panel->Job().Cycle().m_times;
    const auto& f = panel->Job().Cycle().m_forces;
    double best = BestOf(20, [&] {
        panel->Controls().plot.curve->SetData(t, f);
        panel->Controls().plot.plot->Fit(0, t.back() + 10, 0, 400);
    });
    Report("setdata_fit_13000", best, "ms");
    panel->Job().AssumeConnected(false);
    panel->Job().EndForExit();
}

void BenchRepaint() {
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(1700, 1000));
    wxWindow* holder = new wxWindow(frame, wxID_ANY);
    mpWindow* canvas = new mpWindow(holder, wxID_ANY, wxPoint(0, 0), wxSize(1600, 960), 0);
    mpFXYVector* curve = new mpFXYVector("", 0);
    curve->SetContinuity(true);
    curve->SetPen(wxPen(*wxRED, 2));
    curve->SetDrawOutsideMargins(false);
    mpScaleX* x = new mpScaleX("Time (s)", mpALIGN_BOTTOM, false, mpX_NORMAL);
    mpScaleY* y = new mpScaleY("Force (tons)", mpALIGN_LEFT, false);
    x->SetDrawOutsideMargins(false);
    y->SetDrawOutsideMargins(false);
    canvas->SetMargins(10, 10, 50, 50);
    canvas->AddLayer(x);
    canvas->AddLayer(y);
    canvas->AddLayer(curve);
    {
        int w = 1600, h = 960;
        canvas->Fit(0, 100, 0, 400, &w, &h);
        wxBitmap bitmap(w, h);
        wxMemoryDC dc(bitmap);
        curve->SetVisible(false);
        Report("repaint_axes_only", BestOf(5, [&] { canvas->PaintLayers(dc); }), "ms");
        if (getenv("VEMO_BENCH_PROBE")) {
            wxPen dotted(*wxLIGHT_GREY, 1, wxPENSTYLE_DOT), solid(*wxLIGHT_GREY, 1);
            dc.SetPen(dotted);
            Report("probe_56_dotted_lines",
                   BestOf(5,
                          [&] {
                              for (int i = 0; i < 56; ++i)
                                  dc.DrawLine(50, 10 + i * 16, 1590, 10 + i * 16);
                          }),
                   "ms");
            if (wxGraphicsContext* gc = dc.GetGraphicsContext()) {
                gc->SetAntialiasMode(wxANTIALIAS_NONE);
                Report("probe_56_dotted_lines_no_aa",
                       BestOf(5,
                              [&] {
                                  for (int i = 0; i < 56; ++i)
                                      dc.DrawLine(50, 10 + i * 16, 1590, 10 + i * 16);
                              }),
                       "ms");
                gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
                wxGraphicsPath path = gc->CreatePath();
                for (int i = 0; i < 56; ++i) {
                    path.MoveToPoint(50, 10.5 + i * 16);
                    path.AddLineToPoint(1590, 10.5 + i * 16);
                }
                gc->SetPen(dotted);
                Report("probe_56_dotted_one_path", BestOf(5, [&] { gc->StrokePath(path); }), "ms");
            }
            dc.SetPen(solid);
            Report("probe_56_solid_lines",
                   BestOf(5,
                          [&] {
                              for (int i = 0; i < 56; ++i)
                                  dc.DrawLine(50, 10 + i * 16, 1590, 10 + i * 16);
                          }),
                   "ms");
            wxCoord tw, th;
            Report("probe_100_text_extents",
                   BestOf(5,
                          [&] {
                              for (int i = 0; i < 100; ++i)
                                  dc.GetTextExtent(wxString::Format("%.2f", i * 1.5), &tw, &th);
                          }),
                   "ms");
            Report("probe_50_texts",
                   BestOf(5,
                          [&] {
                              for (int i = 0; i < 50; ++i)
                                  dc.DrawText(wxString::Format("%.2f", i * 1.5), 10, i * 16);
                          }),
                   "ms");
        }
        x->SetVisible(false);
        y->SetVisible(false);
        Report("repaint_background_only", BestOf(5, [&] { canvas->PaintLayers(dc); }), "ms");
        x->SetVisible(true);
        y->SetVisible(true);
        curve->SetVisible(true);
    }
    for (int n : {1000, 13000, 100000, 1000000}) {
        std::vector<double> t(n), f(n);
        for (int i = 0; i < n; ++i) {
            t[i] = i * 0.075;
            f[i] = 300 * (1 - std::exp(-t[i] / 20.0)) + 5 * std::sin(i * 0.3);
        }
        curve->SetData(t, f);
        int w = 1600, h = 960;
        canvas->Fit(0, t.back() + 10, 0, 400, &w, &h);
        wxBitmap bitmap(w, h);
        wxMemoryDC dc(bitmap);
        // Every point drawn (as before the columns), then what each pixel
        // column shows.
        if (n <= 100000) {
            mpFXYVector::SetDecimation(false);
            Report("repaint_every_point_" + std::to_string(n),
                   BestOf(5, [&] { canvas->PaintLayers(dc); }), "ms");
        }
        mpFXYVector::SetDecimation(true);
        Report("repaint_columns_" + std::to_string(n), BestOf(5, [&] { canvas->PaintLayers(dc); }),
               "ms");
        if (getenv("VEMO_BENCH_PROBE") && n == 100000) {
            std::vector<wxPoint> zig;
            for (int c = 0; c < 1540; ++c) {
                zig.emplace_back(60 + c, 400 + (c % 2 ? -12 : 12));
                zig.emplace_back(60 + c, 400 + (c % 2 ? 12 : -12));
            }
            for (int width : {1, 2}) {
                for (wxPenCap cap : {wxCAP_ROUND, wxCAP_BUTT}) {
                    wxPen pen(*wxRED, width);
                    pen.SetCap(cap);
                    pen.SetJoin(cap == wxCAP_BUTT ? wxJOIN_MITER : wxJOIN_ROUND);
                    dc.SetPen(pen);
                    Report("probe_zigzag_w" + std::to_string(width) +
                               (cap == wxCAP_BUTT ? "_butt" : "_round"),
                           BestOf(5,
                                  [&] {
                                      for (size_t k = 0; k + 1 < zig.size(); k += 500)
                                          dc.DrawLines(static_cast<int>(
                                                           std::min<size_t>(501, zig.size() - k)),
                                                       zig.data() + k);
                                  }),
                           "ms");
                }
            }
            dc.SetPen(*wxTRANSPARENT_PEN);
            dc.SetBrush(*wxRED_BRUSH);
            Report("probe_rectangles",
                   BestOf(5,
                          [&] {
                              for (int c = 0; c < 1540; ++c)
                                  dc.DrawRectangle(60 + c, 388, 2, 25);
                          }),
                   "ms");
        }
        // A new view each time: the columns are found again from the points.
        double shift = 0;
        Report("repaint_columns_new_view_" + std::to_string(n),
               BestOf(5,
                      [&] {
                          shift += 0.001;
                          canvas->Fit(shift, t.back() + 10, 0, 400, &w, &h);
                          canvas->PaintLayers(dc);
                      }),
               "ms");
        canvas->Fit(0, t.back() + 10, 0, 400, &w, &h);
        for (bool batching : {false, true}) {
            if (n > 100000) break;             // a million single segments take seconds
            mpFXYVector::SetDecimation(false); // as measured before the columns
            mpFXY::SetPolylineBatching(batching);
            double best = BestOf(5, [&] { canvas->PaintLayers(dc); });
            Report(std::string("repaint_") + (batching ? "polyline_" : "segments_") +
                       std::to_string(n),
                   best, "ms");
            if (getenv("VEMO_BENCH_PROBE") && batching) {
                x->SetVisible(false);
                y->SetVisible(false);
                Report("probe_curve_only_" + std::to_string(n),
                       BestOf(5, [&] { canvas->PaintLayers(dc); }), "ms");
                wxCoord w2 = 1600, h2 = 960;
                (void)w2;
                (void)h2;
                double sum = 0;
                Report("probe_walk_only_" + std::to_string(n),
                       BestOf(5,
                              [&] {
                                  double xx, yy;
                                  curve->Rewind();
                                  while (curve->GetNextXY(xx, yy))
                                      sum += std::trunc((xx - canvas->GetPosX()) *
                                                        canvas->GetScaleX());
                              }),
                       "ms");
                x->SetVisible(true);
                y->SetVisible(true);
            }
        }
    }
    mpFXY::SetPolylineBatching(true);
    mpFXYVector::SetDecimation(true);
    frame->Destroy();
}

void BenchReport() {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    std::vector<double> t(13000), f(13000);
    for (int i = 0; i < 13000; ++i) {
        t[i] = i * 0.075;
        f[i] = 400 * (1 - std::exp(-t[i] / 20.0));
    }
    panel->Controls().plot.curve->SetData(t, f);
    panel->Controls().plot.plot->SetSize(1600, 960);
    panel->Controls().plot.plot->Fit(0, t.back() + 10, 0, 480);
    Pump(300);
    Recording recording;
    recording.setup.job = {"OP", "AX", "A", "B", "P", "R"};
    recording.setup.pressName = "P0";
    recording.setup.surface = 1250;
    recording.setup.recordLengthSeconds = 999;
    recording.setup.version = kProgramVersion;
    recording.times = t;
    recording.forces = f;
    recording.pressures.assign(t.size(), 300);
    double best = 1e300;
    std::string written;
    for (int i = 0; i < 5; ++i) {
        recording.setup.job.axleDesignation = "AX" + std::to_string(i);
        recording.setup.uuid = NewRecordingId();
        auto a = Clock::now();
        wxTEST_DIALOG(panel->WriteReport(recording, {}, &written),
                      wxExpectModal<wxMessageDialog>(wxOK));
        best = std::min(best, Ms(a, Clock::now()));
    }
    Report("report_13000_1600x960", best, "ms");
    // The page with its two embedded fonts and the picture.
    Report("report_page_size", wxFileName::GetSize(wxString::FromUTF8(written)).ToDouble() / 1024,
           "kB");
    panel->Controls().plot.plot->SetSize(wxSize(1046, 627));
}

struct Sim : PressSimProcess {
    explicit Sim(const std::vector<std::string>& args)
        : PressSimProcess(g_sim, g_dir + "/bench-sim.log", args) {}
};

void Connect(TerminalPanel* panel, int port) {
    panel->SetConnectionParameters("127.0.0.1", wxString::Format("%d", port), false, true, 0);
    wxCommandEvent connect(wxEVT_BUTTON, ID_CONNECT);
    panel->GetEventHandler()->ProcessEvent(connect);
}

void Disconnect(TerminalPanel* panel) {
    wxCommandEvent disconnect(wxEVT_BUTTON, ID_DISCONNECT);
    panel->GetEventHandler()->ProcessEvent(disconnect);
}

long long EpochUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void BenchLatency() {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    std::string profile = g_dir + "/ramp.csv";
    std::ofstream(profile) << "0,0\n100,2000\n"; // a new value about every reading
    Sim sim({"--profile", profile, "--once", "--log-sends"});
    std::map<int, long long> applied;
    panel->SetReadingObserver([&](int bar) {
        if (!applied.count(bar)) applied[bar] = EpochUs();
    });
    Connect(panel, sim.Port());
    Pump(40000);
    panel->SetReadingObserver(nullptr);
    Disconnect(panel);
    std::map<int, long long> sent;
    std::ifstream in(sim.LogPath());
    std::string word;
    long long us;
    int bar;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        if (s >> word >> us >> bar && word == "send" && !sent.count(bar)) sent[bar] = us;
    }
    std::vector<double> latencies;
    for (auto& [value, when] : sent)
        if (applied.count(value) && applied[value] >= when)
            latencies.push_back((applied[value] - when) / 1000.0);
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) return;
    Report("latency_samples", latencies.size(), "readings");
    Report("latency_median", latencies[latencies.size() / 2], "ms");
    Report("latency_p99", latencies[latencies.size() * 99 / 100], "ms");
}

double CpuMs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// The live case side by side with a script: the series filled to N samples,
// then for each new reading the per-reading step and a full repaint of the
// plot at 1600 x 960. Median time and CPU per reading.
void BenchLive() {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    static ManualClock clock{4000000}; // the station keeps it past this run
    panel->Job().SetClock(clock);
    panel->Controls().plot.plot->SetSize(1600, 960);
    Pump(200);
    for (int n : {1000, 13000}) {
        panel->Job().AssumeConnected(true);
        panel->Controls().recordLength->ChangeValue("999");
        wxCommandEvent start(wxEVT_BUTTON, ID_START);
        panel->GetEventHandler()->ProcessEvent(start);
        long long ms = 0;
        auto step = [&](int i) {
            ms += 75;
            clock.SetMs(n * 100000 + ms);
            panel->Job().ApplyReadings({{5 + std::min(295, i / 2), clock.Steady()}});
        };
        for (int i = 0; i < n - 40; ++i)
            step(i);
        wxBitmap bitmap(1600, 960);
        wxMemoryDC dc(bitmap);
        std::vector<double> wall, cpu;
        for (int i = n - 40; i < n; ++i) {
            auto a = Clock::now();
            double c = CpuMs();
            step(i);
            panel->Controls().plot.plot->PaintLayers(dc);
            wall.push_back(Ms(a, Clock::now()));
            cpu.push_back(CpuMs() - c);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        Report("live_redraw_" + std::to_string(n), wall[wall.size() / 2], "ms");
        Report("live_cpu_" + std::to_string(n), cpu[cpu.size() / 2], "ms");
        panel->Job().EndForExit();
        panel->Job().AssumeConnected(false);
    }
    panel->Controls().plot.plot->SetSize(wxSize(1046, 627));
}

long RssKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return 0;
}

// A long run: connected, a recording started every minute; resident memory
// at the start and at the end.
void BenchLongRun(int minutes) {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    Sim sim({});
    Connect(panel, sim.Port());
    panel->Controls().recordLength->ChangeValue("30");
    Pump(2000);
    long first = 0;
    for (int m = 0; m < minutes; ++m) {
        wxCommandEvent start(wxEVT_BUTTON, ID_START);
        wxTEST_DIALOG(panel->GetEventHandler()->ProcessEvent(start);
                      Pump(60000), wxExpectModal<wxMessageDialog>(wxNO));
        if (m == 0) first = RssKb();
        Report("longrun_rss_minute_" + std::to_string(m + 1), RssKb() / 1024.0, "MB");
    }
    Report("longrun_rss_growth", (RssKb() - first) / 1024.0, "MB");
    Disconnect(panel);
}

// A module lost and back: the time from the loss (the module closing, or
// stalling) to the first poll of the reconnected link, through the window.
void BenchReconnect() {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    struct Case {
        const char* name;
        std::vector<std::string> args;
        double lossAfterMs; // from the module's loss event to the link's loss
    };
    const Case cases[] = {
        {"reconnect_closed", {"--close-after", "20"}, 0},
        {"reconnect_closed_refusing_5s", {"--close-after", "20", "--refuse-for", "5"}, 0},
        {"reconnect_stalled", {"--stall-after", "20", "--connections", "9"}, 0},
    };
    for (const Case& c : cases) {
        Sim sim(c.args);
        double lost = -1, back = -1;
        auto parse = [&] {
            int connected = 0;
            for (const std::string& line : sim.LogLines()) {
                double ms = atof(line.c_str());
                if (line.find("closing after") != std::string::npos && lost < 0) lost = ms;
                if (line.find("stalling") != std::string::npos && lost < 0) lost = ms;
                if (line.find(" connected") != std::string::npos) ++connected;
                if (connected == 2 && line.find("p000") != std::string::npos && back < 0) back = ms;
            }
            return back >= 0;
        };
        Connect(panel, sim.Port());
        wxTEST_DIALOG(
            {
                auto end = Clock::now() + std::chrono::seconds(30);
                while (!parse() && Clock::now() < end)
                    Pump(50);
            },
            wxExpectModal<wxMessageDialog>(wxOK));
        if (lost >= 0 && back >= 0) Report(c.name, back - lost, "ms");
        Disconnect(panel);
        Pump(300);
    }
}

// A timer the GUI thread should handle every 10 ms; the longest gap between
// two of its events is how long the window did not respond.
class GapTimer : public wxTimer {
  public:
    void Notify() override {
        const auto now = Clock::now();
        if (m_last != Clock::time_point{}) m_longest = std::max(m_longest, Ms(m_last, now));
        m_last = now;
    }
    double m_longest = 0;
    Clock::time_point m_last{};
};

// A module flooding the link with valid readings (1 and 10 MB/s) for a given
// time, with and without a recording: the longest the window did not handle a
// timer, and resident memory growth beyond the samples' own size.
void BenchFlood(int seconds) {
    TerminalPanel* panel = MainWindow::GetInstance()->m_panel;
    for (double rate : {1e6, 1e7}) {
        for (bool recording : {false, true}) {
            const std::string name = std::string("flood_") + (rate > 5e6 ? "10" : "1") + "MBs_" +
                                     (recording ? "recording" : "idle");
            Sim sim({"--flood", std::to_string(static_cast<long>(rate))});
            panel->Controls().recordLength->ChangeValue(std::to_string(seconds + 30));
            Connect(panel, sim.Port());
            Pump(1000);
            const long before = RssKb();
            const long long appliedBefore = panel->Job().ReadingsApplied();
            if (recording) {
                wxCommandEvent start(wxEVT_BUTTON, ID_START);
                panel->GetEventHandler()->ProcessEvent(start);
            }
            GapTimer gaps;
            gaps.Start(10);
            // A flooded recording ends by itself, INCOMPLETE: its report
            // question is answered No.
            wxTEST_DIALOG(Pump(seconds * 1000), wxExpectModal<wxMessageDialog>(wxNO).Optional());
            gaps.Stop();
            const long after = RssKb();
            const auto& c = panel->Job().Cycle();
            // Each sample: time, force and pressure in the cycle, time and
            // force again in the curve (capacity not yet touched is not resident).
            const double own = double(c.m_times.size()) * (8 + 8 + 4 + 8 + 8) / 1024.0;
            Report(name + "_readings", double(panel->Job().ReadingsApplied() - appliedBefore),
                   "readings");
            if (recording) Report(name + "_samples", double(c.m_times.size()), "samples");
            if (recording) Report(name + "_recorded", c.LastTime(), "s");
            Report(name + "_longest_gap", gaps.m_longest, "ms");
            Report(name + "_rss_growth", (after - before) / 1024.0, "MB");
            if (recording)
                Report(name + "_growth_beyond_samples", (after - before - own) / 1024.0, "MB");
            panel->Job().EndForExit();
            Disconnect(panel);
            Pump(500);
        }
    }
}

class BenchApp : public wxApp {
  public:
    bool OnInit() override {
        delete wxLog::SetActiveTarget(new wxLogStderr);
        SetExitOnFrameDelete(false);
        wxInitAllImageHandlers();
        char pattern[] = "/tmp/vemo-bench-XXXXXX";
        g_dir = mkdtemp(pattern);
        wxSetWorkingDirectory(g_dir);
        std::ofstream(g_dir + "/config.ini")
            << "ip=127.0.0.1\nport=1\nautoconnect=false\ndir_path=" << g_dir << "\n";
        std::ofstream(g_dir + "/superfici.ini") << "1250:P0\n";
        MainWindow::GetInstance();
        CallAfter([this] {
            for (const std::string& s : m_sections) {
                if (s == "decode")
                    BenchDecode();
                else if (s == "step")
                    BenchStep();
                else if (s == "repaint")
                    BenchRepaint();
                else if (s == "report")
                    BenchReport();
                else if (s == "latency")
                    BenchLatency();
                else if (s == "live")
                    BenchLive();
                else if (s == "reconnect")
                    BenchReconnect();
                else if (s.rfind("flood", 0) == 0)
                    BenchFlood(s.size() > 6 ? atoi(s.c_str() + 6) : 60);
                else if (s.rfind("longrun", 0) == 0)
                    BenchLongRun(s.size() > 8 ? atoi(s.c_str() + 8) : 10);
            }
            ExitMainLoop();
        });
        return true;
    }
    std::vector<std::string> m_sections;
};

} // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

int main(int argc, char** argv) {
    BenchApp* app = new BenchApp;
    for (int i = 1; i < argc; ++i)
        app->m_sections.push_back(argv[i]);
    if (app->m_sections.empty())
        app->m_sections = {"decode", "step", "repaint", "report", "latency"};
    g_sim = (wxFileName(wxString(argv[0])).GetPath() + "/../press-sim").ToStdString();
    if (const char* sim = getenv("PRESS_SIM")) g_sim = sim;
    wxApp::SetInstance(app);
    int one = 1;
    char* args[] = {argv[0], nullptr};
    wxEntryStart(one, args);
    if (!wxTheApp->CallOnInit()) return 1;
    wxTheApp->OnRun();
    wxTheApp->OnExit();
    wxEntryCleanup();
    std::string command = "rm -rf '" + g_dir + "'";
    return system(command.c_str()) == 0 ? 0 : 0;
}
