// The mounting report: one A4 landscape PDF page with the job data, the press,
// the date, the results and verdict and the picture of the recorded curve,
// and beside it the curve as a CSV file of the same name. The page's
// questions and errors are asked and shown through the message functions.
#pragma once

#include "records/recording.h"

#include <string>

#include <wx/string.h>

class wxWindow;
class PanelHost;

/// What a report wrote.
struct ReportFiles {
    std::string pdfPath, csvPath, pageSha256;
    std::string printer;      ///< the printer it was meant for; "" when none is set
    std::string printedOn;    ///< where the page went ("testpdf, job 3"); "" not printed
    std::string printProblem; ///< why the printer did not take it
};

/// The printer pages go to: the setting's, else the system's default; ""
/// when there is none (the buttons then say that a PDF is saved).
std::string ReportPrinter(const PanelHost& host);
/// What a report's box adds about the printer: where the page went, why it
/// did not, or that it was saved as a PDF file only.
wxString PrintedText(const ReportFiles& files);

/// A page printed again: of which first print, by whom, and where that one's
/// CSV file is.
struct Reprint {
    std::string firstPrinted; ///< the first print's date; "" for a first print
    std::string by;           ///< who printed it again
    std::string csvPath;      ///< the first print's CSV file as the store names it
    bool Is() const { return !firstPrinted.empty(); }
};

/// Writes the page and the CSV file of `recording` into the host's report
/// directory at `now` (wall clock), under a name no earlier report has (a
/// re-mount of the same axle side that day gets "…_2"). A reprint is the same
/// page marked as one, under a name of its own beside the first print's CSV
/// file (written when the first print had none). The curve's picture is drawn
/// on a canvas made under `parent`. False when nothing was written (asked off
/// or failed, and told).
bool WriteReportFiles(wxWindow* parent, PanelHost& host, int64_t now, const Recording& recording,
                      const Reprint& reprint, ReportFiles* files);

/// The page's fonts and colour profile, beside the program or the system's;
/// false with what is missing.
bool FindPageResources(const PanelHost& host, struct PageResources* resources, wxString* missing);

/// Tells the operator where the report of `recording` went; a FAIL or an
/// INCOMPLETE recording is not announced as a success.
void TellReportWritten(const Recording& recording, const ReportFiles& files);
