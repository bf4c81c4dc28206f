#include "plot/plot_canvas.h"

#include <wx/dcclient.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>
#include <tuple>

namespace {

// Pixel values beyond this never reach drawing code; segments that reach
// further are shortened along their own direction first.
constexpr double kPixelLimit = 1.0e9;

// Largest number of tick positions one axis walks in one paint.
constexpr int kMaxTicks = 20000;

// Points sent to the device context in one polyline.
constexpr size_t kPolylineChunk = 1000;

// Truncation toward zero of a pixel value. A value that misses a whole pixel
// only by rounding noise of the world-to-pixel arithmetic (179.99999999999997
// for 180) counts as that pixel, so a point lands where the arithmetic says.
double Trunc(double v) {
    return std::trunc(v + std::copysign(1e-7, v));
}

// Shortens the segment to the square [-kPixelLimit, kPixelLimit]² along its
// own direction (Liang-Barsky), so that far-away points never reach an integer
// conversion. False when the segment misses the square. Segments inside it are
// left exactly as they are.
bool ClipToLimit(double& x0, double& y0, double& x1, double& y1) {
    const double L = kPixelLimit;
    if (std::fabs(x0) <= L && std::fabs(y0) <= L && std::fabs(x1) <= L && std::fabs(y1) <= L)
        return true;
    double t0 = 0, t1 = 1;
    const double dx = x1 - x0, dy = y1 - y0;
    auto edge = [&](double p, double q) {
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            if (r > t0) t0 = r;
        } else {
            if (r < t0) return false;
            if (r < t1) t1 = r;
        }
        return true;
    };
    if (!edge(-dx, x0 + L) || !edge(dx, L - x0) || !edge(-dy, y0 + L) || !edge(dy, L - y0))
        return false;
    double nx0 = Trunc(x0 + t0 * dx), ny0 = Trunc(y0 + t0 * dy);
    double nx1 = Trunc(x0 + t1 * dx), ny1 = Trunc(y0 + t1 * dy);
    x0 = nx0;
    y0 = ny0;
    x1 = nx1;
    y1 = ny1;
    return true;
}

bool InsideLimit(double x, double y) {
    return std::fabs(x) <= kPixelLimit && std::fabs(y) <= kPixelLimit;
}

// Collects consecutive drawn segments into polylines: one cairo stroke per
// chunk instead of one per segment. Points that fall into the same pixel
// column are reduced to the first, the lowest, the highest and the last of
// them: the vertical segments between them cover the same pixels.
class PolylineBatch {
  public:
    PolylineBatch(wxDC& dc, bool batching) : m_dc(dc), m_batching(batching) {
        m_points.reserve(kPolylineChunk + 8);
    }
    ~PolylineBatch() { Flush(); }
    void Segment(const wxPoint& a, const wxPoint& b) {
        if (!m_batching) {
            m_dc.DrawLine(a, b);
            return;
        }
        if (!m_inRun || m_last != a) {
            Flush();
            StartRun(a);
        }
        Add(b);
    }
    void Flush() {
        if (m_inRun) EmitRun();
        m_inRun = false;
        Draw();
    }

  private:
    void StartRun(const wxPoint& p) {
        m_inRun = true;
        m_first = m_last = m_low = m_high = p;
    }
    void Add(const wxPoint& p) {
        if (p.x != m_first.x) {
            EmitRun();
            StartRun(p);
            return;
        }
        if (p.y < m_low.y) m_low = p;
        if (p.y > m_high.y) m_high = p;
        m_last = p;
    }
    void Push(const wxPoint& p) {
        if (m_points.empty() || m_points.back() != p) m_points.push_back(p);
    }
    void EmitRun() {
        if (m_low.y == m_high.y) {
            Push(m_first);
        } else {
            // A column's span is one vertical stroke, entered at the end
            // nearer the point before: it covers the pixels the points
            // between would, without turning back on itself (a stroke that
            // reverses within a pixel column costs cairo ten times more).
            const wxPoint& before = m_points.empty() ? m_first : m_points.back();
            const bool lowFirst = std::abs(before.y - m_low.y) <= std::abs(before.y - m_high.y);
            Push(lowFirst ? m_low : m_high);
            Push(lowFirst ? m_high : m_low);
        }
        if (m_points.size() >= kPolylineChunk) {
            wxPoint last = m_points.back();
            Draw();
            m_points.push_back(last);
        }
    }
    void Draw() {
        if (m_points.size() == 1) m_points.push_back(m_points.front()); // a dot
        if (m_points.size() >= 2) {
            m_dc.DrawLines(static_cast<int>(m_points.size()), m_points.data());
        }
        m_points.clear();
    }

    wxDC& m_dc;
    bool m_batching;
    std::vector<wxPoint> m_points;
    bool m_inRun = false;
    wxPoint m_first, m_last, m_low, m_high;
};

// Dotted grid lines. Cairo strokes every dash of a dashed pen as a shape of
// its own, which costs some 10 ms for the grid of a large plot; a grid line is
// instead a cached strip of dots (one on, three off, the dotted pen's pattern)
// painted in one operation.
void DrawDottedLine(wxDC& dc, const wxColour& colour, int x0, int y0, int x1, int y1) {
    const bool horizontal = (y0 == y1);
    if (!horizontal && x0 != x1) {
        wxPen dotted(colour, 1, wxPENSTYLE_DOT);
        dc.SetPen(dotted);
        dc.DrawLine(x0, y0, x1, y1);
        return;
    }
    const int length = horizontal ? std::abs(x1 - x0) + 1 : std::abs(y1 - y0) + 1;
    if (length <= 0 || length > 16384) return;
    struct Key {
        unsigned long rgb;
        bool horizontal;
        int length;
        bool operator<(const Key& o) const {
            return std::tie(rgb, horizontal, length) < std::tie(o.rgb, o.horizontal, o.length);
        }
    };
    static std::map<Key, wxBitmap> cache;
    const Key key{static_cast<unsigned long>(colour.GetRGB()), horizontal, length};
    auto it = cache.find(key);
    if (it == cache.end()) {
        if (cache.size() > 32) cache.clear();
        wxImage strip(horizontal ? length : 1, horizontal ? 1 : length);
        strip.InitAlpha();
        for (int i = 0; i < length; ++i) {
            const int x = horizontal ? i : 0, y = horizontal ? 0 : i;
            strip.SetRGB(x, y, colour.Red(), colour.Green(), colour.Blue());
            strip.SetAlpha(x, y, (i % 4 == 0) ? 255 : 0);
        }
        it = cache.emplace(key, wxBitmap(strip)).first;
    }
    dc.DrawBitmap(it->second, std::min(x0, x1), std::min(y0, y1), true);
}

// Measuring a text builds a whole text layout each time; axes measure the same
// few labels on every paint, so their sizes are kept per font.
wxSize TextSize(wxDC& dc, const wxString& text) {
    static std::map<std::pair<wxString, wxString>, wxSize> cache;
    std::pair<wxString, wxString> key(dc.GetFont().GetNativeFontInfoDesc(), text);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    if (cache.size() > 4096) cache.clear();
    wxCoord w = 0, h = 0;
    dc.GetTextExtent(text, &w, &h);
    return cache.emplace(key, wxSize(w, h)).first->second;
}

} // namespace

int mpToPixel(double value) {
    if (std::isnan(value)) return 0;
    value = Trunc(value);
    if (value > kPixelLimit) return static_cast<int>(kPixelLimit);
    if (value < -kPixelLimit) return static_cast<int>(-kPixelLimit);
    return static_cast<int>(value);
}

//-----------------------------------------------------------------------------
// mpLayer

wxIMPLEMENT_ABSTRACT_CLASS(mpLayer, wxObject);

mpLayer::mpLayer()
    : font(*wxNORMAL_FONT), pen(*wxBLACK_PEN), brush(), continuous(false), showName(true),
      drawOutsideMargins(true), type(mpLAYER_UNDEF), visible(true) {}

//-----------------------------------------------------------------------------
// mpInfoLayer and its two overlays

wxIMPLEMENT_DYNAMIC_CLASS(mpInfoLayer, mpLayer);

mpInfoLayer::mpInfoLayer()
    : dim(0, 0, 1, 1), reference(0, 0), brush(*wxTRANSPARENT_BRUSH), winX(1), winY(1) {
    type = mpLAYER_INFO;
}

mpInfoLayer::mpInfoLayer(wxRect rect, const wxBrush* brushIn)
    : dim(rect), reference(rect.x, rect.y), brush(*brushIn), winX(1), winY(1) {
    type = mpLAYER_INFO;
}

void mpInfoLayer::UpdateInfo(mpWindow&, wxEvent&) {}

bool mpInfoLayer::Inside(const wxPoint& point) {
    return dim.Contains(point);
}

void mpInfoLayer::Move(const wxPoint& delta) {
    dim.x = reference.x + delta.x;
    dim.y = reference.y + delta.y;
}

void mpInfoLayer::UpdateReference() {
    reference.x = dim.x;
    reference.y = dim.y;
}

void mpInfoLayer::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    int scrx = w.GetScrX(), scry = w.GetScrY();
    if (scrx == 0) scrx = 1;
    if (scry == 0) scry = 1;
    if (winX != scrx || winY != scry) {
        if (winX != 1) dim.x = static_cast<int>(static_cast<long long>(scrx) * dim.x / winX);
        if (winY != 1) {
            dim.y = static_cast<int>(static_cast<long long>(scry) * dim.y / winY);
            UpdateReference();
        }
        winX = scrx;
        winY = scry;
    }
    dc.SetPen(pen);
    dc.SetBrush(brush);
    dc.DrawRectangle(dim.x, dim.y, dim.width, dim.height);
}

mpInfoCoords::mpInfoCoords() : mpInfoLayer() {}
mpInfoCoords::mpInfoCoords(wxRect rect, const wxBrush* brushIn) : mpInfoLayer(rect, brushIn) {}

void mpInfoCoords::UpdateInfo(mpWindow& w, wxEvent& event) {
    if (event.GetEventType() != wxEVT_MOTION) return;
    wxMouseEvent& mouse = static_cast<wxMouseEvent&>(event);
    content.Printf("x = %f\ny = %f", w.p2x(mouse.GetX()), w.p2y(mouse.GetY()));
}

void mpInfoCoords::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    int scrx = w.GetScrX(), scry = w.GetScrY();
    if (winX != scrx || winY != scry) {
        if (winX != 1 && winX != 0)
            dim.x = static_cast<int>(static_cast<long long>(scrx) * dim.x / winX);
        if (winY != 1 && winY != 0) {
            dim.y = static_cast<int>(static_cast<long long>(scry) * dim.y / winY);
            UpdateReference();
        }
        winX = scrx;
        winY = scry;
    }
    dc.SetFont(font);
    dc.SetBrush(brush);
    dc.SetPen(pen);
    wxCoord tw = 0, th = 0;
    dc.GetMultiLineTextExtent(content, &tw, &th);
    if (dim.width < tw + 10) dim.width = tw + 10;
    if (dim.height < th + 10) dim.height = th + 10;
    dc.DrawRectangle(dim.x, dim.y, dim.width, dim.height);
    dc.DrawText(content, dim.x + 5, dim.y + 5);
}

mpInfoLegend::mpInfoLegend() : mpInfoLayer() {}
mpInfoLegend::mpInfoLegend(wxRect rect, const wxBrush* brushIn) : mpInfoLayer(rect, brushIn) {}

void mpInfoLegend::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    mpInfoLayer::Plot(dc, w); // moves the box with the window
    dc.SetFont(font);
    int width = 20, height = 5;
    std::vector<mpLayer*> series;
    for (unsigned i = 0; i < w.CountAllLayers(); ++i) {
        mpLayer* layer = w.GetLayer(static_cast<int>(i));
        // Unnamed series (a criterion's box, an envelope's edge) are not listed.
        if (layer && layer->GetLayerType() == mpLAYER_PLOT && layer->IsVisible() &&
            !layer->GetName().empty()) {
            series.push_back(layer);
            wxCoord tw = 0, th = 0;
            dc.GetTextExtent(layer->GetName(), &tw, &th);
            width = std::max(width, tw + 25);
            height += th;
        }
    }
    dim.width = width;
    dim.height = height + 5;
    dc.SetBrush(brush);
    dc.SetPen(pen);
    dc.DrawRectangle(dim.x, dim.y, dim.width, dim.height);
    int y = dim.y + 5;
    for (mpLayer* layer : series) {
        wxCoord tw = 0, th = 0;
        dc.GetTextExtent(layer->GetName(), &tw, &th);
        dc.SetPen(layer->GetPen());
        dc.DrawLine(dim.x + 5, y + th / 2, dim.x + 15, y + th / 2);
        dc.DrawText(layer->GetName(), dim.x + 20, y);
        y += th;
    }
}

//-----------------------------------------------------------------------------
// mpFX, mpFY, mpProfile, mpText

wxIMPLEMENT_ABSTRACT_CLASS(mpFX, mpLayer);
wxIMPLEMENT_ABSTRACT_CLASS(mpFY, mpLayer);
wxIMPLEMENT_ABSTRACT_CLASS(mpProfile, mpLayer);
wxIMPLEMENT_DYNAMIC_CLASS(mpText, mpLayer);

namespace {
struct ClipBox {
    int left, right, top, bottom;
};
ClipBox ClipOf(const mpLayer& layer, mpWindow& w) {
    if (layer.GetDrawOutsideMargins()) return {0, w.GetScrX(), 0, w.GetScrY()};
    return {w.GetMarginLeft(), w.GetScrX() - w.GetMarginRight(), w.GetMarginTop(),
            w.GetScrY() - w.GetMarginBottom()};
}
} // namespace

mpFX::mpFX(const wxString& nameIn, int flagsIn) : flags(flagsIn) {
    name = nameIn;
    type = mpLAYER_PLOT;
}

void mpFX::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    ClipBox box = ClipOf(*this, w);
    bool havePrevious = false;
    wxPoint previous;
    for (int i = box.left; i < box.right; ++i) {
        double y = GetY(w.p2x(i));
        double py = Trunc((w.GetPosY() - y) * w.GetScaleY());
        if (!std::isfinite(py) || py < box.top || py > box.bottom) {
            havePrevious = false;
            continue;
        }
        wxPoint p(i, static_cast<int>(py));
        if (continuous && havePrevious)
            dc.DrawLine(previous, p);
        else
            dc.DrawPoint(p);
        previous = p;
        havePrevious = true;
    }
    if (!name.empty() && showName) {
        dc.SetFont(font);
        wxCoord tw, th;
        dc.GetTextExtent(name, &tw, &th);
        int tx = (flags == mpALIGN_LEFT)     ? box.left + 8
                 : (flags == mpALIGN_CENTER) ? (box.left + box.right - tw) / 2
                                             : box.right - tw - 8;
        dc.DrawText(name, tx, w.y2p(GetY(w.p2x(tx))) - th - 2);
    }
}

mpFY::mpFY(const wxString& nameIn, int flagsIn) : flags(flagsIn) {
    name = nameIn;
    type = mpLAYER_PLOT;
}

void mpFY::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    ClipBox box = ClipOf(*this, w);
    for (int i = box.top; i < box.bottom; ++i) {
        double x = GetX(w.p2y(i));
        double px = Trunc((x - w.GetPosX()) * w.GetScaleX());
        if (!std::isfinite(px) || px < box.left || px > box.right) continue;
        dc.DrawPoint(static_cast<int>(px), i);
    }
    if (!name.empty() && showName) {
        dc.SetFont(font);
        wxCoord tw, th;
        dc.GetTextExtent(name, &tw, &th);
        int ty = (flags == mpALIGN_BOTTOM) ? box.bottom - th - 8 : box.top + 8;
        dc.DrawText(name, w.x2p(GetX(w.p2y(ty))) + 4, ty);
    }
}

mpProfile::mpProfile(const wxString& nameIn, int flagsIn) : flags(flagsIn) {
    name = nameIn;
    type = mpLAYER_PLOT;
}

void mpProfile::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    ClipBox box = ClipOf(*this, w);
    for (int i = box.left; i < box.right; ++i) {
        double y0 = Trunc((w.GetPosY() - GetY(w.p2x(i))) * w.GetScaleY());
        double y1 = Trunc((w.GetPosY() - GetY(w.p2x(i + 1))) * w.GetScaleY());
        if (!std::isfinite(y0) || !std::isfinite(y1)) continue;
        y0 = std::clamp(y0, double(box.top), double(box.bottom));
        y1 = std::clamp(y1, double(box.top), double(box.bottom));
        dc.DrawLine(i, static_cast<int>(y0), i + 1, static_cast<int>(y1));
    }
    if (!name.empty() && showName) {
        dc.SetFont(font);
        wxCoord tw, th;
        dc.GetTextExtent(name, &tw, &th);
        dc.DrawText(name, box.right - tw - 8, box.top + 8);
    }
}

mpText::mpText(const wxString& nameIn, int offsetx, int offsety) {
    name = nameIn;
    offsetX = (offsetx >= 0 && offsetx <= 100) ? offsetx : 5;
    offsetY = (offsety >= 0 && offsety <= 100) ? offsety : 50;
    type = mpLAYER_INFO;
}

void mpText::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    dc.SetFont(font);
    int px = w.GetMarginLeft() + offsetX * w.GetPlotWidth() / 100;
    int py = w.GetMarginTop() + offsetY * w.GetPlotHeight() / 100;
    dc.DrawText(name, px, py);
}

//-----------------------------------------------------------------------------
// mpFXY and mpFXYVector

wxIMPLEMENT_ABSTRACT_CLASS(mpFXY, mpLayer);

bool mpFXY::s_batching = true;
wxIMPLEMENT_DYNAMIC_CLASS(mpFXYVector, mpFXY);

mpFXY::mpFXY(const wxString& nameIn, int flagsIn)
    : flags(flagsIn), maxDrawX(0), minDrawX(0), maxDrawY(0), minDrawY(0) {
    name = nameIn;
    type = mpLAYER_PLOT;
}

void mpFXY::UpdateViewBoundary(wxCoord xnew, wxCoord ynew) {
    maxDrawX = std::max(maxDrawX, xnew);
    minDrawX = std::min(minDrawX, xnew);
    maxDrawY = std::max(maxDrawY, ynew);
    minDrawY = std::min(minDrawY, ynew);
}

void mpFXY::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);

    const double posX = w.GetPosX(), posY = w.GetPosY();
    const double sx = w.GetScaleX(), sy = w.GetScaleY();
    auto pixel = [&](double x, double y, double& px, double& py) {
        px = Trunc((x - posX) * sx);
        py = Trunc((posY - y) * sy);
        return std::isfinite(px) && std::isfinite(py);
    };

    double x, y;
    Rewind();
    if (GetNextXY(x, y)) {
        double px, py;
        if (pixel(x, y, px, py) && InsideLimit(px, py)) {
            maxDrawX = minDrawX = static_cast<int>(px);
            maxDrawY = minDrawY = static_cast<int>(py);
        }
    }
    Rewind();

    ClipBox box = ClipOf(*this, w);
    const double left = box.left, right = box.right, top = box.top, bottom = box.bottom;

    if (continuous) {
        PolylineBatch batch(dc, s_batching);
        bool havePrevious = false;
        double x0 = 0, y0 = 0;
        while (GetNextXY(x, y)) {
            double x1, y1;
            if (!pixel(x, y, x1, y1)) {
                havePrevious = false; // a gap in the data: the next point starts afresh
                continue;
            }
            if (!havePrevious) {
                x0 = x1; // the first point is its own previous point: a dot
                y0 = y1;
                havePrevious = true;
            }
            double sx0 = x0, sy0 = y0, ex = x1, ey = y1;
            if (!ClipToLimit(sx0, sy0, ex, ey)) {
                x0 = x1;
                y0 = y1;
                continue;
            }
            bool visibleSegment = ex >= left && sx0 <= right && !(sy0 > bottom && ey > bottom) &&
                                  !(sy0 < top && ey < top);
            if (!visibleSegment) {
                x0 = x1;
                y0 = y1;
                continue;
            }
            if (sy0 != ey) {
                if (sy0 < top) {
                    sx0 += Trunc((top - sy0) / (ey - sy0) * (ex - sx0));
                    sy0 = top;
                } else if (sy0 > bottom) {
                    sx0 += Trunc((bottom - sy0) / (ey - sy0) * (ex - sx0));
                    sy0 = bottom;
                }
                if (ey < top) {
                    ex = sx0 + Trunc((top - sy0) / (ey - sy0) * (ex - sx0));
                    ey = top;
                } else if (ey > bottom) {
                    ex = sx0 + Trunc((bottom - sy0) / (ey - sy0) * (ex - sx0));
                    ey = bottom;
                }
            }
            if (sx0 != ex) {
                if (sx0 < left) {
                    sy0 += Trunc((left - sx0) / (ex - sx0) * (ey - sy0));
                    sx0 = left;
                }
                if (ex > right) {
                    ey = sy0 + Trunc((right - sx0) / (ex - sx0) * (ey - sy0));
                    ex = right;
                }
            }
            wxPoint a(static_cast<int>(sx0), static_cast<int>(sy0));
            wxPoint b(static_cast<int>(ex), static_cast<int>(ey));
            batch.Segment(a, b);
            UpdateViewBoundary(b.x, b.y);
            x0 = ex;
            y0 = ey;
        }
    } else {
        const bool dots = pen.GetWidth() >= 2;
        while (GetNextXY(x, y)) {
            double px, py;
            if (!pixel(x, y, px, py)) continue;
            bool inside = px >= left && px <= right && py >= top && py <= bottom;
            if (!inside && !(drawOutsideMargins && InsideLimit(px, py))) continue;
            int ix = static_cast<int>(px), iy = static_cast<int>(py);
            if (dots)
                dc.DrawLine(ix, iy, ix, iy);
            else
                dc.DrawPoint(ix, iy);
            UpdateViewBoundary(ix, iy);
        }
    }

    if (!name.empty() && showName) {
        dc.SetFont(font);
        wxCoord tw, th;
        dc.GetTextExtent(name, &tw, &th);
        int tx, ty;
        switch (flags & 3) {
        case 0:
            tx = maxDrawX - tw - 8;
            ty = maxDrawY + 8;
            break;
        case 1:
            tx = minDrawX + 8;
            ty = maxDrawY + 8;
            break;
        case 2:
            tx = minDrawX + 8;
            ty = minDrawY - th - 8;
            break;
        default:
            tx = maxDrawX - tw - 8;
            ty = minDrawY - th - 8;
            break;
        }
        dc.DrawText(name, tx, ty);
    }
}

mpFXYVector::mpFXYVector(const wxString& nameIn, int flagsIn)
    : mpFXY(nameIn, flagsIn), index(0), minX(-1), maxX(1), minY(-1), maxY(1) {
    type = mpLAYER_PLOT;
}

void mpFXYVector::SetData(const std::vector<double>& xsIn, const std::vector<double>& ysIn) {
    if (xsIn.size() != ysIn.size()) {
        wxLogError(_("Plot error: X and Y vector are not of the same length!"));
        return;
    }
    xs = xsIn;
    ys = ysIn;
    ++version;
    sorted = std::is_sorted(xs.begin(), xs.end());
    if (xs.empty()) {
        minX = minY = -1;
        maxX = maxY = 1;
        return;
    }
    auto [xLo, xHi] = std::minmax_element(xs.begin(), xs.end());
    auto [yLo, yHi] = std::minmax_element(ys.begin(), ys.end());
    minX = *xLo - 0.5;
    maxX = *xHi + 0.5;
    minY = *yLo - 0.5;
    maxY = *yHi + 0.5;
}

void mpFXYVector::AppendData(const double* xsIn, const double* ysIn, size_t count) {
    if (count == 0) return;
    if (xs.empty()) {
        SetData(std::vector<double>(xsIn, xsIn + count), std::vector<double>(ysIn, ysIn + count));
        return;
    }
    sorted = sorted && xsIn[0] >= xs.back() && std::is_sorted(xsIn, xsIn + count);
    ++version;
    xs.insert(xs.end(), xsIn, xsIn + count);
    ys.insert(ys.end(), ysIn, ysIn + count);
    auto [xLo, xHi] = std::minmax_element(xsIn, xsIn + count);
    auto [yLo, yHi] = std::minmax_element(ysIn, ysIn + count);
    minX = std::min(minX, *xLo - 0.5);
    maxX = std::max(maxX, *xHi + 0.5);
    minY = std::min(minY, *yLo - 0.5);
    maxY = std::max(maxY, *yHi + 0.5);
}

void mpFXYVector::Clear() {
    SetData({}, {});
}

bool mpFXYVector::GetNextXY(double& x, double& y) {
    const std::vector<double>& from = drawingColumns ? columnXs : xs;
    if (index >= from.size()) return false;
    x = from[index];
    y = (drawingColumns ? columnYs : ys)[index];
    ++index;
    return true;
}

bool mpFXYVector::s_decimation = true;

void mpFXYVector::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    // A curve of more points than its pixel columns can show is drawn from
    // what each column shows: the first and last point that fall in it, and
    // its lowest and highest in their order. Within a column the curve's
    // segments are vertical, so those points cover the same pixels; a
    // repaint costs about the same at a thousand points and at a million.
    const ClipBox box = ClipOf(*this, w);
    const double columns = std::max(1, box.right - box.left + 1);
    if (!s_decimation || !continuous || !sorted || xs.size() < 4 * columns) {
        mpFXY::Plot(dc, w);
        return;
    }
    const double posX = w.GetPosX(), sx = w.GetScaleX();
    if (sx != columnsScale || posX != columnsPos || version != columnsVersion ||
        box.left != columnsLeft || box.right != columnsRight)
        Decimate(posX, sx, box.left, box.right);
    drawingColumns = true;
    mpFXY::Plot(dc, w);
    drawingColumns = false;
}

void mpFXYVector::Decimate(double posX, double sx, int left, int right) {
    columnsScale = sx;
    columnsPos = posX;
    columnsVersion = version;
    columnsLeft = left;
    columnsRight = right;
    columnXs.clear();
    columnYs.clear();
    if (!(sx > 0) || !std::isfinite(posX)) return;
    // The points of the visible columns, with the one before and the one
    // after so the lines into and out of the view are drawn.
    const double x0 = posX + (left - 1) / sx, x1 = posX + (right + 1) / sx;
    size_t from = static_cast<size_t>(std::lower_bound(xs.begin(), xs.end(), x0) - xs.begin());
    size_t to = static_cast<size_t>(std::upper_bound(xs.begin(), xs.end(), x1) - xs.begin());
    if (from > 0) --from;
    if (to < xs.size()) ++to;
    auto emit = [&](size_t i) {
        columnXs.push_back(xs[i]);
        columnYs.push_back(ys[i]);
    };
    bool open = false;
    double column = 0;
    size_t first = 0, low = 0, high = 0, last = 0;
    auto flush = [&] {
        if (!open) return;
        emit(first);
        const size_t a = std::min(low, high), b = std::max(low, high);
        if (a != first && a != last) emit(a);
        if (b != first && b != last && b != a) emit(b);
        if (last != first) emit(last);
        open = false;
    };
    for (size_t i = from; i < to; ++i) {
        if (!std::isfinite(ys[i]) || !std::isfinite(xs[i])) { // a gap stays a gap
            flush();
            emit(i);
            continue;
        }
        const double c = Trunc((xs[i] - posX) * sx);
        if (!open || c != column) {
            flush();
            open = true;
            column = c;
            first = low = high = last = i;
            continue;
        }
        if (ys[i] < ys[low]) low = i;
        if (ys[i] > ys[high]) high = i;
        last = i;
    }
    flush();
}

void mpMarkers::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    dc.SetBrush(brush);
    const ClipBox box = ClipOf(*this, w);
    for (size_t i = 0; i < xs.size(); ++i) {
        const double px = Trunc((xs[i] - w.GetPosX()) * w.GetScaleX());
        const double py = Trunc((w.GetPosY() - ys[i]) * w.GetScaleY());
        if (!std::isfinite(px) || !std::isfinite(py) || px < box.left || px > box.right ||
            py < box.top || py > box.bottom)
            continue;
        dc.DrawCircle(static_cast<int>(px), static_cast<int>(py), m_radius);
    }
}

void mpBars::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    dc.SetBrush(brush);
    const ClipBox box = ClipOf(*this, w);
    const double zero =
        std::clamp(Trunc(w.GetPosY() * w.GetScaleY()), double(box.top), double(box.bottom));
    for (size_t i = 0; i < xs.size(); ++i) {
        double left = Trunc((xs[i] - m_width / 2 - w.GetPosX()) * w.GetScaleX());
        double right = Trunc((xs[i] + m_width / 2 - w.GetPosX()) * w.GetScaleX());
        double top = Trunc((w.GetPosY() - ys[i]) * w.GetScaleY());
        if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(top)) continue;
        left = std::clamp(left, double(box.left), double(box.right));
        right = std::clamp(right, double(box.left), double(box.right));
        top = std::clamp(top, double(box.top), double(box.bottom));
        if (right - left < 1 || zero - top < 1) continue;
        dc.DrawRectangle(static_cast<int>(left), static_cast<int>(top),
                         static_cast<int>(right - left), static_cast<int>(zero - top));
    }
}

//-----------------------------------------------------------------------------
// Axes

wxIMPLEMENT_DYNAMIC_CLASS(mpScaleX, mpLayer);
wxIMPLEMENT_DYNAMIC_CLASS(mpScaleY, mpLayer);

namespace {

double TickStep(double scale) {
    return std::pow(10.0, std::floor(std::log10(128.0 / scale)));
}

/// A label format with as many decimals as the tick step has, and no more:
/// "400" for a step of 50, "0.5" for one of 0.1.
wxString StepFormat(double step) {
    if (!std::isfinite(step) || step <= 0) return "%.2f";
    const int decimals = static_cast<int>(std::max(0.0, -std::floor(std::log10(step) + 1e-9)));
    return wxString::Format("%%.%df", std::min(decimals, 6));
}

/// `n` in the step's format, without the zeros a round value leaves at its
/// end: "1" and "2.5", not "1.0" and "2.5" side by side as "1.0", "2.5".
wxString StepLabel(const wxString& format, double n) {
    wxString text = wxString::Format(format, n);
    if (format.EndsWith("f") && text.Contains(".")) {
        while (text.EndsWith("0"))
            text.RemoveLast();
        if (text.EndsWith(".")) text.RemoveLast();
    }
    if (text == "-0") text = "0";
    return text;
}

bool UsableStep(double step) {
    return std::isfinite(step) && step > 0;
}

/// The smallest of 1, 2, 5, 10, 20, 50 … that is at least `count`.
double RoundStep(double count) {
    if (!std::isfinite(count) || count <= 1) return count;
    const double power = std::pow(10.0, std::floor(std::log10(count)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= count * (1 - 1e-9)) return m * power;
    return 10 * power;
}

} // namespace

mpScaleX::mpScaleX(const wxString& nameIn, int flagsIn, bool ticksIn, unsigned int typeIn)
    : flags(flagsIn), ticks(ticksIn), labelType(static_cast<int>(typeIn)) {
    name = nameIn;
    font = *wxSMALL_FONT;
    pen = *wxGREY_PEN;
    type = mpLAYER_AXIS;
}

wxString mpScaleX::FormatLabel(double n, mpWindow& w) {
    const double scale = w.GetScaleX();
    switch (labelType) {
    case mpX_NORMAL: {
        if (!labelFormat.empty()) return wxString::Format(labelFormat, n);
        return StepLabel(StepFormat(TickStep(scale)), n);
    }
    case mpX_TIME:
    case mpX_HOURS: {
        double s = n < 0 ? -1.0 : 1.0;
        double a = std::fabs(n);
        double hours = std::floor(a / 3600);
        a -= 3600 * hours;
        double minutes = std::floor(a / 60);
        double seconds = a - 60 * minutes;
        if (labelType == mpX_TIME && (w.GetPosX() + w.GetScrX() / scale) / 60 < 2)
            return wxString::Format("%02.0f:%02.3f", s * minutes, seconds);
        return wxString::Format("%02.0f:%02.0f:%02.0f", s * hours, minutes, std::floor(seconds));
    }
    case mpX_DATE:
    case mpX_DATETIME: {
        time_t when = static_cast<time_t>(std::llround(std::isfinite(n) ? n : 0.0));
        struct tm parts {};
#ifdef _WIN32
        localtime_s(&parts, &when);
#else
        localtime_r(&when, &parts);
#endif
        if (labelType == mpX_DATE)
            return wxString::Format("%04.0f-%02.0f-%02.0f", double(parts.tm_year + 1900),
                                    double(parts.tm_mon + 1), double(parts.tm_mday));
        return wxString::Format("%04.0f-%02.0f-%02.0fT%02.0f:%02.0f:%02.0f",
                                double(parts.tm_year + 1900), double(parts.tm_mon + 1),
                                double(parts.tm_mday), double(parts.tm_hour), double(parts.tm_min),
                                double(parts.tm_sec));
    }
    default:
        return wxString::Format("%g", n);
    }
}

void mpScaleX::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    dc.SetFont(font);

    const int scrX = w.GetScrX(), scrY = w.GetScrY();
    int orgy;
    switch (flags) {
    case mpALIGN_TOP:
        orgy = drawOutsideMargins ? 40 : w.GetMarginTop();
        break;
    case mpALIGN_CENTER:
        orgy = mpToPixel(w.GetPosY() * w.GetScaleY());
        break;
    case mpALIGN_BOTTOM:
        orgy = drawOutsideMargins ? scrY - 40 : scrY - w.GetMarginBottom();
        break;
    case mpALIGN_BORDER_BOTTOM:
        orgy = scrY - 1;
        break;
    case mpALIGN_BORDER_TOP:
        orgy = 1;
        break;
    default:
        orgy = 0;
        break;
    }
    dc.DrawLine(0, orgy, scrX, orgy);

    const double scale = w.GetScaleX();
    const double step = TickStep(scale);
    const double posX = w.GetPosX();
    const double end = posX + scrX / scale;
    int startPx = w.GetMarginLeft(), endPx = scrX - w.GetMarginRight();
    int minYpx = w.GetMarginTop(), maxYpx = scrY - w.GetMarginBottom();
    if (drawOutsideMargins) {
        startPx = 0;
        endPx = scrX;
        minYpx = 0;
        maxYpx = scrY;
    }
    (void)minYpx;
    (void)maxYpx;

    wxCoord maxLabelWidth = 0, maxLabelHeight = 0;
    double nFirst = 0;
    bool firstPassRan = false;
    if (UsableStep(step) && std::isfinite(end)) {
        nFirst = std::floor(posX / step) * step;
        int count = 0;
        for (double n = nFirst; n < end && count < kMaxTicks; n += step, ++count) {
            firstPassRan = true;
            double pd = Trunc((n - posX) * scale);
            if (pd < startPx || pd > endPx) continue;
            int p = static_cast<int>(pd);
            if (ticks) {
                dc.DrawLine(p, orgy, p, flags == mpALIGN_BORDER_BOTTOM ? orgy - 4 : orgy + 4);
            } else {
                if (flags == mpALIGN_BOTTOM && !drawOutsideMargins)
                    DrawDottedLine(dc, pen.GetColour(), p, orgy + 4, p, w.GetMarginTop());
                else if (flags == mpALIGN_TOP && !drawOutsideMargins)
                    DrawDottedLine(dc, pen.GetColour(), p, orgy - 4, p, scrY - w.GetMarginBottom());
                else
                    DrawDottedLine(dc, pen.GetColour(), p, 0, p, scrY);
            }
            const wxSize size = TextSize(dc, FormatLabel(n, w));
            maxLabelWidth = std::max(maxLabelWidth, size.x);
            maxLabelHeight = std::max(maxLabelHeight, size.y);
            if (n + step == n) break;
        }

        double labelStep = firstPassRan ? std::ceil((maxLabelWidth + 64) / (step * scale)) * step
                                        : std::ceil(64 / (step * scale)) * step;
        // Labels read as round numbers: every 1, 2 or 5 grid steps (times a
        // power of ten), each on a multiple of the label step.
        labelStep = RoundStep(labelStep / step) * step;
        if (UsableStep(labelStep)) {
            count = 0;
            for (double n = std::floor(posX / labelStep) * labelStep; n < end && count < kMaxTicks;
                 n += labelStep, ++count) {
                double pd = Trunc((n - posX) * scale);
                if (pd >= startPx && pd <= endPx) {
                    int p = static_cast<int>(pd);
                    wxString label = FormatLabel(n, w);
                    const wxSize size = TextSize(dc, label);
                    const wxCoord tw = size.x, th = size.y;
                    int ty = (flags == mpALIGN_TOP || flags == mpALIGN_BORDER_BOTTOM)
                                 ? orgy - 4 - th
                                 : orgy + 4;
                    dc.DrawText(label, p - tw / 2, ty);
                }
                if (n + labelStep == n) break;
            }
        }
    }

    const wxSize nameSize = TextSize(dc, name);
    const wxCoord nw = nameSize.x, nh = nameSize.y;
    const int lh = maxLabelHeight;
    switch (flags) {
    case mpALIGN_BOTTOM:
        if (!drawOutsideMargins && lh + nh + 8 < w.GetMarginBottom())
            dc.DrawText(name, startPx + (endPx - startPx - nw) / 2, orgy + 6 + lh);
        else
            dc.DrawText(name, scrX - nw - 4, orgy - 4 - nh);
        break;
    case mpALIGN_TOP:
        if (!drawOutsideMargins && lh + nh + 8 < w.GetMarginTop())
            dc.DrawText(name, startPx + (endPx - startPx - nw) / 2, orgy - 6 - lh - nh);
        else
            dc.DrawText(name, scrX - nw - 4, orgy + 4);
        break;
    case mpALIGN_CENTER:
        dc.DrawText(name, scrX - nw - 4, orgy - 4 - nh);
        break;
    case mpALIGN_BORDER_BOTTOM:
        dc.DrawText(name, scrX - nw - 4, orgy - 8 - lh - nh);
        break;
    case mpALIGN_BORDER_TOP:
        dc.DrawText(name, scrX - nw - 4, orgy + 6 + lh);
        break;
    default:
        break;
    }
}

mpScaleY::mpScaleY(const wxString& nameIn, int flagsIn, bool ticksIn)
    : flags(flagsIn), ticks(ticksIn) {
    name = nameIn;
    font = *wxSMALL_FONT;
    pen = *wxGREY_PEN;
    type = mpLAYER_AXIS;
}

void mpScaleY::Plot(wxDC& dc, mpWindow& w) {
    if (!visible) return;
    dc.SetPen(pen);
    dc.SetFont(font);

    const int scrX = w.GetScrX(), scrY = w.GetScrY();
    int orgx;
    switch (flags) {
    case mpALIGN_RIGHT:
        orgx = drawOutsideMargins ? scrX - 60 : scrX - w.GetMarginRight();
        break;
    case mpALIGN_CENTER:
        orgx = mpToPixel(-w.GetPosX() * w.GetScaleX());
        break;
    case mpALIGN_LEFT:
        orgx = drawOutsideMargins ? 60 : w.GetMarginLeft();
        break;
    case mpALIGN_BORDER_BOTTOM: // 4: column 1
        orgx = 1;
        break;
    case mpALIGN_BORDER_RIGHT:
        orgx = scrX - 1;
        break;
    default:
        orgx = 0;
        break;
    }
    dc.DrawLine(orgx, 0, orgx, scrY);

    const double scale = w.GetScaleY();
    const double step = TickStep(scale);
    const double posY = w.GetPosY();
    const int plotH = w.GetPlotHeight();
    int top = w.GetMarginTop(), bottom = scrY - w.GetMarginBottom();
    if (drawOutsideMargins) {
        top = 0;
        bottom = scrY;
    }

    wxString format = labelFormat;
    const bool trimmed = format.empty();
    if (format.empty()) {
        double m = std::max(std::fabs(w.GetDesiredYmin()), std::fabs(w.GetDesiredYmax()));
        format = (m >= 10000 || m <= 0.001) ? wxString("%.1e") : StepFormat(step);
    }
    auto label = [&](double n) {
        return trimmed ? StepLabel(format, n) : wxString::Format(format, n);
    };

    wxCoord labelWidth = 0;
    const double end = posY + scrY / scale;
    if (UsableStep(step) && std::isfinite(end)) {
        double nFirst = std::floor((posY - plotH / scale) / step) * step;
        const wxCoord hFirst = TextSize(dc, label(nFirst)).y;
        // Labels more than 32 pixels apart, on every `every`-th tick (1, 2
        // or 5 times a power of ten), so that their values step evenly.
        long long every = 1;
        for (long long power = 1; every * step * scale <= 32 && power < 1000000; power *= 10)
            for (const long long m : {1, 2, 5})
                if ((every = m * power) * step * scale > 32) break;
        double lastTop = 65536;
        int count = 0;
        for (double n = nFirst; n < end && count < kMaxTicks; n += step, ++count) {
            double pd = Trunc((posY - n) * scale);
            if (pd >= top && pd <= bottom) {
                int p = static_cast<int>(pd);
                if (ticks) {
                    if (flags == mpALIGN_BORDER_BOTTOM)
                        dc.DrawLine(orgx, p, orgx + 4, p);
                    else
                        dc.DrawLine(orgx - 4, p, orgx, p);
                } else {
                    if (flags == mpALIGN_LEFT && !drawOutsideMargins)
                        DrawDottedLine(dc, pen.GetColour(), orgx - 4, p, scrX - w.GetMarginRight(),
                                       p);
                    else if (flags == mpALIGN_RIGHT && !drawOutsideMargins)
                        DrawDottedLine(dc, pen.GetColour(), w.GetMarginLeft(), p, orgx + 4, p);
                    else
                        DrawDottedLine(dc, pen.GetColour(), 0, p, scrX, p);
                }
                const wxString text = label(n);
                const wxSize size = TextSize(dc, text);
                const wxCoord tw = size.x, th = size.y;
                labelWidth = std::max(labelWidth, tw);
                if (std::llround(n / step) % every == 0 && lastTop - p + hFirst / 2 > 30) {
                    int tx = (flags == mpALIGN_RIGHT || flags == mpALIGN_BORDER_BOTTOM)
                                 ? orgx + 4
                                 : orgx - 4 - tw;
                    dc.DrawText(text, tx, p - th / 2);
                    lastTop = p - hFirst / 2;
                }
            }
            if (n + step == n) break;
        }
    }

    const wxSize nameSize = TextSize(dc, name);
    const wxCoord nw = nameSize.x, nh = nameSize.y;
    const int lw = labelWidth;
    switch (flags) {
    case mpALIGN_LEFT:
        if (!drawOutsideMargins && lw + nh + 8 < w.GetMarginLeft())
            dc.DrawRotatedText(name, orgx - 6 - lw - nh, (bottom - top + nw) / 2, 90);
        else
            dc.DrawText(name, orgx + 4, 4);
        break;
    case mpALIGN_RIGHT:
        if (!drawOutsideMargins && lw + nh + 8 < w.GetMarginRight())
            dc.DrawRotatedText(name, orgx + 6 + lw, (bottom - top + nw) / 2, 90);
        else
            dc.DrawText(name, orgx - nw - 4, 4);
        break;
    case mpALIGN_CENTER:
        dc.DrawText(name, orgx + 4, 4);
        break;
    case mpALIGN_BORDER_BOTTOM:
        dc.DrawText(name, lw + 8, 4);
        break;
    case mpALIGN_BORDER_RIGHT:
        dc.DrawText(name, orgx - 6 - lw - nw, 4);
        break;
    default:
        break;
    }
}

//-----------------------------------------------------------------------------
// mpWindow

wxIMPLEMENT_DYNAMIC_CLASS(mpWindow, wxWindow);

// clang-format off
wxBEGIN_EVENT_TABLE(mpWindow, wxWindow)
    EVT_PAINT(mpWindow::OnPaint)
    EVT_SIZE(mpWindow::OnSize)
    EVT_SCROLLWIN_THUMBTRACK(mpWindow::OnScrollThumbTrack)
    EVT_SCROLLWIN_PAGEUP(mpWindow::OnScrollPageUp)
    EVT_SCROLLWIN_PAGEDOWN(mpWindow::OnScrollPageDown)
    EVT_SCROLLWIN_LINEUP(mpWindow::OnScrollLineUp)
    EVT_SCROLLWIN_LINEDOWN(mpWindow::OnScrollLineDown)
    EVT_SCROLLWIN_TOP(mpWindow::OnScrollTop)
    EVT_SCROLLWIN_BOTTOM(mpWindow::OnScrollBottom)
    EVT_MIDDLE_UP(mpWindow::OnShowPopupMenu)
    EVT_RIGHT_UP(mpWindow::OnShowPopupMenu)
    EVT_RIGHT_DOWN(mpWindow::OnMouseRightDown)
    EVT_MOUSEWHEEL(mpWindow::OnMouseWheel)
    EVT_MOTION(mpWindow::OnMouseMove)
    EVT_LEFT_DOWN(mpWindow::OnMouseLeftDown)
    EVT_LEFT_UP(mpWindow::OnMouseLeftRelease)
    EVT_MENU(mpID_CENTER, mpWindow::OnCenter)
    EVT_MENU(mpID_FIT, mpWindow::OnFit)
    EVT_MENU(mpID_ZOOM_IN, mpWindow::OnZoomIn)
    EVT_MENU(mpID_ZOOM_OUT, mpWindow::OnZoomOut)
    EVT_MENU(mpID_LOCKASPECT, mpWindow::OnLockAspect)
    EVT_MENU(mpID_HELP_MOUSE, mpWindow::OnMouseHelp)
wxEND_EVENT_TABLE()
    // clang-format on

    mpWindow::mpWindow() {
    InitWindow();
}

mpWindow::mpWindow(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                   long flags) {
    InitWindow();
    Create(parent, id, pos, size, flags, "plotcanvas");
    SetMinSize(wxSize(128, 128));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetBackgroundColour(*wxWHITE);
    SetForegroundColour(*wxBLACK);
    bgColour = *wxWHITE;
    fgColour = *wxBLACK;
}

void mpWindow::InitWindow() {
    lockAspect = false;
    bgColour = *wxWHITE;
    fgColour = *wxBLACK;
    minX = maxX = minY = maxY = 0;
    scaleX = scaleY = 1.0;
    posX = posY = 0;
    scrX = scrY = 64;
    clickedX = clickedY = 0;
    desiredXmin = desiredYmin = 0;
    desiredXmax = desiredYmax = 1;
    marginTop = marginRight = marginBottom = marginLeft = 0;
    lastBufferX = lastBufferY = 0;
    bufferBitmap = nullptr;
    doubleBuffer = false;
    mouseNavigation = true;
    movedAfterRightClick = false;
    rightClickX = rightClickY = leftClickX = leftClickY = 0;
    scrollbarsEnabled = false;
    movingInfoLayer = nullptr;

    popupMenu.Append(mpID_CENTER, _("Center"), _("Center plot view to this position"));
    popupMenu.Append(mpID_FIT, _("Fit"), _("Set plot view to show all items"));
    popupMenu.Append(mpID_ZOOM_IN, _("Zoom in"), _("Zoom in plot view."));
    popupMenu.Append(mpID_ZOOM_OUT, _("Zoom out"), _("Zoom out plot view."));
    popupMenu.AppendCheckItem(mpID_LOCKASPECT, _("Lock aspect"),
                              _("Lock horizontal and vertical zoom aspect."));
    popupMenu.Append(mpID_HELP_MOUSE, _("Show mouse commands..."),
                     _("Show help about the mouse commands."));
}

mpWindow::~mpWindow() {
    DelAllLayers(true, false);
    if (bufferBitmap) {
        bufferDC.SelectObject(wxNullBitmap);
        delete bufferBitmap;
    }
}

bool mpWindow::AddLayer(mpLayer* layer, bool refreshDisplay) {
    if (layer == nullptr) return false;
    layers.push_back(layer);
    if (refreshDisplay) UpdateAll();
    return true;
}

bool mpWindow::DelLayer(mpLayer* layer, bool alsoDeleteObject, bool refreshDisplay) {
    auto it = std::find(layers.begin(), layers.end(), layer);
    if (it == layers.end()) return false;
    if (movingInfoLayer == layer) movingInfoLayer = nullptr;
    if (alsoDeleteObject) delete *it;
    layers.erase(it);
    if (refreshDisplay) UpdateAll();
    return true;
}

void mpWindow::DelAllLayers(bool alsoDeleteObject, bool refreshDisplay) {
    movingInfoLayer = nullptr;
    while (!layers.empty()) {
        if (alsoDeleteObject) delete layers.front();
        layers.pop_front();
    }
    if (refreshDisplay) UpdateAll();
}

mpLayer* mpWindow::GetLayer(int position) {
    if (position < 0 || position >= static_cast<int>(layers.size())) return nullptr;
    return layers[static_cast<size_t>(position)];
}

mpLayer* mpWindow::GetLayerByName(const wxString& name) {
    for (mpLayer* layer : layers)
        if (layer->GetName() == name) return layer;
    return nullptr;
}

unsigned int mpWindow::CountLayers() {
    unsigned int count = 0;
    for (mpLayer* layer : layers)
        if (layer->HasBBox()) ++count;
    return count;
}

void mpWindow::SetLayerVisible(const wxString& name, bool viewable) {
    if (mpLayer* layer = GetLayerByName(name)) {
        layer->SetVisible(viewable);
        UpdateAll();
    }
}

void mpWindow::SetLayerVisible(unsigned int position, bool viewable) {
    if (mpLayer* layer = GetLayer(static_cast<int>(position))) {
        layer->SetVisible(viewable);
        UpdateAll();
    }
}

bool mpWindow::IsLayerVisible(const wxString& name) {
    mpLayer* layer = GetLayerByName(name);
    return layer ? layer->IsVisible() : false;
}

bool mpWindow::IsLayerVisible(unsigned int position) {
    mpLayer* layer = GetLayer(static_cast<int>(position));
    return layer ? layer->IsVisible() : false;
}

void mpWindow::GetBoundingBox(double* bbox) const {
    bbox[0] = minX;
    bbox[1] = maxX;
    bbox[2] = minY;
    bbox[3] = maxY;
}

void mpWindow::SetScaleX(double scale) {
    if (scale != 0) scaleX = scale;
    UpdateAll();
}

void mpWindow::SetScaleY(double scale) {
    if (scale != 0) scaleY = scale;
    UpdateAll();
}

void mpWindow::Fit() {
    if (UpdateBBox()) Fit(minX, maxX, minY, maxY);
}

void mpWindow::Fit(double xMin, double xMax, double yMin, double yMax, wxCoord* printSizeX,
                   wxCoord* printSizeY) {
    desiredXmin = xMin;
    desiredXmax = xMax;
    desiredYmin = yMin;
    desiredYmax = yMax;

    if (printSizeX != nullptr && printSizeY != nullptr) {
        scrX = *printSizeX;
        scrY = *printSizeY;
    } else {
        GetClientSize(&scrX, &scrY);
    }
    const int plotW = scrX - marginLeft - marginRight;
    const int plotH = scrY - marginTop - marginBottom;

    double diff = xMax - xMin;
    scaleX = (diff != 0) ? plotW / diff : 1;
    diff = yMax - yMin;
    scaleY = (diff != 0) ? plotH / diff : 1;
    if (lockAspect) scaleX = scaleY = std::min(scaleX, scaleY);

    posX = (xMin + xMax) / 2 - (marginLeft + plotW / 2) / scaleX;
    posY = (yMin + yMax) / 2 + (marginTop + plotH / 2) / scaleY;

    if (printSizeX == nullptr || printSizeY == nullptr) UpdateAll();
}

void mpWindow::ZoomIn(const wxPoint& centerPoint) {
    wxPoint c = centerPoint;
    if (c == wxDefaultPosition) {
        GetClientSize(&scrX, &scrY);
        c = wxPoint(marginLeft + GetPlotWidth() / 2, marginTop + GetPlotHeight() / 2);
    }
    const double wx = posX + c.x / scaleX, wy = posY - c.y / scaleY;
    scaleX *= zoomIncrementalFactor;
    scaleY *= zoomIncrementalFactor;
    posX = wx - c.x / scaleX;
    posY = wy + c.y / scaleY;
    desiredXmin = posX;
    desiredXmax = posX + GetPlotWidth() / scaleX;
    desiredYmax = posY;
    desiredYmin = posY - GetPlotHeight() / scaleY;
    UpdateAll();
}

void mpWindow::ZoomOut(const wxPoint& centerPoint) {
    wxPoint c = centerPoint;
    if (c == wxDefaultPosition) {
        GetClientSize(&scrX, &scrY);
        c = wxPoint(marginLeft + GetPlotWidth() / 2, marginTop + GetPlotHeight() / 2);
    }
    const double wx = posX + c.x / scaleX, wy = posY - c.y / scaleY;
    scaleX /= zoomIncrementalFactor;
    scaleY /= zoomIncrementalFactor;
    posX = wx - c.x / scaleX;
    posY = wy + c.y / scaleY;
    desiredXmin = posX;
    desiredXmax = posX + GetPlotWidth() / scaleX;
    desiredYmax = posY;
    desiredYmin = posY - GetPlotHeight() / scaleY;
    UpdateAll();
}

void mpWindow::ZoomInX() {
    scaleX *= zoomIncrementalFactor;
    UpdateAll();
}
void mpWindow::ZoomOutX() {
    scaleX /= zoomIncrementalFactor;
    UpdateAll();
}
void mpWindow::ZoomInY() {
    scaleY *= zoomIncrementalFactor;
    UpdateAll();
}
void mpWindow::ZoomOutY() {
    scaleY /= zoomIncrementalFactor;
    UpdateAll();
}

void mpWindow::ZoomRect(wxPoint p0, wxPoint p1) {
    double x0 = p2x(p0.x), x1 = p2x(p1.x);
    double y0 = p2y(p0.y), y1 = p2y(p1.y);
    Fit(std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1));
}

void mpWindow::LockAspect(bool enable) {
    lockAspect = enable;
    popupMenu.Check(mpID_LOCKASPECT, enable);
    Fit(desiredXmin, desiredXmax, desiredYmin, desiredYmax);
}

void mpWindow::SetMargins(int top, int right, int bottom, int left) {
    marginTop = top;
    marginRight = right;
    marginBottom = bottom;
    marginLeft = left;
}

void mpWindow::SetColourTheme(const wxColour& bg, const wxColour& fg, const wxColour& axes) {
    SetBackgroundColour(bg);
    SetForegroundColour(fg);
    bgColour = bg;
    fgColour = fg;
    axesColour = axes;
    for (mpLayer* layer : layers) {
        if (layer->GetLayerType() == mpLAYER_AXIS) {
            wxPen axisPen = layer->GetPen();
            axisPen.SetColour(axes);
            layer->SetPen(axisPen);
        }
        if (layer->GetLayerType() == mpLAYER_INFO) {
            wxPen infoPen = layer->GetPen();
            infoPen.SetColour(fg);
            layer->SetPen(infoPen);
        }
    }
}

void mpWindow::SetScrollbars(bool status) {
    scrollbarsEnabled = status;
    if (!status) {
        if (HasScrollbar(wxHORIZONTAL)) SetScrollbar(wxHORIZONTAL, 0, 0, 0);
        if (HasScrollbar(wxVERTICAL)) SetScrollbar(wxVERTICAL, 0, 0, 0);
    }
    UpdateAll();
}

void mpWindow::SetScr(int position, int orientation) {
    if (orientation == wxVERTICAL)
        posY = marginTop / scaleY + std::max(desiredYmax, maxY) - position / scaleY;
    else
        posX = std::min(minX, desiredXmin) + position / scaleX - marginLeft / scaleX;
    UpdateAll();
}

bool mpWindow::UpdateBBox() {
    bool first = true;
    for (mpLayer* f : layers) {
        if (!f->HasBBox()) continue;
        if (first) {
            first = false;
            minX = f->GetMinX();
            maxX = f->GetMaxX();
            minY = f->GetMinY();
            maxY = f->GetMaxY();
        } else {
            minX = std::min(minX, f->GetMinX());
            maxX = std::max(maxX, f->GetMaxX());
            minY = std::min(minY, f->GetMinY());
            maxY = std::max(maxY, f->GetMaxY());
        }
    }
    return !first;
}

void mpWindow::UpdateAll() {
    if (UpdateBBox() && scrollbarsEnabled) {
        int cx, cy;
        GetClientSize(&cx, &cy);
        const double left = std::min({minX, desiredXmin, posX + marginLeft / scaleX});
        const double viewLeft = posX + marginLeft / scaleX;
        if (HasScrollbar(wxHORIZONTAL))
            SetScrollbar(wxHORIZONTAL, mpToPixel(scaleX * (viewLeft - left)),
                         cx - marginLeft - marginRight,
                         mpToPixel(scaleX * (std::max(desiredXmax, maxX) - left)));
        const double viewTop = posY - marginTop / scaleY;
        const double top = std::max({maxY, desiredYmax, viewTop});
        if (HasScrollbar(wxVERTICAL))
            SetScrollbar(wxVERTICAL, mpToPixel(scaleY * (top - viewTop)),
                         cy - marginTop - marginBottom,
                         mpToPixel(scaleY * (top - std::min(desiredYmin, minY))));
    }
    Refresh(false);
}

void mpWindow::ClearSurface(wxDC& dc, int width, int height) {
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(GetBackgroundColour(), wxBRUSHSTYLE_SOLID));
    dc.SetTextForeground(fgColour);
    dc.DrawRectangle(0, 0, width, height);
}

void mpWindow::PaintLayers(wxDC& dc) {
    ClearSurface(dc, scrX, scrY);
    for (mpLayer* layer : layers)
        layer->Plot(dc, *this);
}

void mpWindow::OnPaint(wxPaintEvent&) {
    wxPaintDC paintDC(this);
    paintDC.GetSize(&scrX, &scrY);
    wxDC* target = &paintDC;
    if (doubleBuffer) {
        if (bufferBitmap == nullptr || lastBufferX != scrX || lastBufferY != scrY) {
            bufferDC.SelectObject(wxNullBitmap);
            delete bufferBitmap;
            bufferBitmap = new wxBitmap(std::max(scrX, 1), std::max(scrY, 1));
            bufferDC.SelectObject(*bufferBitmap);
            lastBufferX = scrX;
            lastBufferY = scrY;
        }
        target = &bufferDC;
    }
    PaintLayers(*target);
    if (doubleBuffer) paintDC.Blit(0, 0, scrX, scrY, target, 0, 0);
}

void mpWindow::OnSize(wxSizeEvent&) {
    Fit(desiredXmin, desiredXmax, desiredYmin, desiredYmax);
}

void mpWindow::OnScrollThumbTrack(wxScrollWinEvent& event) {
    SetScr(event.GetPosition(), event.GetOrientation());
}

void mpWindow::OnScrollPageUp(wxScrollWinEvent& event) {
    int o = event.GetOrientation();
    SetScr(std::max(GetScrollPos(o) - GetScrollThumb(o), 0), o);
}

void mpWindow::OnScrollPageDown(wxScrollWinEvent& event) {
    int o = event.GetOrientation();
    SetScr(std::min(GetScrollPos(o) + GetScrollThumb(o), GetScrollRange(o) - GetScrollThumb(o)), o);
}

void mpWindow::OnScrollLineUp(wxScrollWinEvent& event) {
    int o = event.GetOrientation();
    SetScr(std::max(GetScrollPos(o) - 10, 0), o);
}

void mpWindow::OnScrollLineDown(wxScrollWinEvent& event) {
    int o = event.GetOrientation();
    SetScr(std::min(GetScrollPos(o) + 10, GetScrollRange(o) - GetScrollThumb(o)), o);
}

void mpWindow::OnScrollTop(wxScrollWinEvent& event) {
    SetScr(0, event.GetOrientation());
}

void mpWindow::OnScrollBottom(wxScrollWinEvent& event) {
    int o = event.GetOrientation();
    SetScr(GetScrollRange(o) - GetScrollThumb(o), o);
}

void mpWindow::OnShowPopupMenu(wxMouseEvent& event) {
    if (mouseNavigation) SetCursor(*wxSTANDARD_CURSOR);
    if (movedAfterRightClick) return;
    clickedX = event.GetX();
    clickedY = event.GetY();
    PopupMenu(&popupMenu, clickedX, clickedY);
}

void mpWindow::OnMouseRightDown(wxMouseEvent& event) {
    movedAfterRightClick = false;
    rightClickX = event.GetX();
    rightClickY = event.GetY();
    if (mouseNavigation) SetCursor(*wxCROSS_CURSOR);
}

void mpWindow::OnMouseWheel(wxMouseEvent& event) {
    if (!mouseNavigation) {
        event.Skip();
        return;
    }
    if (event.ControlDown()) {
        wxPoint at(event.GetX(), event.GetY());
        if (event.GetWheelRotation() > 0)
            ZoomIn(at);
        else
            ZoomOut(at);
        return;
    }
    const int change = -event.GetWheelRotation();
    if (event.ShiftDown()) {
        const double shift = change / scaleX;
        posX += shift;
        desiredXmin += shift;
        desiredXmax += shift;
    } else {
        const double shift = change / scaleY;
        posY -= shift;
        desiredYmin -= shift;
        desiredYmax -= shift;
    }
    UpdateAll();
}

void mpWindow::OnMouseMove(wxMouseEvent& event) {
    if (!mouseNavigation) {
        event.Skip();
        return;
    }
    if (event.m_rightDown) {
        movedAfterRightClick = true;
        const int ax = rightClickX - event.GetX();
        const int ay = event.GetY() - rightClickY;
        rightClickX = event.GetX();
        rightClickY = event.GetY();
        const double dx = ax / scaleX, dy = ay / scaleY;
        posX += dx;
        posY += dy;
        desiredXmin += dx;
        desiredXmax += dx;
        desiredYmin += dy;
        desiredYmax += dy;
        UpdateAll();
    } else if (!event.m_leftDown) {
        for (mpLayer* layer : layers) {
            if (layer->IsInfo() && layer->IsVisible()) {
                mpInfoLayer* info = static_cast<mpInfoLayer*>(layer);
                info->UpdateInfo(*this, event);
                RefreshRect(info->GetRectangle(), false);
            }
        }
    } else {
        if (movingInfoLayer != nullptr) {
            movingInfoLayer->Move(wxPoint(event.GetX() - leftClickX, event.GetY() - leftClickY));
        } else {
            wxClientDC dc(this);
            wxPen band(*wxBLACK, 1, wxPENSTYLE_DOT);
            dc.SetPen(band);
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.DrawRectangle(leftClickX, leftClickY, event.GetX() - leftClickX,
                             event.GetY() - leftClickY);
        }
        UpdateAll();
    }
    event.Skip();
}

void mpWindow::OnMouseLeftDown(wxMouseEvent& event) {
    leftClickX = event.GetX();
    leftClickY = event.GetY();
    movingInfoLayer = IsInsideInfoLayer(wxPoint(leftClickX, leftClickY));
    event.Skip();
}

void mpWindow::OnMouseLeftRelease(wxMouseEvent& event) {
    wxPoint release(event.GetX(), event.GetY());
    wxPoint press(leftClickX, leftClickY);
    if (movingInfoLayer != nullptr) {
        movingInfoLayer->UpdateReference();
        movingInfoLayer = nullptr;
    } else if (release != press) {
        ZoomRect(press, release);
    }
    event.Skip();
}

mpInfoLayer* mpWindow::IsInsideInfoLayer(const wxPoint& point) {
    for (mpLayer* layer : layers)
        if (layer->IsInfo() && static_cast<mpInfoLayer*>(layer)->Inside(point))
            return static_cast<mpInfoLayer*>(layer);
    return nullptr;
}

void mpWindow::UpdateInfoLayer(const wxPoint& point) {
    wxMouseEvent event(wxEVT_MOTION);
    event.m_x = point.x;
    event.m_y = point.y;
    for (mpLayer* layer : layers)
        if (layer->IsInfo() && layer->IsVisible())
            static_cast<mpInfoLayer*>(layer)->UpdateInfo(*this, event);
}

void mpWindow::OnCenter(wxCommandEvent&) {
    GetClientSize(&scrX, &scrY);
    posX += (clickedX - GetPlotWidth() / 2) / scaleX;
    posY -= (clickedY - GetPlotHeight() / 2) / scaleY;
    UpdateAll();
}

void mpWindow::OnFit(wxCommandEvent&) {
    Fit();
}

void mpWindow::OnZoomIn(wxCommandEvent&) {
    ZoomIn(wxPoint(rightClickX, rightClickY));
}

void mpWindow::OnZoomOut(wxCommandEvent&) {
    ZoomOut();
}

void mpWindow::OnLockAspect(wxCommandEvent&) {
    LockAspect(!lockAspect);
}

void mpWindow::OnMouseHelp(wxCommandEvent&) {
    wxMessageBox(_("Supported Mouse commands:\n         - Left button down + Mark area: "
                   "Rectangular zoom\n         - Right button down + Move: Pan (Move)\n      "
                   "   - Wheel: Vertical scroll\n         - Wheel + SHIFT: Horizontal scroll\n  "
                   "       - Wheel + CTRL: Zoom in/out"),
                 _("Plot help"), wxOK, this);
}

void mpHorizontalLine::Plot(wxDC& dc, mpWindow& w) {
    if (!visible || !std::isfinite(value)) return;
    const double y = (w.GetPosY() - value) * w.GetScaleY();
    if (!std::isfinite(y) || y < w.GetMarginTop() || y > w.GetScrY() - w.GetMarginBottom()) return;
    dc.SetPen(pen);
    const int p = static_cast<int>(y);
    dc.DrawLine(w.GetMarginLeft(), p, w.GetScrX() - w.GetMarginRight(), p);
    // Its name above its right end, in its colour: lines are told apart by
    // words, not by colour alone.
    if (!name.empty()) {
        dc.SetFont(font);
        dc.SetTextForeground(pen.GetColour());
        const wxSize extent = dc.GetTextExtent(name);
        dc.DrawText(name, w.GetScrX() - w.GetMarginRight() - extent.x - 4, p - extent.y - 1);
    }
}

wxImage mpWindow::RenderImage(wxSize size, double xMin, double xMax, double yMin, double yMax) {
    if (size.x <= 0 || size.y <= 0) return wxImage();
    const int backupX = scrX, backupY = scrY;
    const double dxMin = desiredXmin, dxMax = desiredXmax, dyMin = desiredYmin, dyMax = desiredYmax;
    wxBitmap buffer(size.x, size.y);
    wxMemoryDC dc(buffer);
    ClearSurface(dc, size.x, size.y);
    scrX = size.x;
    scrY = size.y;
    int w = size.x, h = size.y;
    Fit(xMin, xMax, yMin, yMax, &w, &h);
    for (mpLayer* layer : layers)
        layer->Plot(dc, *this);
    scrX = backupX;
    scrY = backupY;
    Fit(dxMin, dxMax, dyMin, dyMax, &scrX, &scrY);
    UpdateAll();
    dc.SelectObject(wxNullBitmap);
    return buffer.ConvertToImage();
}

bool mpWindow::SaveScreenshot(const wxString& filename, wxBitmapType type, wxSize imageSize,
                              bool fit) {
    const wxSize size = imageSize != wxDefaultSize ? imageSize : wxSize(scrX, scrY);
    const wxImage image =
        fit ? RenderImage(size, minX, maxX, minY, maxY)
            : RenderImage(size, desiredXmin, desiredXmax, desiredYmin, desiredYmax);
    return image.IsOk() && image.SaveFile(filename, type);
}

//-----------------------------------------------------------------------------
// mpPrintout

mpPrintout::mpPrintout(mpWindow* drawWindow, const wxString& title)
    : wxPrintout(title), plotWindow(drawWindow) {}

bool mpPrintout::OnPrintPage(int page) {
    wxDC* trgDc = GetDC();
    if (trgDc == nullptr || page != 1) return true;
    wxCoord m_prnX, m_prnY;
    trgDc->GetSize(&m_prnX, &m_prnY);
    m_prnX -= 100;
    m_prnY -= 100;
    trgDc->SetDeviceOrigin(50, 50);
    const double dxMin = plotWindow->GetDesiredXmin(), dxMax = plotWindow->GetDesiredXmax();
    const double dyMin = plotWindow->GetDesiredYmin(), dyMax = plotWindow->GetDesiredYmax();
    plotWindow->Fit(dxMin, dxMax, dyMin, dyMax, &m_prnX, &m_prnY);
    trgDc->SetPen(*wxTRANSPARENT_PEN);
    trgDc->SetBrush(*wxWHITE_BRUSH);
    trgDc->DrawRectangle(0, 0, m_prnX, m_prnY);
    for (unsigned i = 0; i < plotWindow->CountAllLayers(); ++i)
        plotWindow->GetLayer(static_cast<int>(i))->Plot(*trgDc, *plotWindow);
    plotWindow->Fit(dxMin, dxMax, dyMin, dyMax);
    return true;
}
