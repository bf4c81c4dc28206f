#include "recorder/state_banner.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/intl.h>

#include <algorithm>

namespace {

bool SameBanner(const Banner& a, const Banner& b) {
    if (a.colour != b.colour || a.badge != b.badge || a.lit != b.lit ||
        a.acknowledge != b.acknowledge || a.incompleteBadge != b.incompleteBadge ||
        a.runs.size() != b.runs.size())
        return false;
    for (size_t i = 0; i < a.runs.size(); ++i)
        if (a.runs[i].text != b.runs[i].text || a.runs[i].figure != b.runs[i].figure ||
            a.runs[i].state != b.runs[i].state)
            return false;
    return true;
}

wxFont BoldPixels(int pixels) {
    wxFont font(wxFontInfo(wxSize(0, pixels)).Family(wxFONTFAMILY_SWISS).Bold());
    return font;
}

} // namespace

wxColour BannerBackground(const Banner& banner) {
    switch (banner.colour) {
    case BannerColour::Grey:
        return wxColour(96, 96, 96);
    case BannerColour::Blue:
        return wxColour(58, 78, 98); // blue-grey: all is well, nothing runs
    case BannerColour::Armed:
        return wxColour(52, 62, 130); // indigo: waiting, not a warning
    case BannerColour::Amber:
        return wxColour(255, 179, 0);
    case BannerColour::Green:
        return wxColour(30, 110, 65);
    case BannerColour::Red:
        return banner.lit ? wxColour(215, 0, 0) : wxColour(110, 0, 0);
    case BannerColour::Lost:
        return wxColour(80, 80, 80);
    case BannerColour::Slate:
        break;
    }
    return wxColour(45, 55, 72);
}

StateBanner::StateBanner(wxWindow* parent, const wxPoint& position, int width, int figurePixels)
    : wxWindow(parent, wxID_ANY, position, wxSize(width, 46), wxFULL_REPAINT_ON_RESIZE) {
    m_figurePixels = figurePixels;
    m_figureFont = FigureFontFor(figurePixels);
    m_ink = DigitInkHeight(m_figureFont);
    // Room above and below the digits for the badge's frame and the
    // letters' descenders.
    SetSize(wxSize(width, m_ink * 8 / 5 + 6));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &StateBanner::OnPaint, this);
    m_banner = ComposeBanner(BannerInputs{});
}

int StateBanner::DigitInkHeight(const wxFont& font, int* inkTop) {
    wxBitmap bitmap(1000, 400, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(font);
    dc.SetTextForeground(*wxBLACK);
    dc.DrawText("0123456789", 0, 0);
    dc.SelectObject(wxNullBitmap);
    const wxImage image = bitmap.ConvertToImage();
    int top = -1, bottom = -1;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (image.GetRed(x, y) < 128) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
    if (inkTop) *inkTop = top;
    return top < 0 ? 0 : bottom - top + 1;
}

int StateBanner::FigurePixelsFor(int screenWidth, int screenHeight) {
    const int byHeight = std::max(34, (screenHeight * 46 + 1079) / 1080);
    const int byWidth = std::max(28, screenWidth * 28 / 1000);
    return std::min(byHeight, byWidth);
}

wxFont StateBanner::FigureFontFor(int pixels) {
    int size = pixels;
    while (size < 4 * pixels && DigitInkHeight(BoldPixels(size)) < pixels)
        ++size;
    return BoldPixels(size);
}

void StateBanner::SetBanner(const Banner& banner) {
    if (SameBanner(banner, m_banner)) return;
    m_banner = banner;
    Refresh(false);
}

void StateBanner::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    Paint(dc, GetClientSize());
}

void StateBanner::Paint(wxDC& dc, const wxSize& size) const {
    const wxColour background = BannerBackground(m_banner);
    const wxColour text = m_banner.colour == BannerColour::Amber ? *wxBLACK : *wxWHITE;
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    if (m_banner.colour == BannerColour::Lost) {
        // Not the alarm: grey, framed in red.
        dc.SetPen(wxPen(wxColour(215, 0, 0), 4));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(2, 2, size.x - 4, size.y - 4);
    }

    const wxFont& figureFont = m_figureFont;
    // Every run sits on one baseline, the figures' digits centred in height.
    const int baseline = (size.y + m_ink) / 2;

    const int margin = 10;
    wxString badge;
    if (m_banner.badge == Verdict::Pass) badge = _("PASS");
    if (m_banner.badge == Verdict::Fail) badge = _("FAIL");
    if (m_banner.incompleteBadge) badge = _("INCOMPLETE"); // a warning, not folded into FAIL
    dc.SetFont(figureFont);
    const int badgeWidth = badge.empty() ? 0 : dc.GetTextExtent(badge).x + 2 * margin;
    // The acknowledge button (a child window) covers the right end.
    const int reserved = m_banner.acknowledge ? kAcknowledgeWidth + margin : 0;
    const int room = size.x - 2 * margin - (badgeWidth ? badgeWidth + margin : 0) - reserved;

    // The words between shrink until the line fits; the state's word and the
    // figures never do.
    int figuresWidth = 0;
    for (const BannerRun& run : m_banner.runs)
        if (run.figure || run.state)
            figuresWidth += dc.GetTextExtent(wxString::FromUTF8(run.text)).x;
    int pixels = figureFont.GetPixelSize().y * 3 / 4;
    wxFont words = BoldPixels(pixels);
    int width = 0;
    for (; pixels > 11; --pixels) {
        words = BoldPixels(pixels);
        dc.SetFont(words);
        width = figuresWidth;
        for (const BannerRun& run : m_banner.runs)
            if (!run.figure && !run.state)
                width += dc.GetTextExtent(wxString::FromUTF8(run.text)).x;
        if (width <= room) break;
    }
    // Fonts wider than the ones measured for this screen (another system's)
    // shrink the figures too, as the last resort, rather than run under the
    // badge or off the edge.
    wxFont figures = figureFont;
    if (width > room && width > 0)
        figures = BoldPixels(std::max(12, figureFont.GetPixelSize().y * room / width));

    dc.SetTextForeground(text);
    int x = margin;
    for (const BannerRun& run : m_banner.runs) {
        const wxString part = wxString::FromUTF8(run.text);
        dc.SetFont(run.figure || run.state ? figures : words);
        wxCoord w = 0, h = 0, descent = 0;
        dc.GetTextExtent(part, &w, &h, &descent);
        dc.DrawText(part, x, baseline - (h - descent));
        x += w;
    }
    if (!badge.empty()) {
        const wxRect box(size.x - margin - badgeWidth, 3, badgeWidth, size.y - 6);
        dc.SetPen(wxPen(*wxWHITE, 2));
        dc.SetBrush(wxBrush(m_banner.incompleteBadge          ? wxColour(255, 179, 0)
                            : m_banner.badge == Verdict::Pass ? wxColour(0, 150, 60)
                                                              : wxColour(215, 0, 0)));
        dc.DrawRoundedRectangle(box, 4);
        dc.SetFont(figureFont);
        dc.SetTextForeground(m_banner.incompleteBadge ? *wxBLACK : *wxWHITE);
        wxCoord w = 0, h = 0, descent = 0;
        dc.GetTextExtent(badge, &w, &h, &descent);
        dc.DrawText(badge, box.x + margin, baseline - (h - descent));
    }
}
