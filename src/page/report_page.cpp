#include "page/report_page.h"

#include "page/page_parts.h"

#include "records/integrity.h"
#include "station/local_time.h"
#include "station/report_data.h"
#include "station/translate.h"

#include <hpdf.h>
#include <hpdf_pdfa.h>
#include <qrencode.h>

#include <wx/arrstr.h>
#include <wx/string.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace page_parts;

std::string PageLayout::Text() const {
    std::string all;
    for (const PageRun& run : runs)
        all += run.text + "\n";
    return all;
}

namespace {

/// A field's value as the page prints it: "—" for one left empty, so that
/// nothing can be written in later.
wxString Value(const std::string& utf8) {
    wxString text = W(utf8);
    text.Trim(true).Trim(false);
    return text.empty() ? wxString::FromUTF8("\xE2\x80\x94") : text;
}

} // namespace

PageLayout LayOutReportPage(const ReportPageFacts& facts, const PageMeasure& measure) {
    const Recording& recording = *facts.recording;
    const RecordingSetup& setup = recording.setup;
    const JobData& job = setup.job;
    PageLayout page;
    const float w = kPageWidth, h = kPageHeight;
    page.width = w;
    page.height = h;
    page.frame = {20, 20, w - 40, h - 40};
    const std::string number = ReportNumber(setup.uuid);
    page.title = "Mounting report " + number;
    page.subject = "Bearing mounting record";
    page.creator = "Vemo Press Pressure Recorder " + setup.version;
    page.keywords = ReportMark(setup.uuid, facts.csvSha256);
    page.madeAt = facts.madeAt;
    Pen pen(page, measure);

    // The document's title and the plant; the record's number and press on
    // the right; a reprint says so, when and by whom.
    pen.Use(20, PageColour::Black);
    pen.Shrunk(true, 30, h - 46, 500, TrW("Bearing mounting record"), 14);
    pen.Use(12, PageColour::Black);
    pen.Shrunk(false, 30, h - 62, 500, TrW("Plant: ") + Value(facts.plantName), 8);
    const float right = 560, rightWidth = w - 30 - right;
    pen.Use(12, PageColour::Black);
    const wxString numberLabel = TrW("Report no. ");
    const float labelWidth = pen.Shrunk(false, right, h - 46, 110, numberLabel, 8);
    pen.Shrunk(true, right + labelWidth, h - 46, rightWidth - labelWidth, W(number), 8);
    pen.Shrunk(false, right, h - 62, rightWidth, TrW("Press: ") + Value(setup.pressName), 8);
    if (!facts.reprintOf.empty()) {
        pen.Use(10, PageColour::Red);
        pen.Shrunk(true, 30, h - 77, w - 60,
                   W(TrFormat("REPRINT of the record of %s, printed %s by %s",
                              facts.reprintOf.c_str(), IsoDateTime(facts.madeAt).c_str(),
                              std::string(Value(facts.reprintBy).utf8_str()).c_str())),
                   7);
    }
    page.lines.push_back({20, h - 83, w - 20, h - 83, 0.5f});

    // The job, each label with its value; an empty field reads "—".
    auto field = [&](float x, float y, float labelSpan, float valueSpan, const char* label,
                     const wxString& value) {
        pen.Use(10.5f, PageColour::Black);
        pen.Shrunk(false, x, y, labelSpan - 6, TrW(label), 7);
        pen.InRow(true, x + labelSpan, y, valueSpan, value);
    };
    const float row0 = h - 98, step = 16;
    const wxString stopTime = W(IsoDate(recording.startedAt) == IsoDate(recording.stoppedAt)
                                    ? IsoTime(recording.stoppedAt)
                                    : IsoDateTime(recording.stoppedAt));
    const bool recorded = recording.startedAt != 0;
    field(30, row0, 120, 230, N_("Operator ID:"), Value(job.operatorId));
    field(30, row0 - step, 120, 230, N_("Axle:"), Value(job.axleDesignation));
    field(30, row0 - 2 * step, 120, 230, N_("Mounting side:"), Value(job.mountingSide));
    field(30, row0 - 3 * step, 120, 230, N_("Recorded:"),
          recorded ? W(TrFormat("from %s to %s", IsoDateTime(recording.startedAt).c_str(),
                                std::string(stopTime.utf8_str()).c_str()))
                   : Value(""));
    field(400, row0, 140, w - 30 - 540, N_("Bearing:"), Value(job.bearingDesignation));
    field(400, row0 - step, 140, w - 30 - 540, N_("Production date:"), Value(job.productionDate));
    field(400, row0 - 2 * step, 140, w - 30 - 540, N_("Refurbishment date:"),
          Value(job.refurbishmentDate));
    field(400, row0 - 3 * step, 140, w - 30 - 540, N_("Printed:"), W(IsoDateTime(facts.madeAt)));

    // The right column beside the picture, down to the signatures: a
    // recording that ended before its length is never taken for a whole
    // one; then the results, what judged them, the verdict, and the alarms
    // and notes as many as fit (all of them are in the CSV file).
    const float x = 606, width = w - 30 - x;
    const float signY = 172;
    const float floor = signY + 14;
    float ry = row0 - 3 * step - 22;
    if (!recording.incomplete.empty()) {
        pen.Use(12, PageColour::Red);
        pen.Text(x, ry, TrW("INCOMPLETE"), true);
        pen.Size(8);
        ry -= 14;
        for (const wxString& part : pen.Wrapped(W(NoteWords(recording.incomplete)), width)) {
            pen.Text(x, ry, part);
            ry -= 10;
        }
        ry -= 6;
        pen.Colour(PageColour::Black);
    }
    auto line = [&](const wxString& text, float gap = 12) {
        for (const wxString& part : pen.Wrapped(text, width)) {
            pen.Text(x, ry, part);
            ry -= gap;
        }
    };
    const RecordingResults results = recording.Results();
    pen.Use(11, PageColour::Black);
    pen.Text(x, ry, TrW("Results"), true);
    ry -= 14;
    pen.Size(9);
    if (results.any) {
        line(W(TrFormat("Peak force: %.1f t", results.peakForceTons)), 11);
        line(W(TrFormat("  = %.1f kN at %.1f s", results.peakForceTons * kKiloNewtonPerTon,
                        results.peakTimeSeconds)));
        line(W(TrFormat("Peak pressure: %d bar", results.peakBar)));
        line(W(
            TrFormat("Recorded: %.1f s of %d s", recording.LastTime(), setup.recordLengthSeconds)));
    } else {
        line(TrW("No recording"));
    }
    // The measuring chain: the press, its surface, module and calibration,
    // as the press register gave them at Start.
    if (setup.pressIdentity.empty()) {
        line(TrW("Surface: ") + W(CsvNumber(setup.surface)) + W(" cm\xC2\xB2"));
    } else {
        pen.Size(7);
        line(W(NoteWords(setup.pressIdentity)), 8);
        pen.Size(9);
        ry -= 3;
    }

    // What judged it: the program chosen at Start with its reference, or the
    // press's force limits with who set them and when; then the verdict and
    // what each criterion found.
    const Judgement judgement = recording.Judged();
    ry -= 3;
    pen.Use(9, PageColour::Black);
    if (setup.program) {
        line(TrW("Program: ") + W(setup.program->Title()), 11);
        pen.Size(7);
        if (!setup.program->description.empty())
            line(TrW("Reference: ") + W(setup.program->description), 8);
    } else if (judgement.verdict != Verdict::None || setup.hasLimits) {
        line(TrW("Limits: ") + W(LimitsText(setup.limits)), 11);
        pen.Size(7);
        line(setup.limitsSetAt != 0
                 ? W(TrFormat("the force limits of press %s, set %s by %s", setup.pressName.c_str(),
                              IsoDateTime(setup.limitsSetAt).c_str(),
                              std::string(Value(setup.limitsSetBy).utf8_str()).c_str()))
                 : W(TrFormat("the force limits of press %s", setup.pressName.c_str())),
             8);
    } else {
        line(TrW("Limits: ") + Value(""), 11);
        pen.Size(7);
        line(TrW("No verdict: the press had no force limits and no program judged it."), 8);
    }
    if (judgement.verdict != Verdict::None) {
        ry -= 8;
        const bool pass = judgement.verdict == Verdict::Pass;
        pen.Use(14, pass ? PageColour::Green : PageColour::Red);
        pen.Shrunk(true, x, ry, width,
                   pass                                       ? TrW("Result: PASS")
                   : judgement.verdict == Verdict::Incomplete ? TrW("Result: INCOMPLETE")
                                                              : TrW("Result: FAIL"),
                   8);
        ry -= 12;
        pen.Size(8);
        // Why it is INCOMPLETE, unless the block above already said it; a
        // FAIL's reason is its first NOK criterion below.
        if (judgement.verdict == Verdict::Incomplete &&
            judgement.reason != "recording incomplete: " + recording.incomplete)
            line("(" + W(NoteWords(judgement.reason)) + ")", 10);
        // What each criterion found, above the signatures: 7 points, 6 when
        // there are many. NOK ones come first for the room there is, then OK
        // ones; those that do not fit are counted (all of them are in the
        // CSV file), so the page never looks complete without one.
        auto lines = [&](const CriterionResult& c) {
            return pen.Wrapped((c.ok ? "OK " : "NOK ") + W(CriterionWords(c.text)), width);
        };
        float gap = 8.5f;
        pen.Size(7);
        size_t needed = 0;
        for (const CriterionResult& c : judgement.criteria)
            needed += lines(c).size();
        if (ry - needed * gap < floor) {
            pen.Size(6);
            gap = 7.3f;
        }
        const std::vector<CriterionResult>& criteria = judgement.criteria;
        std::vector<std::vector<wxString>> parts;
        for (const CriterionResult& c : criteria)
            parts.push_back(lines(c));
        std::vector<bool> shown(criteria.size(), false);
        float room = ry - floor - 2 * gap; // the counts' lines kept free
        for (const bool okPass : {false, true})
            for (size_t i = 0; i < criteria.size(); ++i)
                if (criteria[i].ok == okPass && parts[i].size() * gap <= room) {
                    shown[i] = true;
                    room -= parts[i].size() * gap;
                }
        int okUnshown = 0, nokUnshown = 0;
        for (size_t i = 0; i < criteria.size(); ++i) {
            if (!shown[i]) {
                ++(criteria[i].ok ? okUnshown : nokUnshown);
                continue;
            }
            pen.Colour(criteria[i].ok ? PageColour::Green : PageColour::Red);
            for (size_t k = 0; k < parts[i].size(); ++k) {
                pen.Text(x, ry, parts[i][k], k == 0 && !criteria[i].ok);
                ry -= gap;
            }
        }
        if (nokUnshown > 0) {
            pen.Colour(PageColour::Red);
            line(W(TrFormat("%d more criteria NOK, in the CSV file", nokUnshown)), gap);
        }
        if (okUnshown > 0) {
            pen.Colour(PageColour::Green);
            line(W(TrFormat("%d more criteria OK, in the CSV file", okUnshown)), gap);
        }
        pen.Colour(PageColour::Black);
        ry -= 4;
    }

    // The alarms and notes, in red.
    std::vector<wxString> remarks;
    for (const AlarmRecord& alarm : recording.alarms)
        remarks.push_back(TrW("Alarm: ") + W(AlarmText(alarm, true)));
    for (const std::string& note : {setup.calibrationNote, recording.startNote,
                                    recording.journalProblem, recording.clockNote})
        if (!note.empty() && note != judgement.reason)
            remarks.push_back(TrW("Note: ") + W(NoteWords(note)));
    pen.Use(8, PageColour::Red);
    for (size_t k = 0; k < remarks.size(); ++k) {
        const std::vector<wxString> parts = pen.Wrapped(remarks[k], width);
        if (ry - 10 * parts.size() < floor) {
            const int rest = static_cast<int>(remarks.size() - k);
            line(W(k == 0 ? TrFormat("%d alarms and notes in the CSV file", rest)
                          : TrFormat("%d more alarms and notes in the CSV file", rest)));
            break;
        }
        line(remarks[k], 10);
        ry -= 2;
    }

    // Where the job is signed: each signature over a line, the signer's
    // printed name and the date under it.
    for (int k = 0; k < 2; ++k) {
        const float y = signY - k * 62;
        pen.Use(9, PageColour::Black);
        pen.Shrunk(true, x, y, width, k == 0 ? TrW("Operator") : TrW("Inspector"), 7);
        page.lines.push_back({x, y - 20, w - 30, y - 20, 0.5f});
        pen.Use(7, PageColour::Black);
        const wxString name = k == 0 ? TrW("Name: ") + Value(job.operatorId) : TrW("Name: ");
        pen.Shrunk(false, x, y - 28, width * 0.62f, name, 5);
        pen.Shrunk(false, x + width * 0.64f, y - 28, width * 0.36f, TrW("Date: "), 5);
        if (k == 1) page.lines.push_back({x + 24, y - 30, x + width * 0.6f, y - 30, 0.4f});
        page.lines.push_back({x + width * 0.64f + 20, y - 30, w - 30, y - 30, 0.4f});
    }

    // What ties the page to its data: the CSV file and its SHA-256, in
    // words and in the code beside them; the document's footer with the
    // program that made it.
    pen.Use(8, PageColour::Black);
    pen.Text(100, 80, TrW("Report no. ") + W(number));
    pen.Size(7);
    pen.Text(100, 68, TrW("CSV file: ") + W(facts.csvName));
    pen.Text(100, 58, TrW("SHA-256 of the CSV file: ") + W(facts.csvSha256));
    pen.Text(100, 26,
             W(TrFormat("Vemo Press Pressure Recorder %s \xC2\xB7 PC %s", setup.version.c_str(),
                        std::string(Value(setup.pcName).utf8_str()).c_str())));
    pen.Size(8);
    const wxString pageOf = TrW("Page 1 of 1");
    pen.Text(w - 30 - pen.Width(pageOf), 26, pageOf);
    page.code = {24, 22, 70, 70};
    page.codeText = ReportCodeText(setup.uuid, facts.csvSha256);
    // The picture: the whole recorded curve, 570 points across.
    page.picture = {22, 100, 570, 570 * facts.pictureAspect};
    return page;
}

//-----------------------------------------------------------------------------
// The PDF

namespace page_parts {

void PdfErrorHandler(HPDF_STATUS errorNo, HPDF_STATUS detailNo, void*) {
    printf("ERROR: error_no=%04X, detail_no=%u\n", static_cast<unsigned>(errorNo),
           static_cast<unsigned>(detailNo));
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

void Fill(HPDF_Page page, PageColour colour) {
    switch (colour) {
    case PageColour::Blue:
        HPDF_Page_SetRGBFill(page, 0, 0, 1);
        break;
    case PageColour::Red:
        HPDF_Page_SetRGBFill(page, 0.8f, 0, 0);
        break;
    case PageColour::Green:
        HPDF_Page_SetRGBFill(page, 0, 0.55f, 0.2f);
        break;
    case PageColour::Black:
        HPDF_Page_SetRGBFill(page, 0, 0, 0);
        break;
    }
}

void Stroke(HPDF_Page page, PageColour colour) {
    switch (colour) {
    case PageColour::Blue:
        HPDF_Page_SetRGBStroke(page, 0.1f, 0.2f, 0.6f);
        break;
    case PageColour::Red:
        HPDF_Page_SetRGBStroke(page, 0.8f, 0, 0);
        break;
    case PageColour::Green:
        HPDF_Page_SetRGBStroke(page, 0, 0.5f, 0.2f);
        break;
    case PageColour::Black:
        HPDF_Page_SetRGBStroke(page, 0, 0, 0);
        break;
    }
}

/// The QR code of `text` as black squares filling `box` with its quiet zone.
bool DrawCode(HPDF_Page page, const std::string& text, const PageBox& box) {
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code) return false;
    const int n = code->width;
    const float module = box.width / (n + 8); // four modules of quiet zone on each side
    HPDF_Page_SetRGBFill(page, 0, 0, 0);
    for (int row = 0; row < n; ++row)
        for (int column = 0; column < n; ++column)
            if (code->data[row * n + column] & 1)
                HPDF_Page_Rectangle(page, box.x + (column + 4) * module,
                                    box.y + box.width - (row + 5) * module, module, module);
    HPDF_Page_Fill(page);
    return true;
}

/// The document's bytes as a file holds them.
bool DocumentBytes(HPDF_Doc pdf, std::string* bytes) {
    if (HPDF_SaveToStream(pdf) != HPDF_OK) return false;
    bytes->assign(HPDF_GetStreamSize(pdf), '\0');
    HPDF_UINT32 size = static_cast<HPDF_UINT32>(bytes->size());
    if (bytes->empty()) return false;
    // The whole stream in one read ends at its end: a status of "end of
    // stream" with every byte read is success.
    HPDF_ReadFromStream(pdf, reinterpret_cast<HPDF_BYTE*>(&(*bytes)[0]), &size);
    return size == bytes->size();
}

/// The document's title, subject, creator, keywords and dates.
void SetMetadata(HPDF_Doc pdf, const PageLayout& layout) {
    HPDF_SetInfoAttr(pdf, HPDF_INFO_TITLE, layout.title.c_str());
    HPDF_SetInfoAttr(pdf, HPDF_INFO_SUBJECT, layout.subject.c_str());
    HPDF_SetInfoAttr(pdf, HPDF_INFO_CREATOR, layout.creator.c_str());
    HPDF_SetInfoAttr(pdf, HPDF_INFO_PRODUCER, "Vemo Press Pressure Recorder");
    HPDF_SetInfoAttr(pdf, HPDF_INFO_KEYWORDS, layout.keywords.c_str());
    const HPDF_Date made = PdfDate(layout.madeAt);
    HPDF_SetInfoDateAttr(pdf, HPDF_INFO_CREATION_DATE, made);
    HPDF_SetInfoDateAttr(pdf, HPDF_INFO_MOD_DATE, made);
}

/// Every run of text and every line of the layout onto the page.
void DrawLaidOut(HPDF_Page page, const PageLayout& layout, const PageDocument& document) {
    HPDF_Page_BeginText(page);
    for (const PageRun& run : layout.runs) {
        HPDF_Page_SetFontAndSize(page, run.bold ? document.bold : document.regular, run.size);
        Fill(page, run.colour);
        HPDF_Page_TextOut(page, run.x, run.y, run.text.c_str());
    }
    HPDF_Page_EndText(page);
    for (const PageLine& line : layout.lines) {
        HPDF_Page_SetLineWidth(page, line.width);
        Stroke(page, line.colour);
        HPDF_Page_MoveTo(page, line.x0, line.y0);
        HPDF_Page_LineTo(page, line.x1, line.y1);
        HPDF_Page_Stroke(page);
    }
}

} // namespace page_parts

struct PageFontMetrics::Impl {
    explicit Impl(const PageResources& resources) : document(resources) {}
    PageDocument document;
};

PageFontMetrics::PageFontMetrics(const PageResources& resources) : m_impl(new Impl(resources)) {}

PageFontMetrics::~PageFontMetrics() {
    delete m_impl;
}

bool PageFontMetrics::Ok() const {
    return m_impl->document.regular && m_impl->document.bold;
}

float PageFontMetrics::Width(const std::string& text, bool bold, float size) const {
    return m_impl->document.Width(text, bold, size);
}

bool MakeReportPage(const ReportPageFacts& facts, const PageResources& resources,
                    const std::string& pictureJpeg, std::string* pdfBytes, std::string* why) {
    const std::string failed = "Error creating report";
    PageDocument document(resources);
    HPDF_Doc pdf = document.doc;
    if (pdf == nullptr) {
        printf("error: cannot create PdfDoc object\n");
        *why = failed;
        return false;
    }
    // An archivable page (PDF/A-1b): fonts embedded, colours tied to sRGB,
    // and metadata that also carries the mark a later check reads.
    HPDF_OutputIntent intent = HPDF_LoadIccProfileFromFile(pdf, resources.colourProfile.c_str(), 3);
    if (!document.regular || !document.bold || !intent) {
        *why = "Report not created: the page's fonts or colour profile could not be read.";
        return false;
    }
    HPDF_PDFA_AppendOutputIntents(pdf, "sRGB IEC61966-2.1", intent);
    const PageLayout layout =
        LayOutReportPage(facts, [&](const std::string& text, bool bold, float size) {
            return document.Width(text, bold, size);
        });
    SetMetadata(pdf, layout);
    if (HPDF_PDFA_SetPDFAConformance(pdf, HPDF_PDFA_1B) != HPDF_OK) {
        *why = failed;
        return false;
    }

    HPDF_Page page = HPDF_AddPage(pdf);
    HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_LANDSCAPE);
    HPDF_Page_SetLineWidth(page, 1);
    HPDF_Page_Rectangle(page, layout.frame.x, layout.frame.y, layout.frame.width,
                        layout.frame.height);
    HPDF_Page_Stroke(page);
    DrawLaidOut(page, layout, document);
    if (!DrawCode(page, layout.codeText, layout.code)) {
        *why = failed;
        return false;
    }
    HPDF_Image image =
        HPDF_LoadJpegImageFromMem(pdf, reinterpret_cast<const HPDF_BYTE*>(pictureJpeg.data()),
                                  static_cast<HPDF_UINT>(pictureJpeg.size()));
    if (!image || HPDF_Page_DrawImage(page, image, layout.picture.x, layout.picture.y,
                                      layout.picture.width, layout.picture.height) != HPDF_OK) {
        *why = failed;
        return false;
    }
    if (!DocumentBytes(pdf, pdfBytes)) {
        *why = failed;
        return false;
    }
    return true;
}

std::vector<PageLayout> LayOutTrailPages(const TrailPagesFacts& facts, const PageMeasure& measure) {
    constexpr float kMargin = 28, kSize = 7.5f, kLine = 9;
    constexpr int kMostLines = 8;
    static const float widths[] = {88, 74, 46, 58, 86, 162, 162, 110};
    const wxString headings[] = {TrW("When"), TrW("Who"),       TrW("PC"),        TrW("Press"),
                                 TrW("What"), TrW("Old value"), TrW("New value"), TrW("Reason")};
    std::vector<PageLayout> pages;
    PageLayout* page = nullptr;
    std::unique_ptr<Pen> pen;
    float y = 0;
    const std::vector<Change> none;
    const std::vector<Change>& changes = facts.changes ? *facts.changes : none;
    auto begin = [&] {
        pages.emplace_back();
        page = &pages.back();
        page->width = kPageWidth;
        page->height = kPageHeight;
        page->madeAt = facts.madeAt;
        page->title = "Audit trail";
        page->subject = facts.selection;
        page->creator = "Vemo Press Pressure Recorder " + facts.version;
        pen = std::make_unique<Pen>(*page, measure);
        y = kPageHeight - kMargin - 14;
        pen->Use(14, PageColour::Black);
        pen->Text(kMargin, y, TrW("Audit trail"), true);
        pen->Use(9, PageColour::Black);
        y -= 14;
        pen->Text(kMargin, y,
                  W(facts.selection) +
                      wxString::Format(TrW(" \xE2\x80\x94 %d entries, newest first"),
                                       static_cast<int>(changes.size())));
        y -= 16;
        pen->Use(kSize, PageColour::Black);
        float x = kMargin;
        for (int c = 0; c < 8; ++c) {
            pen->Text(x, y, headings[c], true);
            x += widths[c];
        }
        page->lines.push_back({kMargin, y - 3, kPageWidth - kMargin, y - 3, 0.8f});
        y -= kLine + 3;
    };
    begin();
    for (const Change& c : changes) {
        const std::string cells[] = {IsoDateTime(c.at), c.who,      c.pcName, c.press, c.what,
                                     c.oldValue,        c.newValue, c.reason};
        std::vector<std::vector<wxString>> wrapped;
        size_t rows = 1;
        for (int k = 0; k < 8; ++k) {
            std::vector<wxString> lines = pen->Wrapped(W(cells[k]), widths[k] - 4);
            if (lines.size() > kMostLines) {
                lines.resize(kMostLines);
                lines.back() = TrW("\xE2\x80\xA6 (whole in the CSV export)");
            }
            rows = std::max(rows, lines.size());
            wrapped.push_back(std::move(lines));
        }
        if (y - rows * kLine < kMargin + 14) begin();
        float x = kMargin;
        for (int k = 0; k < 8; ++k) {
            float line = y;
            for (const wxString& part : wrapped[k]) {
                pen->Text(x, line, part);
                line -= kLine;
            }
            x += widths[k];
        }
        y -= rows * kLine;
        page->lines.push_back({kMargin, y + kLine - 3, kPageWidth - kMargin, y + kLine - 3, 0.3f});
        y -= 3;
    }
    for (size_t i = 0; i < pages.size(); ++i) {
        Pen footer(pages[i], measure);
        footer.Use(7, PageColour::Black);
        footer.Text(
            kMargin, kMargin - 10,
            TrW("Printed ") + W(IsoDateTime(facts.madeAt)) + TrW(" on ") +
                W(facts.pcName + " \xC2\xB7 Vemo Press Pressure Recorder " + facts.version));
        const wxString number = wxString::Format(TrW("page %d of %d"), static_cast<int>(i + 1),
                                                 static_cast<int>(pages.size()));
        footer.Text(kPageWidth - kMargin - footer.Width(number), kMargin - 10, number);
    }
    return pages;
}

bool page_parts::WritePages(
    const PageResources& resources,
    const std::function<std::vector<PageLayout>(const PageMeasure&)>& layOut,
    std::string* pdfBytes) {
    PageDocument document(resources);
    HPDF_Doc pdf = document.doc;
    HPDF_OutputIntent intent =
        pdf ? HPDF_LoadIccProfileFromFile(pdf, resources.colourProfile.c_str(), 3) : nullptr;
    if (!pdf || !document.regular || !document.bold || !intent) return false;
    HPDF_PDFA_AppendOutputIntents(pdf, "sRGB IEC61966-2.1", intent);
    const std::vector<PageLayout> pages =
        layOut([&](const std::string& text, bool bold, float size) {
            return document.Width(text, bold, size);
        });
    if (pages.empty()) return false;
    SetMetadata(pdf, pages.front());
    if (HPDF_PDFA_SetPDFAConformance(pdf, HPDF_PDFA_1B) != HPDF_OK) return false;
    for (const PageLayout& layout : pages) {
        HPDF_Page page = HPDF_AddPage(pdf);
        HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_LANDSCAPE);
        DrawLaidOut(page, layout, document);
        if (!layout.codeText.empty() && !DrawCode(page, layout.codeText, layout.code)) return false;
    }
    return DocumentBytes(pdf, pdfBytes);
}

bool MakeTrailPages(const TrailPagesFacts& facts, const PageResources& resources,
                    std::string* pdfBytes, std::string* why) {
    if (WritePages(
            resources, [&](const PageMeasure& measure) { return LayOutTrailPages(facts, measure); },
            pdfBytes))
        return true;
    *why = "The audit trail's pages could not be made: the page's fonts or colour profile could "
           "not be read.";
    return false;
}
