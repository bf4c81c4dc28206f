// The mounting report: one A4 landscape PDF page with the job data, the press,
// the date and the picture of the recorded curve, and beside it the curve as a
// CSV file of the same name.
#include "recorder/terminal_panel.h"

#include "plot/plot_canvas.h"
#include "recorder/file_access.h"
#include "recorder/limits.h"
#include "recorder/local_time.h"
#include "recorder/recording_plot.h"
#include "records/record_writer.h"
#include "recorder/report_data.h"
#include "recorder/messages.h"

#include <hpdf.h>

#include <wx/arrstr.h>
#include <wx/combobox.h>
#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
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
bool SavePdf(HPDF_Doc pdf, const std::string& path, std::string* why) {
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
    return written && closed;
}

const wxSize kReportPictureSize(1200, 720);

std::string Ansi(const wxString& text) {
    return ToWinAnsi(text.ToStdWstring());
}

void Text(HPDF_Page page, float x, float y, const wxString& text) {
    HPDF_Page_TextOut(page, x, y, Ansi(text).c_str());
}

void BoldText(HPDF_Page page, float x, float y, const wxString& text) {
    HPDF_Page_SetTextRenderingMode(page, HPDF_FILL_THEN_STROKE);
    HPDF_Page_SetLineWidth(page, 0.5);
    HPDF_Page_SetRGBStroke(page, 0, 0, 0);
    Text(page, x, y, text);
    HPDF_Page_SetTextRenderingMode(page, HPDF_FILL);
}

/// The text broken at spaces into lines no wider than `width` points in the
/// page's current font.
std::vector<wxString> Wrapped(HPDF_Page page, const wxString& text, float width) {
    std::vector<wxString> lines;
    wxString current;
    for (const wxString& word : wxSplit(text, ' ', '\0')) {
        const wxString longer = current.empty() ? word : current + " " + word;
        if (!current.empty() && HPDF_Page_TextWidth(page, Ansi(longer).c_str()) > width) {
            lines.push_back(current);
            current = word;
        } else {
            current = longer;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

} // namespace

void TerminalPanel::OnPrintReport(wxCommandEvent&) {
    CreateReport();
}

void TerminalPanel::CreateReport() {
    if (m_cycle.m_recording) {
        // Printed while it runs: what was recorded so far, never taken for a
        // whole recording.
        Recording running = CurrentRecording();
        running.stoppedAt = m_clock->Now().seconds;
        char text[64];
        std::snprintf(text, sizeof text, "printed during the recording at %.1f s",
                      running.LastTime());
        running.incomplete = text;
        WriteReport(running);
    } else if (m_lastRecording) {
        // Also after a new job was armed: the last recording with its own job.
        WriteReport(*m_lastRecording);
    } else {
        // Nothing recorded yet: a page of the job as it stands, marked so.
        Recording nothing;
        TakeSetup(nothing.setup, nullptr);
        nothing.stoppedAt = m_clock->Now().seconds;
        WriteReport(nothing);
    }
}

bool TerminalPanel::WriteReport(const Recording& recording, const std::string& reprintOf,
                                std::string* written) {
    const bool reprint = !reprintOf.empty();
    const RecordingSetup& setup = recording.setup;
    const JobData& job = setup.job;
    const char* const anyway = "\nDo you want to generate REPORT anyway?";
    const std::pair<const std::string*, const char*> checks[] = {
        {&job.operatorId, "Operator ID empty"},
        {&job.axleDesignation, "Axle designation empty"},
        {&job.bearingDesignation, "Bearing designation empty"},
        {&job.productionDate, "Bearing production date empty"},
        {&job.refurbishmentDate, "Bearing refurbishment date empty"},
    };
    for (const auto& [field, question] : checks) {
        if (!field->empty()) continue;
        if (reprint) break; // printed as it was
        if (!AskYesNo(wxString(question) + anyway, "Print REPORT?")) return false;
        break;
    }

    // Never into the root of the file system: ask for the directory first.
    if (m_host.ReportDirectory().empty() && !m_host.ChooseReportDirectory()) return false;

    auto utf8 = [](const std::string& text) { return wxString::FromUTF8(text); };
    const wxString side = utf8(job.mountingSide);
    const wxString fileName =
        utf8(ReportFileName(job.axleDesignation, job.mountingSide, FileDate(recording.stoppedAt)));
    wxString directory = m_host.ReportDirectory();
    if (!directory.EndsWith(wxString(wxFileName::GetPathSeparator())))
        directory += wxFileName::GetPathSeparator();
    // A reprint is a page of its own beside the first one; its CSV file is
    // the first one's.
    const wxString fullPath = reprint ? directory + fileName.BeforeLast('.') + "_reprint-" +
                                            utf8(FileStamp(m_clock->Now().seconds)) + ".pdf"
                                      : directory + fileName;
    const wxString csvPath = reprint ? wxString() : fullPath.BeforeLast('.') + ".csv";

    if (wxFileName::FileExists(fullPath) || (!reprint && wxFileName::FileExists(csvPath))) {
        if (!AskYesNo("File exists. Overwrite it?", "Print REPORT?")) return false;
        // The earlier pair is kept, not overwritten: it may already be evidence.
        std::string error;
        if (!MoveReplacedAside({std::string(fullPath.utf8_str()), std::string(csvPath.utf8_str())},
                               FileStamp(m_clock->Now().seconds), &error)) {
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

    HPDF_Page page = HPDF_AddPage(pdf);
    HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_LANDSCAPE);
    const float h = HPDF_Page_GetHeight(page);
    const float w = HPDF_Page_GetWidth(page);
    HPDF_Page_SetLineWidth(page, 1);
    HPDF_Page_Rectangle(page, 20, 20, w - 40, h - 40);
    HPDF_Page_Stroke(page);

    HPDF_Font font = HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding");
    HPDF_Page_SetFontAndSize(page, font, 24);
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    HPDF_Page_BeginText(page);
    Text(page, 30, h - 50, fileName);
    if (reprint) {
        HPDF_Page_SetFontAndSize(page, font, 11);
        HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        BoldText(page, 400, h - 68, "Reprint of " + utf8(reprintOf));
    }
    HPDF_Page_EndText(page);

    const float y0 = static_cast<float>(static_cast<int>(h - 85));
    const float y1 = static_cast<float>(static_cast<int>(h - 90));
    const wxString pressName = utf8(setup.pressName);

    HPDF_Page_SetFontAndSize(page, font, 14);
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    HPDF_Page_BeginText(page);
    Text(page, w - 150, h - 35, IsoDate(recording.stoppedAt));
    Text(page, w - 150, h - 50, IsoTime(recording.stoppedAt));
    BoldText(page, w - 150, h - 75, "Press: " + (pressName.empty() ? wxString("none") : pressName));

    HPDF_Page_SetFontAndSize(page, font, 18);
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    Text(page, 50, y0, "Operator ID: ");
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    BoldText(page, 170, y0, utf8(job.operatorId));
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    Text(page, 50, y0 - 30, "Axle data");
    HPDF_Page_SetFontAndSize(page, font, 14);
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    Text(page, 50, y0 - 55, "Designation: ");
    BoldText(page, 170, y0 - 55, utf8(job.axleDesignation));
    Text(page, 50, y0 - 80, "Mounting side: ");
    BoldText(page, 170, y0 - 80, side);

    HPDF_Page_SetFontAndSize(page, font, 18);
    HPDF_Page_SetRGBFill(page, 0, 0, 1);
    Text(page, 400, y1, "Bearing Data");
    HPDF_Page_SetFontAndSize(page, font, 14);
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    Text(page, 400, y1 - 25, "Designation: ");
    BoldText(page, 550, y1 - 25, utf8(job.bearingDesignation));
    Text(page, 400, y1 - 50, "Production date: ");
    BoldText(page, 550, y1 - 50, utf8(job.productionDate));
    Text(page, 400, y1 - 75, "Refurbishment date: ");
    BoldText(page, 550, y1 - 75, utf8(job.refurbishmentDate));

    // A recording that ended before its length, or one still running, is
    // never taken for a whole one.
    const std::string& incomplete = recording.incomplete;
    float ry = y1 - 165; // the results' top
    if (!incomplete.empty()) {
        HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        HPDF_Page_SetFontAndSize(page, font, 12);
        BoldText(page, 690, y1 - 120, "INCOMPLETE");
        HPDF_Page_SetFontAndSize(page, font, 8);
        float iy = y1 - 135;
        for (const wxString& part : Wrapped(page, wxString::FromUTF8(incomplete), 130)) {
            Text(page, 690, iy, part);
            iy -= 10;
        }
        ry = std::min(ry, iy - 8);
        HPDF_Page_SetRGBFill(page, 0, 0, 0);
    }

    // The results, right of the picture and below the press line.
    const RecordingResults results = recording.Results();
    auto line = [&](const wxString& text, float gap = 13) {
        Text(page, 690, ry, text);
        ry -= gap;
    };
    HPDF_Page_SetFontAndSize(page, font, 11);
    BoldText(page, 690, ry, "Results");
    ry -= 15;
    HPDF_Page_SetFontAndSize(page, font, 9);
    if (results.any) {
        line(wxString::Format("Peak force: %.1f t", results.peakForceTons), 11);
        line(wxString::Format("  = %.1f kN at %.1f s", results.peakForceTons * kKiloNewtonPerTon,
                              results.peakTimeSeconds));
        line(wxString::Format("Peak pressure: %d bar", results.peakBar));
        line("Start: " + IsoDateTime(recording.startedAt));
        line(wxString::Format("Recorded: %.1f s of %d s", recording.LastTime(),
                              setup.recordLengthSeconds));
    } else {
        line("No recording");
    }
    line("Surface: " + wxString::FromUTF8(CsvNumber(setup.surface)) +
         wxString::FromUTF8(" cm\xC2\xB2"));
    line("Program version " + utf8(setup.version));
    for (const std::string& note : {recording.startNote, recording.journalProblem}) {
        if (note.empty()) continue;
        HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        for (const wxString& part : Wrapped(page, "Note: " + wxString::FromUTF8(note), 130))
            line(part, 11);
        HPDF_Page_SetRGBFill(page, 0, 0, 0);
    }

    // The verdict, when the press had force limits at Start.
    const ForceLimits* limits = setup.hasLimits ? &setup.limits : nullptr;
    const Judgement judgement = recording.Judged();
    if (limits) {
        ry -= 4;
        line("Limits: " + wxString::FromUTF8(LimitsText(*limits)), 18);
        const bool pass = judgement.verdict == Verdict::Pass;
        HPDF_Page_SetFontAndSize(page, font, 14);
        if (pass)
            HPDF_Page_SetRGBFill(page, 0, 0.55f, 0.2f);
        else
            HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        BoldText(page, 690, ry, pass ? "Result: PASS" : "Result: FAIL");
        ry -= 12;
        HPDF_Page_SetFontAndSize(page, font, 8);
        if (!pass)
            for (const wxString& part :
                 Wrapped(page, "(" + wxString::FromUTF8(judgement.reason) + ")", 130))
                line(part, 10);
        HPDF_Page_SetRGBFill(page, 0, 0, 0);
    }

    // Where the job is signed.
    const float signY = 140;
    for (int k = 0; k < 2; ++k) {
        const float y = signY - k * 60;
        Text(page, 690, y, k == 0 ? "Operator" : "Inspector");
        Text(page, 690, y - 30, "Date");
    }
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

    // The picture: the whole recorded curve, fitted as at the end of the
    // recording, drawn off-screen at one size whatever the window's size or
    // zoom, so its labels are the same size on every page (11-point axis
    // labels at 1200 pixels across 650 points: about 8 points).
    HPDF_STATUS drawn = HPDF_INVALID_IMAGE;
    {
        wxImage picture =
            RecordingPicture(this, recording, kReportPictureSize, m_curve->GetPen().GetColour());
        picture.SetOption(wxIMAGE_OPTION_QUALITY, 90);
        wxMemoryOutputStream jpeg;
        if (picture.IsOk() && picture.SaveFile(jpeg, wxBITMAP_TYPE_JPEG)) {
            std::string bytes(jpeg.GetSize(), '\0');
            jpeg.CopyTo(&bytes[0], bytes.size());
            HPDF_Image image =
                HPDF_LoadJpegImageFromMem(pdf, reinterpret_cast<const HPDF_BYTE*>(bytes.data()),
                                          static_cast<HPDF_UINT>(bytes.size()));
            if (image)
                drawn = HPDF_Page_DrawImage(page, image, 22, 22, 650,
                                            650.0f * kReportPictureSize.y / kReportPictureSize.x);
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
    std::string csvError, pdfError;
    wxString reason;
    if (!SavePdf(pdf, std::string(pdfTemporary.utf8_str()), &pdfError)) {
        reason = "the file " + fullPath + " cannot be written (" + utf8(pdfError) + ")";
    } else if (!reprint && !WriteCurveCsv(std::string(csvPath.utf8_str()), recording, &csvError)) {
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
    if (written) *written = fullPath.utf8_str();
    if (reprint) {
        ShowInfo("Report printed again: " + fullPath, "Success");
        return true;
    }
    // The stored recording learns where its report is.
    if (m_recordWriter && m_lastRecording && &recording == &*m_lastRecording) {
        const std::string uuid = recording.setup.uuid, pdfPath(fullPath.utf8_str()),
                          csvFile(csvPath.utf8_str());
        const int64_t printedAt = m_clock->Now().seconds;
        m_recordWriter->Post(
            [=](RecordStore& store, std::string* why) {
                return store.SetReportFiles(uuid, pdfPath, csvFile, printedAt, why);
            },
            [this](bool ok, const std::string& why) {
                if (!ok) CallAfter([this, why] { OnStoreFailed(why); });
            });
    }
    if (incomplete.empty())
        ShowInfo("Report Created.", "Success");
    else
        ShowInfo("Report Created. The recording is marked INCOMPLETE: " +
                     wxString::FromUTF8(incomplete) + ".",
                 "Success");
    return true;
}
