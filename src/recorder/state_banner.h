// The state banner across the strip above the plot: one line on a coloured
// background, the state in bold type that shrinks to fit, the pressure and
// the force in digits at least 28 pixels high, and the verdict's badge at the
// right end. It paints what ComposeBanner returns; an alarm flashes.
#pragma once

#include "recorder/banner_state.h"

#include <wx/font.h>
#include <wx/window.h>

class StateBanner : public wxWindow {
  public:
    StateBanner(wxWindow* parent, const wxPoint& position, const wxSize& size);

    /// Repaints when the banner changed.
    void SetBanner(const Banner& banner);
    const Banner& Shown() const { return m_banner; }

    /// The bold font of the figures, chosen so that its digits are at least
    /// `kFigurePixels` high on this system, and how far below the text's top
    /// their ink starts.
    static const wxFont& FigureFont();
    static int DigitInkHeight(const wxFont& font, int* inkTop = nullptr);
    static constexpr int kFigurePixels = 29; // 28 with one to spare
    /// The width kept free at the right end for the acknowledge button.
    static constexpr int kAcknowledgeWidth = 196;

    /// Paints into `dc` (also used by tests, into a bitmap).
    void Paint(wxDC& dc, const wxSize& size) const;

  private:
    void OnPaint(wxPaintEvent& event);
    Banner m_banner;
};

/// The background and text colours of a banner.
wxColour BannerBackground(const Banner& banner);
