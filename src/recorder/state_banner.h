// The state banner across the strip above the plot: one line on a coloured
// background, the state's word, the pressure and the force in large digits
// that grow with the screen, the words between them in bold type that shrinks
// to fit, and the verdict's badge at the right end. It paints what
// ComposeBanner returns; an alarm flashes.
#pragma once

#include "station/banner_state.h"

#include <wx/font.h>
#include <wx/window.h>

class StateBanner : public wxWindow {
  public:
    /// `figurePixels`: how high the digits' ink is at least; the banner's
    /// height is made to fit them.
    StateBanner(wxWindow* parent, const wxPoint& position, int width, int figurePixels);

    /// A banner is read, not used: a click on it leaves the keyboard where
    /// it was (its acknowledge button takes the focus on its own).
    bool AcceptsFocus() const override { return false; }

    /// Repaints when the banner changed.
    void SetBanner(const Banner& banner);
    const Banner& Shown() const { return m_banner; }

    /// The height of the digits for a screen of `screenWidth` x
    /// `screenHeight` pixels: read from two metres, 46 pixels on a 1080-line
    /// screen (16 arc-minutes and more) and 34 on a 768-line one, as long as
    /// the banner's longest line still fits its width (1024 x 768: 28).
    static int FigurePixelsFor(int screenWidth, int screenHeight);
    /// The bold font whose digits are at least `pixels` high on this system.
    static wxFont FigureFontFor(int pixels);
    const wxFont& FigureFont() const { return m_figureFont; }
    int FigurePixels() const { return m_figurePixels; }
    /// The height of the ink of the digits in `font`, and how far below the
    /// text's top it starts.
    static int DigitInkHeight(const wxFont& font, int* inkTop = nullptr);
    /// The width kept free at the right end for the acknowledge button.
    static constexpr int kAcknowledgeWidth = 196;

    /// Paints into `dc` (also used by tests, into a bitmap).
    void Paint(wxDC& dc, const wxSize& size) const;

  private:
    void OnPaint(wxPaintEvent& event);
    Banner m_banner;
    wxFont m_figureFont;
    int m_figurePixels = 0;
    int m_ink = 0; ///< the digits' ink height in m_figureFont
};

/// The background and text colours of a banner.
wxColour BannerBackground(const Banner& banner);
