#include "station/program_files.h"

#include "records/file_access.h"
#include "station/report_data.h"
#include "station/report_import.h"

#include <algorithm>

bool ReadProgramFile(const std::string& path, Program& program, std::string* why,
                     bool untaughtAllowed) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        if (why) *why = path + ": cannot be read";
        return false;
    }
    std::string fault;
    if (ParseProgram(text, program, &fault, untaughtAllowed)) return true;
    if (why) *why = path + ": " + fault;
    return false;
}

bool WriteProgramFile(const std::string& path, const Program& program, std::string* why) {
    std::string error;
    if (WriteFileBytes(path, ProgramJson(program), &error)) return true;
    if (why) *why = path + ": cannot be written (" + error + ")";
    return false;
}

Program WithoutEnvelope(const Program& program) {
    Program rest = program;
    rest.criteria.erase(
        std::remove_if(rest.criteria.begin(), rest.criteria.end(),
                       [](const Criterion& c) { return c.kind == CriterionKind::Envelope; }),
        rest.criteria.end());
    return rest;
}

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

CommandAnswer EvaluateCurveFile(const std::string& curvePath, const std::string& programPath) {
    CommandAnswer answer;
    Program program;
    Recording curve;
    std::string why;
    if (!ReadProgramFile(programPath, program, &why) || !ReadCurveFile(curvePath, curve, &why)) {
        if (why.rfind(programPath, 0) != 0) why = curvePath + ": " + why;
        return {why + "\n", 2};
    }
    // The file's own header tells how its recording ended and whether its
    // rise is missing; its rules are the ones it was recorded under.
    const Judgement j = curve.JudgedBy(program);
    answer.text = program.Title() + " on " + BaseName(curvePath) + "\n";
    for (const CriterionResult& c : j.criteria)
        answer.text += std::string(c.ok ? "OK   " : "NOK  ") + c.text + "\n";
    answer.text += ResultText(j) + "\n";
    answer.exitCode = j.verdict == Verdict::Pass ? 0 : 1;
    return answer;
}

namespace {

Criterion& EnvelopeOf(Program& program) {
    for (Criterion& c : program.criteria)
        if (c.kind == CriterionKind::Envelope) return c;
    Criterion added;
    added.kind = CriterionKind::Envelope;
    program.criteria.push_back(added);
    return program.criteria.back();
}

std::string TooFew(size_t given) {
    return "an envelope is taught from at least " + std::to_string(kMinTeachCurves) +
           " good curves; " + std::to_string(given) + " given";
}

} // namespace

bool TeachFromRecordings(Program& program, const std::vector<Recording>& curves,
                         const std::vector<std::string>& names, std::string* why) {
    if (static_cast<int>(curves.size()) < kMinTeachCurves) {
        if (why) *why = TooFew(curves.size());
        return false;
    }
    // An envelope is never taught from a bad mounting.
    const Program rest = WithoutEnvelope(program);
    std::string refused;
    for (size_t i = 0; i < curves.size() && !rest.criteria.empty(); ++i) {
        const Judgement j = curves[i].JudgedBy(rest);
        if (j.verdict != Verdict::Pass)
            refused +=
                "\n  " + names[i] + ": not a good mounting by the program (" + ResultText(j) + ")";
    }
    if (!refused.empty()) {
        if (why) *why = "these curves cannot be taught from:" + refused;
        return false;
    }
    std::vector<CurveView> views;
    Criterion& envelope = EnvelopeOf(program);
    Criterion taught = envelope;
    taught.taughtFrom = names;
    for (const Recording& r : curves)
        views.push_back(ViewOf(r.times, r.forces, &r.pressures));
    if (!TeachEnvelope(views, taught, why)) return false;
    envelope = taught;
    return true;
}

CommandAnswer TeachFromCurveFiles(const std::string& programPath,
                                  const std::vector<std::string>& curvePaths) {
    Program program;
    std::string why;
    if (!ReadProgramFile(programPath, program, &why, true)) return {why + "\n", 2};
    if (static_cast<int>(curvePaths.size()) < kMinTeachCurves)
        return {"Not taught: " + TooFew(curvePaths.size()) + ".\n", 2};
    std::vector<Recording> curves(curvePaths.size());
    std::vector<std::string> names;
    std::string unread;
    for (size_t i = 0; i < curvePaths.size(); ++i) {
        if (!ReadCurveFile(curvePaths[i], curves[i], &why))
            unread += "\n  " + curvePaths[i] + ": " + why;
        names.push_back(curves[i].setup.uuid.empty() ? BaseName(curvePaths[i])
                                                     : curves[i].setup.uuid);
    }
    if (!unread.empty()) return {"Not taught, these curves cannot be read:" + unread + "\n", 2};
    std::vector<std::string> shown(curvePaths); // refusals name the files
    if (!TeachFromRecordings(program, curves, shown, &why))
        return {"Not taught: " + why + ".\n", 2};
    Criterion& taught = EnvelopeOf(program);
    taught.taughtFrom = names;
    if (!WriteProgramFile(programPath, program, &why)) return {why + "\n", 2};
    char text[256];
    std::snprintf(text, sizeof text,
                  "Envelope of %s taught from %zu curves (k_sigma %g, min_width_t %g t, 0 to "
                  "%.1f s in steps of %g s) and written to %s.\n",
                  program.Title().c_str(), curves.size(), taught.kSigma, taught.minWidthTons,
                  taught.envelope.back().seconds, taught.stepSeconds, programPath.c_str());
    return {text, 0};
}
