#include "shell/press_register_dialog.h"

#include "recorder/messages.h"
#include "recorder/terminal_panel.h"
#include "records/record_store.h"
#include "shell/main_window.h"
#include "shell/quality_signature.h"
#include "station/local_time.h"
#include "station/press_register.h"
#include "station/translate.h"
#include "station/typed_number.h"

#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <charconv>
#include <cmath>

namespace {

wxString U(const std::string& text) {
    return wxString::FromUTF8(text);
}

std::string Typed(const wxTextCtrl* field) {
    wxString text = field->GetValue();
    text.Trim(true).Trim(false);
    return std::string(text.utf8_str());
}

} // namespace

PressRegisterDialog::PressRegisterDialog(wxWindow* parent, long pressIndex)
    : wxDialog(parent, wxID_ANY, _("Press Register")) {
    MainWindow* main = MainWindow::GetInstance();
    const PressEntry* entry = main->Registered(pressIndex);
    PressEntry shown;
    if (entry) {
        shown = *entry;
    } else {
        shown.name = main->PressName(pressIndex).utf8_str();
        shown.surface = main->Surface(pressIndex);
    }
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxStaticText* title =
        new wxStaticText(this, wxID_ANY,
                         _("The press, its measuring chain and its calibration (a name not in "
                           "the register adds a press)"));
    title->SetFont(title->GetFont().Bold());
    column->Add(title, 0, wxALL, 10);
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 6, 10);
    grid->AddGrowableCol(1);
    auto row = [&](const wxString& label, const std::string& value) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTRE_VERTICAL);
        wxTextCtrl* field =
            new wxTextCtrl(this, wxID_ANY, U(value), wxDefaultPosition, wxSize(320, -1));
        grid->Add(field, 1, wxEXPAND);
        return field;
    };
    char surface[32] = "";
    if (shown.surface > 0) std::snprintf(surface, sizeof surface, "%.9g", shown.surface);
    m_name = row(TrW("Press name"), shown.name);
    m_serial = row(TrW("Serial number"), shown.serial);
    m_surface = row(TrW("Piston surface (cm\xC2\xB2)"), surface);
    m_surfaceSource = row(TrW("Surface from"), shown.surfaceSource);
    m_module = row(TrW("Pressure module or transmitter (serial)"), shown.module);
    m_certificate = row(TrW("Calibration certificate"), shown.calibration.certificate);
    m_calibratedOn = row(TrW("Calibrated on (YYYY-MM-DD)"), shown.calibration.calibratedOn);
    m_dueOn = row(TrW("Due on (YYYY-MM-DD)"), shown.calibration.dueOn);
    m_calibratedBy = row(TrW("Calibrated by"), shown.calibration.by);
    m_reference = row(TrW("Reference used"), shown.calibration.reference);
    m_allowedUntil =
        row(TrW("Record while overdue until (YYYY-MM-DD HH:MM:SS)"),
            shown.overdueAllowedUntil > 0 ? IsoDateTime(shown.overdueAllowedUntil) : "");
    m_allowedReason = row(TrW("Reason for recording while overdue"), shown.overdueReason);
    m_outOfTolerance = row(TrW("Found out of tolerance on (YYYY-MM-DD)"), "");
    m_outOfTolerance->SetToolTip(
        TrW("When a calibration finds the press out of tolerance, the day it was found: every "
            "recording of the press since its last good calibration is then listed in History "
            "(To assess\xE2\x80\xA6) to be assessed."));
    column->Add(grid, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    column->Add(new wxStaticLine(this), 0, wxEXPAND | wxALL, 10);
    m_signature = std::make_unique<QualitySignature>(
        this, column,
        SignedThing{_("The press register cannot be changed: %s."),
                    _("Wrong password: the press register was not changed.")});
    m_errorText = new wxStaticText(this, wxID_ANY, "");
    m_errorText->SetForegroundColour(wxColour(180, 0, 0));
    column->Add(m_errorText, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(DialogButtons(this, wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(column);
    Bind(wxEVT_BUTTON, &PressRegisterDialog::OnOk, this, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Close(wxID_CANCEL); }, wxID_CANCEL);
    if (!m_signature->Unusable().empty()) Refuse(m_signature->Unusable());
}

PressRegisterDialog::~PressRegisterDialog() = default;

void PressRegisterDialog::Refuse(const wxString& why) {
    m_errorText->SetLabel(WrappedForBox(why, 70));
    Fit();
}

void PressRegisterDialog::Close(int code) {
    if (IsModal())
        EndModal(code);
    else
        Hide();
}

void PressRegisterDialog::OnOk(wxCommandEvent&) {
    MainWindow* main = MainWindow::GetInstance();
    PressEntry entry;
    entry.name = Typed(m_name);
    entry.serial = Typed(m_serial);
    entry.surfaceSource = Typed(m_surfaceSource);
    entry.module = Typed(m_module);
    std::string surface = Typed(m_surface);
    for (char& c : surface)
        if (c == ',') c = '.';
    auto [end, ec] =
        std::from_chars(surface.data(), surface.data() + surface.size(), entry.surface);
    if (surface.empty() || ec != std::errc() || end != surface.data() + surface.size()) {
        Refuse(TrW("Enter the piston surface as a number of cm\xC2\xB2."));
        return;
    }
    entry.calibration = {Typed(m_certificate), Typed(m_calibratedOn), Typed(m_dueOn),
                         Typed(m_calibratedBy), Typed(m_reference)};
    const Calibration& c = entry.calibration;
    entry.calibrated = !(c.certificate.empty() && c.calibratedOn.empty() && c.dueOn.empty() &&
                         c.by.empty() && c.reference.empty());
    const std::string until = Typed(m_allowedUntil);
    entry.overdueReason = Typed(m_allowedReason);
    if (!until.empty()) {
        const std::string date = until.substr(0, 10);
        const std::string time = until.size() > 11 ? until.substr(11) : "23:59:59";
        if (!ParseLocalDateTime(date, time, entry.overdueAllowedUntil)) {
            Refuse(_("Enter the time until which recording while overdue is allowed as "
                     "YYYY-MM-DD HH:MM:SS."));
            return;
        }
    }
    const std::string problem = PressEntryProblem(entry);
    if (!problem.empty()) {
        Refuse(U(problem) + ".");
        return;
    }
    const PressEntry* before = main->RegisteredByName(entry.name);
    // A leave to record while overdue is in the name of whoever gave it.
    const bool sameLeave = before && before->overdueAllowedUntil == entry.overdueAllowedUntil &&
                           before->overdueReason == entry.overdueReason;
    if (sameLeave) entry.overdueAllowedBy = before->overdueAllowedBy;
    // Found out of tolerance: the recordings since the calibration in force
    // until this change are the ones to assess.
    OutOfTolerance finding;
    finding.press = entry.name;
    finding.foundOn = Typed(m_outOfTolerance);
    if (before && before->calibrated) finding.since = before->calibration.calibratedOn;
    finding.certificate = entry.calibration.certificate;
    const bool found = !finding.foundOn.empty();
    const bool changed = !before || PressEntryJson(*before) != PressEntryJson(entry);
    if (!changed && !found) {
        Close(wxID_OK); // nothing changed, nothing to sign
        return;
    }
    std::string why;
    std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why);
    if (!store) {
        Refuse(m_signature->Cannot(TrailUnusable(why)));
        return;
    }
    if (!before && main->RegisterSize() >= kPressCount) {
        Refuse(_("The register holds ten presses, as many as the program can choose from."));
        return;
    }
    if (m_wallSeconds) m_signature->wallSeconds = m_wallSeconds;
    Change wrong, change;
    wrong.press = entry.name;
    wrong.oldValue = before ? PressEntryJson(*before) : "";
    wrong.newValue = PressEntryJson(entry);
    wxString refused;
    if (!m_signature->Sign(*store, wrong, change, &refused)) {
        Refuse(refused);
        return;
    }
    if (!sameLeave && entry.overdueAllowedUntil > 0) entry.overdueAllowedBy = change.who;
    if (found && !KeepOutOfTolerance(*store, finding, change, &why)) {
        Refuse(wxString::Format(_("The finding was not kept: %s."), U(why)));
        return;
    }
    if (changed && !KeepPressEntry(*store, entry, before, change, &why)) {
        Refuse(wxString::Format(_("The press register was not changed: %s."), U(why)));
        return;
    }
    if (found)
        ShowInfo(U(OutOfToleranceText(finding, true) +
                   Tr(". History lists them under To assess\xE2\x80\xA6, to be exported and "
                      "assessed.")),
                 _("Press Register"));
    store.reset();
    if (!main->SetRegistered(entry, &why))
        ShowError(wxString::Format(
            _("The press register was changed, but superfici.ini was not written: %s."), U(why)));
    Close(wxID_OK);
}
