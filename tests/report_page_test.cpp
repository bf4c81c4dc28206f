// The report's page without a window: what it says and where, read as text
// from its layout, and the PDF it makes.
#include "page/report_page.h"

#include "link/link.h"
#include "link/transport.h"

#include "records/integrity.h"
#include "station/press_register.h"
#include "station/translate.h"

#include <gtest/gtest.h>

#include <wx/init.h>

#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

/// The page's faces beside the program (Windows) or the system's (Debian).
PageResources Resources() {
    auto first = [](std::initializer_list<const char*> paths) {
        for (const char* path : paths)
            if (std::ifstream(path)) return std::string(path);
        return std::string();
    };
    return {first({"fonts/DejaVuSans.ttf", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"}),
            first({"fonts/DejaVuSans-Bold.ttf",
                   "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"}),
            first({"color/sRGB.icc", "/usr/share/color/icc/colord/sRGB.icc"})};
}

/// A stroke with noise and jitter on its times, up to `peakTons` and down.
Recording Stroke(double peakTons) {
    Recording r;
    r.setup.job = {"OP7", "AX12", "B", "TBU 130x230", "2024-01", "2026-11"};
    r.setup.pressName = "Press A";
    r.setup.surface = 1250;
    r.setup.hasLimits = true;
    r.setup.limits = {350, 420};
    r.setup.recordLengthSeconds = 20;
    r.setup.version = "1.0.8";
    r.setup.uuid = "5ec07c02be5b4a1c8d2e3f4a5b6c7d8e";
    r.startedAt = r.stoppedAt = 1796760000;
    unsigned noise = 7;
    for (int i = 0; i <= 200; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double jitter = (static_cast<int>((noise >> 16) % 7) - 3) * 0.001;
        const double rise = i < 100 ? i / 100.0 : (200 - i) / 100.0;
        r.times.push_back(i * 0.075 + jitter);
        r.forces.push_back(i == 100 ? peakTons : peakTons * rise - ((noise >> 8) % 5) * 0.1);
        r.pressures.push_back(static_cast<int>(r.forces.back() / 1250 * 100 / 0.102));
    }
    return r;
}

struct PageTest : testing::Test {
    void SetUp() override { ASSERT_TRUE(metrics.Ok()) << "the page's fonts are not installed"; }
    PageLayout Lay(const Recording& recording, const std::string& reprintOf = "") {
        ReportPageFacts facts;
        facts.recording = &recording;
        facts.fileName = "Report_Mounting_AX12B_20261208.pdf";
        facts.csvName = "Report_Mounting_AX12B_20261208.csv";
        facts.csvSha256 = std::string(64, 'a');
        facts.reprintOf = reprintOf;
        facts.madeAt = 1796760000;
        return LayOutReportPage(facts, [&](const std::string& text, bool bold, float size) {
            return metrics.Width(text, bold, size);
        });
    }
    const PageRun* Find(const PageLayout& page, const std::string& text) {
        for (const PageRun& run : page.runs)
            if (run.text == text) return &run;
        return nullptr;
    }
    PageFontMetrics metrics{Resources()};
};

} // namespace

// At the upper limit's boundary: 420.0 t is PASS in green, 420.1 t FAIL in
// red with its reason, and a recording cut short is INCOMPLETE, never PASS.
TEST_F(PageTest, TheVerdictAtTheLimitsBoundaryInItsColourWithItsReason) {
    const PageLayout pass = Lay(Stroke(420.0));
    const PageRun* verdict = Find(pass, "Result: PASS");
    ASSERT_NE(verdict, nullptr) << pass.Text();
    EXPECT_EQ(verdict->colour, PageColour::Green);
    EXPECT_TRUE(verdict->bold);
    EXPECT_NE(Find(pass, "Peak force: 420.0 t"), nullptr) << pass.Text();
    EXPECT_NE(Find(pass, "Limits: 350.0 t \xE2\x80\xA6 420.0 t"), nullptr) << pass.Text();

    const PageLayout fail = Lay(Stroke(420.1));
    verdict = Find(fail, "Result: FAIL");
    ASSERT_NE(verdict, nullptr) << fail.Text();
    EXPECT_EQ(verdict->colour, PageColour::Red);
    EXPECT_EQ(Find(fail, "Result: PASS"), nullptr);
    EXPECT_NE(fail.Text().find("above 420.0 t"), std::string::npos) << fail.Text();

    Recording cut = Stroke(400);
    cut.incomplete = "module lost at 7.5 s";
    const PageLayout incomplete = Lay(cut);
    ASSERT_NE(Find(incomplete, "INCOMPLETE"), nullptr) << incomplete.Text();
    EXPECT_EQ(Find(incomplete, "INCOMPLETE")->colour, PageColour::Red);
    EXPECT_NE(Find(incomplete, "module lost at 7.5 s"), nullptr);
    EXPECT_EQ(Find(incomplete, "Result: PASS"), nullptr);
}

// A job field too long for its column is set smaller, and put in two lines
// within its row; every character is on the page, left of the next column.
TEST_F(PageTest, ALongFieldIsSetSmallerAndWrappedNeverCut) {
    Recording r = Stroke(400);
    r.setup.job.operatorId =
        "\xC5\x81ukasz \xC5\xBB\xC3\xB3\xC5\x82\xC4\x87 " + std::string(50, 'W');
    const PageLayout page = Lay(r);
    const float row = 595.276f - 98; // the operator's row
    std::string shown;
    int parts = 0;
    for (const PageRun& run : page.runs) {
        if (run.x != 150 || std::fabs(run.y - row) > 8) continue;
        shown += run.text;
        ++parts;
        EXPECT_GE(run.size, 6);
        EXPECT_LE(metrics.Width(run.text, true, run.size), 230.5f) << run.text;
    }
    EXPECT_EQ(parts, 2);
    EXPECT_EQ(shown, r.setup.job.operatorId);
}

// Alarms and notes fill the column down to the signatures; the rest are
// counted, in the CSV file. The footer ties the page to its CSV file.
TEST_F(PageTest, NotesThatDoNotFitAreCountedAndTheFooterNamesTheCsvFile) {
    Recording r = Stroke(400);
    for (int k = 0; k < 30; ++k) {
        AlarmRecord alarm;
        alarm.thresholdBar = 290;
        alarm.startedAt = 1796760000 + k;
        alarm.peakBar = 300 + k;
        r.alarms.push_back(alarm);
    }
    r.startNote = "started at 318 bar: the rise is not on the curve";
    const PageLayout page = Lay(r, "2026-12-08 18:40:22");
    int shown = 0;
    const PageRun* count = nullptr;
    for (const PageRun& run : page.runs) {
        if (run.text.rfind("Alarm: ", 0) == 0) {
            ++shown;
            EXPECT_GE(run.y, 180) << run.text; // above the signatures
        }
        if (run.text.find("more alarms and notes in the CSV file") != std::string::npos)
            count = &run;
    }
    EXPECT_GE(shown, 2);
    ASSERT_NE(count, nullptr) << page.Text();
    EXPECT_EQ(count->text, std::to_string(31 - shown) + " more alarms and notes in the CSV file");
    bool reprint = false;
    for (const PageRun& run : page.runs)
        reprint = reprint ||
                  run.text.rfind("REPRINT of the record of 2026-12-08 18:40:22, printed ", 0) == 0;
    EXPECT_TRUE(reprint) << page.Text();
    EXPECT_NE(Find(page, "CSV file: Report_Mounting_AX12B_20261208.csv"), nullptr);
    EXPECT_NE(Find(page, "SHA-256 of the CSV file: " + std::string(64, 'a')), nullptr);
    EXPECT_NE(Find(page, "5EC0-7C02-BE5B"), nullptr) << page.Text();
    EXPECT_EQ(page.codeText, ReportCodeText(r.setup.uuid, std::string(64, 'a')));
}

// The PDF is made from the layout, with the mark a later check reads in its
// metadata; a picture that is no JPEG is refused in words.
TEST_F(PageTest, ThePdfCarriesTheMarkAndABadPictureIsRefused) {
    static const unsigned char kJpeg[] = {
        0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00,
        0x01, 0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x02, 0x02,
        0x02, 0x03, 0x02, 0x02, 0x02, 0x03, 0x03, 0x03, 0x03, 0x04, 0x06, 0x04, 0x04, 0x04, 0x04,
        0x04, 0x08, 0x06, 0x06, 0x05, 0x06, 0x09, 0x08, 0x0a, 0x0a, 0x09, 0x08, 0x09, 0x09, 0x0a,
        0x0c, 0x0f, 0x0c, 0x0a, 0x0b, 0x0e, 0x0b, 0x09, 0x09, 0x0d, 0x11, 0x0d, 0x0e, 0x0f, 0x10,
        0x10, 0x11, 0x10, 0x0a, 0x0c, 0x12, 0x13, 0x12, 0x10, 0x13, 0x0f, 0x10, 0x10, 0x10, 0xff,
        0xc0, 0x00, 0x0b, 0x08, 0x00, 0x0a, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00,
        0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00,
        0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0xaa, 0x60, 0x3f, 0xff, 0xd9};
    const Recording r = Stroke(400);
    ReportPageFacts facts;
    facts.recording = &r;
    facts.fileName = "Report_Mounting_AX12B_20261208.pdf";
    facts.csvName = "Report_Mounting_AX12B_20261208.csv";
    facts.csvSha256 = std::string(64, 'b');
    facts.madeAt = 1796760000;
    std::string pdf, why;
    ASSERT_TRUE(MakeReportPage(facts, Resources(),
                               std::string(reinterpret_cast<const char*>(kJpeg), sizeof kJpeg),
                               &pdf, &why))
        << why;
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find(ReportMark(r.setup.uuid, facts.csvSha256)), std::string::npos);
    EXPECT_FALSE(MakeReportPage(facts, Resources(), "not a picture", &pdf, &why));
    EXPECT_EQ(why, "Error creating report");
    PageResources missing = Resources();
    missing.colourProfile = "no-such-profile.icc";
    EXPECT_FALSE(MakeReportPage(facts, missing, "", &pdf, &why));
    EXPECT_EQ(why, "Report not created: the page's fonts or colour profile could not be read.");
}

// A program with many criteria: every NOK one is on the page, the OK ones
// that do not fit above the signatures are counted, and nothing of the
// column runs into them.
TEST_F(PageTest, EveryFailingCriterionIsShownAndTheRestCountedAboveTheSignatures) {
    Recording r = Stroke(400);
    auto program = std::make_shared<Program>();
    program->name = "TBU 130x230";
    program->bearing = "TBU*";
    Criterion peak;
    peak.kind = CriterionKind::Peak;
    peak.minTons = 350;
    peak.maxTons = 420;
    program->criteria.push_back(peak);
    for (int k = 0; k < 28; ++k) {
        Criterion w;
        w.kind = CriterionKind::Window;
        w.fromSeconds = k * 0.5;
        w.toSeconds = k * 0.5 + 0.25;
        w.minTons = 0;
        w.maxTons = k == 27 ? 1 : 450; // the last one fails
        program->criteria.push_back(w);
    }
    r.setup.program = program;
    r.incomplete = "";
    for (int k = 0; k < 3; ++k) {
        AlarmRecord alarm;
        alarm.thresholdBar = 290;
        alarm.peakBar = 300 + k;
        r.alarms.push_back(alarm);
    }
    const Judgement j = r.Judged();
    ASSERT_EQ(j.verdict, Verdict::Fail);
    const PageLayout page = Lay(r);
    int ok = 0;
    const PageRun* counted = nullptr;
    bool nok = false;
    for (const PageRun& run : page.runs) {
        if (run.x < 600 || run.y > 440) continue;
        if (run.text == "Operator" || run.text == "Inspector" || run.text.rfind("Date:", 0) == 0 ||
            run.text.rfind("Name:", 0) == 0 || run.text == "Page 1 of 1")
            continue;
        EXPECT_GE(run.y, 180) << run.text;
        ok += run.text.rfind("OK ", 0) == 0;
        nok = nok || run.text.rfind("NOK 13.5", 0) == 0;
        if (run.text.find("more criteria OK, in the CSV file") != std::string::npos) counted = &run;
    }
    EXPECT_TRUE(nok) << page.Text();
    ASSERT_NE(counted, nullptr) << page.Text();
    EXPECT_EQ(counted->text, std::to_string(28 - ok) + " more criteria OK, in the CSV file");
    // Fault mended: NOK criteria were all shown whatever the room, and ran
    // into the signatures. With more of them than fit, the rest are counted.
    for (auto& c : program->criteria)
        if (c.kind == CriterionKind::Window) c.maxTons = 1;
    const PageLayout failing = Lay(r);
    int shownNok = 0;
    const PageRun* rest = nullptr;
    for (const PageRun& run : failing.runs) {
        if (run.x < 600 || run.y < 110) continue;
        shownNok += run.text.rfind("NOK ", 0) == 0;
        if (run.text.find("more criteria NOK, in the CSV file") != std::string::npos) rest = &run;
        if (run.text.rfind("Name:", 0) != 0 && run.text.rfind("Date:", 0) != 0 &&
            run.text != "Operator" && run.text != "Inspector") {
            EXPECT_GE(run.y, 180) << run.text;
        }
    }
    ASSERT_NE(rest, nullptr) << failing.Text();
    EXPECT_EQ(rest->colour, PageColour::Red);
    EXPECT_EQ(rest->text, std::to_string(28 - shownNok) + " more criteria NOK, in the CSV file");
}

// Faults mended: in Italian the verdict was cut at the page's edge ("Esito:
// NON CONFOR…") with its reason in English, and "ID operatore:OP-017" had no
// space. Every label, value and verdict fits its column with room before the
// next, and no composed text stays English.
TEST_F(PageTest, InItalianEveryLabelAndVerdictFitsItsColumn) {
    wxInitializer toolkit; // the catalogues are the toolkit's
    if (UseLanguage("it", {wxString::FromUTF8(CATALOGUE_DIR)}) != "it")
        GTEST_SKIP() << "no Italian catalogue in " << CATALOGUE_DIR;
    Recording r = Stroke(440); // above 420 t: FAIL
    r.setup.job.operatorId = "OP-017";
    r.setup.limitsSetAt = r.stoppedAt - 3600;
    r.setup.limitsSetBy = "Anna Rossi";
    r.alarms.push_back(AlarmRecord{290, r.startedAt, 2.0, 300, r.startedAt + 1, 3.0, 0, ""});
    const PageLayout page = Lay(r, "2026-12-08 18:40:22");
    UseLanguage("en", {});
    auto right = [&](const PageRun& run) {
        return run.x + metrics.Width(run.text, run.bold, run.size);
    };
    const PageRun* verdict = nullptr;
    for (size_t k = 0; k < page.runs.size(); ++k) {
        const PageRun& run = page.runs[k];
        EXPECT_LE(right(run), 812.5f) << run.text;
        // The job's left column ends before the right one begins.
        if (run.x < 400 && run.y > 440 && run.y < 505) {
            EXPECT_LE(right(run), 395) << run.text;
        }
        if (run.text == "Esito: NON CONFORME") verdict = &run;
        for (const char* english :
             {"Result", "Operator ID", "Plant", "Limits", "REPRINT", "printed", "Recorded",
              "Reference", "Name:", "above", "acknowledged", "force limits of"})
            EXPECT_EQ(run.text.find(english), std::string::npos) << run.text;
    }
    ASSERT_NE(verdict, nullptr) << page.Text();
    EXPECT_GE(verdict->size, 12);
    // Each label ends before its value begins, with a space's room.
    for (const char* label :
         {"ID operatore:", "Assile:", "Lato di montaggio:", "Cuscinetto:", "Data di produzione:",
          "Data di revisione:", "Stampato:", "Registrato:"}) {
        const PageRun* l = Find(page, label);
        ASSERT_NE(l, nullptr) << label << "\n" << page.Text();
        const PageRun* value = nullptr;
        for (const PageRun& run : page.runs)
            if (&run != l && std::fabs(run.y - l->y) < 4 && run.x > l->x &&
                (!value || run.x < value->x))
                value = &run;
        ASSERT_NE(value, nullptr) << label;
        EXPECT_GE(value->x - right(*l), 4) << label;
    }

    // The notes the program wrote with a recording stopped early, in the
    // reader's words too; they were English on an Italian page.
    PressEntry press;
    press.name = "P0";
    press.serial = "77-1";
    press.surface = 1250;
    press.module = "PM-9";
    press.calibrated = true;
    press.calibration = {"K-2299", "2026-01-10", "2027-01-10", "Lab A", "ref"};
    Recording early = Stroke(300);
    early.setup.pressIdentity = PressIdentityLine(press);
    early.incomplete = "stopped by the operator at 2.9 s";
    early.startNote = "started at 35 bar: the rise is not on the curve";
    ASSERT_TRUE(UseLanguage("it", {wxString::FromUTF8(CATALOGUE_DIR)}) == "it");
    const std::string text = Lay(early, "2026-12-08 18:40:22").Text();
    UseLanguage("en", {});
    for (const char* english : {"stopped by", "by the operator", "serial", "surface", "module",
                                "calibrated", "certificate", "started at", "rise", "curve"})
        EXPECT_EQ(text.find(english), std::string::npos) << english << "\n" << text;
    for (const char* italian :
         {"fermata dall'operatore a 2.9 s", "matricola 77-1", "avviata a 35 bar: la salita non"})
        EXPECT_NE(text.find(italian), std::string::npos) << italian << "\n" << text;
}

// Fault mended: a lost module was told half in Italian ("Rete disconnessa:
// the module closed the connection."): the link's reasons are in the
// catalogue too.
TEST(ItalianWords, EveryReasonALinkIsLostForIsInItalian) {
    wxInitializer toolkit;
    if (UseLanguage("it", {wxString::FromUTF8(CATALOGUE_DIR)}) != "it")
        GTEST_SKIP() << "no Italian catalogue in " << CATALOGUE_DIR;
    for (LinkLoss loss : {LinkLoss::ReadingsStopped, LinkLoss::SendStalled, LinkLoss::StartupFailed,
                          LinkLoss::SendFailed, LinkLoss::Closed, LinkLoss::ReceiveFailed})
        EXPECT_NE(Tr(LinkLossText(loss).c_str()), LinkLossText(loss)) << LinkLossText(loss);
    EXPECT_EQ(Tr(LinkLossText(LinkLoss::Closed).c_str()), "il modulo ha chiuso la connessione");
    // And a calibration's finding of a press out of tolerance.
    OutOfTolerance finding;
    finding.press = "P0";
    finding.foundOn = "2026-12-01";
    finding.certificate = "K-2299";
    finding.since = "2026-03-02";
    EXPECT_EQ(OutOfToleranceText(finding, true),
              "P0: fuori tolleranza rilevata il 2026-12-01 (certificato K-2299); le sue "
              "registrazioni dal 2026-03-02");
    // So are the program's own reasons a connection failed for.
    for (int cause : {kSockTimedOut, kSockCancelled})
        EXPECT_NE(Tr(SockConnectFailureText(cause)), SockConnectFailureText(cause));
    UseLanguage("en", {});
}
