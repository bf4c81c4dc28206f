// The mounting report's page without a window: what goes where on one A4
// landscape page (the job data, the press, the results and verdict, the
// alarms and notes, the signatures, the report number, the CSV file's hash
// and its code), laid out as a list of runs that a test reads as text, and
// written as an archivable PDF (PDF/A-1b, fonts embedded) with libharu. The
// curve's picture comes in as a JPEG drawn by the canvas.
#pragma once

#include "records/record_store.h"
#include "records/recording.h"

#include <functional>
#include <string>
#include <vector>

enum class PageColour { Black, Blue, Red, Green };

/// One line of text at its place, in points from the page's lower left.
struct PageRun {
    float x = 0, y = 0, size = 0;
    bool bold = false;
    PageColour colour = PageColour::Black;
    std::string text; ///< UTF-8
};

/// A stroked line.
struct PageLine {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0, width = 1;
    PageColour colour = PageColour::Black;
};

struct PageBox {
    float x = 0, y = 0, width = 0, height = 0;
};

struct PageLayout {
    float width = 0, height = 0;
    PageBox frame;
    std::vector<PageRun> runs;
    std::vector<PageLine> lines;
    PageBox code;         ///< the QR code, a square
    std::string codeText; ///< what it holds
    PageBox picture;      ///< where the curve's picture goes
    /// The page's metadata.
    std::string title, subject, creator, keywords;
    int64_t madeAt = 0;

    /// Every run's text, one a line, top to bottom and left to right as laid.
    std::string Text() const;
};

/// What the page says besides the recording itself.
struct ReportPageFacts {
    const Recording* recording = nullptr;
    std::string fileName;       ///< the page's own name
    std::string plantName;      ///< the plant's, as set; "" prints "—"
    std::string csvName;        ///< the CSV file it names
    std::string csvSha256;      ///< and that file's hash
    std::string reprintOf;      ///< the first print's date for a reprint, else ""
    std::string reprintBy;      ///< who printed it again
    int64_t madeAt = 0;         ///< wall clock
    float pictureAspect = 0.6f; ///< the picture's height over its width
};

/// The width of `text` (UTF-8) in the page's regular or bold face at `size`.
using PageMeasure = std::function<float(const std::string& text, bool bold, float size)>;

/// The page laid out: every job field in its column at its size, smaller
/// down to 9 points when too wide and wrapped when even that is, never cut;
/// the notes as many as fit above the signatures and a count of the rest.
PageLayout LayOutReportPage(const ReportPageFacts& facts, const PageMeasure& measure);

/// The page's two faces and its colour profile.
struct PageResources {
    std::string regularFont, boldFont, colourProfile;
};

/// The widths of the page's faces, read from the font files; Ok() false
/// when they cannot be read.
class PageFontMetrics {
  public:
    explicit PageFontMetrics(const PageResources& resources);
    ~PageFontMetrics();
    PageFontMetrics(const PageFontMetrics&) = delete;
    PageFontMetrics& operator=(const PageFontMetrics&) = delete;
    bool Ok() const;
    float Width(const std::string& text, bool bold, float size) const;

  private:
    struct Impl;
    Impl* m_impl;
};

/// Writes the page into `pdf` (the file's bytes): false, with the whole
/// text for the operator in `why`, when it cannot be made.
bool MakeReportPage(const ReportPageFacts& facts, const PageResources& resources,
                    const std::string& pictureJpeg, std::string* pdf, std::string* why);

/// What the audit trail's pages say besides its entries.
struct TrailPagesFacts {
    const std::vector<Change>* changes = nullptr; ///< as listed, newest first
    std::string selection; ///< what was listed: "every entry", "press Press A"
    std::string pcName, version;
    int64_t madeAt = 0; ///< wall clock
};

/// The trail as A4 landscape pages for an auditor: one row an entry, each
/// column wrapped in its width; a value longer than eight lines is cut with
/// a mark that the CSV export holds it whole. Each page has the title, the
/// selection and count, the column headings, and "page 2 of 5".
std::vector<PageLayout> LayOutTrailPages(const TrailPagesFacts& facts, const PageMeasure& measure);
/// Writes them as one archivable PDF (PDF/A-1b); false, with the reason.
bool MakeTrailPages(const TrailPagesFacts& facts, const PageResources& resources, std::string* pdf,
                    std::string* why);

/// What a statistics page says besides the figures.
struct StatisticsPageFacts {
    const struct MountingStatistics* statistics = nullptr;
    std::string identity;           ///< the page's own, as a recording's
    std::string selection;          ///< "bearing TBU 130x230 · press Press A · …"
    std::string csvName, csvSha256; ///< the data file beside it, and its hash
    std::string pcName, version;
    int64_t madeAt = 0; ///< wall clock
};

/// The statistics of a selection on one A4 landscape page, for the monthly
/// review and the customer's audit: the counts, the figures and each
/// criterion's, the capability against its limits with the note when it
/// rests on fewer than 25 mountings, the rules broken and by which
/// recordings, the drift; the individuals chart (control lines apart from
/// the limits), the moving ranges and the histogram; the page's number and
/// identity, the data file and its SHA-256 in words and in the code, a line
/// for the reviewer's signature.
PageLayout LayOutStatisticsPage(const StatisticsPageFacts& facts, const PageMeasure& measure);
/// Writes it as an archivable PDF (PDF/A-1b); false, with the reason.
bool MakeStatisticsPage(const StatisticsPageFacts& facts, const PageResources& resources,
                        std::string* pdf, std::string* why);
