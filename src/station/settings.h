// The settings files of the working directory, read without any window:
// init.ini (start-up commands), superfici.ini (presses) and the rules by which
// config.ini values are read. The store itself is a wxFileConfig (see
// SaveConfigAtomically).
#pragma once

#include "station/typed_number.h"

#include <cstdio>
#include <string>
#include <vector>

class wxFileConfig;
class wxString;

constexpr int kInitCommandCount = 10;
constexpr int kInitCommandSize = 10;
constexpr int kPressCount = 10;

typedef char InitCommandTable[kInitCommandCount][kInitCommandSize];

/// A stored flag counts as true unless it is exactly "false".
bool FlagFromText(const wxString& text);

/// Reads init.ini lines into the table: the first five bytes of each line, its
/// line feed turned into a carriage return. Lines beyond the ten entries are ignored.
/// A stream that is null leaves the table empty.
void ReadInitCommands(FILE* stream, InitCommandTable& table);
bool ReadInitCommandsFile(const std::string& path, InitCommandTable& table);

/// Presses of superfici.ini: surfaces (cm²) and names in file order.
struct PressList {
    bool loaded = false; ///< the file could be opened
    float surfaces[kPressCount] = {0};
    std::vector<std::string> names; ///< UTF-8, at most kPressCount
};
/// Parses the first line of superfici.ini: surfaces and names alternate,
/// separated by runs of ',' and ':'. Pairs beyond the tenth are ignored. A
/// surface that is not a finite number above 0 is left 0 (no valid surface),
/// with a line on stderr.
void ParsePressLine(const char* line, PressList& presses);
PressList ReadPressFile(const std::string& path);

/// The press name at `index`, or "" when there is no such press.
std::string PressNameAt(const PressList& presses, long index);
/// The surface at `index`, or 0 when the index lies outside the table.
double SurfaceAt(const PressList& presses, long index);

/// Writes the store to `path` through a temporary file in the same directory
/// that is renamed over the old one, so a failed write never leaves a truncated
/// file. Returns false when the file could not be replaced.
bool SaveConfigAtomically(wxFileConfig& config, const wxString& path, wxString* why = nullptr);
