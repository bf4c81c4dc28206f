#include "station/settings.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include <wx/log.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/wfstream.h>

bool FlagFromText(const wxString& text) {
    return text != "false";
}

void ReadInitCommands(FILE* stream, InitCommandTable& table) {
    std::memset(table, 0, sizeof table);
    if (stream == nullptr) return;
    for (int k = 0; k < kInitCommandCount; ++k) {
        // A whole line, however long; a command is its first five bytes, and
        // nothing of a long line spills into the next entry.
        std::string line;
        int c;
        while ((c = std::fgetc(stream)) != EOF) {
            line += static_cast<char>(c);
            if (c == '\n') break;
        }
        if (line.empty()) break;
        if (line.back() == '\n') line.back() = '\r';
        std::memcpy(table[k], line.data(), std::min<size_t>(line.size(), 5));
    }
}

bool ReadInitCommandsFile(const std::string& path, InitCommandTable& table) {
    FILE* stream = fopen(path.c_str(), "r");
    ReadInitCommands(stream, table);
    if (stream == nullptr) return false;
    fclose(stream);
    return true;
}

void ParsePressLine(const char* line, PressList& presses) {
    presses.names.clear();
    std::memset(presses.surfaces, 0, sizeof presses.surfaces);
    std::vector<std::string> surfaceTexts;
    const char* p = line;
    int token = 0;
    while (*p) {
        while (*p == ',' || *p == ':')
            ++p;
        if (!*p) break;
        const char* end = p;
        while (*end && *end != ',' && *end != ':')
            ++end;
        std::string text(p, end);
        if (token % 2 == 0)
            surfaceTexts.push_back(text);
        else if (presses.names.size() < static_cast<size_t>(kPressCount))
            presses.names.push_back(text);
        ++token;
        p = end;
    }
    // A surface that is not a finite number above 0 would give forces of 0,
    // inf or nan: the press keeps its place and name but no surface, and no
    // recording can be started with it.
    for (size_t i = 0; i < presses.names.size(); ++i) {
        const std::string text = i < surfaceTexts.size() ? surfaceTexts[i] : "";
        char* end = nullptr;
        double value = std::strtod(text.c_str(), &end);
        if (end != text.c_str() && std::isfinite(value) && value > 0 && value <= FLT_MAX) {
            presses.surfaces[i] = static_cast<float>(value);
        } else {
            std::fprintf(stderr,
                         "superfici.ini: press \"%s\" has no valid surface (\"%s\"): ignored\n",
                         presses.names[i].c_str(), text.c_str());
        }
    }
}

PressList ReadPressFile(const std::string& path) {
    PressList presses;
    FILE* stream = fopen(path.c_str(), "r");
    if (stream == nullptr) return presses;
    // Room for ten presses with long names, as the press register writes them.
    char buffer[2048] = {0};
    if (fgets(buffer, sizeof buffer, stream) == nullptr) buffer[0] = '\0';
    fclose(stream);
    // The line end is no part of the last press name (a CR LF file leaves both).
    size_t length = std::strlen(buffer);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r'))
        buffer[--length] = '\0';
    presses.loaded = true;
    ParsePressLine(buffer, presses);
    return presses;
}

std::string PressNameAt(const PressList& presses, long index) {
    if (index < 0 || static_cast<size_t>(index) >= presses.names.size()) return "";
    return presses.names[static_cast<size_t>(index)];
}

double SurfaceAt(const PressList& presses, long index) {
    if (index < 0 || index >= kPressCount) return 0.0;
    return presses.surfaces[index];
}

bool SaveConfigAtomically(wxFileConfig& config, const wxString& path, wxString* why) {
    wxFileName target(path);
    target.MakeAbsolute();
    const wxString temporary = target.GetFullPath() + ".tmp";
    // The caller tells the operator, once and with the reason: no log box.
    wxLogNull quiet;
    auto fail = [&](bool removeTemporary) {
        if (why) *why = wxSysErrorMsgStr();
        if (removeTemporary) wxRemoveFile(temporary);
        return false;
    };
    {
        wxFileOutputStream out(temporary);
        if (!out.IsOk()) return fail(false);
        bool saved = config.Save(out, wxConvAuto()) && out.GetFile()->Flush();
        if (!out.Close() || !saved) return fail(true);
    }
    if (!wxRenameFile(temporary, target.GetFullPath(), true)) return fail(true);
    return true;
}
