// The mounting report: one A4 landscape PDF page with the job data, the press,
// the date and the picture of the recorded curve, and beside it the curve as a
// CSV file of the same name.
#include "recorder/report.h"
#include "station/translate.h"

#include "page/report_page.h"
#include "printing/printer.h"
#include "recorder/panel_host.h"

#include "records/file_access.h"
#include "station/local_time.h"
#include "recorder/recording_plot.h"
#include "records/integrity.h"
#include "station/report_data.h"
#include "recorder/messages.h"

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/stdpaths.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

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

/// The curve's picture as drawn for every page, whatever the window's size.
const wxSize kReportPictureSize(1200, 720);

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

} // namespace

bool FindPageResources(const PanelHost& host, PageResources* resources, wxString* missing) {
    const wxString fontPath = PageResource(host, "fonts/DejaVuSans.ttf",
                                           "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const wxString boldPath = PageResource(host, "fonts/DejaVuSans-Bold.ttf",
                                           "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    const wxString iccPath =
        PageResource(host, "color/sRGB.icc", "/usr/share/color/icc/colord/sRGB.icc");
    for (const auto& [path, what] :
         {std::make_pair(fontPath, N_("the page's font DejaVuSans.ttf")),
          std::make_pair(boldPath, N_("the page's font DejaVuSans-Bold.ttf")),
          std::make_pair(iccPath, N_("the colour profile sRGB.icc"))})
        if (path.empty()) {
            if (missing) *missing = TrW(what);
            return false;
        }
    // libharu opens its files by narrow names.
    *resources = {std::string(fontPath.mb_str()), std::string(boldPath.mb_str()),
                  std::string(iccPath.mb_str())};
    return true;
}

bool WriteReportFiles(wxWindow* parent, PanelHost& host, int64_t now, const Recording& recording,
                      const Reprint& again, ReportFiles* files) {
    const bool reprint = again.Is();
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
    wxString directory = host.ReportDirectory();
    if (!directory.EndsWith(wxString(wxFileName::GetPathSeparator())))
        directory += wxFileName::GetPathSeparator();
    const std::string named =
        ReportFileName(job.axleDesignation, job.mountingSide, FileDate(recording.stoppedAt));
    // A reprint is a page of its own beside the first print's CSV file,
    // wherever the report directory is now; when the first print wrote none
    // (the report was declined at the end of the recording), it writes it.
    const wxFileName firstCsv(utf8(again.csvPath));
    const bool besideFirst = reprint && !again.csvPath.empty() && firstCsv.FileExists();
    if (besideFirst) directory = firstCsv.GetPathWithSep();
    // Every recording's report has a name of its own: a re-mount of the same
    // axle side that day never takes, or moves, an earlier one's.
    const wxString fileName =
        besideFirst ? firstCsv.GetName() + ".pdf"
                    : utf8(UnusedReportName(std::string(directory.utf8_str()), named));
    if (fileName.empty()) {
        ShowError(
            wxString::Format(_("Report not created: %s already holds a thousand reports named %s."),
                             directory, utf8(named)));
        return false;
    }
    const wxString fullPath =
        reprint ? directory + fileName.BeforeLast('.') + "_reprint-" + utf8(FileStamp(now)) + ".pdf"
                : directory + fileName;
    const wxString csvName = fileName.BeforeLast('.') + ".csv";
    const bool writeCsv = !besideFirst;
    const wxString csvPath = writeCsv ? directory + csvName : wxString();

    // The CSV file is made first: the page carries its SHA-256.
    const std::string csvBytes = writeCsv ? CurveCsvText(recording) : std::string();
    const std::string csvSha256 = writeCsv ? Sha256Hex(csvBytes)
                                  : !recording.csvSha256.empty()
                                      ? recording.csvSha256
                                      : Sha256Hex(CurveCsvText(recording));

    PageResources resources;
    wxString missing;
    if (!FindPageResources(host, &resources, &missing)) {
        ShowError(wxString::Format(
            _("Report not created: %s was not found. Install the program again."), missing));
        return false;
    }

    // The picture: the whole recorded curve, fitted as at the end of the
    // recording, drawn off-screen at one size whatever the window's size or
    // zoom, so its labels are the same size on every page (11-point axis
    // labels at 1200 pixels across 600 points: about 5.5 points).
    std::string jpeg;
    {
        wxImage picture = RecordingPicture(parent, recording, kReportPictureSize, kCurveColour);
        picture.SetOption(wxIMAGE_OPTION_QUALITY, 90);
        wxMemoryOutputStream out;
        if (picture.IsOk() && picture.SaveFile(out, wxBITMAP_TYPE_JPEG)) {
            jpeg.assign(out.GetSize(), '\0');
            out.CopyTo(&jpeg[0], jpeg.size());
        }
    }
    ReportPageFacts facts;
    facts.recording = &recording;
    facts.fileName = fileName.utf8_str();
    facts.csvName = csvName.utf8_str();
    facts.plantName = host.PlantName().Strip(wxString::both).utf8_str();
    facts.csvSha256 = csvSha256;
    facts.reprintOf = again.firstPrinted;
    facts.reprintBy = again.by;
    facts.madeAt = now;
    facts.pictureAspect = static_cast<float>(kReportPictureSize.y) / kReportPictureSize.x;
    std::string pageBytes, pageProblem;
    if (!MakeReportPage(facts, resources, jpeg, &pageBytes, &pageProblem)) {
        ShowError(utf8(pageProblem));
        return false;
    }

    // Both files are written beside their final names and renamed into place,
    // so a failure never leaves a partial report.
    const wxString pdfTemporary = fullPath + ".tmp";
    FileGuard pdfGuard(pdfTemporary);
    std::string csvError, pdfError;
    wxString reason;
    if (!WriteFileBytes(std::string(pdfTemporary.utf8_str()), pageBytes, &pdfError)) {
        reason =
            wxString::Format(_("the file %s cannot be written (%s)"), fullPath, utf8(pdfError));
    } else if (writeCsv && !WriteFileBytes(std::string(csvPath.utf8_str()), csvBytes, &csvError)) {
        reason = wxString::Format(_("the file %s cannot be written (%s)"), csvPath, utf8(csvError));
    } else if (!RenameOver(std::string(pdfTemporary.utf8_str()),
                           std::string(fullPath.utf8_str()))) {
        const int code = errno;
        if (writeCsv) wxRemoveFile(csvPath);
        reason = wxString::Format(_("the file %s cannot be written (%s)"), fullPath,
                                  wxString(std::strerror(code)));
    }
    if (!reason.empty()) {
        ShowError(wxString::Format(_("Report not created: %s."), reason));
        return false;
    }
    pdfGuard.Keep();
    const std::string pdfSha256 = Sha256Hex(pageBytes);
    ReportFiles written;
    written.pdfPath = fullPath.utf8_str();
    written.csvPath = csvPath.utf8_str();
    written.pageSha256 = pdfSha256;
    // The page is evidence on paper too: where a printer is set, it gets the
    // file just written.
    written.printer = ReportPrinter(host);
    if (!written.printer.empty())
        PrintPdf(written.pdfPath, written.printer, std::string(fileName.utf8_str()),
                 &written.printedOn, &written.printProblem);
    if (files) *files = written;
    if (reprint)
        ShowInfo(_("Report printed again: ") + fullPath +
                     (writeCsv ? "\n" + _("Its CSV file, not written before, was written too: ") +
                                     csvPath
                               : wxString()) +
                     PrintedText(written),
                 _("Success"));
    return true;
}

std::string ReportPrinter(const PanelHost& host) {
    return ChosenPrinter(std::string(host.PrinterSetting().Strip(wxString::both).utf8_str()));
}

wxString PrintedText(const ReportFiles& files) {
    if (!files.printedOn.empty())
        return "\n" +
               wxString::Format(_("Sent to the printer %s."), wxString::FromUTF8(files.printedOn));
    if (!files.printer.empty())
        return "\n" + wxString::Format(_("Not printed on %s: %s. The PDF file is saved."),
                                       wxString::FromUTF8(files.printer),
                                       wxString::FromUTF8(files.printProblem));
    return "\n" + _("No printer is set: the page was saved as a PDF file only.");
}

void TellReportWritten(const Recording& recording, const ReportFiles& files) {
    const std::string& incomplete = recording.incomplete;
    const Judgement judgement = recording.Judged();
    const wxString fullPath = wxString::FromUTF8(files.pdfPath);
    const wxString printed = PrintedText(files);
    // Named with its path; a FAIL or an INCOMPLETE recording is not
    // announced as a success.
    const wxString created = _("Report Created: ") + fullPath;
    if (judgement.verdict == Verdict::Incomplete)
        ShowInfo(created + "\n" + _("The recording is marked INCOMPLETE: ") +
                     wxString::FromUTF8(judgement.reason) + "." + printed,
                 _("Report"));
    else if (judgement.verdict == Verdict::None && !incomplete.empty())
        ShowInfo(created + "\n" + _("The recording is marked INCOMPLETE: ") +
                     wxString::FromUTF8(incomplete) + "." + printed,
                 _("Report"));
    else if (judgement.verdict == Verdict::Fail)
        ShowInfo(created + "\n" + _("Result: FAIL") + " (" + wxString::FromUTF8(judgement.reason) +
                     ")." + printed,
                 _("Report"));
    else
        ShowInfo(created + printed, _("Success"));
}
