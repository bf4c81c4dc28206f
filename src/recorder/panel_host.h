// What the terminal panel needs of the program around it: the presses with
// their surfaces and limits, the report directory, the module's start-up
// commands, the connection dialog and where the program's pictures and
// sounds are. The main window provides them; the
// panel never reaches up for them.
#pragma once

#include "records/recording.h"

#include <string>
#include <vector>

#include <wx/string.h>

class PanelHost {
  public:
    virtual ~PanelHost() = default;
    /// Name of press `index`, or "" when there is no such press.
    virtual wxString PressName(long index) const = 0;
    /// Surface of press `index` in cm², or 0 when there is no such press.
    virtual double Surface(long index) const = 0;
    /// The force limits of press `index`, or null when it has none.
    virtual const ForceLimits* Limits(long index) const = 0;
    /// When and by whom those limits were last set; false when not known.
    virtual bool LimitsSet(long index, int64_t* at, std::string* by) const = 0;
    /// The entry of press `index` in the press register; null when it has
    /// none (no such press, or an installation without the register).
    virtual const struct PressEntry* Registered(long index) const = 0;
    /// Whether Start is refused for a press whose calibration is not recorded.
    virtual bool CalibrationRequired() const = 0;
    /// Whether every bearing must have a mounting program to be mounted.
    virtual bool ProgramRequired() const = 0;
    /// The report directory, "" while none is chosen.
    virtual wxString ReportDirectory() const = 0;
    /// Asks for the report directory; false when the operator cancelled.
    virtual bool ChooseReportDirectory() = 0;
    /// The commands sent to the module after each connection.
    virtual std::vector<std::string> StartupCommands() const = 0;
    /// The full path of one of the program's own files ("icons/alarm.wav").
    virtual wxString DataFile(const wxString& relative) const = 0;
    /// Keeps the operator ID for the next start (the shift's operator stays).
    virtual void KeepOperator(const wxString& operatorId) = 0;
    /// Makes press `index` the one in use, kept for the next start; false
    /// when it cannot change now (a recording runs; told).
    virtual bool SelectPress(unsigned index) = 0;
    /// Keeps whether recordings end by themselves once the pressure is
    /// released.
    virtual void KeepEndWhenReleased(bool on) = 0;
    /// The plant's name as set (`plant_name`), printed on every page; "" when
    /// none is set.
    virtual wxString PlantName() const { return wxString(); }
    /// The printer pages go to (`printer=`), "" for the system's default.
    virtual wxString PrinterSetting() const { return wxString(); }
    /// A setting of how a window is shown ("history_columns"), "" when none
    /// is kept; such settings are no part of a job and go in no trail.
    virtual wxString ViewSetting(const wxString& key) const {
        (void)key;
        return wxString();
    }
    virtual void KeepViewSetting(const wxString& key, const wxString& value) {
        (void)key, (void)value;
    }
    /// Keeps a change of a setting the panel holds (`what`: the audit
    /// trail's name) in the audit trail, in the name of `who`. With
    /// `oldValue` empty, the old value is the trail's newest of `what` for
    /// the press, and nothing is kept when it is `newValue` already.
    virtual void KeepInTrail(const std::string& what, const std::string& press,
                             const std::string& oldValue, const std::string& newValue,
                             const std::string& who) = 0;
    /// Shows how the recordings for the plant server stand ("3 recordings
    /// waiting for the plant server: …"); "" for none waiting.
    virtual void ShowPlantStatus(const wxString& text) = 0;
    /// Opens the connection dialog with the panel's values.
    virtual void EditConnection(const wxString& address, const wxString& port, bool autoconnect,
                                bool skipQuestion, unsigned pressIndex) = 0;
};
