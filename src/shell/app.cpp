// The application object: builds the main window at start-up and releases the
// socket layer at exit.
#include "link/transport.h"
#include "shell/main_window.h"
#include "shell/paths.h"

#include "plot/plot_canvas.h"
#include "records/file_access.h"
#include "plant/plant_server.h"
#include "station/report_import.h"
#include "station/mounting_statistics.h"
#include "station/verify.h"
#include "station/program_files.h"
#include "records/integrity.h"
#include "recorder/terminal_panel.h"
#include "recorder/messages.h"
#include "station/translate.h"

#include <wx/app.h>
#include <wx/filefn.h>
#include <wx/log.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

/// `vemo-recorder --import DIR`: the reports of DIR into the record store of
/// the working directory, told on the standard output; no window.
int ImportFromCommandLine(const wxString& directory) {
    wxLog::SetActiveTarget(new wxLogStderr);
    std::string why;
    std::unique_ptr<RecordStore> store = RecordStore::Open(RecordStorePath(), &why);
    if (!store) {
        std::fprintf(stderr, "The record store cannot be used: %s\n", why.c_str());
        return 2;
    }
    // Imported recordings go to the plant server like the others, sent by
    // the program the next time it runs.
    store->QueueForPlant(!PlantServerSetting().empty());
    const ImportOutcome outcome = ImportReports(std::string(directory.utf8_str()), *store,
                                                std::string(wxGetHostName().utf8_str()));
    std::printf("%s\n", outcome.Summary().c_str());
    return outcome.failure.empty() ? 0 : 2;
}

/// `vemo-recorder --queue-for-plant`: every recording of the store in its
/// outbox, to be sent by the program the next time it runs.
int QueueForPlantFromCommandLine() {
    wxLog::SetActiveTarget(new wxLogStderr);
    if (PlantServerSetting().empty()) {
        std::fprintf(stderr, "No plant server: records_server= is not set in config.ini.\n");
        return 2;
    }
    std::string why;
    std::unique_ptr<RecordStore> store = RecordStore::Open(RecordStorePath(), &why);
    const int64_t queued = store ? store->QueueEverything(&why) : -1;
    if (queued < 0) {
        std::fprintf(stderr, "The record store cannot be used: %s\n", why.c_str());
        return 2;
    }
    std::printf("%lld recordings queued for the plant server, %lld waiting in all; the program "
                "sends them when it runs.\n",
                static_cast<long long>(queued), static_cast<long long>(store->OutboxCount()));
    return 0;
}

/// `--verify FILE` and `--verify-store`: one line on the standard output.
int VerifyFromCommandLine(const char* file) {
    wxLog::SetActiveTarget(new wxLogStderr);
    const VerifyOutcome outcome =
        file ? VerifyReportFile(file, RecordStorePath(), PlantServerSetting())
             : VerifyStore(RecordStorePath(), PlantServerSetting());
    std::printf("%s\n", outcome.line.c_str());
    std::fflush(stdout);
    return outcome.exitCode;
}

/// `--evaluate CURVE.csv --program PROGRAM.json` and `--teach PROGRAM.json
/// CURVE.csv...`: the answer on the standard output.
int ProgramCommand(const std::vector<std::string>& argv, size_t at) {
    wxLog::SetActiveTarget(new wxLogStderr);
    CommandAnswer answer;
    if (argv[at] == "--evaluate") {
        if (at + 3 >= argv.size() || argv[at + 2] != "--program") {
            std::fprintf(stderr,
                         "usage: vemo-recorder --evaluate CURVE.csv --program PROGRAM.json\n");
            return 2;
        }
        answer = EvaluateCurveFile(argv[at + 1], argv[at + 3]);
    } else {
        answer = TeachFromCurveFiles(argv[at + 1],
                                     std::vector<std::string>(argv.begin() + at + 2, argv.end()));
    }
    std::fputs(answer.text.c_str(), answer.exitCode == 2 ? stderr : stdout);
    std::fflush(stdout);
    return answer.exitCode;
}

/// `--statistics [--press NAME] [--bearing TEXT] [--from DATE] [--to DATE]
/// [--limits LOWER,UPPER]`: the figures on the standard output.
int StatisticsFromCommandLine(const std::vector<std::string>& argv, size_t at) {
    wxLog::SetActiveTarget(new wxLogStderr);
    const StatisticsAnswer answer = StatisticsCommand(
        std::vector<std::string>(argv.begin() + static_cast<long>(at), argv.end()),
        RecordStorePath());
    std::fputs(answer.text.c_str(), answer.exitCode == 0 ? stdout : stderr);
    std::fputs(answer.notes.c_str(), stderr);
    std::fflush(stdout);
    return answer.exitCode;
}

const char* const kUsage =
    "usage: vemo-recorder [--user-dir]\n"
    "           the recorder's window, in this directory (or the user's own)\n"
    "       vemo-recorder --verify FILE\n"
    "           whether a report page or its CSV file is as it was recorded\n"
    "       vemo-recorder --verify-store\n"
    "           whether every record of this directory's record store is as written\n"
    "       vemo-recorder --import DIR\n"
    "           reads a folder of reports into the record store\n"
    "       vemo-recorder --evaluate CSV... --program PROGRAM.json\n"
    "           judges curve files by a mounting program\n"
    "       vemo-recorder --teach PROGRAM.json CSV...\n"
    "           teaches the program's envelope from good curves\n"
    "       vemo-recorder --statistics [--press NAME] [--bearing TEXT] [--from YYYY-MM-DD]\n"
    "                     [--to YYYY-MM-DD] [--limits LOWER,UPPER]\n"
    "           the peak force's figures of the recordings that match\n"
    "       vemo-recorder --queue-for-plant\n"
    "           queues every recording of the store for the plant server\n"
    "       vemo-recorder --plant-setup \"CONNECTION STRING\"\n"
    "       vemo-recorder --plant-add-pc \"CONNECTION STRING\" PC-NAME\n"
    "           plant IT's set-up of the plant server, and a role for each PC\n"
    "       vemo-recorder --help\n"
    "           this text; nothing is opened or made\n";

/// `--help`: the usage, before anything is opened or made; false when the
/// arguments do not ask for it.
bool Helped(const std::vector<std::string>& argv) {
    for (size_t i = 1; i < argv.size(); ++i)
        if (argv[i] == "--help" || argv[i] == "-h" || argv[i] == "/?") {
            std::fputs(kUsage, stdout);
            std::fflush(stdout);
            return true;
        }
    return false;
}

/// The commands that need no window; -1 when the arguments ask for none.
int RunWithoutWindow(int argc, const std::vector<std::string>& argv) {
    for (int i = 1; i < argc; ++i) {
        const bool next = i + 1 < argc;
        if ((argv[i] == "--evaluate" || argv[i] == "--teach") && next)
            return ProgramCommand(argv, static_cast<size_t>(i));
        if (argv[i] == "--import" && next)
            return ImportFromCommandLine(wxString::FromUTF8(argv[i + 1]));
        if (argv[i] == "--verify" && next) return VerifyFromCommandLine(argv[i + 1].c_str());
        if (argv[i] == "--verify-store") return VerifyFromCommandLine(nullptr);
        if (argv[i] == "--statistics")
            return StatisticsFromCommandLine(argv, static_cast<size_t>(i));
        if (argv[i] == "--queue-for-plant") return QueueForPlantFromCommandLine();
        if (argv[i] == "--plant-setup" || argv[i] == "--plant-add-pc") {
            if (!next || (argv[i] == "--plant-add-pc" && i + 2 >= argc)) {
                std::fprintf(stderr, "usage: vemo-recorder --plant-setup \"CONNECTION STRING\"\n"
                                     "       vemo-recorder --plant-add-pc \"CONNECTION STRING\" "
                                     "PC-NAME\n");
                return 2;
            }
            const PlantAdminAnswer answer = argv[i] == "--plant-setup"
                                                ? SetUpPlantServer(argv[i + 1])
                                                : AddPlantPc(argv[i + 1], argv[i + 2]);
            std::fputs(answer.text.c_str(), answer.exitCode == 0 ? stdout : stderr);
            std::fflush(stdout);
            return answer.exitCode;
        }
    }
    return -1;
}

} // namespace

class VemoLogger : public wxApp {
  public:
    bool OnInit() override {
#ifdef _WIN32
        {
            std::vector<std::string> args;
            for (int i = 0; i < argc; ++i)
                args.push_back(std::string(argv[i].utf8_str()));
            // A command without a window answers in the console it was typed in.
            const bool command =
                args.size() > 1 && ((args[1].rfind("--", 0) == 0 && args[1] != "--user-dir") ||
                                    args[1] == "-h" || args[1] == "/?");
            if (command && AttachConsole(ATTACH_PARENT_PROCESS)) {
                std::freopen("CONOUT$", "w", stdout);
                std::freopen("CONOUT$", "w", stderr);
            }
            if (Helped(args)) std::exit(0);
        }
#endif
        InitIntegrity();
        bool userDir = false;
        for (int i = 1; i < argc; ++i)
            userDir = userDir || argv[i] == "--user-dir";
        EnterUserWorkingDirectoryIfNeeded(userDir);
#ifdef _WIN32
        std::vector<std::string> args;
        for (int i = 0; i < argc; ++i)
            args.push_back(std::string(argv[i].utf8_str()));
        const int done = RunWithoutWindow(argc, args);
        if (done >= 0) std::exit(done);
#endif
        // One copy of the program a working directory: a second one would
        // take the first one's live journal for an interrupted recording.
        std::string why;
        if (!m_directoryLock.Acquire(kDirectoryLockFile, &why)) {
            ShowError("The working directory " + wxGetCwd() + " is " + wxString::FromUTF8(why) +
                      ". Use that copy, or close it first.");
            return false;
        }
        // The operator's language: the setting, else the system's.
        UseLanguage(LanguageSetting(), CatalogueFolders());
        MainWindow* main = MainWindow::GetInstance();
        // For the start-up benchmark: print the wall clock at the first paint of
        // the plot and end.
        if (std::getenv("VEMO_FIRST_PAINT_PROBE") && main->m_panel) {
            main->m_panel->Controls().plot.plot->Bind(wxEVT_PAINT, [](wxPaintEvent& event) {
                event.Skip();
                static bool done = false;
                if (done) return;
                done = true;
                auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
                printf("first-paint-us %lld\n", static_cast<long long>(us));
                fflush(stdout);
                fflush(stderr);
                std::_Exit(0); // a probe: nothing to save, and no box may hold it up
            });
        }
        return true;
    }
    int OnExit() override {
        if (m_directoryLock.Held()) {
            MainWindow::GetInstance();
            SockRelease();
        }
        return 0;
    }

  private:
    static constexpr const char* kDirectoryLockFile = ".vemo-recorder.lock";
    FileLock m_directoryLock;
};

#ifdef _WIN32
wxIMPLEMENT_APP(VemoLogger);
#else
wxIMPLEMENT_APP_NO_MAIN(VemoLogger);

// An import or a check needs no window, so none is made, and no display
// either.
int main(int argc, char** argv) {
    if (Helped(std::vector<std::string>(argv, argv + argc))) return 0;
    InitIntegrity();
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--user-dir") == 0) EnterUserWorkingDirectoryIfNeeded(true);
    const int done = RunWithoutWindow(argc, std::vector<std::string>(argv, argv + argc));
    if (done >= 0) return done;
    return wxEntry(argc, argv);
}
#endif
