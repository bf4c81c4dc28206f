// Mounting programs as files, and the commands that judge and teach with
// them without any window: `--evaluate CURVE.csv --program PROGRAM.json`
// and `--teach PROGRAM.json CURVE.csv...`.
#pragma once

#include "records/recording.h"

#include <string>
#include <vector>

/// Reads the program of a JSON file; false with the reason ("cannot be
/// read", or its fault).
bool ReadProgramFile(const std::string& path, Program& program, std::string* why,
                     bool untaughtAllowed = false);
/// Writes the program as indented JSON through a file renamed into place.
bool WriteProgramFile(const std::string& path, const Program& program, std::string* why);

/// What a command prints and the code it ends with.
struct CommandAnswer {
    std::string text;
    int exitCode = 0;
};

/// One line per criterion and the verdict of the curve file judged by the
/// program; 0 for PASS, 1 for FAIL or INCOMPLETE, 2 when a file cannot be read.
CommandAnswer EvaluateCurveFile(const std::string& curvePath, const std::string& programPath);

/// Teaches the program's envelope (added when it has none) from the curve
/// files and writes the program back. Refused, with the reason, for fewer
/// than kMinTeachCurves files, a file that cannot be read, or a curve that
/// is not PASS by the program's other criteria. 0 when taught, 2 otherwise.
CommandAnswer TeachFromCurveFiles(const std::string& programPath,
                                  const std::vector<std::string>& curvePaths);

/// Teaches the envelope of `program` (added when it has none) from
/// `curves`, named by `names` in its taught_from (a recording's identity,
/// or its file's name). Refused, with the reason, for too few curves or one
/// that is not PASS by the program's other criteria.
bool TeachFromRecordings(Program& program, const std::vector<Recording>& curves,
                         const std::vector<std::string>& names, std::string* why);

/// The program without its envelope: what the curves an envelope is taught
/// from must pass.
Program WithoutEnvelope(const Program& program);
