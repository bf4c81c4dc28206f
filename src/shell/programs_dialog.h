// Modify → Mounting Programs…: the programs in force, each with the bearings
// and presses it is for and what it judges; imported from and exported to
// JSON files. Only the quality engineer imports or withdraws one, signing
// with the name, the password and the reason; every version stays in the
// record store and its audit trail.
#pragma once

#include <wx/dialog.h>

#include <memory>
#include <string>
#include <vector>

#include "judging/program.h"

class QualitySignature;
class wxListCtrl;
class wxStaticText;
class wxTextCtrl;

class ProgramsDialog : public wxDialog {
  public:
    explicit ProgramsDialog(wxWindow* parent);
    ~ProgramsDialog() override;

    /// Keeps the program of a JSON file, signed; false with what is wrong
    /// shown in the dialog.
    bool Import(const std::string& path);
    /// Writes the chosen program to a JSON file.
    bool Export(const std::string& name, const std::string& path);
    /// Takes the program out of use, signed.
    bool Withdraw(const std::string& name);

    QualitySignature& Signature() { return *m_signature; }
    wxStaticText* m_errorText;
    wxListCtrl* m_list;
    wxTextCtrl* m_details; ///< the chosen program in words

  private:
    void Fill();
    void ShowDetails();
    void Refuse(const wxString& why);
    /// The store with the audit trail; null, told in the dialog, when it
    /// cannot be used.
    std::unique_ptr<class RecordStore> OpenTrail();
    /// The programs changed: the panel judges by them from the next Start.
    void Changed();
    std::string Selected() const;
    std::vector<Program> m_programs;
    std::unique_ptr<QualitySignature> m_signature;
};
