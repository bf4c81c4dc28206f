#include "shell/programs_dialog.h"
#include "station/translate.h"

#include "recorder/messages.h"
#include "recorder/terminal_panel.h"
#include "records/record_store.h"
#include "shell/main_window.h"
#include "shell/quality_signature.h"
#include "station/local_time.h"
#include "station/program_files.h"
#include "station/report_data.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstring>

namespace {

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

/// What a criterion requires, in the words of its JSON.
std::string Requirement(const Criterion& c) {
    switch (c.kind) {
    case CriterionKind::Peak:
        return TrFormat("peak between %g t and %g t", c.minTons, c.maxTons);
    case CriterionKind::Hold:
        return TrFormat("hold at or above %g t for at least %g s", c.aboveTons, c.minSeconds) +
               (c.maxDecayPct >= 0 ? TrFormat(", decaying at most %g %%", c.maxDecayPct) : "");
    case CriterionKind::Drop:
        return TrFormat("no drop before the peak above %g %% of it", c.maxPct);
    case CriterionKind::Window:
        return TrFormat("from %g s to %g s between %g t and %g t", c.fromSeconds, c.toSeconds,
                        c.minTons, c.maxTons);
    case CriterionKind::Envelope:
        return TrFormat("inside the envelope (mean \xC2\xB1 %g \xCF\x83, at least %g t wide) "
                        "taught from %zu curves",
                        c.kSigma, c.minWidthTons, c.taughtFrom.size());
    }
    return "";
}

} // namespace

ProgramsDialog::ProgramsDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, _("Mounting Programs"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    m_list = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(720, 180),
                            wxLC_REPORT | wxLC_SINGLE_SEL);
    const char* headings[] = {N_("Program"), N_("Version"), N_("Bearings"), N_("Presses"),
                              N_("Saved")};
    const int widths[] = {170, 70, 150, 120, 200};
    for (int i = 0; i < 5; ++i)
        m_list->AppendColumn(TrW(headings[i]), wxLIST_FORMAT_LEFT, widths[i]);
    column->Add(m_list, 1, wxALL | wxEXPAND, 10);
    m_details = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(720, 110),
                               wxTE_MULTILINE | wxTE_READONLY);
    column->Add(m_details, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);

    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    wxButton* import = new wxButton(this, wxID_ANY, TrW("Import JSON\xE2\x80\xA6"));
    wxButton* exportButton = new wxButton(this, wxID_ANY, TrW("Export JSON\xE2\x80\xA6"));
    wxButton* withdraw = new wxButton(this, wxID_ANY, _("Withdraw"));
    for (wxButton* b : {import, exportButton, withdraw})
        buttons->Add(b, 0, wxRIGHT, 8);
    column->Add(buttons, 0, wxALL, 10);
    column->Add(new wxStaticLine(this), 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    column->Add(new wxStaticText(this, wxID_ANY,
                                 _("Importing or withdrawing a program is signed by the quality "
                                   "engineer:")),
                0, wxLEFT | wxRIGHT | wxTOP, 10);
    m_signature = std::make_unique<QualitySignature>(
        this, column,
        SignedThing{_("The mounting programs cannot be changed: %s."),
                    _("Wrong password: the mounting programs were not changed.")});
    m_errorText = new wxStaticText(this, wxID_ANY, "");
    m_errorText->SetForegroundColour(wxColour(180, 0, 0));
    column->Add(m_errorText, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(DialogButtons(this, wxCLOSE), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(column);
    if (!m_signature->Unusable().empty()) Refuse(m_signature->Unusable());

    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { ShowDetails(); });
    import->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        wxFileDialog chooser(this, _("Import a mounting program"), "", "",
                             _("Mounting programs (*.json)|*.json"),
                             wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (chooser.ShowModal() == wxID_OK) Import(std::string(chooser.GetPath().utf8_str()));
});
exportButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    const std::string name = Selected();
    if (name.empty()) {
        Refuse(_("Choose the program to export."));
        return;
    }
    wxFileDialog chooser(this, _("Export the mounting program"), "",
                         wxString::FromUTF8(FileNameSafe(name) + ".json"),
                         _("Mounting programs (*.json)|*.json"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (chooser.ShowModal() == wxID_OK) Export(name, std::string(chooser.GetPath().utf8_str()));
});
withdraw->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    const std::string name = Selected();
    if (name.empty())
        Refuse(_("Choose the program to withdraw."));
    else
        Withdraw(name);
});
Bind(
    wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CLOSE); }, wxID_CLOSE);
Fill();
}

ProgramsDialog::~ProgramsDialog() = default;

std::unique_ptr<RecordStore> ProgramsDialog::OpenTrail() {
    std::string why;
    std::unique_ptr<RecordStore> store = MainWindow::GetInstance()->OpenAuditStore(&why);
    if (!store) Refuse(m_signature->Cannot(TrailUnusable(why)));
    return store;
}

void ProgramsDialog::Refuse(const wxString& why) {
    m_errorText->SetLabel(WrappedForBox(why, 90));
    Layout();
    Fit();
}

void ProgramsDialog::Fill() {
    m_list->DeleteAllItems();
    m_programs.clear();
    std::string why;
    std::unique_ptr<RecordStore> store = MainWindow::GetInstance()->OpenAuditStore(&why);
    if (!store) return;
    std::vector<KeptProgram> kept = store->ProgramVersions();
    for (const KeptProgram& k : kept) {
        if (k.withdrawn || (!m_programs.empty() && m_programs.back().name == k.program.name))
            continue;
        const long row =
            m_list->InsertItem(m_list->GetItemCount(), wxString::FromUTF8(k.program.name));
        m_list->SetItem(row, 1, wxString::Format("%d", k.program.version));
        m_list->SetItem(row, 2, wxString::FromUTF8(k.program.bearing));
        m_list->SetItem(row, 3,
                        k.program.presses.empty() ? _("any")
                                                  : wxString::FromUTF8(Join(k.program.presses)));
        m_list->SetItem(row, 4,
                        wxString::FromUTF8(TrFormat("%s by %s", IsoDateTime(k.savedAt).c_str(),
                                                    k.savedBy.c_str())));
        m_programs.push_back(k.program);
    }
    ShowDetails();
}

std::string ProgramsDialog::Selected() const {
    const long row = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    return row >= 0 && row < static_cast<long>(m_programs.size()) ? m_programs[row].name : "";
}

void ProgramsDialog::ShowDetails() {
    const std::string name = Selected();
    std::string text;
    for (const Program& p : m_programs) {
        if (p.name != name) continue;
        text = TrFormat("%s for the bearings %s", p.Title().c_str(), p.bearing.c_str());
        if (p.recordLengthSeconds > 0) text += ", " + std::to_string(p.recordLengthSeconds) + " s";
        if (p.alarmThresholdBar > 0) text += TrFormat(", alarm above %d bar", p.alarmThresholdBar);
        if (!p.description.empty()) text += "\n" + p.description;
        for (const Criterion& c : p.criteria)
            text += "\n\xE2\x80\xA2 " + Requirement(c);
    }
    if (m_programs.empty())
        text = Tr("No mounting program yet: every bearing is judged by the peak force between the "
                  "press's limits.");
    m_details->ChangeValue(wxString::FromUTF8(text));
}

void ProgramsDialog::Changed() {
    MainWindow* main = MainWindow::GetInstance();
    std::string why;
    if (std::unique_ptr<RecordStore> store = main->OpenAuditStore(&why))
        if (main->m_panel) main->m_panel->ProgramsChanged(store->Programs());
    Fill();
}

bool ProgramsDialog::Import(const std::string& path) {
    Program program;
    std::string why;
    if (!ReadProgramFile(path, program, &why)) {
        Refuse(wxString::FromUTF8(why));
        return false;
    }
    std::unique_ptr<RecordStore> store = OpenTrail();
    if (!store) return false;
    Change wrong, change;
    wrong.press = program.name;
    wrong.newValue = ProgramJson(program, false);
    wxString refused;
    if (!m_signature->Sign(*store, wrong, change, &refused)) {
        Refuse(refused);
        return false;
    }
    if (!store->SaveProgram(program, change, &why)) {
        Refuse(wxString::FromUTF8(
            TrFormat("%s was not kept: %s.", program.Title().c_str(), why.c_str())));
        return false;
    }
    store.reset();
    Refuse("");
    Changed();
    return true;
}

bool ProgramsDialog::Export(const std::string& name, const std::string& path) {
    std::string why;
    for (const Program& p : m_programs)
        if (p.name == name) {
            if (!WriteProgramFile(path, p, &why)) {
                Refuse(wxString::FromUTF8(why));
                return false;
            }
            ShowInfo(
                wxString::FromUTF8(TrFormat("%s exported to %s", p.Title().c_str(), path.c_str())),
                _("Mounting Programs"));
            return true;
        }
    Refuse(wxString::FromUTF8(TrFormat("No program %s.", name.c_str())));
    return false;
}

bool ProgramsDialog::Withdraw(const std::string& name) {
    std::string why;
    std::unique_ptr<RecordStore> store = OpenTrail();
    if (!store) return false;
    Change wrong, change;
    wrong.press = name;
    wxString refused;
    if (!m_signature->Sign(*store, wrong, change, &refused)) {
        Refuse(refused);
        return false;
    }
    if (!store->WithdrawProgram(name, change, &why)) {
        Refuse(wxString::FromUTF8(why));
        return false;
    }
    store.reset();
    Refuse("");
    Changed();
    return true;
}
