#include "station/limits.h"

#include "records/file_access.h"
#include "records/quality_password.h"
#include "records/record_store.h"
#include "station/cycle.h"
#include "station/local_time.h"
#include "station/press_register.h"
#include "station/quality_accounts.h"
#include "station/report_data.h"
#include "station/translate.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

const char* const kLimitsFile = "limits.ini";

namespace {

bool ParseNumber(const std::string& text, double& value) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t\r");
    if (begin == std::string::npos) return false;
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

} // namespace

LimitTable ReadLimits(const std::string& path, std::string* ignored) {
    LimitTable table;
    std::string content;
    if (!ReadWholeFile(path, content)) return table;
    std::istringstream in(content);
    std::string line, bad;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        const size_t first = line.find(',');
        const size_t second = first == std::string::npos ? first : line.find(',', first + 1);
        ForceLimits limits;
        std::string name = second == std::string::npos ? "" : line.substr(second + 1);
        if (second == std::string::npos || name.empty() ||
            !ParseNumber(line.substr(0, first), limits.lowerTons) ||
            !ParseNumber(line.substr(first + 1, second - first - 1), limits.upperTons) ||
            !ValidLimits(limits, nullptr)) {
            bad += (bad.empty() ? "" : ", ") + std::to_string(number);
            continue;
        }
        table[name] = limits;
    }
    if (ignored) *ignored = bad;
    return table;
}

bool WriteLimits(const std::string& path, const LimitTable& table, std::string* error) {
    const std::string temporary = path + ".tmp";
    FILE* out = OpenPath(temporary, "wb");
    if (out == nullptr) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    std::fputs("# Force limits of the peak force per press: lower_t,upper_t,press\n", out);
    for (const auto& [name, limits] : table) {
        char numbers[64];
        auto end = std::to_chars(numbers, numbers + 30, limits.lowerTons).ptr;
        *end++ = ',';
        end = std::to_chars(end, numbers + 62, limits.upperTons).ptr;
        std::fprintf(out, "%.*s,%s\n", static_cast<int>(end - numbers), numbers, name.c_str());
    }
    const bool written = std::fflush(out) == 0 && !std::ferror(out) && SyncFile(out);
    const int savedErrno = errno;
    if (std::fclose(out) != 0 || !written || !RenameOver(temporary, path)) {
        if (error) *error = std::strerror(written ? errno : savedErrno);
        RemovePath(temporary);
        return false;
    }
    return true;
}

const char* const kLimitsChange = N_("force limits");
const char* const kLimitsFileEdited = N_("limits.ini edited outside the program");
const char* const kPasswordSetChange = N_("password set");
const char* const kWrongPasswordChange = N_("wrong password");
const char* const kAlarmThresholdChange = N_("alarm threshold");
const char* const kEndWhenReleasedChange = N_("end when released");
const char* const kRecordLengthChange = N_("record length");
const char* const kQualityKeyChange = N_("quality key");

std::vector<Change> WrongPasswordsSinceSigned(const std::vector<Change>& newestFirst) {
    // A change signed with the right password ends the run of wrong ones;
    // entries the program makes by itself, or an operator, do not.
    std::vector<Change> wrong;
    for (const Change& c : newestFirst) {
        if (c.what == kLimitsChange || c.what == kPasswordSetChange || c.what == kProgramSaved ||
            c.what == kProgramWithdrawn || c.what == kQualityKeyChange ||
            c.what == kPressRegisterChange || c.what == kCalibrationOutOfTolerance ||
            c.what == kAccountAdded || c.what == kAccountDisabled || c.what == kAccountEnabled ||
            c.what == kAccountPassword)
            break;
        if (c.what == kWrongPasswordChange) wrong.push_back(c);
    }
    return wrong;
}

PasswordAttempts AttemptsFromTrail(const std::vector<Change>& newestFirst) {
    const std::vector<Change> wrong = WrongPasswordsSinceSigned(newestFirst);
    PasswordAttempts attempts;
    for (size_t i = wrong.size(); i-- > 0;)
        attempts.Failed(wrong[i].at);
    return attempts;
}

namespace {

/// The fingerprint kept for the password in force, and when and by whom.
bool KeptFingerprint(RecordStore& store, Change* kept) {
    Change set, recorded;
    const bool haveSet = store.LastChange(kPasswordSetChange, "", &set);
    const bool haveRecorded = store.LastChange(kQualityKeyChange, "", &recorded);
    if (haveRecorded && (!haveSet || recorded.id > set.id)) {
        *kept = recorded;
        return true;
    }
    if (haveSet && set.newValue.rfind("sha256:", 0) == 0) {
        *kept = set;
        return true;
    }
    return false;
}

} // namespace

std::string QualityKeyRefusal(RecordStore& store, const QualityPassword& password) {
    Change kept;
    if (!KeptFingerprint(store, &kept)) return "";
    const std::string now = password.Fingerprint();
    if (now.empty() || now == kept.newValue) return "";
    return TrFormat("the password file %s is not the one kept %s by %s (another key, made "
                    "elsewhere). Restore the right one from a backup",
                    password.Path().c_str(), IsoDateTime(kept.at).c_str(), kept.who.c_str());
}

bool KeepQualityKeyFingerprint(RecordStore& store, const QualityPassword& password,
                               const Change& who, std::string* why) {
    Change kept;
    if (KeptFingerprint(store, &kept)) return true;
    Change entry = who;
    entry.what = kQualityKeyChange;
    entry.oldValue = "";
    entry.newValue = password.Fingerprint();
    entry.reason = "the fingerprint of the password file in force";
    return store.AddChange(entry, why);
}

std::string LimitsValue(const ForceLimits* limits) {
    if (limits == nullptr) return "none";
    return CsvNumber(limits->lowerTons) + " t \xE2\x80\xA6 " + CsvNumber(limits->upperTons) + " t";
}

bool ParseLimitsValue(const std::string& text, bool* has, ForceLimits* limits) {
    *has = false;
    if (text == "none") return true;
    const std::string separator = " t \xE2\x80\xA6 ";
    const size_t at = text.find(separator);
    if (at == std::string::npos || text.size() < 2 || text.compare(text.size() - 2, 2, " t") != 0)
        return false;
    ForceLimits read;
    if (!ParseNumber(text.substr(0, at), read.lowerTons) ||
        !ParseNumber(text.substr(at + separator.size(), text.size() - 2 - at - separator.size()),
                     read.upperTons))
        return false;
    *has = true;
    *limits = read;
    return true;
}

std::vector<std::string> ReconcileLimits(LimitTable& table, RecordStore& store,
                                         OriginTable& origins, const std::string& pcName,
                                         int64_t now, bool* rewrite) {
    std::vector<std::string> notes;
    *rewrite = false;
    // Every press the file or the trail names.
    std::vector<std::string> presses;
    for (const auto& [press, limits] : table)
        presses.push_back(press);
    for (const Change& change : store.Changes())
        if (change.what == kLimitsChange &&
            std::find(presses.begin(), presses.end(), change.press) == presses.end())
            presses.push_back(change.press);

    // limits.ini is taken into the trail once only when the trail begins on
    // an installation that recorded before it; beside a new store, or for a
    // press the trail does not know, it is not used.
    const bool trailBegins = store.Changes("", 1).empty() && store.HasRecordings();
    // An edit of limits.ini outside the program, kept in the trail: what the
    // file said, what is used instead, and why.
    auto keepEdit = [&](const std::string& press, const std::string& found, const std::string& used,
                        const std::string& why) {
        Change edited;
        edited.at = now;
        edited.who = "(outside the program)";
        edited.pcName = pcName;
        edited.press = press;
        edited.what = kLimitsFileEdited;
        edited.oldValue = found;
        edited.newValue = used;
        edited.reason = why;
        std::string error;
        store.AddChange(edited, &error);
    };
    auto refuse = [&](const std::string& press, const std::string& found, const std::string& why,
                      const std::string& note) {
        keepEdit(press, found, "none", why);
        table.erase(press);
        origins.erase(press);
        *rewrite = true;
        notes.push_back(TrFormat("Press %s: %s No limits are used for it until a quality engineer "
                                 "sets them in the program.",
                                 press.c_str(), note.c_str()));
    };
    for (const std::string& press : presses) {
        const auto inFile = table.find(press);
        const ForceLimits* fileLimits = inFile == table.end() ? nullptr : &inFile->second;
        const std::string found = LimitsValue(fileLimits);
        Change last;
        std::string why;
        if (!store.LastChange(kLimitsChange, press, &last)) {
            if (!trailBegins) {
                refuse(press, found, "limits.ini names limits the audit trail does not hold",
                       TrFormat("limits.ini says %s, but the audit trail holds no limits for this "
                                "press (a new record store, or a press renamed in "
                                "superfici.ini).",
                                found.c_str()));
                continue;
            }
            // Set before the trail began: taken into it once, as found.
            Change taken;
            taken.at = now;
            taken.who = kLimitsFile;
            taken.pcName = pcName;
            taken.press = press;
            taken.what = kLimitsChange;
            taken.oldValue = "none";
            taken.newValue = found;
            taken.reason = "found in limits.ini when the audit trail began";
            if (store.AddChange(taken, &why)) origins[press] = {now, taken.who};
            continue;
        }
        bool has = false;
        ForceLimits trail;
        std::string broken;
        if (!store.ChangeIntact(last.id, &broken) ||
            !ParseLimitsValue(last.newValue, &has, &trail)) {
            if (broken.empty()) broken = "the audit trail's limits cannot be read";
            if (fileLimits || origins.count(press))
                refuse(press, found, broken,
                       TrFormat("%s (set %s).", broken.c_str(), IsoDateTime(last.at).c_str()));
            continue;
        }
        origins[press] = {last.at, last.who};
        const bool same = has ? fileLimits && fileLimits->lowerTons == trail.lowerTons &&
                                    fileLimits->upperTons == trail.upperTons
                              : fileLimits == nullptr;
        if (same) continue;
        keepEdit(press, found, last.newValue,
                 "limits.ini differed from the audit trail; put back as last set");
        if (has)
            table[press] = trail;
        else
            table.erase(press);
        *rewrite = true;
        notes.push_back(TrFormat("Press %s: limits.ini says %s, but the limits were last set to %s "
                                 "by %s on %s. The limits as last set are used.",
                                 press.c_str(), found.c_str(), last.newValue.c_str(),
                                 last.who.c_str(), IsoDateTime(last.at).c_str()));
    }
    return notes;
}

const char* const kThresholdsFile = "alarm.ini";

ThresholdTable ReadThresholds(const std::string& path) {
    ThresholdTable table;
    std::string content;
    if (!ReadWholeFile(path, content)) return table;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t comma = line.find(',');
        double bar = 0;
        if (comma == std::string::npos || comma + 1 >= line.size() ||
            !ParseNumber(line.substr(0, comma), bar) || bar < 0 || bar > 999 ||
            bar != static_cast<int>(bar))
            continue;
        table[line.substr(comma + 1)] = static_cast<int>(bar);
    }
    return table;
}

bool WriteThresholds(const std::string& path, const ThresholdTable& table, std::string* error) {
    std::string text;
    for (const auto& [press, bar] : table)
        text += std::to_string(bar) + "," + press + "\n";
    return WriteFileBytes(path, text, error);
}

std::string ThresholdAgainstLimits(int bar, double surface, const ForceLimits* limits) {
    if (bar <= 0 || limits == nullptr || !(surface > 0)) return "";
    const double force = ForceTons(bar, surface);
    if (force > limits->upperTons)
        return TrFormat("%d bar = %.1f t: above the upper limit %.1f t", bar, force,
                        limits->upperTons);
    if (force < limits->lowerTons)
        return TrFormat("%d bar = %.1f t: below the lower limit %.1f t", bar, force,
                        limits->lowerTons);
    return "";
}
