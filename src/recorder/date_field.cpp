#include "recorder/date_field.h"

#include "station/local_time.h"
#include "station/translate.h"

#include <algorithm>

DateField::DateField(wxWindow* parent, int64_t dayStart)
    : wxTextCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxTE_PROCESS_ENTER) {
    const wxString hint = _("YYYY-MM-DD");
    SetHint(hint);
    SetMaxLength(10);
    // Room for a date and for the hint, whichever is wider.
    const int text = std::max(GetTextExtent("2026-12-09").x, GetTextExtent(hint).x);
    SetInitialSize(GetSizeFromTextSize(text + FromDIP(4)));
    SetDay(dayStart);
}

bool DateField::Day(int64_t* dayStart, wxString* problem) const {
    const std::string text(GetValue().Strip(wxString::both).utf8_str());
    *dayStart = 0;
    if (text.empty()) return true;
    std::string why;
    if (ParseIsoDay(text, *dayStart, &why)) return true;
    if (problem) *problem = wxString::FromUTF8(why);
    return false;
}

void DateField::SetDay(int64_t seconds) {
    ChangeValue(seconds > 0 ? wxString::FromUTF8(IsoDate(seconds)) : wxString());
    ShowProblem();
}

bool DateField::ShowProblem() {
    int64_t day = 0;
    wxString problem;
    const bool ok = Day(&day, &problem);
    SetBackgroundColour(ok ? wxNullColour : wxColour(255, 205, 205));
    SetToolTip(ok ? TrW("A day as 2026-12-09; empty for any") : problem);
    Refresh();
    return ok;
}

void BindDateField(DateField* field, std::function<void()> changed) {
    field->Bind(wxEVT_TEXT, [field, changed](wxCommandEvent& event) {
        event.Skip();
        // Half typed is neither told nor searched with.
        const size_t length = field->GetValue().Strip(wxString::both).length();
        if (length == 0 || length >= 10) {
            field->ShowProblem();
            changed();
        }
    });
    field->Bind(wxEVT_TEXT_ENTER, [field, changed](wxCommandEvent&) {
        field->ShowProblem();
        changed();
    });
    field->Bind(wxEVT_KILL_FOCUS, [field, changed](wxFocusEvent& event) {
        event.Skip();
        field->ShowProblem();
        changed();
    });
}

bool DayRange(const DateField* from, const DateField* to, int64_t* start, int64_t* end,
              wxString* problem) {
    wxString why;
    if (!from->Day(start, &why)) {
        *problem = TrW("From: ") + why + ".";
        return false;
    }
    if (!to->Day(end, &why)) {
        *problem = TrW("To: ") + why + ".";
        return false;
    }
    if (*end != 0) {
        // The midnight after the day typed, whatever summer time does.
        LocalTime next = ToLocalTime(*end + 36 * 3600);
        next.hour = next.minute = next.second = 0;
        *end = FromLocalTime(next);
    }
    return true;
}
