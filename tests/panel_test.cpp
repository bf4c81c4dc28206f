// The terminal panel: its layout on a 1366-pixel display, the countdown and
// the notice, and the recording cycle driven with a clock the test sets.
#include "gui_support.h"
#include "manual_clock.h"

#include "plot/plot_canvas.h"
#include "recorder/alarm.h"
#include "station/cycle.h"
#include "recorder/history_window.h"
#include "recorder/render_timer.h"
#include "station/report_data.h"
#include "recorder/state_banner.h"
#include "recorder/terminal_panel.h"
#include "records/quality_password.h"
#include "station/quality_accounts.h"
#include "records/record_store.h"
#include "shell/accounts_dialog.h"
#include "shell/limits_dialog.h"
#include "shell/quality_signature.h"
#include "recorder/events.h"
#include "shell/main_window.h"
#include "station/press_register.h"

#include <sqlite3.h>
#include <wx/choice.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <sstream>

namespace {

/// Esc pressed while `field` has the keyboard, as the window gets it first.
void PressEscapeIn(wxWindow* field) {
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    escape.SetEventObject(field);
    field->ProcessWindowEvent(escape);
}

// A panel that counts as connected without a module, fed with readings directly.
struct CycleGuiTest : testing::Test {
    void SetUp() override {
        RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
        panel = Panel();
        clock.SetMs(0);
        panel->Job().SetClock(clock);
        panel->Job().AssumeConnected(true);
        FillStartFields(panel);
    }
    void TearDown() override {
        panel->Job().AssumeConnected(false);
        panel->Timer().StopCountdown();
        Pump(20);
    }
    void Reading(long long ms, int bar) {
        clock.SetMs(ms);
        panel->Job().ApplyReadings({{bar, clock.Steady()}});
    }
    ManualClock clock{2000000};
    TerminalPanel* panel = nullptr;
};

} // namespace

TEST(PanelLayout, PositionsFollowTheDisplayWidth) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\n");
    TerminalPanel* p = Panel();
    ASSERT_EQ(wxDisplay(0u).GetGeometry().width, 1366);
    const wxRect banner = p->Controls().banner->GetRect();
    EXPECT_EQ(banner.GetTopLeft(), wxPoint(10, 2));
    EXPECT_EQ(p->Controls().plot.plot->GetPosition(), wxPoint(10, banner.GetBottom() + 5));
    EXPECT_EQ(p->Controls().plot.plot->GetSize().x, 1046);
    // The column along the right edge: the status, the press, the job's
    // buttons in one row and the fields, in that order down.
    EXPECT_EQ(p->Controls().statusText->GetPosition(), wxPoint(1066, 55));
    EXPECT_EQ(p->Controls().connectButton->GetPosition(), wxPoint(1066, 80));
    EXPECT_EQ(p->Controls().pressChoice->GetPosition().x, 1066);
    const wxRect start = p->Controls().startButton->GetRect();
    EXPECT_GT(start.y, p->Controls().pressChoice->GetRect().GetBottom());
    EXPECT_EQ(p->Controls().stopButton->GetPosition().y, start.y);
    EXPECT_EQ(p->Controls().printButton->GetPosition().y, start.y);
    // 15 mm high and wide, on this screen.
    const double mm = 25.4 / std::max(72, wxGetDisplayPPI().y);
    for (wxButton* b :
         {p->Controls().startButton, p->Controls().stopButton, p->Controls().printButton}) {
        EXPECT_GE(b->GetSize().y * mm, 14.9);
        EXPECT_GE(b->GetSize().x * mm, 14.9);
    }
    EXPECT_GT(p->Controls().operatorId->GetPosition().y, start.GetBottom());
    for (wxWindow* field : std::initializer_list<wxWindow*>{
             p->Controls().operatorId, p->Controls().axleDesignation, p->Controls().mountingSide,
             p->Controls().refurbishmentDate, p->Controls().alarmThreshold,
             p->Controls().recordLength})
        EXPECT_EQ(field->GetPosition().x, 1231);
}

// Fault mended: in a 50-pixel margin "1000.00" lost its first digit, and the
// last time label its end. Each label's leftmost and rightmost dark pixels lie
// inside the picture, off its border columns.
namespace {

/// The plot as it paints itself at its size on screen.
wxImage PaintedPlot(mpWindow* plot) {
    wxBitmap bitmap(plot->GetClientSize());
    wxMemoryDC dc(bitmap);
    plot->PaintLayers(dc);
    dc.SelectObject(wxNullBitmap);
    return bitmap.ConvertToImage();
}

} // namespace

TEST(PanelLayout, NoAxisLabelIsClippedForACurveNearAThousandTons) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\n");
    mpWindow* plot = Panel()->Controls().plot.plot;
    for (double top : {100.0, 999.0, 8000.0})
        for (bool page : {false, true}) {
            SCOPED_TRACE(std::to_string(top) + (page ? " on the page" : " on screen"));
            plot->Fit(0, 100, 0, top);
            wxImage image;
            if (page) {
                image =
                    plot->RenderImage(wxSize(1200, 720), 0, 100, 0, top); // the report's picture
            } else {
                image = PaintedPlot(plot);
            }
            const wxSize size = image.GetSize();
            auto darkInColumn = [&](int x, int y0, int y1) {
                for (int y = y0; y < y1; ++y)
                    if (image.GetRed(x, y) < 100 && image.GetGreen(x, y) < 100) return true;
                return false;
            };
            // Force labels sit left of the axis, above the time axis' strip.
            const int labelsBottom = size.y - plot->GetMarginBottom();
            EXPECT_FALSE(darkInColumn(0, 0, labelsBottom));
            EXPECT_FALSE(darkInColumn(1, 0, labelsBottom));
            // Time labels sit below the plot; the last reaches the right edge.
            EXPECT_FALSE(darkInColumn(size.x - 1, labelsBottom + 2, size.y));
        }
}

// Fault mended: on screens wide for their height the plot's bottom, with its
// time axis, was below the window.
TEST(PanelLayout, ThePlotNeverReachesBelowThePanel) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\n");
    TerminalPanel* p = Panel();
    // The plot takes the room down to 10 pixels above the panel's bottom:
    // none is left empty under it on screens tall for their width.
    const int top = p->Controls().plot.plot->GetPosition().y;
    for (int height : {500, 900, 1024}) {
        p->SetSize(wxSize(1366, height));
        wxSizeEvent resized(wxSize(1366, height));
        p->ProcessWindowEvent(resized);
        EXPECT_EQ(p->Controls().plot.plot->GetSize(), wxSize(1046, height - top - 10));
    }
}

// The alarm threshold's force is a dashed line on the plot while a threshold is
// set; with none, the settings say "Alarm off".
namespace {

/// Rows of the painted plot with more than 100 pixels that `colour` accepts.
template <typename Colour> std::vector<int> RowsOf(mpWindow* plot, Colour colour) {
    const wxImage image = PaintedPlot(plot);
    std::vector<int> rows;
    for (int y = 0; y < image.GetHeight(); ++y) {
        int n = 0;
        for (int x = 0; x < image.GetWidth(); ++x)
            n += colour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
        if (n > 100) rows.push_back(y);
    }
    return rows;
}

} // namespace

TEST(PanelLayout, TheAlarmThresholdIsALineOnThePlotOrAlarmOff) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    TerminalPanel* p = Panel();
    mpWindow* plot = p->Controls().plot.plot;
    plot->Fit(0, 100, 0, 100);
    auto orangeRows = [&] {
        return RowsOf(plot,
                      [](int r, int g, int b) { return r > 200 && g > 90 && g < 150 && b < 60; });
    };
    EXPECT_TRUE(p->Controls().alarmOffText->IsShown());
    EXPECT_TRUE(orangeRows().empty());
    EnterThreshold(p, "50"); // 50 bar on 1250 cm2
    EXPECT_FALSE(p->Controls().alarmOffText->IsShown());
    const std::vector<int> rows = orangeRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), plot->y2p(ForceTons(50, 1250)), 2);
    EnterThreshold(p, "");
    EXPECT_TRUE(p->Controls().alarmOffText->IsShown());
    EXPECT_TRUE(orangeRows().empty());
}

TEST(PanelLayout, ForceLimitsAreSetInTheirDialogKeptInLimitsIniAndDrawnAsTwoLines) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    TerminalPanel* p = Panel();
    mpWindow* plot = p->Controls().plot.plot;
    plot->Fit(0, 100, 0, 100); // below the limits: the axis grows to show them
    auto purpleRows = [&] {
        return RowsOf(plot,
                      [](int r, int g, int b) { return r > 80 && r < 140 && g < 30 && b > 140; });
    };
    EXPECT_TRUE(purpleRows().empty());

    LimitsDialog dialog(MainWindow::GetInstance()->m_frame, 0);
    dialog.Show();
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    dialog.m_lower->ChangeValue("500");
    dialog.m_upper->ChangeValue("400");
    dialog.OnOk(ok);
    EXPECT_FALSE(dialog.m_errorText->GetLabel().empty()); // lower above upper: stays open
    EXPECT_FALSE(wxFileExists("limits.ini"));
    // Fault mended: an upper limit of 1.7e308 was taken, and overflowed the axis.
    dialog.m_errorText->SetLabel("");
    dialog.m_lower->ChangeValue("400");
    dialog.m_upper->ChangeValue("1.7e308");
    dialog.OnOk(ok);
    EXPECT_EQ(dialog.m_errorText->GetLabel(),
              wxString::FromUTF8("The limits must be numbers of tons with 0 < lower \u2264 upper "
                                 "\u2264 10000."));
    EXPECT_FALSE(wxFileExists("limits.ini"));

    dialog.m_lower->ChangeValue("400,5"); // a decimal comma is read as typed
    dialog.m_upper->ChangeValue("600");
    SignAsQualityEngineer(dialog);
    dialog.OnOk(ok);
    EXPECT_FALSE(dialog.IsShown()) << dialog.m_errorText->GetLabel();
    LimitTable written = ReadLimits("limits.ini");
    ASSERT_EQ(written.count("P0"), 1u);
    EXPECT_EQ(written["P0"].lowerTons, 400.5);
    EXPECT_EQ(written["P0"].upperTons, 600);
    const std::vector<int> rows = purpleRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), plot->y2p(600), 2);
    EXPECT_NEAR(rows.back(), plot->y2p(400.5), 2);
    // The same limits again, as when the connection is applied: the zoom stays.
    plot->Fit(0, 10, 0, 10);
    p->SetConnectionParameters("127.0.0.1", "1", false, true, 0);
    EXPECT_EQ(plot->GetDesiredXmax(), 10);

    // Both fields empty: no limits, no lines.
    LimitsDialog again(MainWindow::GetInstance()->m_frame, 0);
    EXPECT_EQ(again.m_lower->GetValue(), "400.5");
    again.Show();
    again.m_lower->ChangeValue("");
    again.m_upper->ChangeValue("");
    SignAsQualityEngineer(again);
    again.OnOk(ok);
    EXPECT_TRUE(ReadLimits("limits.ini").empty());
    EXPECT_TRUE(purpleRows().empty());
    ClearLimits();
}

// Only the quality engineer changes the limits: a password set on first use,
// wrong ones slowed down, a damaged or missing password file never taken for
// "anyone may edit", and every change and refused try kept in the trail.
TEST(PanelLayout, LimitsNeedTheQualityEngineersPasswordAndEveryChangeIsKept) {
    const std::string store = WorkDir() + "/limits-audit.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        if (wxFileExists(store + suffix)) wxRemoveFile(store + suffix);
    if (wxFileExists(kQualityPasswordFile)) wxRemoveFile(kQualityPasswordFile);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + store +
                      "\n");
    MainWindow* main = MainWindow::GetInstance();
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    int64_t now = 1000;
    auto open = [&](const char* lower) {
        auto dialog = std::make_unique<LimitsDialog>(main->m_frame, 0);
        dialog->m_wallSeconds = [&] { return now; };
        dialog->Show();
        dialog->m_lower->ChangeValue(lower);
        dialog->m_upper->ChangeValue("420");
        SignAsQualityEngineer(*dialog);
        return dialog;
    };
    auto lowerLimit = [&] { return main->Limits(0) ? main->Limits(0)->lowerTons : 0.0; };

    // First use: the password is set, twice the same.
    auto first = open("350");
    ASSERT_NE(first->m_repeat, nullptr);
    first->m_repeat->ChangeValue("something-else");
    first->OnOk(ok);
    EXPECT_EQ(first->m_errorText->GetLabel(), "The two passwords differ.");
    EXPECT_EQ(lowerLimit(), 0);
    first->m_repeat->ChangeValue(kTestQualityPassword);
    first->OnOk(ok);
    EXPECT_FALSE(first->IsShown()) << first->m_errorText->GetLabel();
    EXPECT_EQ(lowerLimit(), 350);

    // Five wrong passwords, then a wait even for the right one.
    for (int i = 0; i < 5; ++i) {
        auto wrong = open("340");
        EXPECT_EQ(wrong->m_repeat, nullptr);
        wrong->m_password->ChangeValue("guess-" + std::to_string(i));
        wrong->OnOk(ok);
        EXPECT_EQ(wrong->m_errorText->GetLabel(), "Wrong password: the limits were not changed.");
    }
    auto waiting = open("340");
    waiting->OnOk(ok);
    EXPECT_EQ(waiting->m_errorText->GetLabel(), "Too many wrong passwords: try again in 30 s.");
    now += 30;
    // The sign-in after them is told who tried and when.
    wxTEST_DIALOG(waiting->OnOk(ok),
                  ExpectBoxStarting("5 wrong passwords were typed since the last signed change:",
                                    wxOK, "Quality engineer"));
    EXPECT_FALSE(waiting->IsShown()) << waiting->m_errorText->GetLabel();
    EXPECT_EQ(lowerLimit(), 340);

    // A password hash put in the store by hand signs nothing.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(store.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "UPDATE quality_keys SET hash = hash || 'x'", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto refused = open("330");
    refused->OnOk(ok);
    EXPECT_NE(refused->m_errorText->GetLabel().Find("is not the one the audit trail holds"),
              wxNOT_FOUND)
        << refused->m_errorText->GetLabel();
    EXPECT_EQ(lowerLimit(), 340);

    // The trail: who, when, the press, old and new values, the reason; and
    // the limits' origin for the page.
    std::string why;
    auto audit = RecordStore::Open(store, &why);
    ASSERT_TRUE(audit) << why;
    const std::vector<Change> trail = audit->Changes();
    // And, oldest, the three presses taken into the register at the first start.
    ASSERT_EQ(trail.size(), 11u);
    EXPECT_EQ(trail[10].what, kPressRegisterChange);
    EXPECT_EQ(trail[0].what, kLimitsChange);
    EXPECT_EQ(trail[0].who, "Anna Rossi");
    EXPECT_EQ(trail[0].press, "P0");
    EXPECT_EQ(trail[0].oldValue, "350 t \xE2\x80\xA6 420 t");
    EXPECT_EQ(trail[0].newValue, "340 t \xE2\x80\xA6 420 t");
    EXPECT_EQ(trail[0].reason, "new bearing type");
    EXPECT_EQ(trail[1].what, kWrongPasswordChange);
    EXPECT_EQ(trail[7].what, kAccountAdded);
    EXPECT_TRUE(audit->VerifyChain().ok);
    int64_t at = 0;
    std::string by;
    ASSERT_TRUE(main->LimitsSet(0, &at, &by));
    EXPECT_EQ(by, "Anna Rossi");

    // History → Changes lists them.
    auto* history = new HistoryWindow(main->m_frame, *Panel(), std::move(audit));
    ChangesWindow* changes = history->ShowChanges();
    ASSERT_EQ(changes->m_list->GetItemCount(), 11);
    EXPECT_EQ(changes->m_list->GetItemText(0, 1), "Anna Rossi");
    EXPECT_EQ(changes->m_list->GetItemText(0, 3), "P0");
    EXPECT_EQ(changes->m_list->GetItemText(0, 5), wxString::FromUTF8("350 t \xE2\x80\xA6 420 t"));
    EXPECT_EQ(changes->m_list->GetItemText(0, 7), "new bearing type");
    // Filtered by kind, and exported row for row as listed.
    changes->m_kindFilter->SetStringSelection(kWrongPasswordChange);
    changes->Refill();
    ASSERT_EQ(changes->m_list->GetItemCount(), 5);
    const std::string exported = WorkDir() + "/audit-trail.csv";
    wxTEST_DIALOG(EXPECT_TRUE(changes->ExportCsv(exported)),
                  ExpectBoxStarting("5 changes exported to ", wxOK, "Audit trail"));
    std::istringstream csv(ReadText(exported));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "when,who,pc,press,what,old_value,new_value,reason");
    for (long row = 0; row < 5; ++row) {
        std::string listed;
        for (int c = 0; c < 8; ++c)
            listed += (c ? "," : "") +
                      CsvField(std::string(changes->m_list->GetItemText(row, c).utf8_str()));
        ASSERT_TRUE(std::getline(csv, line));
        EXPECT_EQ(line, listed);
    }
    EXPECT_FALSE(std::getline(csv, line));
    // And as pages for an auditor: the same entries, in the same order.
    const std::string pages = WorkDir() + "/audit-trail.pdf";
    wxTEST_DIALOG(EXPECT_TRUE(changes->ExportPdf(pages)),
                  ExpectBoxStarting("5 changes exported to ", wxOK, "Audit trail"));
    const std::string text = RunCommand("pdftotext -layout '" + pages + "' -");
    EXPECT_NE(text.find("Entries of wrong password \xE2\x80\x94 5 entries, newest first"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("page 1 of 1"), std::string::npos);
    size_t found = 0;
    for (long row = 0; row < 5; ++row) {
        found = text.find(std::string(changes->m_list->GetItemText(row, 0).utf8_str()), found);
        ASSERT_NE(found, std::string::npos) << row;
        ++found;
    }
    changes->Destroy();
    history->Destroy();
    ClearLimits();
}

// Two quality engineers with accounts of their own: the first account made
// at first use adds the second, each limits change is in the name of the
// one who signed in, and a disabled account signs nothing.
TEST(PanelLayout, EachQualityEngineerSignsWithTheirOwnAccount) {
    const std::string store = WorkDir() + "/accounts-gui.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        if (wxFileExists(store + suffix)) wxRemoveFile(store + suffix);
    if (wxFileExists(kQualityPasswordFile)) wxRemoveFile(kQualityPasswordFile);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + store +
                      "\n");
    MainWindow* main = MainWindow::GetInstance();
    auto sign = [](QualitySignature& s, const char* who, const char* password) {
        s.who->ChangeValue(who);
        s.password->ChangeValue(password);
        if (s.repeat) s.repeat->ChangeValue(password);
        s.reason->ChangeValue("second engineer");
    };
    {
        AccountsDialog accounts(main->m_frame);
        accounts.m_name->ChangeValue("Bruno Neri");
        accounts.m_password->ChangeValue("bruno-password-1");
        accounts.m_repeat->ChangeValue("bruno-password-1");
        sign(*accounts.Signature(), "Anna Rossi", "anna-password-1"); // the first account
        ASSERT_TRUE(accounts.Do(AccountsDialog::Add)) << accounts.m_errorText->GetLabel();
        ASSERT_EQ(accounts.m_list->GetItemCount(), 2);
        EXPECT_EQ(accounts.m_list->GetItemText(1, 0), "Bruno Neri");
        EXPECT_EQ(accounts.m_list->GetItemText(1, 3), "Anna Rossi");
    }
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    auto limits = [&](const char* lower, const char* who, const char* password) {
        auto dialog = std::make_unique<LimitsDialog>(main->m_frame, 0);
        dialog->Show();
        dialog->m_lower->ChangeValue(lower);
        dialog->m_upper->ChangeValue("420");
        EXPECT_EQ(dialog->m_repeat, nullptr);
        dialog->m_who->ChangeValue(who);
        dialog->m_password->ChangeValue(password);
        dialog->m_reason->ChangeValue("new bearing type");
        dialog->OnOk(ok);
        return dialog->m_errorText->GetLabel();
    };
    // Bruno's first sign-in: told that his password was set by Anna.
    wxTEST_DIALOG(
        EXPECT_EQ(limits("350", "bruno neri", "bruno-password-1"), ""),
        ExpectBoxStarting("Your password was set by Anna Rossi ", wxOK, "Quality engineer"));
    int64_t at = 0;
    std::string by;
    ASSERT_TRUE(main->LimitsSet(0, &at, &by));
    EXPECT_EQ(by, "Bruno Neri"); // the account's name, not as typed
    EXPECT_EQ(limits("340", "Anna Rossi", "bruno-password-1"),
              "Wrong password: the limits were not changed.");

    {
        AccountsDialog accounts(main->m_frame);
        accounts.m_name->ChangeValue("Bruno Neri");
        sign(*accounts.Signature(), "Anna Rossi", "anna-password-1");
        ASSERT_TRUE(accounts.Do(AccountsDialog::Disable)) << accounts.m_errorText->GetLabel();
        EXPECT_EQ(accounts.m_list->GetItemText(1, 1), "disabled");
        accounts.m_name->ChangeValue("Anna Rossi");
        EXPECT_FALSE(accounts.Do(AccountsDialog::Disable)); // the last one enabled
    }
    EXPECT_EQ(limits("340", "Bruno Neri", "bruno-password-1"),
              "The limits cannot be changed: the account of Bruno Neri is disabled.");
    EXPECT_EQ(main->Limits(0)->lowerTons, 350);
    EXPECT_EQ(limits("340", "Anna Rossi", "anna-password-1"), "");
    ASSERT_TRUE(main->LimitsSet(0, &at, &by));
    EXPECT_EQ(by, "Anna Rossi");
    ClearLimits();
}

// The threshold is kept per press and survives a restart; one whose force
// lies beyond the press's limits is pointed out beside it.
TEST(PanelLayout, TheThresholdIsKeptPerPressAndPointedOutAgainstTheLimits) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    MainWindow* main = MainWindow::GetInstance();
    const ForceLimits limits{350, 420};
    std::string error;
    ASSERT_TRUE(main->SetLimits(0, &limits, &error)) << error;
    TerminalPanel* p = Panel();
    auto note = [&] {
        return p->Controls().alarmOffText->IsShown() ? p->Controls().alarmOffText->GetLabel()
                                                     : wxString();
    };
    EnterThreshold(p, "300"); // 382.5 t on 1250 cm²: between the limits
    EXPECT_EQ(note(), "");
    EnterThreshold(p, "400"); // 510 t
    EXPECT_EQ(note(), "Above upper limit");
    EXPECT_EQ(p->Controls().alarmOffText->GetToolTipText(),
              "400 bar = 510.0 t: above the upper limit 420.0 t");
    EnterThreshold(p, "200"); // 255 t
    EXPECT_EQ(note(), "Below lower limit");
    EnterThreshold(p, "0");
    EXPECT_EQ(note(), "Alarm off");
    EnterThreshold(p, "300");
    p->SetConnectionParameters("127.0.0.1", "1", false, true, 1); // another press: its own
    EXPECT_EQ(p->Controls().alarmThreshold->GetValue(), "0");
    p->Controls().operatorId->ChangeValue("OP-12");
    EnterThreshold(p, "150");
    p->SetConnectionParameters("127.0.0.1", "1", false, true, 0);
    EXPECT_EQ(p->Controls().alarmThreshold->GetValue(), "300");
    EXPECT_EQ(ReadText("alarm.ini"), "300,P0\n150,P1\n");
    // Each threshold kept is in the audit trail, in the operator's name.
    {
        std::string why;
        auto store = main->OpenAuditStore(&why);
        ASSERT_TRUE(store) << why;
        Change kept;
        ASSERT_TRUE(store->LastChange(kAlarmThresholdChange, "P1", &kept));
        EXPECT_EQ(kept.oldValue, "off");
        EXPECT_EQ(kept.newValue, "150 bar");
        EXPECT_EQ(kept.who, "OP-12");
    }
    // A restart finds it again.
    MainWindow::DestroyInstance();
    Pump(50);
    EXPECT_EQ(Panel()->Controls().alarmThreshold->GetValue(), "300");
    ClearLimits();
}

TEST(PanelLayout, InitialTextsAndStates) {
    RebuildMainWindow("ip=127.0.0.4\nautoconnect=false\nskipQuestion=false\n");
    DestroyNewDialogs();
    TerminalPanel* p = Panel();
    // The saved module stays in use whatever the start-up question gets.
    EXPECT_EQ(p->Controls().statusText->GetLabel(), "IP: 127.0.0.4 - Port: none - Press: P0");
    EXPECT_EQ(p->Controls().pressureText->GetLabel(), "Pressure: none");
    EXPECT_TRUE(p->Controls().connectButton->IsEnabled());
    EXPECT_FALSE(p->Controls().disconnectButton->IsEnabled());
    EXPECT_FALSE(p->Controls().startButton->IsEnabled());
    EXPECT_FALSE(p->Controls().stopButton->IsEnabled());
    EXPECT_FALSE(p->Controls().printButton->IsEnabled());
    EXPECT_FALSE(p->Controls().recordingText->IsShown());
    EXPECT_EQ(p->Controls().recordLength->GetValue(), "80");
    EXPECT_EQ(p->Controls().alarmThreshold->GetValue(), "0");
    EXPECT_EQ(p->Controls().mountingSide->GetStringSelection(), "A");
    // The settings fields take three characters at most.
    p->Controls().recordLength->ChangeValue("");
    for (const char* key : {"1", "2", "3", "4"})
        p->Controls().recordLength->WriteText(key);
    EXPECT_EQ(p->Controls().recordLength->GetValue(), "123");
    // Before any curve the time axis spans the record length typed; the
    // force axis 0 to 100 tons, with grid lines.
    EXPECT_DOUBLE_EQ(p->Controls().plot.plot->GetDesiredXmax(), 123);
    EXPECT_DOUBLE_EQ(p->Controls().plot.plot->GetDesiredYmax(), 100);
    p->Controls().recordLength->ChangeValue("80");
    EXPECT_FALSE(p->Controls().plot.xAxis->GetTicks());
    EXPECT_FALSE(p->Controls().plot.yAxis->GetTicks());
    // The clock shows the date above the time.
    EXPECT_TRUE(
        WaitUntil([&] { return p->Controls().clockText->GetLabel().Contains("\n"); }, 2500));
}

TEST_F(CycleGuiTest, StopButtonCountsDownAndNoticeBlinks) {
    panel->Controls().recordLength->ChangeValue("80");
    RenderTimer& timer = panel->Timer();
    timer.StartCountdown(80);
    for (int shown = 80; shown >= 1; --shown) {
        timer.Notify();
        ASSERT_EQ(panel->Controls().stopButton->GetLabel(), wxString::Format("Stop (%d)", shown));
        // Visible on ticks that leave an even count, hidden on odd ones.
        if (shown > 1) {
            ASSERT_EQ(panel->Controls().recordingText->IsShown(), (shown - 1) % 2 == 0) << shown;
        }
    }
    EXPECT_FALSE(timer.IsCountingDown());
    EXPECT_FALSE(panel->Controls().recordingText->IsShown());
    timer.StopCountdown(); // the recording ends: no count is left on the button
    EXPECT_EQ(panel->Controls().stopButton->GetLabel(), "Stop");
}

TEST_F(CycleGuiTest, RecordingStartsAbove4BarAndDrawsTheCurve) {
    Click(panel, ID_START);
    EXPECT_FALSE(panel->Controls().startButton->IsEnabled());
    EXPECT_TRUE(panel->Controls().stopButton->IsEnabled());
    EXPECT_FALSE(panel->Controls().recordLength->IsEnabled());
    Reading(0, 4);
    EXPECT_EQ(panel->Controls().pressureText->GetLabel(), "Pressure: 4 bar");
    EXPECT_FALSE(panel->Job().Cycle().m_recording);
    Reading(75, 5);
    EXPECT_TRUE(panel->Job().Cycle().m_recording);
    EXPECT_TRUE(panel->Controls().printButton->IsEnabled());
    EXPECT_TRUE(panel->Timer().IsCountingDown());
    Reading(150, 100);
    Reading(225, -2);
    EXPECT_EQ(panel->Controls().pressureText->GetLabel(), "Pressure: -2 bar");
    EXPECT_EQ(panel->Controls().plot.curve->GetDataLength(), 3u);
    EXPECT_DOUBLE_EQ(panel->Controls().plot.plot->GetDesiredXmax(), 80); // the record length
    EXPECT_DOUBLE_EQ(panel->Controls().plot.plot->GetDesiredYmax(),
                     100 * 1250.0 / 100 * 0.102 * 1.2);
    // Stop during the recording: one question, answered No.
    wxTEST_DIALOG(Click(panel, ID_STOP),
                  ExpectBoxStarting("Write the report ", wxNO, "Print REPORT?"));
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
    EXPECT_FALSE(panel->Controls().stopButton->IsEnabled());
    EXPECT_TRUE(panel->Controls().recordLength->IsEnabled());
    EXPECT_TRUE(panel->Job().LastRecording().has_value());
    EXPECT_EQ(panel->Controls().plot.curve->GetDataLength(),
              3u); // the last curve stays on the plot
}

TEST_F(CycleGuiTest, OneReportQuestionPerCycleHoweverManyRecordEnds) {
    panel->Controls().recordLength->ChangeValue("1");
    Click(panel, ID_START);
    Reading(0, 50);
    Reading(1000, 60); // the length is reached: a record-end is queued...
    Reading(1075, 70); // ...and again for every reading until the cycle ends
    Reading(1150, 80);
    panel->Job().PostRecordEnd(); // and the countdown's own
    const int before = panel->Job().ReportQuestions();
    wxTEST_DIALOG(Pump(300), ExpectBoxStarting("Write the report ", wxNO, "Print REPORT?"));
    EXPECT_EQ(panel->Job().ReportQuestions(), before + 1);
    // The record-ends of a finished cycle never end the next one.
    Click(panel, ID_START);
    Pump(100);
    EXPECT_TRUE(panel->Job().Cycle().m_armed);
    Click(panel, ID_STOP);
}

// A job without the mouse: F5 starts, F6 stops, F8 writes the report, each
// only when its button may; typed into a field, as a key of a real keyboard.
TEST_F(CycleGuiTest, FunctionKeysStartStopAndPrint) {
    MainWindow::GetInstance()->SetPdfDirectory(WorkDir());
    panel->Controls().operatorId->ChangeValue("OP7");
    panel->Controls().axleDesignation->ChangeValue("AX31");
    panel->Controls().recordLength->ChangeValue("30");
    auto press = [&](int key) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key;
        event.SetEventObject(panel->Controls().axleDesignation);
        panel->Controls().axleDesignation->ProcessWindowEvent(event);
    };
    press(WXK_F6); // nothing to stop
    press(WXK_F5);
    EXPECT_TRUE(panel->Job().Cycle().m_armed);
    Reading(1000, 50);
    Reading(1075, 60);
    EXPECT_TRUE(panel->Job().Cycle().m_recording);
    wxTEST_DIALOG(press(WXK_F6),
                  ExpectBox("Write the report for axle AX31 A?", wxNO, "Print REPORT?"));
    EXPECT_FALSE(panel->Job().Cycle().m_armed);
    wxTEST_DIALOG(press(WXK_F8),
                  ExpectBoxStarting("Bearing designation empty", wxYES, "Print REPORT?"),
                  ExpectBoxStarting("Report Created: ", wxOK, "Report"));
    // The next axle: its fields are empty, the shift's operator stays and is
    // kept for the next start; a scanner's Enter moves on from the axle.
    EXPECT_EQ(panel->Controls().axleDesignation->GetValue(), "");
    EXPECT_EQ(panel->Controls().operatorId->GetValue(), "OP7");
    EXPECT_NE(ReadText("config.ini").find("operator=OP7"), std::string::npos);
    panel->Controls().axleDesignation->ChangeValue("AX32");
    wxCommandEvent enter(wxEVT_TEXT_ENTER, panel->Controls().axleDesignation->GetId());
    enter.SetEventObject(panel->Controls().axleDesignation);
    panel->Controls().axleDesignation->ProcessWindowEvent(enter);
    Pump(50);
    EXPECT_EQ(wxWindow::FindFocus(), panel->Controls().mountingSide);
    MainWindow::DestroyInstance();
    Pump(50);
    panel = Panel(); // a new program start
    EXPECT_EQ(panel->Controls().operatorId->GetValue(), "OP7");
}

TEST_F(CycleGuiTest, StopWhileArmedAsksNothing) {
    Click(panel, ID_START);
    Reading(0, 2);
    Click(panel, ID_STOP); // a box would fail the test: none is expected
    EXPECT_FALSE(panel->Job().Cycle().m_armed);
    EXPECT_FALSE(panel->Job().LastRecording().has_value()); // nothing was recorded
}

// Fault mended: a threshold was in force digit by digit, so typing "300"
// while the press held 250 bar latched an alarm "above 3 bar" at the first
// digit. It applies on Enter, or when the field is left.
TEST_F(CycleGuiTest, AThresholdBeingTypedIsInForceOnlyOnEnter) {
    EnterThreshold(panel, "0");
    const int plays = panel->Alarm().PlayCount();
    long long ms = 3000;
    for (const char* typed : {"3", "30", "300"}) {
        panel->Controls().alarmThreshold->SetValue(typed);
        ms += 75 + ms % 3; // a jittered clock
        Reading(ms, 249 + static_cast<int>(ms % 3));
    }
    EXPECT_EQ(panel->Alarm().PlayCount(), plays);
    EXPECT_FALSE(panel->Controls().acknowledgeButton->IsShown());
    wxCommandEvent enter(wxEVT_TEXT_ENTER, panel->Controls().alarmThreshold->GetId());
    enter.SetEventObject(panel->Controls().alarmThreshold);
    panel->Controls().alarmThreshold->ProcessWindowEvent(enter);
    Reading(ms += 75, 300); // on the threshold: no alarm
    EXPECT_EQ(panel->Alarm().PlayCount(), plays);
    Reading(ms += 75, 301);
    EXPECT_EQ(panel->Alarm().PlayCount(), plays + 1);
    EXPECT_EQ(panel->Controls().banner->Shown().Line().rfind(
                  "ALARM \xE2\x80\x94 301 bar above 300 bar", 0),
              0u)
        << panel->Controls().banner->Shown().Line();
    PressEscapeIn(panel->Controls().operatorId);
}

// The alarm is on guard without a recording too, latches until Esc, and
// an alarm of a recording is acknowledged before the recording is kept,
// with the operator's name, and goes onto its page and CSV file.
TEST_F(CycleGuiTest, TheAlarmWatchesEveryReadingLatchesAndIsAcknowledgedWithEsc) {
    EnterThreshold(panel, "100");
    panel->Controls().operatorId->ChangeValue("OP7");
    const int plays = panel->Alarm().PlayCount();
    Reading(3000, 100);
    EXPECT_EQ(panel->Alarm().PlayCount(), plays);
    Reading(3075, 101); // not armed: an alarm all the same
    EXPECT_EQ(panel->Alarm().PlayCount(), plays + 1);
    EXPECT_EQ(panel->Controls().banner->Shown().colour, BannerColour::Red);
    EXPECT_TRUE(panel->Controls().acknowledgeButton->IsShown());
    Reading(5075, 150);
    EXPECT_EQ(panel->Alarm().PlayCount(), plays + 1); // not again within 2000 ms
    Reading(5076, 40);
    EXPECT_EQ(panel->Alarm().PlayCount(), plays + 2); // below again, but latched
    EXPECT_EQ(panel->Controls().banner->Shown().Line().rfind(
                  "ALARM \xE2\x80\x94 peak 150 bar above 100 bar", 0),
              0u)
        << panel->Controls().banner->Shown().Line();
    PressEscapeIn(panel->Controls().operatorId);
    EXPECT_FALSE(panel->Controls().acknowledgeButton->IsShown());
    EXPECT_NE(panel->Controls().banner->Shown().colour, BannerColour::Red);
    Reading(8000, 40);
    EXPECT_EQ(panel->Alarm().PlayCount(), plays + 2);

    // During a recording: acknowledged at its end, before it is kept.
    Click(panel, ID_START);
    Reading(9000, 20);
    Reading(9500, 130);
    Reading(10000, 30);
    wxTEST_DIALOG(Click(panel, ID_STOP),
                  ExpectBoxStarting("ALARM during this recording: above 100 bar from 0.5 s to "
                                    "1.0 s, peak 130 bar, not acknowledged.",
                                    wxOK, "Alarm"),
                  ExpectBoxStarting("Write the report ", wxNO, "Print REPORT?"));
    ASSERT_TRUE(panel->Job().LastRecording());
    ASSERT_EQ(panel->Job().LastRecording()->alarms.size(), 1u);
    const AlarmRecord& alarm = panel->Job().LastRecording()->alarms[0];
    EXPECT_EQ(alarm.peakBar, 130);
    EXPECT_EQ(alarm.acknowledgedBy, "OP7");
    EXPECT_NE(CurveCsvText(*panel->Job().LastRecording())
                  .find("# alarm,\"above 100 bar from 0.5 s to 1.0 s, peak 130 bar, acknowledged "),
              std::string::npos);
    EXPECT_FALSE(panel->Controls().acknowledgeButton->IsShown());
    // Stopped before its length: INCOMPLETE, a word of its own.
    EXPECT_EQ(panel->Controls().verdictText->GetLabel(), "INCOMPLETE");
    EXPECT_TRUE(panel->Controls().banner->Shown().incompleteBadge);
}

// Fault mended: a press without a valid surface recorded forces of 0 (or inf,
// nan) and a report followed.
TEST_F(CycleGuiTest, PressWithoutValidSurfaceRefusesToStart) {
    panel->SetConnectionParameters("127.0.0.1", "1", false, true, 7); // no such press: no surface
    wxTEST_DIALOG(Click(panel, ID_START),
                  ExpectBox(L"The press \"\" has no valid surface in superfici.ini, so no force "
                            L"can be recorded. Enter its surface in cm\u00b2 (a number above 0) "
                            L"in superfici.ini and start the program again.",
                            wxOK, "Error"));
    EXPECT_FALSE(panel->Job().Cycle().m_armed);
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
    Reading(0, 300);
    EXPECT_TRUE(panel->Job().Cycle().m_times.empty());
    panel->SetConnectionParameters("127.0.0.1", "1", false, true, 0);
}

TEST_F(CycleGuiTest, CycleEndingWhileDisconnectedShowsTheErrorInstead) {
    Click(panel, ID_START);
    Reading(0, 50);
    panel->Job().AssumeConnected(false);
    wxTEST_DIALOG(Click(panel, ID_STOP),
                  ExpectBox("Module disconnected. Please check the Wi-Fi connection and retry.",
                            wxOK, "Error"));
    EXPECT_FALSE(panel->Controls().startButton->IsEnabled());
}

// Faults mended: an empty, "0" or "-" record length started a recording that
// ended on its first sample, PASS; a recordings folder that could not be
// written was told on stderr only, and after a crash nothing remained.
TEST_F(CycleGuiTest, StartRefusesWhatWouldMakeTheRecordMeaningless) {
    for (const char* length : {"", "0", "-", "1000"}) {
        panel->Controls().recordLength->ChangeValue(length);
        wxTEST_DIALOG(Click(panel, ID_START),
                      ExpectBox("The record length must be a whole number of seconds from 1 to "
                                "999.",
                                wxOK, "Error"));
        EXPECT_FALSE(panel->Job().Cycle().m_armed) << length;
    }
    panel->Controls().recordLength->ChangeValue("80");

    const std::string dir = WorkDir() + "/blocked_reports";
    wxFileName::Mkdir(dir);
    WriteText(dir + "/recordings", "a file where the folder should be");
    MainWindow::GetInstance()->SetPdfDirectory(dir);
    wxTEST_DIALOG(Click(panel, ID_START),
                  ExpectBoxStarting("The recording cannot start: its journal cannot be written in "
                                    "the folder " +
                                        dir + "/recordings (" + dir + "/recordings/",
                                    wxOK, "Error"));
    EXPECT_FALSE(panel->Job().Cycle().m_armed);
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
    MainWindow::GetInstance()->SetPdfDirectory("");
}

// Start waits for the operator, the axle and a valid record length, and
// says beside each field what it lacks.
TEST_F(CycleGuiTest, StartIsEnabledOnlyWithOperatorAxleAndAValidLength) {
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
    struct Case {
        wxTextCtrl* field;
        const char* value;
        wxStaticText* hint;
        const char* said;
    };
    for (const Case& c :
         {Case{panel->Controls().operatorId, " ", panel->Controls().operatorHint,
               "required for Start"},
          Case{panel->Controls().axleDesignation, "", panel->Controls().axleHint,
               "required for Start"},
          Case{panel->Controls().recordLength, "0", panel->Controls().lengthHint, "1 to 999 s"}}) {
        const wxString kept = c.field->GetValue();
        c.field->SetValue(c.value); // as typed: the text event follows
        EXPECT_FALSE(panel->Controls().startButton->IsEnabled()) << c.said;
        EXPECT_EQ(c.hint->GetLabel(), c.said);
        c.field->SetValue(kept);
        EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
        EXPECT_EQ(c.hint->GetLabel(), "");
    }
    // Not while armed, and again after the cycle.
    Click(panel, ID_START);
    EXPECT_FALSE(panel->Controls().startButton->IsEnabled());
    Click(panel, ID_STOP);
    EXPECT_TRUE(panel->Controls().startButton->IsEnabled());
}

TEST_F(CycleGuiTest, JobFieldsTakeSixtyFourCharactersAndLockWhileArmed) {
    panel->Controls().axleDesignation->ChangeValue("");
    for (int i = 0; i < 70; ++i)
        panel->Controls().axleDesignation->WriteText("A");
    EXPECT_EQ(panel->Controls().axleDesignation->GetValue().length(), 64u);
    Click(panel, ID_START);
    for (wxWindow* field : {static_cast<wxWindow*>(panel->Controls().operatorId),
                            static_cast<wxWindow*>(panel->Controls().axleDesignation),
                            static_cast<wxWindow*>(panel->Controls().alarmThreshold),
                            static_cast<wxWindow*>(panel->Controls().recordLength)})
        EXPECT_FALSE(field->IsEnabled());
    Click(panel, ID_STOP);
    EXPECT_TRUE(panel->Controls().axleDesignation->IsEnabled());
    panel->Controls().axleDesignation->ChangeValue("");
}
