// The mounting report: one A4 landscape PDF page with the job data, the press,
// the date and the picture of the recorded curve, and beside it the curve as a
// CSV file of the same name.
#include "recorder/report.h"

#include "recorder/panel_host.h"

#include "plot/plot_canvas.h"
#include "records/file_access.h"
#include "station/limits.h"
#include "station/local_time.h"
#include "recorder/recording_plot.h"
#include "records/integrity.h"
#include "records/record_writer.h"
#include "station/report_data.h"
#include "recorder/messages.h"

#include <hpdf.h>
#include <hpdf_pdfa.h>
#include <qrencode.h>

#include <wx/arrstr.h>
#include <wx/combobox.h>
#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/stdpaths.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void PdfErrorHandler(HPDF_STATUS errorNo, HPDF_STATUS detailNo, void*) {
    printf("ERROR: error_no=%04X, detail_no=%u\n", static_cast<unsigned>(errorNo),
           static_cast<unsigned>(detailNo));
}

/// One PDF document, freed whatever happens.
class PdfDocument {
  public:
    PdfDocument() : m_doc(HPDF_New(PdfErrorHandler, nullptr)) {}
    ~PdfDocument() {
        if (m_doc) HPDF_Free(m_doc);
    }
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;
    HPDF_Doc Get() const { return m_doc; }

  private:
    HPDF_Doc m_doc;
};

/// A file removed when it goes out of scope, unless kept.
class FileGuard {
  public:
    explicit FileGuard(wxString path) : m_path(std::move(path)) {}
    ~FileGuard() {
        if (!m_path.empty() && wxFileName::FileExists(m_path)) wxRemoveFile(m_path);
    }
    const wxString& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

  private:
    wxString m_path;
};

// The document is made in memory and written by the recorder itself, so the
// path may hold any character on every platform.
bool SavePdf(HPDF_Doc pdf, const std::string& path, std::string* why, std::string* saved) {
    *why = "the PDF library could not make the page";
    if (HPDF_SaveToStream(pdf) != HPDF_OK) return false;
    std::string bytes(HPDF_GetStreamSize(pdf), '\0');
    HPDF_UINT32 size = static_cast<HPDF_UINT32>(bytes.size());
    if (bytes.empty()) return false;
    // The whole stream in one read ends at its end: a status of "end of
    // stream" with every byte read is success.
    HPDF_ReadFromStream(pdf, reinterpret_cast<HPDF_BYTE*>(&bytes[0]), &size);
    if (size != bytes.size()) return false;
    errno = 0;
    FILE* out = OpenPath(path, "wb");
    if (out == nullptr) {
        *why = std::strerror(errno ? errno : EIO);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, size, out) == size;
    const bool closed = std::fclose(out) == 0;
    if (!(written && closed)) *why = std::strerror(errno ? errno : EIO);
    if (written && closed) *saved = std::move(bytes);
    return written && closed;
}

const wxSize kReportPictureSize(1200, 720);
/// The picture's width on the page, in points; its height follows.
const float kPagePictureWidth = 600;

// The page's two faces, embedded so every job field prints as typed in any
// script, and the colour profile a PDF/A page names for its colours.
struct PageFonts {
    HPDF_Font regular = nullptr, bold = nullptr;
};

/// One of the page's resources: the program's own copy (beside the program,
/// or where it is installed), else the system's.
wxString PageResource(const PanelHost& host, const wxString& relative, const wxString& system) {
    std::vector<wxString> candidates = {host.DataFile(relative)};
    const wxFileName exe(wxStandardPaths::Get().GetExecutablePath());
    candidates.push_back(exe.GetPath() + "/" + relative);
    candidates.push_back(exe.GetPath() + "/../" + relative);
    candidates.push_back(system);
    for (const wxString& path : candidates)
        if (!path.empty() && wxFileName::FileExists(path)) return path;
    return wxString();
}

void Text(HPDF_Page page, float x, float y, const wxString& text) {
    HPDF_Page_TextOut(page, x, y, text.utf8_str());
}

/// Bold: the bold face at the size in use, then back to the regular one.
void BoldText(HPDF_Page page, const PageFonts& fonts, float x, float y, const wxString& text) {
    const float size = HPDF_Page_GetCurrentFontSize(page);
    HPDF_Page_SetFontAndSize(page, fonts.bold, size);
    Text(page, x, y, text);
    HPDF_Page_SetFontAndSize(page, fonts.regular, size);
}

float Width(HPDF_Page page, const wxString& text) {
    return HPDF_Page_TextWidth(page, text.utf8_str());
}

/// The text broken into lines no wider than `width` points in the page's
/// current font: at spaces, and inside a word that is wider by itself.
std::vector<wxString> Wrapped(HPDF_Page page, const wxString& text, float width) {
    std::vector<wxString> lines;
    wxString current;
    for (const wxString& word : wxSplit(text, ' ', '\0')) {
        const wxString longer = current.empty() ? word : current + " " + word;
        if (Width(page, longer) <= width) {
            current = longer;
            continue;
        }
        if (!current.empty()) lines.push_back(current);
        current = word;
        while (Width(page, current) > width && current.length() > 1) {
            size_t fits = 1;
            while (fits < current.length() && Width(page, current.Left(fits + 1)) <= width)
                ++fits;
            lines.push_back(current.Left(fits));
            current = current.Mid(fits);
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

/// A job field in its column: at `size` when it fits `width`, else in a
/// smaller size down to 9 points, and broken into lines below one another
/// when even that is too wide; nothing is cut. The size is restored after.
void FittedText(HPDF_Page page, const PageFonts& fonts, bool bold, float x, float y, float width,
                const wxString& text) {
    const float size = HPDF_Page_GetCurrentFontSize(page);
    HPDF_Font face = bold ? fonts.bold : fonts.regular;
    float fitted = size;
    HPDF_Page_SetFontAndSize(page, face, fitted);
    while (fitted > 9 && Width(page, text) > width) {
        fitted = std::max(9.0f, fitted - 1);
        HPDF_Page_SetFontAndSize(page, face, fitted);
    }
    float line = y;
    for (const wxString& part : Wrapped(page, text, width)) {
        Text(page, x, line, part);
        line -= fitted + 1;
    }
    HPDF_Page_SetFontAndSize(page, fonts.regular, size);
}

/// The QR code of `text` as black squares, `size` points across with its
/// quiet zone, lower left corner at (x, y).
bool DrawCode(HPDF_Page page, const std::string& text, float x, float y, float size) {
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code) return false;
    const int n = code->width;
    const float module = size / (n + 8); // four modules of quiet zone on each side
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    for (int row = 0; row < n; ++row)
        for (int column = 0; column < n; ++column)
            if (code->data[row * n + column] & 1)
                HPDF_Page_Rectangle(page, x + (column + 4) * module, y + size - (row + 5) * module,
                                    module, module);
    HPDF_Page_Fill(page);
    return true;
}

/// A PDF date in UTC.
HPDF_Date PdfDate(int64_t seconds) {
    const LocalTime utc = ToUtcTime(seconds);
    HPDF_Date date{};
    date.year = utc.year;
    date.month = utc.month;
    date.day = utc.day;
    date.hour = utc.hour;
    date.minutes = utc.minute;
    date.seconds = utc.second;
    date.ind = '+'; // the library's XMP conversion takes an offset, not "Z"
    return date;
}

} // namespace

bool WriteReportFiles(wxWindow* parent, PanelHost& host, int64_t now, const Recording& recording,
                      const std::string& reprintOf, ReportFiles* files) {
    const bool reprint = !reprintOf.empty();
    const RecordingSetup& setup = recording.setup;
    const JobData& job = setup.job;
    const wxString anyway = "\n" + _("Do you want to generate REPORT anyway?");
    const std::pair<const std::string*, wxString> checks[] = {
        {&job.operatorId, _("Operator ID empty")},
        {&job.axleDesignation, _("Axle designation empty")},
        {&job.bearingDesignation, _("Bearing designation empty")},
        {&job.productionDate, _("Bearing production date empty")},
        {&job.refurbishmentDate, _("Bearing refurbishment date empty")},
    };
    for (const auto& [field, question] : checks) {
        if (!field->empty()) continue;
        if (reprint) break; // printed as it was
        if (!AskYesNo(question + anyway, _("Print REPORT?"))) return false;
        break;
    }

    // Never into the root of the file system: ask for the directory first.
    if (host.ReportDirectory().empty() && !host.ChooseReportDirectory()) return false;

    auto utf8 = [](const std::string& text) { return wxString::FromUTF8(text); };
    const wxString side = utf8(job.mountingSide);
    const wxString fileName =
        utf8(ReportFileName(job.axleDesignation, job.mountingSide, FileDate(recording.stoppedAt)));
    wxString directory = host.ReportDirectory();
    if (!directory.EndsWith(wxString(wxFileName::GetPathSeparator())))
        directory += wxFileName::GetPathSeparator();
    // A reprint is a page of its own beside the first one; its CSV file is
    // the first one's.
    const wxString fullPath =
        reprint ? directory + fileName.BeforeLast('.') + "_reprint-" + utf8(FileStamp(now)) + ".pdf"
                : directory + fileName;
    const wxString csvName = fileName.BeforeLast('.') + ".csv";
    const wxString csvPath = reprint ? wxString() : directory + csvName;

    // The CSV file is made first: the page carries its SHA-256. A reprint
    // names the CSV file of the first print.
    const std::string csvBytes = reprint ? std::string() : CurveCsvText(recording);
    const std::string csvSha256 = !reprint ? Sha256Hex(csvBytes)
                                  : !recording.csvSha256.empty()
                                      ? recording.csvSha256
                                      : Sha256Hex(CurveCsvText(recording));

    const wxString fontPath = PageResource(host, "fonts/DejaVuSans.ttf",
                                           "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const wxString boldPath = PageResource(host, "fonts/DejaVuSans-Bold.ttf",
                                           "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    const wxString iccPath =
        PageResource(host, "color/sRGB.icc", "/usr/share/color/icc/colord/sRGB.icc");
    for (const auto& [path, what] :
         {std::make_pair(fontPath, "the page's font DejaVuSans.ttf"),
          std::make_pair(boldPath, "the page's font DejaVuSans-Bold.ttf"),
          std::make_pair(iccPath, "the colour profile sRGB.icc")})
        if (path.empty()) {
            ShowError(wxString("Report not created: ") + what +
                      " was not found. Install the program again.");
            return false;
        }

    if (wxFileName::FileExists(fullPath) || (!reprint && wxFileName::FileExists(csvPath))) {
        if (!AskYesNo(_("File exists. Overwrite it?"), _("Print REPORT?"))) return false;
        // The earlier pair is kept, not overwritten: it may already be evidence.
        std::string error;
        if (!MoveReplacedAside({std::string(fullPath.utf8_str()), std::string(csvPath.utf8_str())},
                               FileStamp(now), &error)) {
            ShowError("Report not created: the earlier report could not be kept: " +
                      wxString::FromUTF8(error) + ".");
            return false;
        }
    }

    PdfDocument document;
    HPDF_Doc pdf = document.Get();
    if (pdf == nullptr) {
        printf("error: cannot create PdfDoc object\n");
        ShowError("Error creating report");
        return false;
    }

    // An archivable page (PDF/A-1b): fonts embedded, colours tied to sRGB,
    // and metadata that also carries the mark a later check reads.
    HPDF_UseUTFEncodings(pdf);
    HPDF_SetCurrentEncoder(pdf, "UTF-8");
    // Text, picture and fonts compressed (the fonts only when this is set
    // before they are taken); the library never compresses the XMP
    // metadata, as an archivable page asks.
    HPDF_SetCompressionMode(pdf, HPDF_COMP_ALL);
    PageFonts fonts;
    const char* regularName = HPDF_LoadTTFontFromFile(pdf, fontPath.mb_str(), HPDF_TRUE);
    const char* boldName = HPDF_LoadTTFontFromFile(pdf, boldPath.mb_str(), HPDF_TRUE);
    if (regularName) fonts.regular = HPDF_GetFont(pdf, regularName, "UTF-8");
    if (boldName) fonts.bold = HPDF_GetFont(pdf, boldName, "UTF-8");
    HPDF_OutputIntent intent = HPDF_LoadIccProfileFromFile(pdf, iccPath.mb_str(), 3);
    if (!fonts.regular || !fonts.bold || !intent) {
        ShowError("Report not created: the page's fonts or colour profile could not be read.");
        return false;
    }
    HPDF_PDFA_AppendOutputIntents(pdf, "sRGB IEC61966-2.1", intent);
    const std::string number = ReportNumber(setup.uuid);
    const std::string title = "Mounting report " + number;
    HPDF_SetInfoAttr(pdf, HPDF_INFO_TITLE, title.c_str());
    HPDF_SetInfoAttr(pdf, HPDF_INFO_SUBJECT, "Bearing mounting report");
    HPDF_SetInfoAttr(pdf, HPDF_INFO_CREATOR,
                     ("Vemo Press Pressure Recorder " + setup.version).c_str());
    HPDF_SetInfoAttr(pdf, HPDF_INFO_PRODUCER, "Vemo Press Pressure Recorder");
    HPDF_SetInfoAttr(pdf, HPDF_INFO_KEYWORDS, ReportMark(setup.uuid, csvSha256).c_str());
    const HPDF_Date made = PdfDate(now);
    HPDF_SetInfoDateAttr(pdf, HPDF_INFO_CREATION_DATE, made);
    HPDF_SetInfoDateAttr(pdf, HPDF_INFO_MOD_DATE, made);
    if (HPDF_PDFA_SetPDFAConformance(pdf, HPDF_PDFA_1B) != HPDF_OK) {
        ShowError("Error creating report");
        return false;
    }

    HPDF_Page page = HPDF_AddPage(pdf);
    HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_LANDSCAPE);
    const float h = HPDF_Page_GetHeight(page);
    const float w = HPDF_Page_GetWidth(page);
    HPDF_Page_SetLineWidth(page, 1);
    HPDF_Page_Rectangle(page, 20, 20, w - 40, h - 40);
    HPDF_Page_Stroke(page);

    HPDF_Page_SetFontAndSize(page, fonts.regular, 24);
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    HPDF_Page_BeginText(page);
    FittedText(page, fonts, false, 30, h - 50, w - 150 - 30 - 10, fileName);
    if (reprint) {
        HPDF_Page_SetFontAndSize(page, fonts.regular, 11);
        HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        BoldText(page, fonts, 400, h - 68, _("Reprint of ") + utf8(reprintOf));
    }
    HPDF_Page_EndText(page);

    const float y0 = static_cast<float>(static_cast<int>(h - 85));
    const float y1 = static_cast<float>(static_cast<int>(h - 90));
    const wxString pressName = utf8(setup.pressName);

    HPDF_Page_SetFontAndSize(page, fonts.regular, 14);
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    HPDF_Page_BeginText(page);
    Text(page, w - 150, h - 35, IsoDate(recording.stoppedAt));
    Text(page, w - 150, h - 50, IsoTime(recording.stoppedAt));
    FittedText(page, fonts, true, w - 150, h - 75, 125,
               _("Press: ") + (pressName.empty() ? _("none") : pressName));

    // The values fill their columns: the left one up to the bearing data,
    // the right one up to the frame.
    const float leftWidth = 400 - 170 - 10, rightWidth = w - 30 - 550;
    HPDF_Page_SetFontAndSize(page, fonts.regular, 18);
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    Text(page, 50, y0, _("Operator ID: "));
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    FittedText(page, fonts, true, 170, y0, leftWidth, utf8(job.operatorId));
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    Text(page, 50, y0 - 30, _("Axle data"));
    HPDF_Page_SetFontAndSize(page, fonts.regular, 14);
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    Text(page, 50, y0 - 55, _("Designation: "));
    FittedText(page, fonts, true, 170, y0 - 55, leftWidth, utf8(job.axleDesignation));
    Text(page, 50, y0 - 80, _("Mounting side: "));
    BoldText(page, fonts, 170, y0 - 80, side);

    HPDF_Page_SetFontAndSize(page, fonts.regular, 18);
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    Text(page, 400, y1, _("Bearing Data"));
    HPDF_Page_SetFontAndSize(page, fonts.regular, 14);
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    Text(page, 400, y1 - 25, _("Designation: "));
    FittedText(page, fonts, true, 550, y1 - 25, rightWidth, utf8(job.bearingDesignation));
    Text(page, 400, y1 - 50, _("Production date: "));
    FittedText(page, fonts, true, 550, y1 - 50, rightWidth, utf8(job.productionDate));
    Text(page, 400, y1 - 75, _("Refurbishment date: "));
    FittedText(page, fonts, true, 550, y1 - 75, rightWidth, utf8(job.refurbishmentDate));

    // A recording that ended before its length, or one still running, is
    // never taken for a whole one.
    const std::string& incomplete = recording.incomplete;
    // The right column below the bearing data, down to the signatures: the
    // verdict first, then the alarms and notes, as many as fit (all of them
    // are in the CSV file).
    const float signY = 140;
    const float floor = signY + 22;
    float ry = y1 - 100;
    if (!incomplete.empty()) {
        HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        HPDF_Page_SetFontAndSize(page, fonts.regular, 12);
        BoldText(page, fonts, 690, ry, _("INCOMPLETE"));
        HPDF_Page_SetFontAndSize(page, fonts.regular, 8);
        ry -= 14;
        for (const wxString& part : Wrapped(page, wxString::FromUTF8(incomplete), 130)) {
            Text(page, 690, ry, part);
            ry -= 10;
        }
        ry -= 8;
        HPDF_Page_SetRGBFill(page, 0, 0, 0);
    }

    // The results, right of the picture and below the press line.
    const RecordingResults results = recording.Results();
    auto line = [&](const wxString& text, float gap = 13) {
        Text(page, 690, ry, text);
        ry -= gap;
    };
    HPDF_Page_SetFontAndSize(page, fonts.regular, 11);
    BoldText(page, fonts, 690, ry, _("Results"));
    ry -= 15;
    HPDF_Page_SetFontAndSize(page, fonts.regular, 9);
    if (results.any) {
        line(wxString::Format(_("Peak force: %.1f t"), results.peakForceTons), 11);
        line(wxString::Format(_("  = %.1f kN at %.1f s"), results.peakForceTons * kKiloNewtonPerTon,
                              results.peakTimeSeconds));
        line(wxString::Format(_("Peak pressure: %d bar"), results.peakBar));
        line(_("Start: ") + IsoDateTime(recording.startedAt));
        line(wxString::Format(_("Recorded: %.1f s of %d s"), recording.LastTime(),
                              setup.recordLengthSeconds));
    } else {
        line(_("No recording"));
    }
    line(_("Surface: ") + wxString::FromUTF8(CsvNumber(setup.surface)) +
         wxString::FromUTF8(" cm\xC2\xB2"));
    line(_("Program version ") + utf8(setup.version));

    // The verdict, when the press had force limits at Start, with who set
    // them and when.
    const ForceLimits* limits = setup.hasLimits ? &setup.limits : nullptr;
    const Judgement judgement = recording.Judged();
    if (limits) {
        ry -= 2;
        line(_("Limits: ") + wxString::FromUTF8(LimitsText(*limits)), 11);
        HPDF_Page_SetFontAndSize(page, fonts.regular, 7);
        if (setup.limitsSetAt != 0)
            for (const wxString& part : Wrapped(page,
                                                _("set ") + IsoDateTime(setup.limitsSetAt) +
                                                    _(" by ") + utf8(setup.limitsSetBy),
                                                130))
                line(part, 9);
        ry -= 8;
        const bool pass = judgement.verdict == Verdict::Pass;
        HPDF_Page_SetFontAndSize(page, fonts.regular, 14);
        if (pass)
            HPDF_Page_SetRGBFill(page, 0, 0.55f, 0.2f);
        else
            HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        BoldText(page, fonts, 690, ry, pass ? _("Result: PASS") : _("Result: FAIL"));
        ry -= 12;
        HPDF_Page_SetFontAndSize(page, fonts.regular, 8);
        if (!pass)
            for (const wxString& part :
                 Wrapped(page, "(" + wxString::FromUTF8(judgement.reason) + ")", 130))
                line(part, 10);
        HPDF_Page_SetRGBFill(page, 0, 0, 0);
        ry -= 4;
    }

    // The alarms and notes, in red.
    std::vector<wxString> remarks;
    for (const AlarmRecord& alarm : recording.alarms)
        remarks.push_back(_("Alarm: ") + wxString::FromUTF8(AlarmText(alarm)));
    for (const std::string& note : {recording.startNote, recording.journalProblem})
        if (!note.empty()) remarks.push_back(_("Note: ") + wxString::FromUTF8(note));
    HPDF_Page_SetFontAndSize(page, fonts.regular, 8);
    HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
    for (size_t k = 0; k < remarks.size(); ++k) {
        const std::vector<wxString> parts = Wrapped(page, remarks[k], 130);
        if (ry - 10 * parts.size() < floor) {
            line(wxString::Format(k == 0 ? _("%d alarms and notes in the CSV file")
                                         : _("%d more alarms and notes in the CSV file"),
                                  static_cast<int>(remarks.size() - k)));
            break;
        }
        for (const wxString& part : parts)
            line(part, 10);
        ry -= 2;
    }
    HPDF_Page_SetRGBFill(page, 0, 0, 0);

    // Where the job is signed.
    HPDF_Page_SetFontAndSize(page, fonts.regular, 9);
    for (int k = 0; k < 2; ++k) {
        const float y = signY - k * 60;
        Text(page, 690, y, k == 0 ? _("Operator") : _("Inspector"));
        Text(page, 690, y - 30, _("Date"));
    }

    // What ties the page to its data: the report number, the CSV file and
    // its SHA-256, in words and in the code beside them.
    HPDF_Page_SetFontAndSize(page, fonts.regular, 9);
    Text(page, 30, 46, _("Report no. "));
    BoldText(page, fonts, 30 + Width(page, _("Report no. ")), 46, wxString::FromUTF8(number));
    HPDF_Page_SetFontAndSize(page, fonts.regular, 7);
    Text(page, 200, 46, _("Report ID ") + utf8(setup.uuid));
    Text(page, 30, 36, _("CSV file: ") + csvName);
    Text(page, 30, 27, _("SHA-256 of the CSV file: ") + utf8(csvSha256));
    HPDF_Page_SetFontAndSize(page, fonts.regular, 8);
    Text(page, 760, 27, _("Page 1 of 1"));
    HPDF_Page_EndText(page);
    HPDF_Page_SetLineWidth(page, 0.5);
    for (int k = 0; k < 2; ++k) {
        const float y = signY - k * 60;
        HPDF_Page_MoveTo(page, 735, y - 2);
        HPDF_Page_LineTo(page, 812, y - 2);
        HPDF_Page_MoveTo(page, 715, y - 32);
        HPDF_Page_LineTo(page, 812, y - 32);
    }
    HPDF_Page_Stroke(page);
    if (!DrawCode(page, ReportCodeText(setup.uuid, csvSha256), 624, 22, 64)) {
        ShowError("Error creating report");
        return false;
    }

    // The picture: the whole recorded curve, fitted as at the end of the
    // recording, drawn off-screen at one size whatever the window's size or
    // zoom, so its labels are the same size on every page (11-point axis
    // labels at 1200 pixels across 600 points: about 5.5 points).
    HPDF_STATUS drawn = HPDF_INVALID_IMAGE;
    {
        wxImage picture = RecordingPicture(parent, recording, kReportPictureSize, kCurveColour);
        picture.SetOption(wxIMAGE_OPTION_QUALITY, 90);
        wxMemoryOutputStream jpeg;
        if (picture.IsOk() && picture.SaveFile(jpeg, wxBITMAP_TYPE_JPEG)) {
            std::string bytes(jpeg.GetSize(), '\0');
            jpeg.CopyTo(&bytes[0], bytes.size());
            HPDF_Image image =
                HPDF_LoadJpegImageFromMem(pdf, reinterpret_cast<const HPDF_BYTE*>(bytes.data()),
                                          static_cast<HPDF_UINT>(bytes.size()));
            if (image)
                drawn = HPDF_Page_DrawImage(page, image, 22, 58, kPagePictureWidth,
                                            kPagePictureWidth * kReportPictureSize.y /
                                                kReportPictureSize.x);
        }
    }
    if (drawn != HPDF_OK) {
        ShowError("Error creating report");
        return false;
    }

    // Both files are written beside their final names and renamed into place,
    // so a failure never leaves a partial report.
    const wxString pdfTemporary = fullPath + ".tmp";
    FileGuard pdfGuard(pdfTemporary);
    std::string csvError, pdfError, pageBytes;
    wxString reason;
    if (!SavePdf(pdf, std::string(pdfTemporary.utf8_str()), &pdfError, &pageBytes)) {
        reason = "the file " + fullPath + " cannot be written (" + utf8(pdfError) + ")";
    } else if (!reprint && !WriteFileBytes(std::string(csvPath.utf8_str()), csvBytes, &csvError)) {
        reason =
            "the file " + csvPath + " cannot be written (" + wxString::FromUTF8(csvError) + ")";
    } else if (!RenameOver(std::string(pdfTemporary.utf8_str()),
                           std::string(fullPath.utf8_str()))) {
        const int code = errno;
        if (!reprint) wxRemoveFile(csvPath);
        reason = "the file " + fullPath + " cannot be written (" + std::strerror(code) + ")";
    }
    if (!reason.empty()) {
        ShowError("Report not created: " + reason + ".");
        return false;
    }
    pdfGuard.Keep();
    const std::string pdfSha256 = Sha256Hex(pageBytes);
    if (files) {
        files->pdfPath = fullPath.utf8_str();
        files->csvPath = csvPath.utf8_str();
        files->pageSha256 = pdfSha256;
    }
    if (reprint) ShowInfo(_("Report printed again: ") + fullPath, _("Success"));
    return true;
}

void TellReportWritten(const Recording& recording, const std::string& pdfPath) {
    const std::string& incomplete = recording.incomplete;
    const Judgement judgement = recording.Judged();
    const wxString fullPath = wxString::FromUTF8(pdfPath);
    // Named with its path; a FAIL or an INCOMPLETE recording is not
    // announced as a success.
    const wxString created = _("Report Created: ") + fullPath;
    if (!incomplete.empty())
        ShowInfo(created + "\n" + _("The recording is marked INCOMPLETE: ") +
                     wxString::FromUTF8(incomplete) + ".",
                 _("Report"));
    else if (judgement.verdict == Verdict::Fail)
        ShowInfo(created + "\n" + _("Result: FAIL") + " (" + wxString::FromUTF8(judgement.reason) +
                     ").",
                 _("Report"));
    else
        ShowInfo(created, _("Success"));
}
