#include "station/verify.h"

#include "plant/plant_server.h"

#include "station/local_time.h"
#include "station/report_data.h"
#include "records/file_access.h"
#include "records/integrity.h"
#include "records/record_store.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <sstream>

namespace {

// What a PC's own store cannot prove: whoever has its files can rewrite them
// and their chain alike.
const std::string kAloneCaveat =
    " (by this PC's store alone, which cannot prove it was not rewritten by someone with the "
    "PC's files).";

} // namespace

namespace {

VerifyOutcome Outcome(int code, const std::string& line) {
    return {code, line};
}

VerifyOutcome Changed(const std::string& what) {
    return Outcome(1, "CHANGED: " + what + ".");
}

/// A file that is not there is missing, not changed: nothing was found
/// that disagrees.
VerifyOutcome Missing(const std::string& what) {
    return Outcome(2, "MISSING: " + what + ".");
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Name(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// The CSV file beside a page: "X.pdf" and its reprints "X_reprint-….pdf"
/// name "X.csv".
std::string CsvBeside(const std::string& pdfPath) {
    std::string stem = pdfPath.substr(0, pdfPath.size() - 4);
    const size_t reprint = stem.rfind("_reprint-");
    if (reprint != std::string::npos && reprint > Folder(stem).size()) stem.resize(reprint);
    return stem + ".csv";
}

/// The first sample row where `csv` differs from the recording's own CSV
/// text: "row 7.333 s: 392.5 t, recorded 382.5 t"; "" when none does.
std::string FirstDifferingRow(const std::string& csv, const Recording& recorded) {
    std::istringstream found(csv), kept(CurveCsvText(recorded));
    std::string a, b;
    auto nextRow = [](std::istringstream& in, std::string& line) {
        while (std::getline(in, line))
            if (!line.empty() && line[0] != '#' && line.rfind("time_s", 0) != 0) return true;
        return false;
    };
    while (true) {
        const bool haveA = nextRow(found, a), haveB = nextRow(kept, b);
        if (!haveA && !haveB) return "";
        if (haveA && haveB && a == b) continue;
        if (!haveB) return "row " + a + " was not recorded";
        if (!haveA) return "the rows from " + b + " on are missing";
        auto fields = [](const std::string& line) {
            std::vector<std::string> out;
            std::istringstream in(line);
            for (std::string f; std::getline(in, f, ',');)
                out.push_back(f);
            return out;
        };
        const std::vector<std::string> fa = fields(a), fb = fields(b);
        if (fa.size() < 2 || fb.size() < 2) return "row " + a + ", recorded " + b;
        if (fa[0] != fb[0]) return "row " + fa[0] + " s, recorded " + fb[0] + " s";
        if (fa[1] != fb[1]) return "row " + fa[0] + " s: " + fa[1] + " t, recorded " + fb[1] + " t";
        return "row " + fa[0] + " s: " + (fa.size() > 2 ? fa[2] : "") + " bar, recorded " +
               (fb.size() > 2 ? fb[2] : "") + " bar";
    }
}

/// What the answer calls the recording: its report number, axle and end.
std::string Described(const Recording& r) {
    const std::string& uuid = r.setup.uuid;
    const JobData& job = r.setup.job;
    return "report " + ReportNumber(uuid) + " (" +
           (job.axleDesignation.empty() ? std::string("no axle")
                                        : "axle " + job.axleDesignation + " " + job.mountingSide) +
           ", " + IsoDateTime(r.stoppedAt) + ")";
}

struct Stored {
    std::unique_ptr<RecordStore> store;
    int64_t id = 0;
    Recording recording;
};

/// The store and the recording `uuid` in it, or the outcome that ends the check.
bool OpenRecord(const std::string& storePath, const std::string& uuid, Stored& stored,
                VerifyOutcome& failed) {
    std::string why;
    if (!PathExists(storePath)) {
        failed = Outcome(2, "CANNOT VERIFY: there is no record store " + storePath + ".");
        return false;
    }
    stored.store = RecordStore::Open(storePath, &why);
    if (!stored.store) {
        failed = Outcome(2, "CANNOT VERIFY: the record store cannot be opened: " + why + ".");
        return false;
    }
    stored.id = stored.store->IdOf(uuid);
    if (stored.id == 0 || !stored.store->Load(stored.id, stored.recording)) {
        failed = Changed("report " + ReportNumber(uuid) + " is not in the record store " +
                         storePath + " (removed, or printed on another PC)");
        return false;
    }
    std::string problem;
    if (!stored.store->RecordIntact(stored.id, &problem)) {
        failed = Changed(Described(stored.recording) + ": " + problem);
        return false;
    }
    return true;
}

/// The page against the store: it names the stored record's CSV hash, and
/// its own bytes are those of a page printed for it.
bool PageAgrees(const std::string& pageBytes, const std::string& pagePath, Stored& stored,
                const std::string& csvSha256, VerifyOutcome& failed) {
    const std::string& uuid = stored.recording.setup.uuid;
    const std::string what = Described(stored.recording);
    if (stored.recording.csvSha256 != csvSha256) {
        failed = Changed(what + ": the page " + Name(pagePath) + " names CSV SHA-256 " + csvSha256 +
                         ", the stored record " + stored.recording.csvSha256);
        return false;
    }
    const std::vector<std::string> printed = stored.store->PageHashes(uuid);
    if (std::find(printed.begin(), printed.end(), Sha256Hex(pageBytes)) == printed.end()) {
        failed = Changed(what + ": the page " + Name(pagePath) +
                         " is not one that was printed (it was changed after it was written)");
        return false;
    }
    return true;
}

/// The recording and its page against what the plant server received:
/// false with `failed` set when they disagree; else `told` ends the answer
/// (", and the plant server's copy agrees.", or what could not be asked).
bool AgreesWithPlant(Stored& stored, const std::string& csvSha256, const std::string& pageSha256,
                     const std::string& plantServer, std::string& told, VerifyOutcome& failed) {
    told = kAloneCaveat;
    if (plantServer.empty()) return true;
    const std::string& uuid = stored.recording.setup.uuid;
    const std::string what = Described(stored.recording);
    std::string why, serverCsv, serverSeal, pc;
    std::unique_ptr<PlantServer> server = PlantServer::Connect(plantServer, &why);
    if (!server || !server->PrepareSchema(&why)) {
        told = ", but the plant server could not be asked (" + why + ")" + kAloneCaveat;
        return true;
    }
    if (!server->RecordSeal(uuid, serverCsv, serverSeal, pc, &why)) {
        told = why.empty()
                   ? ", but the plant server has not received this recording yet" + kAloneCaveat
                   : ", but the plant server could not be asked (" + why + ")" + kAloneCaveat;
        return true;
    }
    if (serverCsv != csvSha256) {
        failed = Changed(what + ": the plant server received this recording with CSV SHA-256 " +
                         serverCsv + ", not " + csvSha256 +
                         " (the store and its files were rewritten after it was sent)");
        return false;
    }
    if (!serverSeal.empty() && serverSeal != stored.store->RecordHash(uuid)) {
        failed = Changed(what + ": the record store's copy differs from the one the plant server "
                                "received (changed after it was sent)");
        return false;
    }
    told = ", and the plant server's copy of the recording agrees";
    if (!pageSha256.empty()) {
        std::vector<SealedRow> pages;
        const int64_t last = server->LastSeal(pc, "pages", &why);
        if (last < 0 || !server->ChainSeals(pc, "pages", pages, &why, uuid)) {
            told += ", but its pages could not be asked (" + why + ")" + kAloneCaveat;
            return true;
        }
        const bool received = std::any_of(pages.begin(), pages.end(), [&](const SealedRow& row) {
            return row.pdfSha256 == pageSha256;
        });
        if (!received && stored.store->PageRow(uuid, pageSha256) <= last) {
            failed = Changed(what + ": the page is none of the " + std::to_string(pages.size()) +
                             " printed pages of it the plant server received");
            return false;
        }
        if (!received) {
            told += ", but the plant server has not received this page's seal yet" + kAloneCaveat;
            return true;
        }
        told += ", as does its seal of the page";
    }
    told += ".";
    return true;
}

VerifyOutcome VerifyPage(const std::string& path, const std::string& bytes,
                         const std::string& storePath, const std::string& plantServer) {
    std::string uuid, csvSha256;
    if (!FindReportMark(bytes, &uuid, &csvSha256))
        return Outcome(2, "CANNOT VERIFY: " + Name(path) +
                              " carries no report number and hash (not a report page of this "
                              "program, or one printed by an older version).");
    Stored stored;
    VerifyOutcome failed;
    if (!OpenRecord(storePath, uuid, stored, failed)) {
        if (stored.store) return failed; // the store was asked, and said no
        // Without the store (the archive, another PC): the page and the CSV
        // file beside it against each other, and said that the store could
        // not be asked.
        const std::string csvPath = CsvBeside(path);
        std::string csv;
        const std::string unasked = failed.line.substr(failed.line.find(": ") + 2);
        if (!ReadWholeFile(csvPath, csv))
            return Missing("report " + ReportNumber(uuid) + ": the CSV file " + Name(csvPath) +
                           " is not beside the page, and " + unasked);
        if (Sha256Hex(csv) != csvSha256)
            return Changed("report " + ReportNumber(uuid) + ": the CSV file " + Name(csvPath) +
                           " is not the one the page names (SHA-256 " + Sha256Hex(csv) +
                           ", the page says " + csvSha256 + ")");
        std::string lower = unasked;
        if (!lower.empty()) lower[0] = static_cast<char>(std::tolower(lower[0]));
        return Outcome(0, "OK: report " + ReportNumber(uuid) +
                              ": the page and the CSV file agree; the record store could not be "
                              "asked (" +
                              lower.substr(0, lower.size() - 1) + ")");
    }
    if (!PageAgrees(bytes, path, stored, csvSha256, failed)) return failed;
    const std::string what = Described(stored.recording);
    // The CSV file under the name the page gives, beside the page whatever
    // the page is called now (renamed for the archive); else the page's own
    // name with ".csv".
    std::string pdfPath, storedCsv;
    stored.store->ReportFiles(uuid, &pdfPath, &storedCsv);
    std::string csvPath = CsvBeside(path);
    if (!storedCsv.empty() && PathExists(Folder(path) + Name(storedCsv)))
        csvPath = Folder(path) + Name(storedCsv);
    std::string csv;
    if (!ReadWholeFile(csvPath, csv))
        return Missing(what + ": the CSV file " +
                       (storedCsv.empty() ? Name(csvPath) : Name(storedCsv)) +
                       " the page names is not beside it");
    const std::string found = Sha256Hex(csv);
    if (found != csvSha256) {
        const std::string row = FirstDifferingRow(csv, stored.recording);
        return Changed(what + ": the CSV file " + Name(csvPath) +
                       " is not the one the page names (SHA-256 " + found + ", the page says " +
                       csvSha256 + ")" + (row.empty() ? "" : "; first " + row));
    }
    std::string told;
    if (!AgreesWithPlant(stored, csvSha256, Sha256Hex(bytes), plantServer, told, failed))
        return failed;
    return Outcome(0, "OK: " + what + ": the page, the CSV file and the record store agree" + told);
}

VerifyOutcome VerifyCsv(const std::string& path, const std::string& bytes,
                        const std::string& storePath, const std::string& plantServer) {
    std::map<std::string, std::string> fields;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line) && ReadHeaderLine(line, fields);) {
    }
    const std::string uuid = fields["report_id"];
    if (uuid.empty())
        return Outcome(2, "CANNOT VERIFY: " + Name(path) +
                              " names no report (not a report CSV file of this program, or "
                              "one written by an older version).");
    Stored stored;
    VerifyOutcome failed;
    if (!OpenRecord(storePath, uuid, stored, failed)) return failed;
    const std::string what = Described(stored.recording);
    const std::string csvSha256 = Sha256Hex(bytes);
    if (csvSha256 != stored.recording.csvSha256) {
        const std::string row = FirstDifferingRow(bytes, stored.recording);
        return Changed(what + ": the CSV file " + Name(path) +
                       " differs from the stored record's (SHA-256 " + csvSha256 + ", stored " +
                       stored.recording.csvSha256 + ")" + (row.empty() ? "" : "; first " + row));
    }
    // The page it was printed with, where the store noted it.
    std::string pdfPath, csvPath;
    stored.store->ReportFiles(uuid, &pdfPath, &csvPath);
    std::string page, pageUuid, pageCsv;
    if (pdfPath.empty())
        return Changed(what + ": the CSV file agrees with the record store, but its page was "
                              "never printed");
    if (!ReadWholeFile(pdfPath, page))
        return Missing(what + ": the CSV file agrees with the record store, but its page " +
                       Name(pdfPath) + " is missing");
    if (!FindReportMark(page, &pageUuid, &pageCsv) || pageUuid != uuid)
        return Changed(what + ": the page " + Name(pdfPath) + " is not this recording's");
    if (!PageAgrees(page, pdfPath, stored, pageCsv, failed)) return failed;
    std::string told;
    if (!AgreesWithPlant(stored, csvSha256, Sha256Hex(page), plantServer, told, failed))
        return failed;
    return Outcome(0, "OK: " + what + ": the CSV file, its page and the record store agree" + told);
}

} // namespace

VerifyOutcome VerifyReportFile(const std::string& path, const std::string& storePath,
                               const std::string& plantServer) {
    std::string bytes;
    if (!PathExists(path)) return Missing(path + " is not there");
    if (!ReadWholeFile(path, bytes))
        return Outcome(2, "CANNOT VERIFY: " + path + " cannot be read.");
    if (bytes.rfind("%PDF", 0) == 0) return VerifyPage(path, bytes, storePath, plantServer);
    return VerifyCsv(path, bytes, storePath, plantServer);
}

namespace {

/// The store against the seals the plant server received: "" when they
/// agree (`agreeing` counts the recordings, `sealsAgreeing` the trail's
/// entries and the pages), else the first disagreement; `asked` false
/// when the server could not be asked.
std::string AgainstPlant(RecordStore& store, const std::string& plantServer, int64_t* agreeing,
                         int64_t* sealsAgreeing, bool* asked, std::string* why) {
    *asked = false;
    std::unique_ptr<PlantServer> server = PlantServer::Connect(plantServer, why);
    if (!server || !server->PrepareSchema(why)) return "";
    *asked = true;
    // The PCs the store's recordings name, and the one this login is for: a
    // store emptied of its recordings is still checked against its PC's.
    std::vector<std::string> pcs = store.PcNames();
    std::string own;
    if (!server->OwnPc(own, why)) {
        *asked = false;
        return "";
    }
    if (!own.empty() && std::find(pcs.begin(), pcs.end(), own) == pcs.end()) pcs.push_back(own);
    for (const std::string& pc : pcs) {
        std::vector<std::pair<std::string, std::string>> seals;
        if (!server->Seals(pc, seals, why)) {
            *asked = false;
            return "";
        }
        for (const auto& [uuid, sealed] : seals) {
            const std::string here = store.RecordHash(uuid);
            if (here.empty())
                return "recording " + ReportNumber(uuid) + " of " + pc +
                       " is on the plant server but not in the store (removed, or the store "
                       "was put back from an older backup)";
            if (here != sealed)
                return "recording " + ReportNumber(uuid) + " of " + pc +
                       " differs from the copy the plant server received (changed after it was "
                       "sent)";
            ++*agreeing;
        }
        for (const char* chain : {"changes", "pages"}) {
            std::vector<SealedRow> rows;
            if (!server->ChainSeals(pc, chain, rows, why)) {
                *asked = false;
                return "";
            }
            const std::string name =
                std::string(chain) == "pages" ? "printed page" : "audit trail entry";
            for (const SealedRow& row : rows) {
                const std::string here = store.SealOf(chain, row.id);
                const std::string which = name + " " + std::to_string(row.id) +
                                          (row.uuid.empty() ? " (" + row.what + ")"
                                                            : " (" + row.what + " of report " +
                                                                  ReportNumber(row.uuid) + ")") +
                                          " of " + pc;
                if (here.empty())
                    return which + " is on the plant server but not in the store (removed, or the "
                                   "store was put back from an older backup)";
                if (here != row.hash)
                    return which + " differs from the one the plant server received (changed "
                                   "after it was sent)";
                ++*sealsAgreeing;
            }
        }
    }
    return "";
}

} // namespace

VerifyOutcome VerifyStore(const std::string& storePath, const std::string& plantServer) {
    std::string why;
    if (!PathExists(storePath))
        return Outcome(2, "CANNOT VERIFY: there is no record store " + storePath + ".");
    std::unique_ptr<RecordStore> store = RecordStore::Open(storePath, &why);
    if (!store) return Outcome(2, "CANNOT VERIFY: the record store cannot be opened: " + why + ".");
    // A file whose pages are damaged may still read; SQLite's own check tells.
    if (!store->QuickCheck(&why))
        return Outcome(2, "CANNOT VERIFY: in the record store " + storePath + ", " + why + ".");
    const ChainCheck check = store->VerifyChain();
    if (!check.ok) return Changed("in the record store " + storePath + ", " + check.problem);
    const std::string held =
        "OK: the record store " + storePath + " holds " + std::to_string(check.records) +
        " recordings, " + std::to_string(check.changes) + " changes and " +
        std::to_string(check.pages) + " printed pages, each linked to the one before";
    if (plantServer.empty()) return Outcome(0, held + kAloneCaveat);
    int64_t agreeing = 0, sealsAgreeing = 0;
    bool asked = false;
    const std::string differs =
        AgainstPlant(*store, plantServer, &agreeing, &sealsAgreeing, &asked, &why);
    if (!differs.empty()) return Changed("in the record store " + storePath + ", " + differs);
    if (!asked)
        return Outcome(0, held + ", but the plant server could not be asked (" + why + ")" +
                              kAloneCaveat);
    return Outcome(0, held + ", and the " + std::to_string(agreeing) + " recordings and " +
                          std::to_string(sealsAgreeing) +
                          " seals of changes and pages the plant server received from its PCs "
                          "agree with it.");
}

std::string PlantCopyProblem(const Recording& loaded, const RecordSummary* row) {
    const std::string made = Sha256Hex(CurveCsvText(loaded));
    if (made != loaded.csvSha256)
        return "its data on the plant server do not give the CSV SHA-256 it arrived with (" +
               loaded.csvSha256.substr(0, 12) + "…): changed on the server after it arrived";
    if (!row) return "";
    const double peak = loaded.Results().peakForceTons;
    const std::string result = HistoryResult(loaded);
    if (row->result != result || std::abs(row->peakTons - peak) > 1e-6 * std::max(1.0, peak))
        return "the plant server lists it as " + (row->result.empty() ? "unjudged" : row->result) +
               " " + FixedNumber(row->peakTons, 1) + " t, its data say " +
               (result.empty() ? "unjudged" : result) + " " + FixedNumber(peak, 1) +
               " t: changed on the server after it arrived";
    return "";
}
