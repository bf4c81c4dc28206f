// The audit trail as the quality engineer reads it: filtered by press,
// person and kind, and exported as one CSV table, row for row what the
// Changes window lists; and a list of recordings exported the same way.
// No window here.
#pragma once

#include "records/record_store.h"

#include <string>
#include <vector>

/// What the trail is filtered by; "" matches everything.
struct TrailFilter {
    std::string press, who, what;
};

/// The entries `filter` keeps, in the order given.
std::vector<Change> FilterTrail(const std::vector<Change>& changes, const TrailFilter& filter);

/// The distinct values of one column (the presses, the people or the kinds),
/// sorted, without "".
std::vector<std::string> TrailPresses(const std::vector<Change>& changes);
std::vector<std::string> TrailPeople(const std::vector<Change>& changes);
std::vector<std::string> TrailKinds(const std::vector<Change>& changes);

/// The entries as a CSV table: a heading line, then one row each with its
/// time (ISO, local), who, PC, press, what, old and new value and reason;
/// every field quoted and kept from being read as a formula.
std::string TrailCsvText(const std::vector<Change>& changes);

/// Every recording `filter` finds in the store (read a page at a time), as
/// a CSV table: one row each with its identity and report number, PC,
/// times, press and surface, job, program and version, limits, peak, result
/// and reason, state, the CSV file's and the page's hashes, the page and the
/// program's version, and each criterion's finding ("OK: hold 3.4 s at ≥
/// 340.0 t, required ≥ 3.0 s; …"); formula-safe as the report's CSV file. `count` gets
/// the number of rows.
std::string RecordingListCsv(RecordStore& store, RecordFilter filter, int64_t* count = nullptr);
