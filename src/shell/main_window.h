// The process-wide object of the program: owner of the visible frame and holder
// of the shared state (settings store, presses, start-up commands, report
// directory). Exactly one exists, created by the first GetInstance.
#pragma once

#include "station/limits.h"
#include "station/press_register.h"
#include "recorder/panel_host.h"
#include "station/settings.h"

#include <memory>

#include <wx/frame.h>

class wxFileConfig;
class wxBoxSizer;
class wxStatusBar;
class MenuBar;
class TerminalPanel;
class RecordStore;

extern const char* const kProgramTitle;

/// The record store named by config.ini's records_db, or records.db, in the
/// working directory.
std::string RecordStorePath();
/// config.ini's records_server= (the plant server's libpq connection
/// string), or "" when there is none.
std::string PlantServerSetting();
/// config.ini's language= ("it", "en"), or "" for the system's.
std::string LanguageSetting();
extern const char* const kStatusTitle;

class MainWindow : public wxFrame, public PanelHost {
  public:
    static MainWindow* GetInstance();
    /// Ends the instance; for tests that build the program more than once.
    static void DestroyInstance();

    void SetPdfDirectory(const wxString& path);
    /// Applies and saves the connection dialog's values; false, after telling
    /// the operator, while a recording is armed or running.
    bool ApplyConnectionSettings(const wxString& ip, const wxString& port, bool skipQuestion,
                                 bool autoconnect, unsigned int pressIndex);
    /// Rewrites config.ini; false, with the reason, when it could not be written.
    bool SaveSettings(wxString* why = nullptr);
    /// Rewrites config.ini and tells the operator when it could not be.
    void SaveSettingsOrTell();

    // What the panel is handed (PanelHost).
    wxString PressName(long index) const override;
    double Surface(long index) const override;
    const ForceLimits* Limits(long index) const override;
    bool LimitsSet(long index, int64_t* at, std::string* by) const override;
    wxString ReportDirectory() const override { return m_pdfDirectory; }
    bool ProgramRequired() const override;
    const PressEntry* Registered(long index) const override;
    const PressEntry* RegisteredByName(const std::string& name) const {
        return m_register.Find(name);
    }
    int RegisterSize() const { return static_cast<int>(m_register.presses.size()); }
    /// Takes a press's new entry, kept in the audit trail already, into the
    /// register in use: superfici.ini, the presses and the panel follow it.
    /// False with the reason when superfici.ini cannot be written.
    bool SetRegistered(const PressEntry& entry, std::string* why);
    bool CalibrationRequired() const override;
    bool ChooseReportDirectory() override { return ChoosePdfDirectory(); }
    std::vector<std::string> StartupCommands() const override;
    wxString DataFile(const wxString& relative) const override;
    void KeepOperator(const wxString& operatorId) override;
    bool SelectPress(unsigned index) override;
    void KeepEndWhenReleased(bool on) override;
    wxString ViewSetting(const wxString& key) const override;
    wxString PlantName() const override { return ViewSetting("plant_name"); }
    wxString PrinterSetting() const override { return ViewSetting("printer"); }
    void KeepViewSetting(const wxString& key, const wxString& value) override;
    void KeepInTrail(const std::string& what, const std::string& press, const std::string& oldValue,
                     const std::string& newValue, const std::string& who) override;
    void ShowPlantStatus(const wxString& text) override;
    void EditConnection(const wxString& address, const wxString& port, bool autoconnect,
                        bool skipQuestion, unsigned pressIndex) override;
    /// Sets (or, with null, removes) the limits of press `index`, rewrites
    /// limits.ini and keeps the change in the audit trail with who made it
    /// (the system user when not given) and why; false with the reason when
    /// either could not be written, and then nothing changed. The limits
    /// dialog asks for the quality engineer's password before it calls this.
    bool SetLimits(long index, const ForceLimits* limits, std::string* error,
                   const std::string& who = "", const std::string& reason = "");
    /// The record store for the audit trail, opened for one use.
    std::unique_ptr<RecordStore> OpenAuditStore(std::string* why) const;
    /// This PC's name, as recordings and changes carry it.
    static std::string PcName();
    /// Asks for the report directory with the directory chooser and saves it;
    /// false when the operator cancelled.
    bool ChoosePdfDirectory();

    InitCommandTable m_initCommands;
    wxFileConfig* m_config = nullptr;
    float m_surfaces[kPressCount];
    wxArrayString* m_pressNames = nullptr;
    wxBoxSizer* m_sizer = nullptr;
    wxFrame* m_frame = nullptr;
    wxStatusBar* m_statusBar = nullptr;
    MenuBar* m_menuBar = nullptr;
    TerminalPanel* m_panel = nullptr;
    wxString m_pdfDirectory;
    LimitTable m_limits;
    OriginTable m_limitOrigins;
    /// The press register, as the audit trail held it at start or since a
    /// quality engineer changed it.
    PressRegister m_register;

  private:
    MainWindow();
    ~MainWindow() override;
    void Build();
    void ReadSettingsFiles(wxString& ip, wxString& port, bool& autoconnect, long& pressIndex,
                           bool& skipQuestion);
    static MainWindow* s_instance;
};
