// The plot canvas: a window that owns an ordered list of layers (axes, point
// series, overlays), maps world coordinates to pixels, paints every layer
// through an off-screen buffer and lets the user zoom, pan and fit with the
// mouse, the wheel, the scrollbars and a popup menu. It can also render itself
// into a bitmap and save it as an image (the report's picture of the curve).
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include <wx/brush.h>
#include <wx/dcmemory.h>
#include <wx/font.h>
#include <wx/menu.h>
#include <wx/pen.h>
#include <wx/print.h>
#include <wx/window.h>

class mpWindow;

/// Layer kinds.
enum mpLayerType {
    mpLAYER_UNDEF = 0,
    mpLAYER_AXIS = 1,
    mpLAYER_PLOT = 2,
    mpLAYER_INFO = 3,
    mpLAYER_BITMAP = 4
};

/// Axis alignments.
enum {
    mpALIGN_RIGHT = 0,
    mpALIGN_CENTER = 1,
    mpALIGN_LEFT = 2,
    mpALIGN_TOP = 0,
    mpALIGN_BOTTOM = 2,
    mpALIGN_BORDER_LEFT = 3,
    mpALIGN_BORDER_BOTTOM = 4,
    mpALIGN_BORDER_TOP = 5,
    mpALIGN_BORDER_RIGHT = 5,
};

/// Where a series draws its name.
enum { mpALIGN_NE = 0, mpALIGN_NW = 1, mpALIGN_SW = 2, mpALIGN_SE = 3 };

/// Label types of mpScaleX.
enum { mpX_NORMAL = 0, mpX_TIME = 1, mpX_HOURS = 2, mpX_DATE = 3, mpX_DATETIME = 4 };

/// Menu ids of the popup menu.
enum {
    mpID_FIT = 2000,
    mpID_ZOOM_IN = 2001,
    mpID_ZOOM_OUT = 2002,
    mpID_CENTER = 2003,
    mpID_LOCKASPECT = 2004,
    mpID_HELP_MOUSE = 2005
};

/// Converts a pixel value held in a double to an int. Values outside the range
/// an int can hold (and NaN) never reach the conversion: they are clamped.
int mpToPixel(double value);

/// One drawable item of the canvas. The canvas owns the layers added to it.
class mpLayer : public wxObject {
  public:
    mpLayer();

    virtual bool HasBBox() { return true; }
    virtual bool IsInfo() { return false; }
    virtual double GetMinX() { return -1.0; }
    virtual double GetMaxX() { return 1.0; }
    virtual double GetMinY() { return -1.0; }
    virtual double GetMaxY() { return 1.0; }
    virtual void Plot(wxDC& dc, mpWindow& w) = 0;

    const wxString& GetName() const { return name; }
    void SetName(const wxString& value) { name = value; }
    const wxFont& GetFont() const { return font; }
    void SetFont(const wxFont& value) { font = value; }
    const wxPen& GetPen() const { return pen; }
    void SetPen(const wxPen& value) { pen = value; }
    const wxBrush& GetBrush() const { return brush; }
    void SetBrush(const wxBrush& value) { brush = value; }
    bool GetContinuity() const { return continuous; }
    void SetContinuity(bool value) { continuous = value; }
    bool GetShowName() const { return showName; }
    void ShowName(bool value) { showName = value; }
    bool GetDrawOutsideMargins() const { return drawOutsideMargins; }
    void SetDrawOutsideMargins(bool value) { drawOutsideMargins = value; }
    int GetLayerType() const { return type; }
    bool IsVisible() const { return visible; }
    void SetVisible(bool value) { visible = value; }

  protected:
    wxFont font;
    wxPen pen;
    wxBrush brush;
    wxString name;
    bool continuous;
    bool showName;
    bool drawOutsideMargins;
    int type;
    bool visible;

    wxDECLARE_ABSTRACT_CLASS(mpLayer);
};

/// An overlay box in pixel coordinates that can be dragged and is told about
/// mouse motion.
class mpInfoLayer : public mpLayer {
  public:
    mpInfoLayer();
    mpInfoLayer(wxRect rect, const wxBrush* brush = wxTRANSPARENT_BRUSH);

    bool HasBBox() override { return false; }
    bool IsInfo() override { return true; }
    void Plot(wxDC& dc, mpWindow& w) override;
    virtual void UpdateInfo(mpWindow& w, wxEvent& event);
    virtual bool Inside(const wxPoint& point);
    virtual void Move(const wxPoint& delta);
    virtual void UpdateReference();

    wxPoint GetPosition() const { return dim.GetPosition(); }
    wxSize GetSize() const { return dim.GetSize(); }
    const wxRect& GetRectangle() const { return dim; }

  protected:
    wxRect dim;
    wxPoint reference;
    wxBrush brush;
    int winX, winY;

    wxDECLARE_DYNAMIC_CLASS(mpInfoLayer);
};

/// Overlay that shows the world coordinates under the mouse.
class mpInfoCoords : public mpInfoLayer {
  public:
    mpInfoCoords();
    mpInfoCoords(wxRect rect, const wxBrush* brush = wxTRANSPARENT_BRUSH);
    void UpdateInfo(mpWindow& w, wxEvent& event) override;
    void Plot(wxDC& dc, mpWindow& w) override;
    const wxString& GetContent() const { return content; }

  protected:
    wxString content;
};

/// Overlay that lists the visible series with a sample of their pens.
class mpInfoLegend : public mpInfoLayer {
  public:
    mpInfoLegend();
    mpInfoLegend(wxRect rect, const wxBrush* brush = wxTRANSPARENT_BRUSH);
    void Plot(wxDC& dc, mpWindow& w) override;
};

/// A curve y = f(x), evaluated at every pixel column.
class mpFX : public mpLayer {
  public:
    mpFX(const wxString& name = wxEmptyString, int flags = mpALIGN_RIGHT);
    virtual double GetY(double x) = 0;
    void Plot(wxDC& dc, mpWindow& w) override;

  protected:
    int flags;
    wxDECLARE_ABSTRACT_CLASS(mpFX);
};

/// A curve x = f(y), evaluated at every pixel row.
class mpFY : public mpLayer {
  public:
    mpFY(const wxString& name = wxEmptyString, int flags = mpALIGN_TOP);
    virtual double GetX(double y) = 0;
    void Plot(wxDC& dc, mpWindow& w) override;

  protected:
    int flags;
    wxDECLARE_ABSTRACT_CLASS(mpFY);
};

/// A profile y = f(x), drawn as a line joining consecutive pixel columns.
class mpProfile : public mpLayer {
  public:
    mpProfile(const wxString& name = wxEmptyString, int flags = mpALIGN_TOP);
    virtual double GetY(double x) = 0;
    void Plot(wxDC& dc, mpWindow& w) override;

  protected:
    int flags;
    wxDECLARE_ABSTRACT_CLASS(mpProfile);
};

/// A series of (x, y) points, joined by lines when continuous.
class mpFXY : public mpLayer {
  public:
    mpFXY(const wxString& name = wxEmptyString, int flags = mpALIGN_NE);
    void Plot(wxDC& dc, mpWindow& w) override;
    virtual void Rewind() = 0;
    virtual bool GetNextXY(double& x, double& y) = 0;

    /// Joins consecutive drawn segments into polylines (the default). Off, every
    /// segment is its own line: only for measuring the difference.
    static void SetPolylineBatching(bool enabled) { s_batching = enabled; }

  protected:
    static bool s_batching;
    int flags;
    int maxDrawX, minDrawX, maxDrawY, minDrawY;

    void UpdateViewBoundary(wxCoord xnew, wxCoord ynew);
    wxDECLARE_ABSTRACT_CLASS(mpFXY);
};

/// A horizontal line across the plot area at one value of y, such as a
/// threshold or a limit; it takes no part in fitting the view.
class mpHorizontalLine : public mpLayer {
  public:
    explicit mpHorizontalLine(const wxPen& linePen) { SetPen(linePen); }
    bool HasBBox() override { return false; }
    void SetValue(double y) { value = y; }
    double GetValue() const { return value; }
    void Plot(wxDC& dc, mpWindow& w) override;

  private:
    double value = 0;
};

/// A point series held in two arrays; the curve of the recorder.
class mpFXYVector : public mpFXY {
  public:
    mpFXYVector(const wxString& name = wxEmptyString, int flags = mpALIGN_NE);
    /// Copies both arrays; arrays of different lengths are refused with a logged error.
    void SetData(const std::vector<double>& xs, const std::vector<double>& ys);
    /// Appends `count` points; the bounds grow with them, nothing is copied again.
    void AppendData(const double* xs, const double* ys, size_t count);
    void Clear();
    size_t GetDataLength() const { return xs.size(); }

    double GetMinX() override { return minX; }
    double GetMaxX() override { return maxX; }
    double GetMinY() override { return minY; }
    double GetMaxY() override { return maxY; }
    void Rewind() override { index = 0; }
    bool GetNextXY(double& x, double& y) override;
    /// A continuous curve with more points than pixel columns is drawn from
    /// what each column shows (see Decimate); off, from every point: only
    /// for comparing the two.
    static void SetDecimation(bool enabled) { s_decimation = enabled; }
    void Plot(wxDC& dc, mpWindow& w) override;

  protected:
    std::vector<double> xs, ys;
    size_t index;
    double minX, maxX, minY, maxY;
    bool sorted = true;   ///< x never falls: columns can be found by search
    uint64_t version = 0; ///< counts the changes of the data

  private:
    /// The points drawn for the view from `posX` at `sx` pixels a unit over
    /// pixel columns `left` to `right`: per column its first, lowest,
    /// highest and last point. Kept until the view or the data change.
    void Decimate(double posX, double sx, int left, int right);
    static bool s_decimation;
    bool drawingColumns = false;
    std::vector<double> columnXs, columnYs;
    double columnsScale = 0, columnsPos = 0;
    uint64_t columnsVersion = ~uint64_t(0);
    int columnsLeft = 0, columnsRight = 0;

    wxDECLARE_DYNAMIC_CLASS(mpFXYVector);
};

/// Points drawn as filled circles of `radius` pixels in the layer's pen and
/// brush: a series of values, one marker each.
class mpMarkers : public mpFXYVector {
  public:
    explicit mpMarkers(int radius = 3) : m_radius(radius) {}
    void Plot(wxDC& dc, mpWindow& w) override;

  private:
    int m_radius;
};

/// Bars standing on y = 0, one for each x, `width` wide in x: a histogram.
class mpBars : public mpFXYVector {
  public:
    explicit mpBars(double width = 1) : m_width(width) {}
    void SetWidth(double width) { m_width = width; }
    double GetMinX() override { return minX - m_width / 2; }
    double GetMaxX() override { return maxX + m_width / 2; }
    double GetMinY() override { return std::min(0.0, minY); }
    void Plot(wxDC& dc, mpWindow& w) override;

  private:
    double m_width;
};

/// Horizontal axis with tick marks or grid lines and labels.
class mpScaleX : public mpLayer {
  public:
    mpScaleX(const wxString& name = "X", int flags = mpALIGN_CENTER, bool ticks = true,
             unsigned int type = mpX_NORMAL);
    void Plot(wxDC& dc, mpWindow& w) override;
    bool HasBBox() override { return false; }

    void SetAlign(int align) { flags = align; }
    void SetTicks(bool enable) { ticks = enable; }
    bool GetTicks() const { return ticks; }
    void SetLabelMode(unsigned int mode) { labelType = static_cast<int>(mode); }
    void SetLabelFormat(const wxString& format) { labelFormat = format; }
    const wxString& GetLabelFormat() const { return labelFormat; }

    /// The label text of world value `n` as this axis would draw it.
    wxString FormatLabel(double n, mpWindow& w);

  protected:
    int flags;
    bool ticks;
    int labelType;
    wxString labelFormat;

    wxDECLARE_DYNAMIC_CLASS(mpScaleX);
};

/// Vertical axis with tick marks or grid lines and labels.
class mpScaleY : public mpLayer {
  public:
    mpScaleY(const wxString& name = "Y", int flags = mpALIGN_CENTER, bool ticks = true);
    void Plot(wxDC& dc, mpWindow& w) override;
    bool HasBBox() override { return false; }

    void SetAlign(int align) { flags = align; }
    void SetTicks(bool enable) { ticks = enable; }
    bool GetTicks() const { return ticks; }
    void SetLabelFormat(const wxString& format) { labelFormat = format; }
    const wxString& GetLabelFormat() const { return labelFormat; }

  protected:
    int flags;
    bool ticks;
    wxString labelFormat;

    wxDECLARE_DYNAMIC_CLASS(mpScaleY);
};

/// A text placed at offsets given in percent of the plot area.
class mpText : public mpLayer {
  public:
    mpText(const wxString& name = wxEmptyString, int offsetx = 5, int offsety = 50);
    void Plot(wxDC& dc, mpWindow& w) override;
    bool HasBBox() override { return false; }

  protected:
    int offsetX, offsetY;
    wxDECLARE_DYNAMIC_CLASS(mpText);
};

/// The plotting window.
class mpWindow : public wxWindow {
  public:
    mpWindow();
    mpWindow(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
             const wxSize& size = wxDefaultSize, long flags = 0);
    ~mpWindow() override;

    wxMenu* GetPopupMenu() { return &popupMenu; }

    // Layer list
    bool AddLayer(mpLayer* layer, bool refreshDisplay = true);
    bool DelLayer(mpLayer* layer, bool alsoDeleteObject = false, bool refreshDisplay = true);
    void DelAllLayers(bool alsoDeleteObject, bool refreshDisplay = true);
    mpLayer* GetLayer(int position);
    mpLayer* GetLayerByName(const wxString& name);
    unsigned int CountLayers();
    unsigned int CountAllLayers() const { return static_cast<unsigned>(layers.size()); }
    void SetLayerVisible(const wxString& name, bool viewable);
    void SetLayerVisible(unsigned int position, bool viewable);
    bool IsLayerVisible(const wxString& name);
    bool IsLayerVisible(unsigned int position);
    void GetBoundingBox(double* bbox) const;

    // Mapping and view
    double GetXscl() const { return scaleX; }
    double GetYscl() const { return scaleY; }
    double GetScaleX() const { return scaleX; }
    double GetScaleY() const { return scaleY; }
    double GetPosX() const { return posX; }
    double GetPosY() const { return posY; }
    int GetScrX() const { return scrX; }
    int GetScrY() const { return scrY; }
    int GetXScreen() const { return scrX; }
    int GetYScreen() const { return scrY; }
    void SetScaleX(double scale);
    void SetScaleY(double scale);
    void SetPosX(double x) {
        posX = x;
        UpdateAll();
    }
    void SetPosY(double y) {
        posY = y;
        UpdateAll();
    }
    void SetPos(double x, double y) {
        posX = x;
        posY = y;
        UpdateAll();
    }

    double p2x(wxCoord pixelCoordX) const { return posX + pixelCoordX / scaleX; }
    double p2y(wxCoord pixelCoordY) const { return posY - pixelCoordY / scaleY; }
    wxCoord x2p(double x) const { return mpToPixel((x - posX) * scaleX); }
    wxCoord y2p(double y) const { return mpToPixel((posY - y) * scaleY); }

    double GetDesiredXmin() const { return desiredXmin; }
    double GetDesiredXmax() const { return desiredXmax; }
    double GetDesiredYmin() const { return desiredYmin; }
    double GetDesiredYmax() const { return desiredYmax; }

    void Fit();
    void Fit(double xMin, double xMax, double yMin, double yMax, wxCoord* printSizeX = nullptr,
             wxCoord* printSizeY = nullptr);
    void ZoomIn(const wxPoint& centerPoint = wxDefaultPosition);
    void ZoomOut(const wxPoint& centerPoint = wxDefaultPosition);
    void ZoomInX();
    void ZoomOutX();
    void ZoomInY();
    void ZoomOutY();
    void ZoomRect(wxPoint p0, wxPoint p1);
    void LockAspect(bool enable = true);
    bool IsAspectLocked() const { return lockAspect; }

    void SetMargins(int top, int right, int bottom, int left);
    void SetMarginTop(int top) { marginTop = top; }
    void SetMarginRight(int right) { marginRight = right; }
    void SetMarginBottom(int bottom) { marginBottom = bottom; }
    void SetMarginLeft(int left) { marginLeft = left; }
    int GetMarginTop() const { return marginTop; }
    int GetMarginRight() const { return marginRight; }
    int GetMarginBottom() const { return marginBottom; }
    int GetMarginLeft() const { return marginLeft; }
    int GetPlotWidth() const { return scrX - marginLeft - marginRight; }
    int GetPlotHeight() const { return scrY - marginTop - marginBottom; }

    void SetColourTheme(const wxColour& bgColour, const wxColour& drawColour,
                        const wxColour& axesColour);
    const wxColour& GetAxesColour() const { return axesColour; }

    void EnableDoubleBuffer(bool enabled) { doubleBuffer = enabled; }
    void EnableMousePanZoom(bool enabled) { mouseNavigation = enabled; }
    void SetScrollbars(bool status);
    bool GetScrollbars() const { return scrollbarsEnabled; }
    void SetScr(int position, int orientation);

    void UpdateAll();
    virtual bool UpdateBBox();

    bool SaveScreenshot(const wxString& filename, wxBitmapType type = wxBITMAP_TYPE_BMP,
                        wxSize imageSize = wxDefaultSize, bool fit = false);
    /// Draws every layer off-screen at `size`, fitted to the given bounds,
    /// whatever the window's size and zoom; the on-screen view is left as it was.
    wxImage RenderImage(wxSize size, double xMin, double xMax, double yMin, double yMax);
    /// Draws every layer onto `dc` as the window looks now; for printing and
    /// benchmarks.
    void PaintLayers(wxDC& dc);

    mpInfoLayer* IsInsideInfoLayer(const wxPoint& point);
    void UpdateInfoLayer(const wxPoint& point);

    static constexpr double zoomIncrementalFactor = 1.5;

  protected:
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnScrollThumbTrack(wxScrollWinEvent& event);
    void OnScrollPageUp(wxScrollWinEvent& event);
    void OnScrollPageDown(wxScrollWinEvent& event);
    void OnScrollLineUp(wxScrollWinEvent& event);
    void OnScrollLineDown(wxScrollWinEvent& event);
    void OnScrollTop(wxScrollWinEvent& event);
    void OnScrollBottom(wxScrollWinEvent& event);
    void OnShowPopupMenu(wxMouseEvent& event);
    void OnMouseRightDown(wxMouseEvent& event);
    void OnMouseWheel(wxMouseEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnMouseLeftDown(wxMouseEvent& event);
    void OnMouseLeftRelease(wxMouseEvent& event);
    void OnCenter(wxCommandEvent& event);
    void OnFit(wxCommandEvent& event);
    void OnZoomIn(wxCommandEvent& event);
    void OnZoomOut(wxCommandEvent& event);
    void OnLockAspect(wxCommandEvent& event);
    void OnMouseHelp(wxCommandEvent& event);

  private:
    void InitWindow();
    void ClearSurface(wxDC& dc, int width, int height);

    std::deque<mpLayer*> layers;
    wxMenu popupMenu;
    bool lockAspect;
    wxColour bgColour, fgColour, axesColour;
    double minX, maxX, minY, maxY;
    double scaleX, scaleY;
    double posX, posY;
    int scrX, scrY;
    int clickedX, clickedY;
    double desiredXmin, desiredXmax, desiredYmin, desiredYmax;
    int marginTop, marginRight, marginBottom, marginLeft;
    int lastBufferX, lastBufferY;
    wxMemoryDC bufferDC;
    wxBitmap* bufferBitmap;
    bool doubleBuffer;
    bool mouseNavigation;
    bool movedAfterRightClick;
    int rightClickX, rightClickY;
    int leftClickX, leftClickY;
    bool scrollbarsEnabled;
    mpInfoLayer* movingInfoLayer;

    wxDECLARE_DYNAMIC_CLASS(mpWindow);
    wxDECLARE_EVENT_TABLE();
};

/// Prints the canvas on one page.
class mpPrintout : public wxPrintout {
  public:
    mpPrintout(mpWindow* drawWindow, const wxString& title = wxEmptyString);
    bool OnPrintPage(int page) override;
    bool HasPage(int page) override { return page == 1; }

  private:
    mpWindow* plotWindow;
};
