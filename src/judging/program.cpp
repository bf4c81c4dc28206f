#include "judging/program.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

using Json = nlohmann::ordered_json;

const char* KindName(CriterionKind kind) {
    switch (kind) {
    case CriterionKind::Peak:
        return "peak";
    case CriterionKind::Hold:
        return "hold";
    case CriterionKind::Drop:
        return "drop";
    case CriterionKind::Window:
        return "window";
    case CriterionKind::Envelope:
        break;
    }
    return "envelope";
}

std::string Program::Title() const {
    return name + " v" + std::to_string(version);
}

bool Program::RunsOn(const std::string& press) const {
    return presses.empty() || std::find(presses.begin(), presses.end(), press) != presses.end();
}

namespace {

/// A fault found while reading: the text the quality engineer is told.
struct Fault {
    std::string what;
};

[[noreturn]] void Refuse(const std::string& what) {
    throw Fault{what};
}

double Number(const Json& object, const char* key, const std::string& where, bool required,
              double otherwise = 0) {
    const auto it = object.find(key);
    if (it == object.end()) {
        if (required) Refuse(where + ": " + key + " is missing");
        return otherwise;
    }
    if (!it->is_number()) Refuse(where + ": " + key + " must be a number");
    const double value = it->get<double>();
    if (!std::isfinite(value)) Refuse(where + ": " + key + " must be a finite number");
    return value;
}

void OnlyKeys(const Json& object, std::initializer_list<const char*> keys,
              const std::string& where) {
    for (const auto& item : object.items()) {
        bool known = false;
        for (const char* key : keys)
            known = known || item.key() == key;
        if (!known) Refuse(where + ": unknown key \"" + item.key() + "\"");
    }
}

std::string Text(const Json& object, const char* key, bool required) {
    const auto it = object.find(key);
    if (it == object.end()) {
        if (required) Refuse(std::string(key) + " is missing");
        return "";
    }
    if (!it->is_string()) Refuse(std::string(key) + " must be a text");
    return it->get<std::string>();
}

int WholeNumber(const Json& object, const char* key, int lowest, int highest) {
    const auto it = object.find(key);
    if (it == object.end()) return 0;
    if (!it->is_number_integer() || it->get<int64_t>() < lowest || it->get<int64_t>() > highest)
        Refuse(std::string(key) + " must be a whole number from " + std::to_string(lowest) +
               " to " + std::to_string(highest));
    return static_cast<int>(it->get<int64_t>());
}

Criterion ReadCriterion(const Json& item, const std::string& where) {
    if (!item.is_object() || item.size() != 1)
        Refuse(where + ": must be an object with one key naming its kind, such as "
                       "{\"peak\": {\"min_t\": 350, \"max_t\": 420}}");
    const std::string kind = item.begin().key();
    const Json& p = item.begin().value();
    const std::string at = where + " (" + kind + ")";
    if (!p.is_object()) Refuse(at + ": its figures must be an object");
    Criterion c;
    if (kind == "peak") {
        c.kind = CriterionKind::Peak;
        OnlyKeys(p, {"min_t", "max_t"}, at);
        c.minTons = Number(p, "min_t", at, true);
        c.maxTons = Number(p, "max_t", at, true);
    } else if (kind == "hold") {
        c.kind = CriterionKind::Hold;
        OnlyKeys(p, {"above_t", "min_s", "max_decay_pct"}, at);
        c.aboveTons = Number(p, "above_t", at, true);
        c.minSeconds = Number(p, "min_s", at, true);
        c.maxDecayPct = Number(p, "max_decay_pct", at, false, -1);
        if (p.contains("max_decay_pct") && c.maxDecayPct < 0)
            Refuse(at + ": max_decay_pct must not be negative");
    } else if (kind == "drop") {
        c.kind = CriterionKind::Drop;
        OnlyKeys(p, {"max_pct"}, at);
        c.maxPct = Number(p, "max_pct", at, true);
    } else if (kind == "window") {
        c.kind = CriterionKind::Window;
        OnlyKeys(p, {"from_s", "to_s", "min_t", "max_t"}, at);
        c.fromSeconds = Number(p, "from_s", at, true);
        c.toSeconds = Number(p, "to_s", at, true);
        c.minTons = Number(p, "min_t", at, true);
        c.maxTons = Number(p, "max_t", at, true);
    } else if (kind == "envelope") {
        c.kind = CriterionKind::Envelope;
        OnlyKeys(p, {"k_sigma", "min_width_t", "step_s", "points", "taught_from"}, at);
        c.kSigma = Number(p, "k_sigma", at, false, 3);
        c.minWidthTons = Number(p, "min_width_t", at, false, 10);
        c.stepSeconds = Number(p, "step_s", at, false, 0.1);
        if (p.contains("points")) {
            if (!p["points"].is_array()) Refuse(at + ": points must be a list");
            for (const Json& point : p["points"]) {
                if (!point.is_array() || point.size() != 3 || !point[0].is_number() ||
                    !point[1].is_number() || !point[2].is_number())
                    Refuse(at + ": each point must be [seconds, lower_t, upper_t]");
                c.envelope.push_back(
                    {point[0].get<double>(), point[1].get<double>(), point[2].get<double>()});
            }
        }
        if (p.contains("taught_from")) {
            if (!p["taught_from"].is_array()) Refuse(at + ": taught_from must be a list");
            for (const Json& from : p["taught_from"]) {
                if (!from.is_string()) Refuse(at + ": taught_from must list texts");
                c.taughtFrom.push_back(from.get<std::string>());
            }
        }
    } else {
        Refuse(where + ": unknown kind \"" + kind +
               "\" (known: peak, hold, drop, window, envelope)");
    }
    return c;
}

std::string Tons(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g t", value);
    return text;
}

/// The faults a criterion can have whichever way it was made.
void CheckCriterion(const Criterion& c, const std::string& at, bool untaughtAllowed) {
    auto positive = [&](double value, const char* key) {
        if (!(value > 0)) Refuse(at + ": " + key + " must be above 0");
    };
    auto forces = [&] { // min_t and max_t of a peak or a window
        if (c.minTons < 0) Refuse(at + ": min_t must not be negative");
        if (c.minTons > c.maxTons)
            Refuse(at + ": min_t " + Tons(c.minTons) + " above max_t " + Tons(c.maxTons));
    };
    switch (c.kind) {
    case CriterionKind::Peak:
        positive(c.maxTons, "max_t");
        forces();
        break;
    case CriterionKind::Hold:
        positive(c.aboveTons, "above_t");
        positive(c.minSeconds, "min_s");
        if (c.maxDecayPct >= 100) Refuse(at + ": max_decay_pct must be below 100");
        break;
    case CriterionKind::Drop:
        if (!(c.maxPct >= 0 && c.maxPct < 100))
            Refuse(at + ": max_pct must be from 0 to below 100");
        break;
    case CriterionKind::Window:
        if (c.fromSeconds < 0) Refuse(at + ": from_s must not be negative");
        if (c.fromSeconds >= c.toSeconds)
            Refuse(at + ": from_s " + std::to_string(c.fromSeconds) + " not before to_s " +
                   std::to_string(c.toSeconds));
        forces();
        break;
    case CriterionKind::Envelope:
        positive(c.kSigma, "k_sigma");
        if (c.minWidthTons < 0) Refuse(at + ": min_width_t must not be negative");
        if (!(c.stepSeconds >= 0.001 && c.stepSeconds <= 10))
            Refuse(at + ": step_s must be from 0.001 to 10");
        if (c.envelope.empty() && !untaughtAllowed)
            Refuse(at + ": not taught yet (vemo-recorder --teach PROGRAM.json CURVE.csv...)");
        for (size_t i = 0; i < c.envelope.size(); ++i) {
            const EnvelopePoint& e = c.envelope[i];
            if (!(std::isfinite(e.seconds) && std::isfinite(e.lowerTons) &&
                  std::isfinite(e.upperTons)) ||
                e.lowerTons > e.upperTons || (i > 0 && e.seconds <= c.envelope[i - 1].seconds))
                Refuse(at + ": point " + std::to_string(i + 1) +
                       " must come after the one before it, its lower force not above its "
                       "upper one");
        }
        break;
    }
}

void CheckProgram(const Program& program, bool untaughtAllowed) {
    auto blank = [](const std::string& text) {
        return text.find_first_not_of(" \t") == std::string::npos;
    };
    if (blank(program.name)) Refuse("name is missing");
    if (blank(program.bearing)) Refuse("bearing (the designations it is for) is missing");
    if (program.version < 1) Refuse("version must be a whole number from 1");
    if (program.criteria.empty()) Refuse("no criteria: a program must judge something");
    std::set<CriterionKind> once;
    for (size_t i = 0; i < program.criteria.size(); ++i) {
        const Criterion& c = program.criteria[i];
        const std::string at = "criterion " + std::to_string(i + 1) + " (" + KindName(c.kind) + ")";
        CheckCriterion(c, at, untaughtAllowed);
        if ((c.kind == CriterionKind::Peak || c.kind == CriterionKind::Envelope) &&
            !once.insert(c.kind).second)
            Refuse(at + ": a program has one " + KindName(c.kind) + " criterion at most");
    }
}

} // namespace

bool ValidProgram(const Program& program, std::string* why, bool untaughtAllowed) {
    try {
        CheckProgram(program, untaughtAllowed);
        return true;
    } catch (const Fault& fault) {
        if (why) *why = fault.what;
        return false;
    }
}

bool ParseProgram(const std::string& text, Program& program, std::string* why,
                  bool untaughtAllowed) {
    try {
        const Json json = Json::parse(text);
        if (!json.is_object()) Refuse("a program must be a JSON object");
        OnlyKeys(json,
                 {"name", "version", "bearing", "presses", "record_length_s", "alarm_threshold_bar",
                  "description", "criteria"},
                 "program");
        Program p;
        p.name = Text(json, "name", true);
        if (!json.contains("version")) Refuse("version is missing");
        p.version = WholeNumber(json, "version", 1, 1000000);
        p.bearing = Text(json, "bearing", true);
        p.description = Text(json, "description", false);
        if (json.contains("presses")) {
            if (!json["presses"].is_array()) Refuse("presses must be a list of press names");
            for (const Json& press : json["presses"]) {
                if (!press.is_string()) Refuse("presses must be a list of press names");
                p.presses.push_back(press.get<std::string>());
            }
        }
        p.recordLengthSeconds = WholeNumber(json, "record_length_s", 1, 999);
        p.alarmThresholdBar = WholeNumber(json, "alarm_threshold_bar", 1, 999);
        if (!json.contains("criteria")) Refuse("no criteria: a program must judge something");
        if (!json["criteria"].is_array()) Refuse("criteria must be a list");
        int n = 0;
        for (const Json& item : json["criteria"])
            p.criteria.push_back(ReadCriterion(item, "criterion " + std::to_string(++n)));
        CheckProgram(p, untaughtAllowed);
        program = std::move(p);
        return true;
    } catch (const Fault& fault) {
        if (why) *why = fault.what;
    } catch (const Json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: …"
        std::string message = e.what();
        const size_t bracket = message.find("] ");
        if (bracket != std::string::npos) message.erase(0, bracket + 2);
        if (why) *why = "not valid JSON: " + message;
    }
    return false;
}

std::string ProgramJson(const Program& p, bool indented) {
    Json json;
    json["name"] = p.name;
    json["version"] = p.version;
    json["bearing"] = p.bearing;
    if (!p.description.empty()) json["description"] = p.description;
    if (!p.presses.empty()) json["presses"] = p.presses;
    if (p.recordLengthSeconds > 0) json["record_length_s"] = p.recordLengthSeconds;
    if (p.alarmThresholdBar > 0) json["alarm_threshold_bar"] = p.alarmThresholdBar;
    Json criteria = Json::array();
    for (const Criterion& c : p.criteria) {
        Json figures = Json::object();
        switch (c.kind) {
        case CriterionKind::Peak:
            figures["min_t"] = c.minTons;
            figures["max_t"] = c.maxTons;
            break;
        case CriterionKind::Hold:
            figures["above_t"] = c.aboveTons;
            figures["min_s"] = c.minSeconds;
            if (c.maxDecayPct >= 0) figures["max_decay_pct"] = c.maxDecayPct;
            break;
        case CriterionKind::Drop:
            figures["max_pct"] = c.maxPct;
            break;
        case CriterionKind::Window:
            figures["from_s"] = c.fromSeconds;
            figures["to_s"] = c.toSeconds;
            figures["min_t"] = c.minTons;
            figures["max_t"] = c.maxTons;
            break;
        case CriterionKind::Envelope: {
            figures["k_sigma"] = c.kSigma;
            figures["min_width_t"] = c.minWidthTons;
            figures["step_s"] = c.stepSeconds;
            if (!c.taughtFrom.empty()) figures["taught_from"] = c.taughtFrom;
            Json points = Json::array();
            for (const EnvelopePoint& e : c.envelope)
                points.push_back(Json::array({e.seconds, e.lowerTons, e.upperTons}));
            figures["points"] = std::move(points);
            break;
        }
        }
        Json item;
        item[KindName(c.kind)] = std::move(figures);
        criteria.push_back(std::move(item));
    }
    json["criteria"] = std::move(criteria);
    return indented ? json.dump(2) + "\n" : json.dump();
}

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool Glob(const char* p, const char* s) {
    // Iterative, with one point to come back to at the last "*".
    const char *star = nullptr, *resume = nullptr;
    while (*s) {
        if (*p == '*') {
            star = p++;
            resume = s;
        } else if (*p == '?' || (*p && Lower(*p) == Lower(*s))) {
            ++p;
            ++s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}

size_t SpeltOut(const std::string& pattern) {
    return static_cast<size_t>(
        std::count_if(pattern.begin(), pattern.end(), [](char c) { return c != '*' && c != '?'; }));
}

} // namespace

bool MatchesBearing(const std::string& pattern, const std::string& designation) {
    const std::string p = Trimmed(pattern), s = Trimmed(designation);
    return !s.empty() && Glob(p.c_str(), s.c_str());
}

const Program* ProgramFor(const std::vector<Program>& programs, const std::string& designation,
                          const std::string& press, std::string* why) {
    const Program* best = nullptr;
    const Program* tie = nullptr;
    std::vector<std::string> elsewhere;
    for (const Program& p : programs) {
        if (!MatchesBearing(p.bearing, designation)) continue;
        if (!p.RunsOn(press)) {
            elsewhere.push_back(p.Title());
            continue;
        }
        if (best == nullptr || SpeltOut(p.bearing) > SpeltOut(best->bearing)) {
            best = &p;
            tie = nullptr;
        } else if (SpeltOut(p.bearing) == SpeltOut(best->bearing)) {
            tie = &p;
        }
    }
    if (why) why->clear();
    if (tie != nullptr) {
        if (why)
            *why = "the programs " + best->Title() + " and " + tie->Title() +
                   " both match the bearing \"" + designation + "\"";
        return nullptr;
    }
    if (best == nullptr && !elsewhere.empty() && why) {
        *why = "the program " + elsewhere.front() + " for the bearing \"" + designation +
               "\" is not for the press " + press;
    }
    return best;
}
