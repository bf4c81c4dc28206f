// The main window on the screen it runs on. The test script runs this once
// per screen size (1024 x 768 up to 2560 x 1080), with a title bar where a
// plant's PC has one: nothing reaches below the window, no control's text is
// cut, and the banner's figures stay large.
#include "gui_support.h"

#include "plot/plot_canvas.h"
#include "manual_clock.h"
#include "recorder/events.h"
#include "station/local_time.h"
#include "station/report_data.h"
#include "recorder/state_banner.h"
#include "station/translate.h"
#include "shell/paths.h"
#include "recorder/history_window.h"
#include "recorder/terminal_panel.h"
#include "shell/main_window.h"
#include "shell/menu_bar.h"
#include "shell/new_dialog.h"
#include "shell/accounts_dialog.h"
#include "shell/limits_dialog.h"
#include "shell/press_register_dialog.h"
#include "shell/programs_dialog.h"
#include "recorder/statistics_window.h"
#include "records/quality_password.h"
#include "station/program_files.h"

#include <wx/stockitem.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/listctrl.h>
#include <wx/choice.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

namespace {

std::string Where(wxWindow* w) {
    const wxRect r = w->GetRect();
    return std::string(wxString(w->GetClassInfo()->GetClassName()).utf8_str()) + " \"" +
           std::string(w->GetLabel().utf8_str()) + "\" at " + std::to_string(r.x) + "," +
           std::to_string(r.y) + " " + std::to_string(r.width) + "x" + std::to_string(r.height);
}

/// Each visible control of `parent` shows its whole text and lies inside the
/// parent; no two of them overlap, but for those within `composite`, a control
/// built of pieces laid on one frame.
void ExpectNothingCut(wxWindow* parent, const wxRect& composite = wxRect()) {
    const wxRect inside(parent->GetClientSize());
    std::vector<wxWindow*> shown;
    for (wxWindow* w : parent->GetChildren()) {
        if (!w->IsShown()) continue;
        if (!composite.Contains(w->GetRect())) shown.push_back(w);
        const wxRect r = w->GetRect();
        // A dividing line may run on under the window's edge.
        if (!dynamic_cast<wxStaticLine*>(w)) {
            EXPECT_TRUE(inside.Contains(r)) << Where(w) << " leaves its window";
        }
        const wxSize size = w->GetSize();
        if (auto* picture = dynamic_cast<wxBitmapButton*>(w)) {
            // The picture inside the button's frame, 3 pixels each side.
            const wxSize shown = picture->GetBitmap().GetSize() + wxSize(6, 6);
            EXPECT_TRUE(shown.x <= size.x && shown.y <= size.y)
                << Where(w) << " cuts its picture, needs " << shown.x << "x" << shown.y;
        } else if (dynamic_cast<wxButton*>(w) || dynamic_cast<wxCheckBox*>(w)) {
            const wxSize text = w->GetTextExtent(w->GetLabel());
            EXPECT_LE(text.x + 8, size.x) << Where(w);
        } else if (auto* label = dynamic_cast<wxStaticText*>(w)) {
            if (label->HasFlag(wxST_ELLIPSIZE_END)) continue; // ends in "…" by design
            wxClientDC dc(label);
            dc.SetFont(label->GetFont());
            const wxSize text = dc.GetMultiLineTextExtent(label->GetLabel());
            EXPECT_LE(text.x, size.x) << Where(w);
            EXPECT_LE(text.y, size.y + 2) << Where(w);
        } else if (auto* field = dynamic_cast<wxTextCtrl*>(w)) {
            // A field's frame and padding, or 2 pixels where it has no border.
            const int frame = field->HasFlag(wxBORDER_NONE) ? 2 : field->GetSizeFromTextSize(0).x;
            EXPECT_LE(field->GetTextExtent(field->GetValue()).x + frame, size.x) << Where(w);
        } else if (auto* box = dynamic_cast<wxComboBox*>(w)) {
            // The toolkit's size for the text; GTK asks more than it needs
            // there, where its frame and drop-down button take 50 pixels.
            const int text = box->GetTextExtent(box->GetValue()).x;
            EXPECT_LE(std::min(box->GetSizeFromTextSize(text).x, text + 50), size.x) << Where(w);
        }
    }
    for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(shown[i]->GetRect().Intersects(shown[j]->GetRect()))
                << Where(shown[i]) << " overlaps " << Where(shown[j]);
}

/// The words GTK draws on `button`; a stock button's are GTK's own, in the
/// system's language ("gtk-cancel"). Empty elsewhere.
wxString ToolkitLabel(wxButton* button) {
#ifdef __WXGTK__
    using Getter = const char* (*)(void*);
    static const auto get = reinterpret_cast<Getter>(dlsym(RTLD_DEFAULT, "gtk_button_get_label"));
    const char* label = get ? get(button->GetHandle()) : nullptr;
    return label ? wxString::FromUTF8(label) : wxString();
#else
    (void)button;
    return wxString();
#endif
}

/// The words of `text` (runs of two letters or more), in lower case.
std::vector<wxString> WordsOf(const wxString& text) {
    std::vector<wxString> words;
    wxString word;
    for (wxUniChar c : text + " ") {
        if (wxIsalpha(c) || c == wxUniChar(0xB2)) { // cm²
            word += c;
            continue;
        }
        if (word.length() >= 2) words.push_back(word.Lower());
        word.clear();
    }
    return words;
}

/// The words of the Italian catalogue that the English texts do not use, and
/// those both languages share: a text whose every word is among them is
/// Italian, whatever composed it.
std::set<wxString> ItalianWords() {
    const std::string po = ReadText(std::string(SOURCE_DIR) + "/po/it.po");
    std::set<wxString> italian, english;
    std::set<wxString>* into = nullptr;
    size_t at = 0;
    while (at < po.size()) {
        size_t end = po.find('\n', at);
        if (end == std::string::npos) end = po.size();
        const std::string line = po.substr(at, end - at);
        at = end + 1;
        if (line.rfind("msgid ", 0) == 0)
            into = &english;
        else if (line.rfind("msgstr ", 0) == 0)
            into = &italian;
        else if (line.empty() || line[0] != '"')
            into = nullptr;
        const size_t quote = line.find('"');
        if (into == nullptr || quote == std::string::npos) continue;
        wxString text = wxString::FromUTF8(line.substr(quote));
        text.Replace("\\n", " ");
        for (const wxString& word : WordsOf(text))
            into->insert(word);
    }
    std::set<wxString> words;
    for (const wxString& word : italian)
        if (!english.count(word)) words.insert(word);
    for (const char* shared :
         {"account", "bar",   "csv",  "file", "id",       "in",   "ip",    "json",      "kn",
          "max",     "min",   "ok",   "nok",  "password", "pc",   "pdf",   "server",    "stop",
          "wi",      "fi",    "esc",  "sd",   "cp",       "cpk",  "pp",    "ppk",       "ewma",
          "come",    "curve", "data", "date", "due",      "note", "state", "superfici", "ini",
          "mm",      "hh",    "ss",   "cm²",  "sì",       "si"})
        words.insert(wxString::FromUTF8(shared));
    return words;
}

/// What reads English in `text`: its words not in `italian`, the program's
/// name left out.
wxString EnglishIn(wxString text, const std::set<wxString>& italian) {
    text.Replace("Vemo Press Pressure Recorder", "");
    wxString found;
    for (const wxString& word : WordsOf(text))
        if (!italian.count(word)) found += (found.empty() ? "" : " ") + word;
    return found;
}

/// Every text `window` and the windows in it show to a person (titles,
/// labels, buttons, choices, hints, list headings, read-only texts) is in
/// Italian.
void ExpectItalian(wxWindow* window, const std::set<wxString>& italian) {
    std::vector<wxString> texts;
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(window)) texts.push_back(top->GetTitle());
    if (!window->IsShown()) return;
    if (auto* button = dynamic_cast<wxButton*>(window)) {
        EXPECT_FALSE(ToolkitLabel(button).StartsWith("gtk-"))
            << "the toolkit's own words on " << button->GetLabel();
    }
    if (dynamic_cast<wxStaticText*>(window) || dynamic_cast<wxCheckBox*>(window) ||
        (dynamic_cast<wxButton*>(window) && !dynamic_cast<wxBitmapButton*>(window)))
        texts.push_back(wxStripMenuCodes(window->GetLabel()));
    if (auto* field = dynamic_cast<wxTextCtrl*>(window)) {
        texts.push_back(field->GetHint());
        if (!field->IsEditable()) texts.push_back(field->GetValue());
    }
    if (auto* items = dynamic_cast<wxItemContainer*>(window))
        for (const wxString& item : items->GetStrings())
            texts.push_back(item);
    if (auto* list = dynamic_cast<wxListCtrl*>(window))
        for (int c = 0; c < list->GetColumnCount(); ++c) {
            wxListItem heading;
            heading.SetMask(wxLIST_MASK_TEXT);
            list->GetColumn(c, heading);
            texts.push_back(heading.GetText());
        }
    for (const wxString& text : texts)
        EXPECT_EQ(EnglishIn(text, italian), "")
            << window->GetClassInfo()->GetClassName() << " shows \"" << text << "\"";
    for (wxWindow* child : window->GetChildren())
        if (!dynamic_cast<wxTopLevelWindow*>(child)) ExpectItalian(child, italian);
}

/// What `banner` paints for `shown`.
wxImage Painted(const StateBanner& banner, const Banner& shown) {
    const wxSize size = banner.GetClientSize();
    StateBanner copy(banner.GetParent(), wxPoint(-1000, -1000), size.x, banner.FigurePixels());
    copy.Hide();
    copy.SetBanner(shown);
    wxBitmap bitmap(size);
    wxMemoryDC dc(bitmap);
    copy.Paint(dc, size);
    dc.SelectObject(wxNullBitmap);
    return bitmap.ConvertToImage();
}

/// The height of the white ink in the image: the text's, on a dark banner.
int WhiteInkHeight(const wxImage& image) {
    int top = -1, bottom = -1;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (image.GetRed(x, y) > 200 && image.GetGreen(x, y) > 200 &&
                image.GetBlue(x, y) > 200) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
    return top < 0 ? 0 : bottom - top + 1;
}

/// Columns of the painted banner that hold anything but its background.
std::vector<bool> InkedColumns(const StateBanner& banner, const Banner& shown) {
    const wxSize size = banner.GetClientSize();
    const wxImage image = Painted(banner, shown);
    const wxColour background = BannerBackground(shown);
    std::vector<bool> inked(size.x, false);
    for (int x = 0; x < size.x; ++x)
        for (int y = 0; y < size.y && !inked[x]; ++y)
            inked[x] = image.GetRed(x, y) != background.Red() ||
                       image.GetGreen(x, y) != background.Green() ||
                       image.GetBlue(x, y) != background.Blue();
    return inked;
}

} // namespace

TEST(ScreenFit, NothingIsCutOffOrBelowTheWindow) {
    const wxRect screen = wxDisplay(0u).GetGeometry();
    SCOPED_TRACE(std::to_string(screen.width) + " x " + std::to_string(screen.height));
    const std::string presses = ReadText(WorkDir() + "/superfici.ini");
    WriteText(WorkDir() + "/superfici.ini", "1250:P0,2010:Wheelset press 2 - hall B east,500:P2\n");
    // A store of its own, whose press register begins with these presses.
    const std::string store = WorkDir() + "/screen-fit.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((store + suffix).c_str());
    RebuildMainWindow(
        "ip=127.0.0.1\nport=65100\nautoconnect=false\nsuperficie=1\nrecords_db=" + store + "\n");
    MainWindow* main = MainWindow::GetInstance();
    TerminalPanel* panel = Panel();
    WaitUntil([&] { return main->m_frame->GetSize().x >= screen.width - 10; }, 2000);

    // The plot with its time axis lies inside the window, 10 pixels clear, and
    // the window inside the screen.
    const wxRect plot = panel->Controls().plot.plot->GetRect();
    const wxSize client = panel->GetClientSize();
    EXPECT_LE(plot.GetBottom() + 1 + 10, client.y) << "plot height " << plot.height;
    EXPECT_LE(panel->ClientToScreen(wxPoint(0, client.y)).y, screen.GetBottom() + 1);
    EXPECT_EQ(plot.width, screen.width - 320);
    ExpectNothingCut(panel);

    // The figures are large; the longest lines fit, words shrunk, clear of the
    // right edge and of the verdict's badge.
    // Read from two metres: the state's word and the digits, as painted, are
    // 46 pixels high on a 1080-line screen and never under 34.
    Banner big;
    big.colour = BannerColour::Blue;
    big.runs = {{"READY", false, true}, {" 380", true, false}};
    const int ink = WhiteInkHeight(Painted(*panel->Controls().banner, big));
    const bool large = screen.width >= 1920 && screen.height >= 1080;
    const bool laptop = screen.width >= 1366 && screen.height >= 768;
    EXPECT_GE(ink, large ? 46 : laptop ? 34 : 28);
    EXPECT_LE(ink, panel->Controls().banner->GetSize().y - 8);
    BannerInputs in;
    in.link = LinkPhase::Connected;
    in.address = "127.0.0.1:65100";
    in.haveReading = true;
    in.bar = 380;
    in.surface = 2010;
    Banner rising = ComposeBanner(in);
    in.recording = true;
    in.secondsLeft = 999;
    in.alarmThreshold = 250;
    in.aboveThresholdMs = 1500;
    Banner alarm = ComposeBanner(in);
    alarm.lit = true;
    in.recording = false;
    in.done = true;
    in.results.any = true;
    in.results.peakForceTons = 1034.6;
    in.results.peakTimeSeconds = 79.9;
    in.judgement.verdict = Verdict::Fail;
    const Banner done = ComposeBanner(in);
    for (const Banner& shown : {rising, alarm, done}) {
        SCOPED_TRACE(shown.Line());
        const std::vector<bool> inked = InkedColumns(*panel->Controls().banner, shown);
        const int width = int(inked.size());
        const int last = width - 1 -
                         int(std::find(inked.rbegin(), inked.rend(), true) -
                             inked.rbegin()); // right end of the badge or text
        EXPECT_LE(last, width - 8);
        if (shown.badge != Verdict::None) {
            // Text and badge keep a gap: a clear run of columns before the badge.
            int x = last;
            while (x > 0 && inked[x])
                --x;
            EXPECT_FALSE(inked[x - 1] && inked[x - 2] && inked[x - 3]);
        }
    }

    // The connection dialog shows its whole port and press name.
    NewDialog* dialog = new NewDialog(main->m_frame, wxID_ANY, "Connection Parameters",
                                      wxDefaultPosition, wxSize(380, 300), wxDEFAULT_DIALOG_STYLE,
                                      "127.0.0.1", "65100", false, false, 1);
    Pump(100);
    if (const char* shots = std::getenv("VEMO_SCREENSHOTS")) {
        const std::string name = std::string(shots) + "/screen-" + std::to_string(screen.width) +
                                 "x" + std::to_string(screen.height) + ".png";
        EXPECT_EQ(system(("import -window root '" + name + "'").c_str()), 0);
    }
    EXPECT_EQ(dialog->m_pressBox->GetValue(), "Wheelset press 2 - hall B east");
    ExpectNothingCut(dialog, wxRect(150, 55, 170, 25)); // the address control
    dialog->Destroy();
    WriteText(WorkDir() + "/superfici.ini", presses);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nskipQuestion=true\n"
                      "dir_path=" +
                      WorkDir() + "/reports\n");
}

// The program and its page in Italian from the catalogue the build compiles;
// the words fit where the English ones did, and the CSV file stays a machine
// format.
TEST(Languages, TheWindowAndThePageInItalian) {
    ASSERT_EQ(UseLanguage("it", CatalogueFolders()), "it");
    const std::string reports = WorkDir() + "/italian_reports";
    wxFileName::Mkdir(reports);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\ndir_path=" + reports +
                      "\n");
    TerminalPanel* panel = Panel();
    EXPECT_EQ(panel->Controls().startButton->GetLabel(), "Avvio");
    // The link buttons' pictures carry the language's words (they were
    // English pictures): drawn from the word, white on the button's colour.
    EXPECT_EQ(panel->Controls().connectButton->GetToolTipText(), "Connetti");
    EXPECT_EQ(panel->Controls().disconnectButton->GetToolTipText(), "Disconnetti");
    {
        const wxImage picture = panel->Controls().connectButton->GetBitmap().ConvertToImage();
        int white = 0, green = 0;
        for (int y = 0; y < picture.GetHeight(); ++y)
            for (int x = 0; x < picture.GetWidth(); ++x) {
                white += picture.GetRed(x, y) > 200 && picture.GetGreen(x, y) > 200;
                green += picture.GetGreen(x, y) > picture.GetRed(x, y) + 50;
            }
        EXPECT_GT(white, 30);
        EXPECT_GT(green, picture.GetWidth() * picture.GetHeight() / 2);
    }
    // The toolkit's own words too (its catalogue): a box's Yes and No, Close.
    EXPECT_EQ(wxGetStockLabel(wxID_YES, wxSTOCK_NOFLAGS), "Si"); // as the catalogue has it
    EXPECT_EQ(wxGetStockLabel(wxID_CLOSE, wxSTOCK_NOFLAGS), "Chiudi");
    EXPECT_EQ(panel->Controls().banner->Shown().Line(), "NON CONNESSO — premere Connetti");
    wxMenuBar* menus = MainWindow::GetInstance()->m_frame->GetMenuBar();
    EXPECT_EQ(menus->FindItem(ID_HISTORY)->GetItemLabel(), wxString::FromUTF8("&Storico…\tCtrl+H"));
    ExpectNothingCut(panel);

    ManualClock clock;
    panel->Job().SetClock(clock);
    panel->Job().AssumeConnected(true);
    FillStartFields(panel);
    panel->Controls().bearingDesignation->ChangeValue("TBU-130");
    panel->Controls().productionDate->ChangeValue("2024-03");
    panel->Controls().refurbishmentDate->ChangeValue("2026-10");
    Click(panel, ID_START);
    for (int i = 0; i < 40; ++i) {
        clock.SetMs(i * 75);
        panel->Job().ApplyReadings({{20 + 5 * i, clock.Steady()}});
    }
    wxTEST_DIALOG(Click(panel, ID_STOP),
                  ExpectBox(wxString::FromUTF8("Scrivere il rapporto per l'assile AX4711 A?"),
                            wxYES, "Stampare il RAPPORTO?"),
                  ExpectBoxStarting("Rapporto creato: ", wxOK, "Rapporto")); // stopped: INCOMPLETA
    panel->Job().AssumeConnected(false);
    const std::string pdf =
        reports + "/" +
        ReportFileName("AX4711", "A", FileDate(panel->Job().LastRecording()->stoppedAt));
    const std::string text = RunCommand("pdftotext -layout '" + pdf + "' -");
    for (const char* italian :
         {"Registrazione di montaggio cuscinetto", "Stabilimento:", "Forza di picco",
          "Pagina 1 di 1", "Operatore", "INCOMPLETA", "Data di revisione:"})
        EXPECT_NE(text.find(italian), std::string::npos) << italian << "\n" << text;
    const std::string csv = ReadText(pdf.substr(0, pdf.size() - 4) + ".csv");
    EXPECT_NE(csv.find("\n# report_id,"), std::string::npos) << csv.substr(0, 200);
    if (const char* shots = std::getenv("VEMO_SCREENSHOTS")) {
        const std::string command =
            "pdftoppm -png -r 80 -singlefile '" + pdf + "' '" + shots + "/report-page-it'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    // History in Italian at 1366 x 768: every word of it, nothing cut (its
    // filters, buttons and columns were English whatever the language).
    {
        std::string why;
        auto* history = new HistoryWindow(MainWindow::GetInstance()->m_frame, *panel,
                                          RecordStore::Open(panel->Job().StorePath(), &why));
        history->Show();
        Pump(300);
        EXPECT_EQ(history->GetTitle(), "Storico delle registrazioni");
        EXPECT_TRUE(history->m_count->GetLabel().AfterFirst(' ').StartsWith("registrazion"))
            << history->m_count->GetLabel();
        wxListItem heading;
        heading.SetMask(wxLIST_MASK_TEXT);
        history->m_list->GetColumn(7, heading);
        EXPECT_EQ(heading.GetText(), "Esito");
        EXPECT_EQ(history->m_list->GetItemText(0, 7), "INCOMPLETA"); // the newest, just stopped
        for (wxWindow* child : history->GetChildren())
            if (auto* button = dynamic_cast<wxButton*>(child)) {
                for (const char* english : {"Print", "Export", "Close", "Open", "Save"})
                    EXPECT_FALSE(button->GetLabel().StartsWith(english)) << button->GetLabel();
            }
        ExpectNothingCut(history);
        if (const char* shots = std::getenv("VEMO_SCREENSHOTS")) {
            const std::string command =
                "import -window root '" + std::string(shots) + "/history-it.png'";
            EXPECT_EQ(system(command.c_str()), 0);
        }
        history->Destroy();
        Pump(50);
    }

    ASSERT_EQ(UseLanguage("en", CatalogueFolders()), "en");
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    EXPECT_EQ(Panel()->Controls().startButton->GetLabel(), "Start");
}

// Every window a person opens, in Italian at 1366 x 768: each text's words
// are the catalogue's, nothing is cut and every window lies on the screen.
// The dialogs of the quality engineer, the connection and the audit trail
// spoke English whatever the language.
TEST(Languages, EveryWindowInItalianNothingCut) {
    ASSERT_EQ(UseLanguage("it", CatalogueFolders()), "it");
    std::set<wxString> italian = ItalianWords();
    for (const char* name : {"tbu", "anna", "rossi", "ax"}) // the test's own names
        italian.insert(name);
    ASSERT_GT(italian.size(), 500u);
    EXPECT_EQ(EnglishIn("Limiti di forza della pressa", italian), "");
    EXPECT_EQ(EnglishIn("Limiti: Lower limit", italian), "lower limit");
    const std::string store = WorkDir() + "/italian-windows.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((store + suffix).c_str());
    if (wxFileExists(kQualityPasswordFile)) wxRemoveFile(kQualityPasswordFile);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\nrecords_db=" + store +
                      "\n");
    MainWindow* main = MainWindow::GetInstance();
    const wxRect screen = wxDisplay(0u).GetClientArea();
    auto walk = [&](wxWindow* window, const char* what, const wxRect& composite = wxRect()) {
        SCOPED_TRACE(what);
        window->Show();
        Pump(150);
        if (const char* shots = std::getenv("VEMO_SCREENSHOTS")) {
            const std::string name = std::string(shots) + "/it-" + what + ".png";
            EXPECT_EQ(system(("import -window root '" + name + "'").c_str()), 0);
        }
        ExpectItalian(window, italian);
        ExpectNothingCut(window, composite);
        EXPECT_TRUE(screen.Contains(window->GetScreenRect())) << what << " leaves the screen";
    };

    // The status line and every menu item.
    EXPECT_EQ(EnglishIn(main->m_frame->GetStatusBar()->GetStatusText(0), italian), "");
    wxMenuBar* menus = main->m_frame->GetMenuBar();
    for (size_t m = 0; m < menus->GetMenuCount(); ++m) {
        EXPECT_EQ(EnglishIn(wxStripMenuCodes(menus->GetMenuLabel(m)), italian), "");
        for (wxMenuItem* item : menus->GetMenu(m)->GetMenuItems())
            if (!item->IsSeparator()) {
                EXPECT_EQ(EnglishIn(item->GetItemLabelText(), italian), "")
                    << item->GetItemLabelText();
            }
    }

    // The connection, with a wrong port told in Italian.
    NewDialog* connection =
        new NewDialog(main->m_frame, wxID_ANY, _("Connection Parameters"), wxDefaultPosition,
                      wxSize(380, 300), wxDEFAULT_DIALOG_STYLE, "127.0.0.1", "", false, false, 0);
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    connection->ProcessWindowEvent(ok);
    walk(connection, "connection", wxRect(150, 55, 170, 25)); // the address control
    connection->Destroy();

    // A mounting program imported, signed: the first account is made.
    const std::string file = WorkDir() + "/italian-program.json";
    WriteText(file, R"({"name": "TBU 130x230", "version": 1, "bearing": "TBU 130x230*",
        "record_length_s": 12, "alarm_threshold_bar": 380,
        "criteria": [{"peak": {"min_t": 350, "max_t": 420}}, {"hold": {"above_t": 390,
        "min_s": 3.0}}]})");
    {
        auto* programs = new ProgramsDialog(main->m_frame);
        SignAsQualityEngineer(programs->Signature());
        ASSERT_TRUE(programs->Import(file)) << programs->m_errorText->GetLabel();
        programs->m_list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        EXPECT_TRUE(programs->m_details->GetValue().Contains(wxString::FromUTF8("picco tra 350 t")))
            << programs->m_details->GetValue();
        walk(programs, "mounting programs");
        programs->Destroy();
    }
    {
        auto* limits = new LimitsDialog(main->m_frame, 0);
        limits->m_lower->ChangeValue("abc");
        wxCommandEvent pressed(wxEVT_BUTTON, wxID_OK);
        limits->ProcessWindowEvent(pressed); // refused, in Italian
        EXPECT_FALSE(limits->m_errorText->GetLabel().empty());
        walk(limits, "force limits");
        limits->Destroy();
    }
    for (wxDialog* dialog : std::initializer_list<wxDialog*>{
             new PressRegisterDialog(main->m_frame, 0), new AccountsDialog(main->m_frame)}) {
        walk(dialog, dynamic_cast<AccountsDialog*>(dialog) ? "accounts" : "press-register");
        dialog->Destroy();
    }

    // History's audit trail (the program's import in it), a re-evaluation and
    // the statistics, over a recording of the store's own.
    std::string why;
    std::unique_ptr<RecordStore> records = main->OpenAuditStore(&why);
    ASSERT_TRUE(records) << why;
    Recording r;
    r.setup.uuid = NewRecordingId();
    r.setup.job.axleDesignation = "AX-4711";
    r.setup.job.mountingSide = "A";
    r.setup.pressName = "P0";
    r.setup.surface = 1250;
    r.setup.hasLimits = true;
    r.setup.limits = {350, 420};
    r.startedAt = r.stoppedAt = 1796752800;
    for (int i = 0; i < 200; ++i) {
        r.times.push_back(i * 0.075);
        r.forces.push_back(std::min(400.0, i * 4.0 + (i % 3) * 0.4));
        r.pressures.push_back(static_cast<int>(r.forces.back() / 1.275));
    }
    ASSERT_TRUE(records->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
    auto* history = new HistoryWindow(main->m_frame, *Panel(), std::move(records));
    history->m_list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    walk(history, "history"); // its details of the recording too
    ChangesWindow* changes = history->ShowChanges();
    walk(changes, "audit trail");
    EXPECT_TRUE(changes->m_list->GetItemText(0, 4).StartsWith("programma di montaggio"))
        << changes->m_list->GetItemText(0, 4);
    changes->Destroy();
    Program program;
    ASSERT_TRUE(ReadProgramFile(file, program, &why)) << why;
    EvaluationWindow* evaluated = history->EvaluateWith(program);
    ASSERT_TRUE(evaluated);
    walk(evaluated, "evaluation");
    evaluated->Destroy();
    StatisticsWindow* statistics =
        ShowStatistics(main->m_frame, Panel()->Job().StorePath(), {}, "", false, &Panel()->Host());
    ASSERT_TRUE(statistics);
    WaitUntil([&] { return !statistics->Asking(); }, 3000);
    walk(statistics, "statistics");
    statistics->Destroy();
    history->Destroy();
    Pump(50);

    ASSERT_EQ(UseLanguage("en", CatalogueFolders()), "en");
    if (wxFileExists(kQualityPasswordFile)) wxRemoveFile(kQualityPasswordFile);
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
}

// Colour as plant screens use it, as painted: the normal states muted (grey,
// blue-grey, indigo, green, slate), amber only for a warning, red only for the
// alarm, a lost module grey inside a red frame; ARMED never looks like a
// warning.
TEST(BannerColours, MutedStatesAmberWarningsRedAlarm) {
    RebuildMainWindow("ip=127.0.0.1\nport=1\nautoconnect=false\nsuperficie=0\n");
    const StateBanner& banner = *Panel()->Controls().banner;
    BannerInputs in;
    in.link = LinkPhase::Connected;
    in.haveReading = true;
    in.surface = 1250;
    auto painted = [&](const BannerInputs& state) {
        const Banner shown = ComposeBanner(state);
        const wxImage image = Painted(banner, shown);
        const int y = image.GetHeight() / 2;
        return std::make_pair(
            wxColour(image.GetRed(7, y), image.GetGreen(7, y), image.GetBlue(7, y)),
            wxColour(image.GetRed(1, y), image.GetGreen(1, y), image.GetBlue(1, y)));
    };
    auto muted = [](const wxColour& c) {
        const int high = std::max({c.Red(), c.Green(), c.Blue()});
        const int low = std::min({c.Red(), c.Green(), c.Blue()});
        return high <= 140 && high - low <= 100;
    };
    auto amber = [](const wxColour& c) {
        return c.Red() > 200 && c.Green() > 120 && c.Blue() < 60;
    };
    auto red = [](const wxColour& c) { return c.Red() > 180 && c.Green() < 40 && c.Blue() < 40; };

    BannerInputs ready = in;
    BannerInputs armed = in;
    armed.armed = true;
    BannerInputs recording = armed;
    recording.recording = true;
    recording.bar = 200;
    BannerInputs done = in;
    done.done = true;
    for (const BannerInputs& state : {ready, armed, recording, done}) {
        const wxColour inside = painted(state).first;
        EXPECT_TRUE(muted(inside)) << ComposeBanner(state).Line() << " " << inside.GetAsString();
    }
    EXPECT_NE(painted(ready).first, painted(armed).first); // told apart, also by colour

    BannerInputs rising = in;
    rising.bar = 180;
    EXPECT_TRUE(amber(painted(rising).first));
    BannerInputs alarm = in;
    alarm.bar = 320;
    alarm.alarmAbove = true;
    alarm.alarmThreshold = alarm.alarm.thresholdBar = 300;
    EXPECT_TRUE(red(painted(alarm).first));
    BannerInputs lost = in;
    lost.link = LinkPhase::Reconnecting;
    const auto [inside, frame] = painted(lost);
    EXPECT_TRUE(muted(inside));
    EXPECT_TRUE(red(frame));
}
