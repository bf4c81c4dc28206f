#include "station/press_register.h"
#include "station/translate.h"

#include "records/record_store.h"
#include "station/local_time.h"
#include "station/report_data.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

const char* const kPressRegisterChange = N_("press register");
const char* const kSurfacesFileEdited = N_("superfici.ini edited outside the program");
const char* const kCalibrationOverdue = "CALIBRATION OVERDUE";

namespace {

constexpr int kDueSoonDays = 14;

/// Days since 1970-01-01 of a "YYYY-MM-DD" date; false for any other text.
bool DayNumber(const std::string& date, int64_t& days) {
    int y = 0, m = 0, d = 0;
    char end = 0;
    if (date.size() != 10 || std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &end) != 3 ||
        m < 1 || m > 12 || d < 1 || y < 1900 || y > 9999)
        return false;
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kMonthDays[m - 1] + (m == 2 && leap)) return false;
    // Days from the civil calendar (H. Hinnant's algorithm).
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    days = era * 146097 + doe - 719468;
    return true;
}

std::string Surface(double cm2) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", cm2);
    return text;
}

/// superfici.ini's line: "1250:Press A,2010:Press B".
std::string PressLine(const PressList& presses) {
    std::string line;
    for (size_t i = 0; i < presses.names.size(); ++i)
        line += (i ? "," : "") + Surface(presses.surfaces[i]) + ":" + presses.names[i];
    return line;
}

} // namespace

const PressEntry* PressRegister::Find(const std::string& name) const {
    for (const PressEntry& entry : presses)
        if (entry.name == name) return &entry;
    return nullptr;
}

std::string PressEntryJson(const PressEntry& e) {
    nlohmann::ordered_json j;
    j["name"] = e.name;
    j["serial"] = e.serial;
    j["surface_cm2"] = e.surface;
    j["surface_source"] = e.surfaceSource;
    j["module"] = e.module;
    if (e.calibrated)
        j["calibration"] = {{"certificate", e.calibration.certificate},
                            {"calibrated_on", e.calibration.calibratedOn},
                            {"due_on", e.calibration.dueOn},
                            {"by", e.calibration.by},
                            {"reference", e.calibration.reference}};
    if (e.overdueAllowedUntil > 0)
        j["overdue_allowed"] = {{"until", e.overdueAllowedUntil},
                                {"by", e.overdueAllowedBy},
                                {"reason", e.overdueReason}};
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool ParsePressEntry(const std::string& json, PressEntry& e, std::string* why) {
    e = PressEntry();
    const nlohmann::json j = nlohmann::json::parse(json, nullptr, false);
    auto text = [&](const nlohmann::json& at, const char* key, std::string& into) {
        if (!at.contains(key)) return true;
        if (!at[key].is_string()) return false;
        into = at[key].get<std::string>();
        return true;
    };
    bool ok = j.is_object() && j.contains("name") && j.contains("surface_cm2") &&
              j["surface_cm2"].is_number() && text(j, "name", e.name) &&
              text(j, "serial", e.serial) && text(j, "surface_source", e.surfaceSource) &&
              text(j, "module", e.module);
    if (ok) e.surface = j["surface_cm2"].get<double>();
    if (ok && j.contains("calibration")) {
        const nlohmann::json& c = j["calibration"];
        e.calibrated = true;
        ok = c.is_object() && text(c, "certificate", e.calibration.certificate) &&
             text(c, "calibrated_on", e.calibration.calibratedOn) &&
             text(c, "due_on", e.calibration.dueOn) && text(c, "by", e.calibration.by) &&
             text(c, "reference", e.calibration.reference);
    }
    if (ok && j.contains("overdue_allowed")) {
        const nlohmann::json& a = j["overdue_allowed"];
        ok = a.is_object() && a.contains("until") && a["until"].is_number_integer() &&
             text(a, "by", e.overdueAllowedBy) && text(a, "reason", e.overdueReason);
        if (ok) e.overdueAllowedUntil = a["until"].get<int64_t>();
    }
    const std::string problem = ok ? PressEntryProblem(e) : "it is not a press register entry";
    if (!problem.empty() && why) *why = problem;
    return problem.empty();
}

std::string PressEntryProblem(const PressEntry& e) {
    if (e.name.empty() || e.name.size() > 64)
        return Tr("a press name of 1 to 64 characters is needed");
    if (e.name.find_first_of(",:\r\n") != std::string::npos)
        return Tr("a press name may not hold ',' or ':'");
    if (!std::isfinite(e.surface) || e.surface <= 0 || e.surface > 100000)
        return Tr("the surface must be a number of cm\xC2\xB2 above 0");
    for (const std::string* field :
         {&e.serial, &e.surfaceSource, &e.module, &e.calibration.certificate, &e.calibration.by,
          &e.calibration.reference, &e.overdueReason})
        if (field->size() > 200) return Tr("a field of the register is longer than 200 characters");
    if (e.calibrated) {
        int64_t on = 0, due = 0;
        if (!DayNumber(e.calibration.calibratedOn, on) || !DayNumber(e.calibration.dueOn, due))
            return Tr("the calibration's dates must be given as YYYY-MM-DD");
        if (due <= on) return Tr("the calibration's due date must come after the date it was made");
        if (e.calibration.certificate.empty()) return Tr("the calibration's certificate is needed");
    }
    if (e.overdueAllowedUntil > 0 && e.overdueReason.empty())
        return Tr("Start while overdue is allowed only with a reason");
    return "";
}

PressRegister ReadPressRegister(RecordStore& store, std::vector<std::string>* unusable) {
    // The presses in the order they came into the register, each with its
    // newest entry, the one in force.
    std::vector<Change> newest;
    for (Change& c : store.ChangesOf(kPressRegisterChange)) {
        auto kept = std::find_if(newest.begin(), newest.end(),
                                 [&](const Change& n) { return n.press == c.press; });
        if (kept == newest.end())
            newest.push_back(std::move(c));
        else
            *kept = std::move(c);
    }
    PressRegister reg;
    for (const Change& c : newest) {
        std::string problem;
        PressEntry entry;
        if (!store.ChangeIntact(c.id, &problem)) {
            if (unusable)
                unusable->push_back(TrFormat("%s: its entry in the press register was changed "
                                             "(%s); its surface is not used",
                                             c.press.c_str(), problem.c_str()));
        } else if (!ParsePressEntry(c.newValue, entry, &problem) || entry.name != c.press) {
            if (unusable)
                unusable->push_back(TrFormat("%s: its entry in the press register cannot be "
                                             "read; its surface is not used",
                                             c.press.c_str()));
        } else {
            reg.presses.push_back(std::move(entry));
        }
    }
    return reg;
}

bool KeepPressEntry(RecordStore& store, const PressEntry& entry, const PressEntry* before,
                    Change change, std::string* why) {
    const std::string problem = PressEntryProblem(entry);
    if (!problem.empty()) {
        if (why) *why = problem;
        return false;
    }
    change.press = entry.name;
    change.what = kPressRegisterChange;
    change.oldValue = before ? PressEntryJson(*before) : "";
    change.newValue = PressEntryJson(entry);
    return store.AddChange(change, why);
}

const char* const kCalibrationOutOfTolerance = N_("calibration out of tolerance");

RecordFilter OutOfTolerance::Recordings() const {
    RecordFilter filter;
    filter.press = press;
    filter.limit = 1000;
    int64_t at = 0;
    if (!since.empty() && ParseLocalDateTime(since, "00:00:00", at)) filter.from = at;
    int64_t found = 0;
    if (DayNumber(foundOn, found)) {
        LocalTime next = ToLocalTime((found + 1) * 86400 + 12 * 3600);
        next.hour = next.minute = next.second = 0;
        filter.until = FromLocalTime(next);
    }
    return filter;
}

bool KeepOutOfTolerance(RecordStore& store, const OutOfTolerance& finding, Change change,
                        std::string* why) {
    auto refuse = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    int64_t found = 0, since = 0, today = 0;
    DayNumber(IsoDate(change.at), today);
    if (!DayNumber(finding.foundOn, found))
        return refuse(Tr("the day it was found out of tolerance must be given as YYYY-MM-DD"));
    if (found > today) return refuse(Tr("the day it was found out of tolerance is still to come"));
    if (!finding.since.empty() && (!DayNumber(finding.since, since) || found < since))
        return refuse(TrFormat("it cannot be found out of tolerance before its last good "
                               "calibration (%s)",
                               finding.since.c_str()));
    nlohmann::json j = {{"found_on", finding.foundOn},
                        {"since", finding.since},
                        {"certificate", finding.certificate}};
    change.press = finding.press;
    change.what = kCalibrationOutOfTolerance;
    change.oldValue = "";
    change.newValue = j.dump();
    return store.AddChange(change, why);
}

std::vector<OutOfTolerance> OutOfToleranceFindings(RecordStore& store) {
    std::vector<OutOfTolerance> findings;
    for (const Change& c : store.ChangesOf(kCalibrationOutOfTolerance)) {
        if (!store.ChangeIntact(c.id, nullptr)) continue;
        const nlohmann::json j = nlohmann::json::parse(c.newValue, nullptr, false);
        if (!j.is_object()) continue;
        OutOfTolerance f;
        f.press = c.press;
        f.foundOn = j.value("found_on", "");
        f.since = j.value("since", "");
        f.certificate = j.value("certificate", "");
        f.at = c.at;
        f.by = c.who;
        f.reason = c.reason;
        findings.insert(findings.begin(), std::move(f));
    }
    return findings;
}

std::string OutOfToleranceText(const OutOfTolerance& f, bool translated) {
    auto words = [translated](const char* english) {
        return translated ? Tr(english) : std::string(english);
    };
    return f.press + words(N_(": out of tolerance found ")) + f.foundOn +
           (f.certificate.empty() ? "" : words(N_(" (certificate ")) + f.certificate + ")") +
           (f.since.empty()
                ? words(N_("; its recordings until then (no good calibration recorded)"))
                : words(N_("; its recordings since ")) + f.since);
}

PressList PressListOf(const PressRegister& reg) {
    PressList list;
    list.loaded = true;
    for (const PressEntry& entry : reg.presses) {
        if (list.names.size() >= static_cast<size_t>(kPressCount)) break;
        list.surfaces[list.names.size()] = static_cast<float>(entry.surface);
        list.names.push_back(entry.name);
    }
    return list;
}

bool WritePressFile(const std::string& path, const PressList& presses, std::string* error) {
    return WriteFileBytes(path, PressLine(presses) + "\n", error);
}

std::vector<std::string> ReconcileSurfaces(PressList& presses, RecordStore& store,
                                           PressRegister& reg, const std::string& pcName,
                                           int64_t now, bool* rewrite) {
    std::vector<std::string> notes;
    *rewrite = false;
    std::vector<std::string> unusable;
    reg = ReadPressRegister(store, &unusable);
    bool anyEntry = !unusable.empty() || !reg.presses.empty();
    notes.insert(notes.end(), unusable.begin(), unusable.end());
    if (!anyEntry) {
        // The first start with the register: the file's presses become it.
        for (size_t i = 0; i < presses.names.size(); ++i) {
            PressEntry entry;
            entry.name = presses.names[i];
            entry.surface = presses.surfaces[i];
            entry.surfaceSource = "superfici.ini";
            Change taken;
            taken.at = now;
            taken.who = "superfici.ini";
            taken.pcName = pcName;
            taken.reason = "taken from superfici.ini at the first start with the press register";
            std::string why;
            if (PressEntryProblem(entry).empty() &&
                KeepPressEntry(store, entry, nullptr, taken, &why))
                reg.presses.push_back(entry);
        }
        return notes;
    }
    // Afterwards the file follows the register.
    const PressList wanted = PressListOf(reg);
    for (size_t i = 0; i < presses.names.size(); ++i) {
        const PressEntry* entry = reg.Find(presses.names[i]);
        if (!entry)
            notes.push_back(TrFormat("%s: in superfici.ini but not in the press register; not used",
                                     presses.names[i].c_str()));
        else if (static_cast<float>(entry->surface) != presses.surfaces[i])
            notes.push_back(
                TrFormat("%s: %s cm\xC2\xB2 in superfici.ini, %s cm\xC2\xB2 in the press "
                         "register; the register's surface is used",
                         presses.names[i].c_str(), Surface(presses.surfaces[i]).c_str(),
                         Surface(entry->surface).c_str()));
    }
    for (const std::string& name : wanted.names)
        if (std::find(presses.names.begin(), presses.names.end(), name) == presses.names.end())
            notes.push_back(TrFormat("%s: in the press register but missing from superfici.ini; "
                                     "put back",
                                     name.c_str()));
    const std::string found = PressLine(presses), kept = PressLine(wanted);
    if (found != kept) {
        // An entry that cannot be used leaves the file as it is, for the
        // quality engineer to set that press again.
        *rewrite = unusable.empty();
        Change edited;
        edited.at = now;
        edited.who = "superfici.ini";
        edited.pcName = pcName;
        edited.what = kSurfacesFileEdited;
        edited.oldValue = found;
        edited.newValue = kept;
        edited.reason = "found at start and set back to the press register";
        std::string why;
        store.AddChange(edited, &why);
        presses = wanted;
    }
    return notes;
}

CalibrationStatus CalibrationAt(const PressEntry& e, int64_t now) {
    CalibrationStatus s;
    if (!e.calibrated) {
        s.text = "calibration not recorded";
        return s;
    }
    int64_t today = 0, due = 0;
    DayNumber(IsoDate(now), today);
    DayNumber(e.calibration.dueOn, due);
    s.daysLeft = static_cast<int>(due - today);
    const std::string& dueOn = e.calibration.dueOn;
    if (s.daysLeft < 0) {
        const bool allowed = now < e.overdueAllowedUntil;
        s.state = allowed ? CalibrationState::OverdueAllowed : CalibrationState::Overdue;
        s.text = std::string(kCalibrationOverdue) + " since " + dueOn +
                 (allowed ? "; Start allowed by " + e.overdueAllowedBy + " until " +
                                IsoDateTime(e.overdueAllowedUntil) + ": " + e.overdueReason
                          : std::string("; Start needs a quality engineer's leave"));
    } else if (s.daysLeft <= kDueSoonDays) {
        s.state = CalibrationState::DueSoon;
        s.text = s.daysLeft == 0 ? "calibration due today (" + dueOn + ")"
                 : s.daysLeft == 1
                     ? "calibration due tomorrow (" + dueOn + ")"
                     : "calibration due in " + std::to_string(s.daysLeft) + " days (" + dueOn + ")";
    } else {
        s.state = CalibrationState::Valid;
        s.text = "calibrated " + e.calibration.calibratedOn + ", due " + dueOn;
    }
    return s;
}

std::string PressIdentityLine(const PressEntry& e) {
    std::string line = e.name;
    if (!e.serial.empty()) line += ", serial " + e.serial;
    // The piston's diameter from its surface: Ø = √(4A/π), in mm.
    const double diameter = std::sqrt(4 * e.surface * 100 / 3.14159265358979323846);
    line += ", surface " + Surface(e.surface) + " cm\xC2\xB2 (piston \xC3\x98 " +
            FixedNumber(diameter, 0) + " mm)";
    if (!e.module.empty()) line += "; module " + e.module;
    if (e.calibrated)
        line += "; calibrated " + e.calibration.calibratedOn + ", certificate " +
                e.calibration.certificate + ", due " + e.calibration.dueOn;
    else
        line += "; calibration not recorded";
    return line;
}

std::string CalibrationNote(const PressEntry& e, int64_t now) {
    // "calibration not recorded" is said by the press's identity line.
    const CalibrationStatus s = CalibrationAt(e, now);
    return s.state == CalibrationState::OverdueAllowed || s.state == CalibrationState::Overdue
               ? s.text
               : "";
}
