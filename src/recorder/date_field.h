// A day typed as the lists show it, "2026-12-09", for the filters of History
// and Statistics: no calendar that wants the toolkit's MM/DD/YY, and a bad
// date told in the field itself, not searched with.
#pragma once

#include <cstdint>
#include <functional>

#include <wx/textctrl.h>

class DateField : public wxTextCtrl {
  public:
    DateField(wxWindow* parent, int64_t dayStart = 0);
    /// What is typed: true with the local midnight of the day, or 0 when the
    /// field is empty; false, with what is wrong, for anything else.
    bool Day(int64_t* dayStart, wxString* problem = nullptr) const;
    /// Sets the day of `seconds` (wall clock); 0 empties the field.
    void SetDay(int64_t seconds);
    /// Marks the field when what is typed is not a date, with why as its
    /// tooltip; unmarks it otherwise. True when it holds a date or nothing.
    bool ShowProblem();
};

/// Calls `changed` once a date is typed whole or emptied, and on Enter or
/// leaving the field, with the field marked when it holds no date.
void BindDateField(DateField* field, std::function<void()> changed);

/// The days from `from` to `to` (both typed, either empty) as wall-clock
/// seconds: from the first's midnight to the midnight after the second.
/// False, with the sentence for the window, when one is not a date.
bool DayRange(const DateField* from, const DateField* to, int64_t* start, int64_t* end,
              wxString* problem);
