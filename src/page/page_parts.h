// What the program's pages share: the A4 landscape sheet, the pen that lays
// runs of text down as the page is read, the PDF document with the page's
// two faces, and drawing a laid-out page into it. Only the page library
// includes it.
#pragma once

#include "page/report_page.h"

#include <hpdf.h>

#include <wx/arrstr.h>
#include <wx/string.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace page_parts {

// A4 landscape, in points.
constexpr float kPageWidth = 841.89f;
constexpr float kPageHeight = 595.276f;

/// Lays runs down as the page is read: a face, a size and a colour in use,
/// each run placed with them.
class Pen {
  public:
    Pen(PageLayout& layout, const PageMeasure& measure) : m_layout(layout), m_measure(measure) {}
    void Use(float size, PageColour colour) {
        m_size = size;
        m_colour = colour;
    }
    void Size(float size) { m_size = size; }
    void Colour(PageColour colour) { m_colour = colour; }
    float CurrentSize() const { return m_size; }
    void Text(float x, float y, const wxString& text, bool bold = false) {
        m_layout.runs.push_back({x, y, m_size, bold, m_colour, std::string(text.utf8_str())});
    }
    float Width(const wxString& text, bool bold = false) const {
        return m_measure(std::string(text.utf8_str()), bold, m_size);
    }
    /// The text broken into lines no wider than `width` points at the size
    /// in use: at spaces, and inside a word that is wider by itself.
    std::vector<wxString> Wrapped(const wxString& text, float width, bool bold = false) const {
        std::vector<wxString> lines;
        wxString current;
        for (const wxString& word : wxSplit(text, ' ', '\0')) {
            const wxString longer = current.empty() ? word : current + " " + word;
            if (Width(longer, bold) <= width) {
                current = longer;
                continue;
            }
            if (!current.empty()) lines.push_back(current);
            current = word;
            while (Width(current, bold) > width && current.length() > 1) {
                size_t fits = 1;
                while (fits < current.length() && Width(current.Left(fits + 1), bold) <= width)
                    ++fits;
                lines.push_back(current.Left(fits));
                current = current.Mid(fits);
            }
        }
        if (!current.empty()) lines.push_back(current);
        return lines;
    }
    /// A job field in its column: at the size in use when it fits `width`,
    /// else smaller down to 9 points, and broken into lines below one
    /// another when even that is too wide; nothing is cut.
    void Fitted(bool bold, float x, float y, float width, const wxString& text) {
        const float size = m_size;
        while (m_size > 9 && Width(text, bold) > width)
            m_size = std::max(9.0f, m_size - 1);
        float line = y;
        for (const wxString& part : Wrapped(text, width, bold)) {
            Text(x, line, part, bold);
            line -= m_size + 1;
        }
        m_size = size;
    }

    /// A field's value in its row: at the size in use when it fits `width`,
    /// else smaller down to 7 points, else in two lines of up to 6.5 points
    /// within the row's height; nothing is cut.
    void InRow(bool bold, float x, float y, float width, const wxString& text) {
        const float size = m_size;
        while (m_size > 7 && Width(text, bold) > width)
            m_size = std::max(7.0f, m_size - 0.5f);
        if (Width(text, bold) <= width) {
            Text(x, y, text, bold);
        } else {
            // At word breaks, else filled character by character (a long
            // designation has no spaces), at the largest size that takes two.
            auto filled = [&] {
                std::vector<wxString> lines(1);
                for (const wxUniChar c : text) {
                    if (Width(lines.back() + c, bold) > width) lines.emplace_back();
                    lines.back() += c;
                }
                return lines;
            };
            m_size = 6.5f;
            std::vector<wxString> lines = Wrapped(text, width, bold);
            while (lines.size() > 2 && m_size > 3.5f) {
                if ((lines = filled()).size() <= 2) break;
                m_size -= 0.5f;
                lines = Wrapped(text, width, bold);
            }
            float line = y + m_size * 0.55f;
            for (const wxString& part : lines) {
                Text(x, line, part, bold);
                line -= m_size + 0.5f;
            }
        }
        m_size = size;
    }
    /// A label or verdict on one line in its column: smaller, down to
    /// `least` points, until it fits `width`; the width it took.
    float Shrunk(bool bold, float x, float y, float width, const wxString& text, float least = 6) {
        const float size = m_size;
        while (m_size > least && Width(text, bold) > width)
            m_size = std::max(least, m_size - 0.5f);
        Text(x, y, text, bold);
        const float taken = Width(text, bold);
        m_size = size;
        return taken;
    }

  private:
    PageLayout& m_layout;
    const PageMeasure& m_measure;
    float m_size = 12;
    PageColour m_colour = PageColour::Black;
};

inline wxString W(const std::string& utf8) {
    return wxString::FromUTF8(utf8);
}

void PdfErrorHandler(HPDF_STATUS errorNo, HPDF_STATUS detailNo, void*);

/// One PDF document with the page's faces, freed whatever happens.
struct PageDocument {
    explicit PageDocument(const PageResources& resources)
        : doc(HPDF_New(PdfErrorHandler, nullptr)) {
        if (!doc) return;
        HPDF_UseUTFEncodings(doc);
        HPDF_SetCurrentEncoder(doc, "UTF-8");
        // Text, picture and fonts compressed (the fonts only when this is set
        // before they are taken); the library never compresses the XMP
        // metadata, as an archivable page asks.
        HPDF_SetCompressionMode(doc, HPDF_COMP_ALL);
        const char* regularName =
            HPDF_LoadTTFontFromFile(doc, resources.regularFont.c_str(), HPDF_TRUE);
        const char* boldName = HPDF_LoadTTFontFromFile(doc, resources.boldFont.c_str(), HPDF_TRUE);
        if (regularName) regular = HPDF_GetFont(doc, regularName, "UTF-8");
        if (boldName) bold = HPDF_GetFont(doc, boldName, "UTF-8");
    }
    ~PageDocument() {
        if (doc) HPDF_Free(doc);
    }
    PageDocument(const PageDocument&) = delete;
    PageDocument& operator=(const PageDocument&) = delete;
    float Width(const std::string& text, bool isBold, float size) const {
        const HPDF_TextWidth tw = HPDF_Font_TextWidth(
            isBold ? bold : regular, reinterpret_cast<const HPDF_BYTE*>(text.c_str()),
            static_cast<HPDF_UINT>(text.size()));
        return static_cast<float>(tw.width) * size / 1000;
    }
    HPDF_Doc doc;
    HPDF_Font regular = nullptr, bold = nullptr;
};

/// The QR code of `text` as black squares filling `box` with its quiet zone.
bool DrawCode(HPDF_Page page, const std::string& text, const PageBox& box);
/// The document's bytes as a file holds them.
bool DocumentBytes(HPDF_Doc pdf, std::string* bytes);
/// The document's title, subject, creator, keywords and dates.
void SetMetadata(HPDF_Doc pdf, const PageLayout& layout);
/// Every run of text and every line of the layout onto the page.
void DrawLaidOut(HPDF_Page page, const PageLayout& layout, const PageDocument& document);
/// The pages `layOut` lays out with the document's faces, each with its
/// code when it has one, as one archivable PDF (PDF/A-1b); false when the
/// faces or the colour profile cannot be read or the file cannot be made.
bool WritePages(const PageResources& resources,
                const std::function<std::vector<PageLayout>(const PageMeasure&)>& layOut,
                std::string* pdf);

} // namespace page_parts
