#include "station/trail_export.h"

#include "records/integrity.h"
#include "station/local_time.h"
#include "station/report_data.h"

#include <algorithm>
#include <map>
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

std::string RecordingListCsv(RecordStore& store, RecordFilter filter, int64_t* count) {
    std::string out = "identity,report_no,pc,started_at,stopped_at,press,surface_cm2,operator,axle,"
                      "side,bearing,production_date,refurbishment_date,program,program_version,"
                      "lower_t,upper_t,peak_t,peak_time_s,result,reason,state,csv_sha256,"
                      "pdf_sha256,page,version,criteria\n";
    int64_t rows = 0;
    filter.limit = 1000;
    for (filter.offset = 0;; filter.offset += filter.limit) {
        const std::vector<ListedRecording> page = store.Listed(filter);
        std::vector<int64_t> ids;
        for (const ListedRecording& l : page)
            ids.push_back(l.row.id);
        const std::map<int64_t, std::vector<CriterionValue>> criteria = store.CriterionValues(ids);
        for (const ListedRecording& l : page) {
            const RecordSummary& r = l.row;
            // Each criterion's finding as the page gives it, in the program's order.
            std::string found;
            if (auto c = criteria.find(r.id); c != criteria.end())
                for (const CriterionValue& v : c->second)
                    found +=
                        (found.empty() ? "" : "; ") + std::string(v.ok ? "OK: " : "NOK: ") + v.text;
            const bool judgedByProgram = !l.programName.empty();
            const std::string fields[] = {r.uuid,
                                          ReportNumber(r.uuid),
                                          r.pcName,
                                          IsoDateTime(l.startedAt),
                                          IsoDateTime(r.stoppedAt),
                                          r.press,
                                          CsvNumber(l.surface),
                                          r.operatorId,
                                          r.axle,
                                          r.side,
                                          r.bearing,
                                          l.productionDate,
                                          l.refurbishmentDate,
                                          l.programName,
                                          judgedByProgram ? std::to_string(l.programVersion) : "",
                                          l.hasLimits ? CsvNumber(l.lowerTons) : "",
                                          l.hasLimits ? CsvNumber(l.upperTons) : "",
                                          r.anySample ? CsvNumber(r.peakTons) : "",
                                          r.anySample ? CsvNumber(l.peakTimeS) : "",
                                          r.result.empty() ? "no limits" : r.result,
                                          l.reason,
                                          StatusText(r.status),
                                          l.csvSha256,
                                          l.pdfSha256,
                                          r.pdfPath,
                                          l.version,
                                          found};
            const size_t n = sizeof fields / sizeof fields[0];
            for (size_t i = 0; i < n; ++i)
                out += (i ? "," : "") + CsvField(fields[i]);
            out += "\n";
            ++rows;
        }
        if (page.size() < static_cast<size_t>(filter.limit)) break;
    }
    if (count) *count = rows;
    return out;
}
