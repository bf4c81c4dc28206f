// The plot canvas: mapping, axes, clipping and mouse handling, checked on
// pixels of a bitmap the canvas draws into and on its view fields.
#include "gui_support.h"
#include "plot/plot_canvas.h"

#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/image.h>

#include <cmath>
#include <limits>

namespace {

bool IsRed(const wxImage& im, int x, int y) {
    return im.GetRed(x, y) > 180 && im.GetGreen(x, y) < 120 && im.GetBlue(x, y) < 120;
}
bool IsDark(const wxImage& im, int x, int y) {
    return im.GetRed(x, y) + im.GetGreen(x, y) + im.GetBlue(x, y) < 250;
}
bool IsNotWhite(const wxImage& im, int x, int y) {
    return im.GetRed(x, y) + im.GetGreen(x, y) + im.GetBlue(x, y) < 700;
}
int CountIn(const wxImage& im, wxRect r, bool (*pred)(const wxImage&, int, int)) {
    int n = 0;
    for (int y = std::max(0, r.y); y < std::min(im.GetHeight(), r.y + r.height); ++y)
        for (int x = std::max(0, r.x); x < std::min(im.GetWidth(), r.x + r.width); ++x)
            if (pred(im, x, y)) ++n;
    return n;
}

// A canvas as the recorder sets it up, 500 x 400 client pixels.
struct CanvasTest : testing::Test {
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "canvas test", wxDefaultPosition, wxSize(600, 500));
        // A panel between frame and canvas, so the frame does not stretch the canvas.
        wxWindow* holder = new wxWindow(frame, wxID_ANY);
        canvas = new mpWindow(holder, wxID_ANY, wxPoint(0, 0), wxSize(500, 400), 0);
        curve = new mpFXYVector("", 0);
        curve->SetContinuity(true);
        curve->SetPen(wxPen(wxColour(255, 0, 0), 1, wxPENSTYLE_SOLID));
        curve->SetDrawOutsideMargins(false);
        xAxis = new mpScaleX("Time (s)", mpALIGN_BOTTOM, true, mpX_NORMAL);
        yAxis = new mpScaleY("Force (tons)", mpALIGN_LEFT, true);
        xAxis->SetDrawOutsideMargins(false);
        yAxis->SetDrawOutsideMargins(false);
        canvas->SetMargins(10, 10, 50, 50);
        canvas->AddLayer(xAxis);
        canvas->AddLayer(yAxis);
        canvas->AddLayer(curve);
        canvas->EnableDoubleBuffer(true);
        xAxis->SetTicks(false);
        yAxis->SetTicks(false);
        frame->Show();
        canvas->SetSize(500, 400);
        Pump(50);
    }
    void TearDown() override {
        frame->Destroy();
        Pump(20);
    }
    wxImage Render(double x0, double x1, double y0, double y1, int w = 500, int h = 400) {
        canvas->Fit(x0, x1, y0, y1, &w, &h);
        wxBitmap bitmap(w, h);
        wxMemoryDC dc(bitmap);
        canvas->PaintLayers(dc);
        dc.SelectObject(wxNullBitmap);
        return bitmap.ConvertToImage();
    }
    wxFrame* frame;
    mpWindow* canvas;
    mpFXYVector* curve;
    mpScaleX* xAxis;
    mpScaleY* yAxis;
};

wxMouseEvent Mouse(wxEventType type, int x, int y) {
    wxMouseEvent e(type);
    e.m_x = x;
    e.m_y = y;
    return e;
}

} // namespace

TEST_F(CanvasTest, FitMapsTheRectangleIntoThePlotArea) {
    ASSERT_EQ(canvas->GetClientSize(), wxSize(500, 400));
    canvas->Fit(0, 100, 0, 100);
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), 4.4);
    EXPECT_DOUBLE_EQ(canvas->GetScaleY(), 3.4);
    EXPECT_EQ(canvas->x2p(50), 270);
    EXPECT_EQ(canvas->y2p(50), 180);
    EXPECT_DOUBLE_EQ(canvas->p2x(270), 50.0);
}

TEST_F(CanvasTest, ZeroWidthRangeGivesScaleOne) {
    canvas->Fit(5, 5, 0, 0);
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), 1.0);
    EXPECT_DOUBLE_EQ(canvas->GetScaleY(), 1.0);
}

TEST_F(CanvasTest, GridEvery44PixelsLabelsEverySecondStep) {
    wxImage im = Render(0, 100, 0, 100);
    im.SaveFile(wxString(WorkDir()) + "/grid.png", wxBITMAP_TYPE_PNG);
    // Dotted grid lines at x = 50 + 44k inside the plot area, none between.
    for (int k = 1; k <= 9; ++k) {
        int x = 50 + 44 * k;
        EXPECT_GT(CountIn(im, wxRect(x, 20, 1, 300), IsNotWhite), 50) << "grid at " << x;
        // Between grid lines only the dots of the horizontal grid lines.
        EXPECT_LT(CountIn(im, wxRect(x + 20, 20, 1, 300), IsNotWhite), 15) << "between at " << x;
    }
    // Labels below the axis (row 350) at 0, 20, 40 ... but not at 10, 30 ...
    for (int k = 0; k <= 8; k += 2)
        EXPECT_GT(CountIn(im, wxRect(50 + 44 * k - 8, 354, 16, 16), IsDark), 3) << "label " << k;
    for (int k = 1; k <= 9; k += 2)
        EXPECT_EQ(CountIn(im, wxRect(50 + 44 * k - 4, 354, 8, 16), IsDark), 0) << "no label " << k;
}

// On a wide plot a label fits every 4.5 s: it goes every 5 s, on 0, 5, 10 …,
// not on 4.5, 9, 13.5 … as a plain multiple of the grid step would; and
// whole seconds are written without decimals ("45", not "45.00").
TEST_F(CanvasTest, TimeLabelsAreRoundNumbersOnAWidePlot) {
    const wxImage im = Render(0, 90, 0, 100, 1660, 400);
    const int below = im.GetHeight() - 50 + 4;
    for (int t = 10; t <= 80; t += 5) {
        EXPECT_GT(CountIn(im, wxRect(canvas->x2p(t) - 8, below, 16, 16), IsDark), 3) << t;
        EXPECT_EQ(CountIn(im, wxRect(canvas->x2p(t + 2.5) - 8, below, 16, 16), IsDark), 0)
            << t + 2.5;
    }
    // "45" is two digits wide: nothing a little further right of its tick.
    EXPECT_EQ(CountIn(im, wxRect(canvas->x2p(45) + 14, below, 16, 16), IsDark), 0);

    // On a 9-s plot the grid is a tenth of a second, the labels whole
    // seconds: "3", not "3.0".
    const wxImage short9 = Render(0, 9, 0, 100, 1660, 400);
    for (int t = 1; t <= 8; ++t) {
        EXPECT_GT(CountIn(short9, wxRect(canvas->x2p(t) - 4, below, 8, 16), IsDark), 3) << t;
        EXPECT_EQ(CountIn(short9, wxRect(canvas->x2p(t) + 6, below, 10, 16), IsDark), 0) << t;
    }
}

TEST_F(CanvasTest, VerticalLabelsSkippedWhenCloserThan32Pixels) {
    // 34 pixels apart: every grid line is labelled.
    wxImage spaced = Render(0, 100, 0, 100);
    for (int k = 1; k <= 9; ++k) {
        int p = 350 - 34 * k;
        EXPECT_GT(CountIn(spaced, wxRect(5, p - 4, 40, 8), IsDark), 3) << "label at " << p;
    }
    // 30 pixels apart (plot height 300): every second one.
    wxImage dense = Render(0, 100, 0, 100, 500, 360);
    int labelled = 0;
    for (int k = 0; k <= 10; ++k) {
        int p = 310 - 30 * k;
        // The labels' last digits, right of the axis's name.
        if (CountIn(dense, wxRect(34, p - 3, 12, 6), IsDark) > 3) ++labelled;
    }
    EXPECT_GE(labelled, 5);
    EXPECT_LE(labelled, 6);
}

TEST_F(CanvasTest, SegmentLeavingThePlotAreaEndsOnTheEdge) {
    curve->SetData({0, 100}, {50, 150}); // from the middle of the left edge to far above
    wxImage im = Render(0, 100, 0, 100);
    EXPECT_GT(CountIn(im, wxRect(50, 10, 450, 2), IsRed), 0);
    EXPECT_EQ(CountIn(im, wxRect(0, 0, 500, 9), IsRed), 0);
    // The edge point: the line y = 50 + x reaches 100 at x = 50, pixel 50 + 220 = 270.
    EXPECT_GT(CountIn(im, wxRect(266, 9, 9, 4), IsRed), 0);
    EXPECT_EQ(CountIn(im, wxRect(290, 0, 210, 400), IsRed), 0);
}

// A million points are drawn from what each pixel column shows, and look
// as every point drawn does: a noisy, jittered stroke with spikes, whole and
// zoomed into a part of it, pixel for pixel but for a few at the joins.
TEST_F(CanvasTest, AMillionPointsLookAsEveryPointDrawn) {
    std::vector<double> t, f;
    unsigned noise = 11;
    for (int i = 0; i < 1000000; ++i) {
        noise = noise * 1103515245u + 12345u;
        t.push_back(i * 0.0001 + ((noise >> 16) % 5) * 0.00001); // jitter, never falling
        double force = 80 * std::min(1.0, i / 400000.0) + ((noise >> 8) % 200) * 0.01;
        if (i % 99991 == 0) force += 15; // single-point spikes
        f.push_back(force);
    }
    curve->SetData(t, f);
    for (const auto& [x0, x1] : {std::pair(0.0, 100.0), std::pair(20.0, 23.0)}) {
        mpFXYVector::SetDecimation(false);
        const wxImage every = Render(x0, x1, 0, 100);
        mpFXYVector::SetDecimation(true);
        const wxImage columns = Render(x0, x1, 0, 100);
        int red = 0, differ = 0;
        for (int y = 0; y < every.GetHeight(); ++y)
            for (int x = 0; x < every.GetWidth(); ++x) {
                red += IsRed(every, x, y);
                differ += IsRed(every, x, y) != IsRed(columns, x, y);
            }
        EXPECT_GT(red, 2000) << x0;
        EXPECT_LE(differ, red / 100) << x0 << ": " << differ << " of " << red;
    }
    // A few points are drawn as they are.
    curve->SetData({0, 50, 100}, {0, 90, 0});
    EXPECT_GT(CountIn(Render(0, 100, 0, 100), wxRect(260, 40, 20, 20), IsRed), 0);
}

TEST_F(CanvasTest, HiddenLayerDrawsNothing) {
    curve->SetData({0, 50, 100}, {0, 50, 100});
    EXPECT_GT(CountIn(Render(0, 100, 0, 100), wxRect(0, 0, 500, 400), IsRed), 100);
    canvas->SetLayerVisible(2, false);
    EXPECT_EQ(CountIn(Render(0, 100, 0, 100), wxRect(0, 0, 500, 400), IsRed), 0);
}

TEST_F(CanvasTest, NonFiniteAndFarValuesNeverBreakDrawing) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    curve->SetData({0, 10, 20, 30, 40, 50, 60}, {10, nan, 20, inf, 1e300, -1e300, 30});
    wxImage im = Render(0, 100, 0, 100);
    EXPECT_EQ(CountIn(im, wxRect(0, 0, 500, 9), IsRed), 0);
    // A segment between two finite points far outside still crosses the view.
    curve->SetData({-1e12, 1e12}, {50, 50});
    im = Render(0, 100, 0, 100);
    EXPECT_GT(CountIn(im, wxRect(60, 178, 400, 5), IsRed), 300);
}

// A named line carries its name above its right end, in its colour, so
// lines are told apart by words and not by colour alone.
TEST_F(CanvasTest, ANamedLineWritesItsNameAboveItsRightEnd) {
    auto* line = new mpHorizontalLine(wxPen(wxColour(255, 0, 0), 2, wxPENSTYLE_SHORT_DASH));
    line->SetValue(50);
    canvas->AddLayer(line);
    const wxImage unnamed = Render(0, 100, 0, 100);
    const int y = static_cast<int>(canvas->y2p(50));
    const wxRect above(300, y - 20, 150, 17); // right part, just above the line
    EXPECT_EQ(CountIn(unnamed, above, IsRed), 0);
    line->SetName("Upper 420 t");
    const wxImage named = Render(0, 100, 0, 100);
    EXPECT_GT(CountIn(named, above, IsRed), 20);
    EXPECT_EQ(CountIn(named, wxRect(60, y - 20, 150, 17), IsRed), 0); // not at the left
}

TEST(mpFXYVector, BoundingBoxWidenedByHalf) {
    mpFXYVector v;
    EXPECT_DOUBLE_EQ(v.GetMinX(), -1);
    EXPECT_DOUBLE_EQ(v.GetMaxY(), 1);
    v.SetData({10}, {5});
    EXPECT_DOUBLE_EQ(v.GetMinX(), 9.5);
    EXPECT_DOUBLE_EQ(v.GetMaxX(), 10.5);
    EXPECT_DOUBLE_EQ(v.GetMinY(), 4.5);
    EXPECT_DOUBLE_EQ(v.GetMaxY(), 5.5);
    v.SetData({1, 2, 3}, {1, 2, 3, 4}); // refused: the data stay
    EXPECT_EQ(v.GetDataLength(), 1u);
}

TEST(mpInfoLayer, MovesAreRelativeToTheLastDrag) {
    mpInfoLayer info(wxRect(10, 10, 20, 20));
    info.Move(wxPoint(5, 0));
    info.UpdateReference();
    info.Move(wxPoint(5, 0));
    info.UpdateReference();
    EXPECT_EQ(info.GetPosition(), wxPoint(20, 10));
}

TEST(ClassRegistry, KnowsTheCanvasClassesByName) {
    for (const char* name : {"mpWindow", "mpLayer", "mpFXY", "mpFXYVector", "mpScaleX", "mpScaleY",
                             "mpFX", "mpFY", "mpProfile", "mpText", "mpInfoLayer"})
        EXPECT_NE(wxClassInfo::FindClass(name), nullptr) << name;
    for (const char* name : {"mpFXYVector", "mpScaleX", "mpScaleY", "mpText", "mpInfoLayer"}) {
        wxObject* object = wxCreateDynamicObject(name);
        EXPECT_NE(object, nullptr) << name;
        delete object;
    }
    EXPECT_EQ(wxCreateDynamicObject("mpLayer"), nullptr);
}

TEST_F(CanvasTest, SaveScreenshotKeepsSizeAndView) {
    canvas->Fit(0, 100, 0, 100);
    Pump(50);
    const double scale = canvas->GetScaleX(), pos = canvas->GetPosX();
    wxString path = wxString(WorkDir()) + "/shot.png";
    ASSERT_TRUE(canvas->SaveScreenshot(path, wxBITMAP_TYPE_PNG));
    wxImage image(path, wxBITMAP_TYPE_PNG);
    EXPECT_EQ(image.GetSize(), wxSize(canvas->GetScrX(), canvas->GetScrY()));
    EXPECT_EQ(image.GetSize(), wxSize(500, 400));
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), scale);
    EXPECT_DOUBLE_EQ(canvas->GetPosX(), pos);
    // A custom size draws at that size and gives the view back afterwards.
    ASSERT_TRUE(canvas->SaveScreenshot(path, wxBITMAP_TYPE_PNG, wxSize(300, 200)));
    EXPECT_EQ(wxImage(path, wxBITMAP_TYPE_PNG).GetSize(), wxSize(300, 200));
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), scale);
    wxRemoveFile(path);
}

TEST_F(CanvasTest, FitFromTheMenuWidensTheDataByHalf) {
    wxCommandEvent fit(wxEVT_MENU, mpID_FIT);
    canvas->GetEventHandler()->ProcessEvent(fit);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredXmin(), -1);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredYmax(), 1);
    curve->SetData({0, 80}, {0, 40});
    canvas->GetEventHandler()->ProcessEvent(fit);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredXmin(), -0.5);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredXmax(), 80.5);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredYmin(), -0.5);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredYmax(), 40.5);
}

TEST_F(CanvasTest, ClickWithoutMovingDoesNotZoom) {
    canvas->Fit(0, 100, 0, 100);
    auto down = Mouse(wxEVT_LEFT_DOWN, 200, 200), up = Mouse(wxEVT_LEFT_UP, 200, 200);
    canvas->GetEventHandler()->ProcessEvent(down);
    canvas->GetEventHandler()->ProcessEvent(up);
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), 4.4);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredXmax(), 100);
}

TEST_F(CanvasTest, LeftDragZoomsToTheRectangle) {
    canvas->Fit(0, 100, 0, 100);
    auto down = Mouse(wxEVT_LEFT_DOWN, 94, 316);
    auto move = Mouse(wxEVT_MOTION, 150, 250);
    move.m_leftDown = true;
    auto up = Mouse(wxEVT_LEFT_UP, 182, 248);
    canvas->GetEventHandler()->ProcessEvent(down);
    canvas->GetEventHandler()->ProcessEvent(move);
    canvas->GetEventHandler()->ProcessEvent(up);
    EXPECT_NEAR(canvas->GetDesiredXmin(), 10, 1e-9);
    EXPECT_NEAR(canvas->GetDesiredXmax(), 30, 1e-9);
    EXPECT_NEAR(canvas->GetDesiredYmin(), 10, 1e-9);
    EXPECT_NEAR(canvas->GetDesiredYmax(), 30, 1e-9);
}

TEST_F(CanvasTest, RightDragPansWithoutMenu) {
    canvas->Fit(0, 100, 0, 100);
    auto down = Mouse(wxEVT_RIGHT_DOWN, 200, 200);
    auto move = Mouse(wxEVT_MOTION, 156, 200); // 44 pixels to the left: 10 s later
    move.m_rightDown = true;
    auto up = Mouse(wxEVT_RIGHT_UP, 156, 200);
    canvas->GetEventHandler()->ProcessEvent(down);
    canvas->GetEventHandler()->ProcessEvent(move);
    canvas->GetEventHandler()->ProcessEvent(up); // would block in the popup menu if shown
    EXPECT_NEAR(canvas->GetDesiredXmin(), 10, 1e-9);
    EXPECT_NEAR(canvas->GetDesiredXmax(), 110, 1e-9);
    EXPECT_NEAR(canvas->GetScaleX(), 4.4, 1e-12);
}

TEST_F(CanvasTest, CtrlWheelZoomsAboutTheMousePixel) {
    canvas->Fit(0, 100, 0, 100);
    const wxPoint at(140, 220);
    const double wx = canvas->p2x(at.x), wy = canvas->p2y(at.y);
    auto wheel = Mouse(wxEVT_MOUSEWHEEL, at.x, at.y);
    wheel.m_wheelRotation = 120;
    wheel.m_controlDown = true;
    canvas->GetEventHandler()->ProcessEvent(wheel);
    EXPECT_NEAR(canvas->GetScaleX(), 4.4 * 1.5, 1e-9);
    EXPECT_NEAR(canvas->p2x(at.x), wx, 1e-9);
    EXPECT_NEAR(canvas->p2y(at.y), wy, 1e-9);
    wheel.m_wheelRotation = -120;
    canvas->GetEventHandler()->ProcessEvent(wheel);
    EXPECT_NEAR(canvas->GetScaleX(), 4.4, 1e-9);
}

TEST_F(CanvasTest, WheelScrollsVerticallyShiftHorizontally) {
    canvas->Fit(0, 100, 0, 100);
    auto wheel = Mouse(wxEVT_MOUSEWHEEL, 100, 100);
    wheel.m_wheelRotation = -34; // 34 pixels: 10 tons down
    canvas->GetEventHandler()->ProcessEvent(wheel);
    EXPECT_NEAR(canvas->GetDesiredYmin(), -10, 1e-9);
    wheel.m_shiftDown = true;
    wheel.m_wheelRotation = -44;
    canvas->GetEventHandler()->ProcessEvent(wheel);
    EXPECT_NEAR(canvas->GetDesiredXmin(), 10, 1e-9);
}

TEST_F(CanvasTest, ResizeKeepsTheDesiredBounds) {
    canvas->Fit(0, 100, 0, 100);
    canvas->ZoomIn();
    const double xmin = canvas->GetDesiredXmin(), xmax = canvas->GetDesiredXmax();
    canvas->SetSize(400, 300);
    Pump(50);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredXmin(), xmin);
    EXPECT_DOUBLE_EQ(canvas->GetDesiredXmax(), xmax);
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), (400 - 60) / (xmax - xmin));
}

TEST_F(CanvasTest, LockAspectUsesTheSmallerScale) {
    canvas->Fit(0, 100, 0, 100);
    canvas->LockAspect(true);
    EXPECT_DOUBLE_EQ(canvas->GetScaleX(), 3.4);
    EXPECT_DOUBLE_EQ(canvas->GetScaleY(), 3.4);
    EXPECT_EQ(canvas->x2p(50), 270); // still centred
    canvas->LockAspect(false);
}

TEST_F(CanvasTest, EmptyCanvasPaintsOnlyBackground) {
    canvas->DelAllLayers(true, false);
    wxImage im = Render(0, 100, 0, 100);
    EXPECT_EQ(CountIn(im, wxRect(0, 0, 500, 400), IsNotWhite), 0);
}

TEST_F(CanvasTest, PointsWithWidePenDrawDots) {
    curve->SetContinuity(false);
    curve->SetPen(wxPen(wxColour(255, 0, 0), 3));
    curve->SetData({50}, {50});
    wxImage im = Render(0, 100, 0, 100);
    EXPECT_GT(CountIn(im, wxRect(267, 177, 7, 7), IsRed), 2);
}

// Fault mended: an axis's name under its labels was centred on the whole
// canvas, not on the plot area, so in a narrow chart with a wide left margin
// it began left of the plot and was cut.
TEST_F(CanvasTest, AnAxisNameUnderItsLabelsIsCentredUnderThePlotArea) {
    canvas->SetMargins(10, 10, 60, 250);
    xAxis->SetName("Mounting order");
    const wxImage image = Render(0, 100, 0, 100);
    int first = -1, last = -1;
    for (int x = 0; x < image.GetWidth(); ++x)
        for (int y = 356; y < 385; ++y)
            if (image.GetRed(x, y) < 90 && image.GetGreen(x, y) < 90 && image.GetBlue(x, y) < 90) {
                if (first < 0) first = x;
                last = x;
            }
    ASSERT_GE(first, 0);
    EXPECT_GT(first, 250);
    EXPECT_NEAR((first + last) / 2.0, (250 + 490) / 2.0, 6);
}

// Fault mended: labels closer than 32 pixels were skipped one by one, so at
// 16.2 pixels a step they came every second or third step as the pixels
// fell (0, 30, 50, 80): now every label is a whole number of steps from
// the last, the same number each time.
TEST_F(CanvasTest, VerticalLabelsComeAtEvenSteps) {
    const wxImage image = Render(0, 100, 0, 100, 500, 222); // 162 pixels for 10 steps
    std::vector<int> rows;
    for (int y = 0; y < image.GetHeight(); ++y)
        if (CountIn(image, wxRect(34, y, 12, 1), IsDark) > 0) rows.push_back(y); // last digits
    std::vector<int> centres; // of each label's run of rows
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] <= rows[j] + 1)
            ++j;
        centres.push_back((rows[i] + rows[j]) / 2);
        i = j + 1;
    }
    ASSERT_GE(centres.size(), 4u);
    for (size_t k = 2; k < centres.size(); ++k)
        EXPECT_NEAR(centres[k] - centres[k - 1], centres[1] - centres[0], 1) << k;
}
