#include "station/trail_export.h"

#include "station/local_time.h"
#include "station/report_data.h"

#include <algorithm>
#include <set>

namespace {

template <typename Field>
std::vector<std::string> Distinct(const std::vector<Change>& changes, Field field) {
    std::set<std::string> values;
    for (const Change& change : changes)
        if (!(change.*field).empty()) values.insert(change.*field);
    return {values.begin(), values.end()};
}

} // namespace

std::vector<Change> FilterTrail(const std::vector<Change>& changes, const TrailFilter& filter) {
    std::vector<Change> kept;
    std::copy_if(changes.begin(), changes.end(), std::back_inserter(kept), [&](const Change& c) {
        return (filter.press.empty() || c.press == filter.press) &&
               (filter.who.empty() || c.who == filter.who) &&
               (filter.what.empty() || c.what == filter.what);
    });
    return kept;
}

std::vector<std::string> TrailPresses(const std::vector<Change>& changes) {
    return Distinct(changes, &Change::press);
}

std::vector<std::string> TrailPeople(const std::vector<Change>& changes) {
    return Distinct(changes, &Change::who);
}

std::vector<std::string> TrailKinds(const std::vector<Change>& changes) {
    return Distinct(changes, &Change::what);
}

std::string TrailCsvText(const std::vector<Change>& changes) {
    std::string out = "when,who,pc,press,what,old_value,new_value,reason\n";
    for (const Change& c : changes) {
        const std::string fields[] = {IsoDateTime(c.at), c.who,      c.pcName, c.press, c.what,
                                      c.oldValue,        c.newValue, c.reason};
        for (size_t i = 0; i < 8; ++i)
            out += (i ? "," : "") + CsvField(fields[i]);
        out += "\n";
    }
    return out;
}
