#include "recorder/journal.h"

#include "recorder/file_access.h"
#include "recorder/report_data.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* const kEndLine = "# end,";

std::string JournalDirectory(const std::string& directory) {
    std::string base = directory.empty() ? "." : directory;
    if (base.back() != '/' && base.back() != '\\') base += '/';
    return base + "recordings";
}

// The last non-empty line of a text file, or "". Only the file's end is read:
// every start looks at every journal.
std::string LastLine(const std::string& path) {
    FILE* file = OpenPath(path, "rb");
    if (file == nullptr) return "";
    std::string tail(512, '\0');
    if (std::fseek(file, -512, SEEK_END) != 0) std::rewind(file);
    tail.resize(std::fread(&tail[0], 1, tail.size(), file));
    std::fclose(file);
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r'))
        tail.pop_back();
    return tail.substr(tail.find_last_of('\n') + 1);
}

} // namespace

RecordingJournal::~RecordingJournal() {
    if (m_file) std::fclose(m_file);
}

bool RecordingJournal::Open(const std::string& directory, const std::string& stamp,
                            const std::string& header, SteadyTime now, std::string* error) {
    if (m_file) Close("replaced");
    const std::string folder = JournalDirectory(directory);
    if (!MakeDirectory(folder)) {
        if (error) *error = folder + ": " + std::strerror(errno);
        return false;
    }
    std::string path = folder + "/" + stamp + ".csv";
    // Two recordings started within one second keep both journals.
    for (int k = 2; k < 100; ++k) {
        if (!PathExists(path)) break;
        path = folder + "/" + stamp + "-" + std::to_string(k) + ".csv";
    }
    m_file = OpenPath(path, "wb");
    if (m_file == nullptr) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    m_path = path;
    m_problem.clear();
    std::fputs(header.c_str(), m_file);
    std::fputs(kCurveColumns, m_file);
    std::fputc('\n', m_file);
    Sync();
    m_lastFlush = now;
    if (!m_problem.empty()) {
        // Not even the header reached the disk: the folder is of no use.
        if (error) *error = path + ": " + m_problem;
        std::fclose(m_file);
        m_file = nullptr;
        RemovePath(path);
        return false;
    }
    return true;
}

void RecordingJournal::Check(bool written) {
    if (!written && m_problem.empty()) m_problem = std::strerror(errno ? errno : EIO);
}

void RecordingJournal::AppendLine(const std::string& line) {
    if (!m_file) return;
    Check(std::fprintf(m_file, "%s\n", line.c_str()) >= 0);
}

void RecordingJournal::Append(double seconds, double forceTons, int bar) {
    if (!m_file) return;
    Check(std::fprintf(m_file, "%s,%s,%d\n", FixedNumber(seconds, kTimeDecimals).c_str(),
                       FixedNumber(forceTons, kForceDecimals).c_str(), bar) >= 0);
}

void RecordingJournal::FlushIfDue(SteadyTime now) {
    if (!m_file || now - m_lastFlush < std::chrono::seconds(1)) return;
    Sync();
    m_lastFlush = now;
}

void RecordingJournal::Sync() {
    errno = 0;
    Check(SyncFile(m_file));
}

void RecordingJournal::Close(const std::string& how) {
    if (!m_file) return;
    Check(std::fprintf(m_file, "%s%s\n", kEndLine, how.c_str()) >= 0);
    Sync();
    errno = 0;
    Check(std::fclose(m_file) == 0);
    m_file = nullptr;
    // Cut short by a failed write, its end line may be missing: it is kept
    // under another name, so the next start does not call it interrupted.
    if (!m_problem.empty()) {
        const std::string cut = m_path.substr(0, m_path.size() - 4) + ".cut";
        if (RenameOver(m_path, cut)) m_path = cut;
    }
}

void RecordingJournal::Discard() {
    if (!m_file) return;
    std::fclose(m_file);
    m_file = nullptr;
    RemovePath(m_path);
}

std::vector<std::string> FindInterruptedJournals(const std::string& directory) {
    std::vector<std::string> found;
    const std::string folder = JournalDirectory(directory);
    for (const std::string& name : ListDirectory(folder)) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".csv") != 0) continue;
        std::string path = folder + "/" + name;
        if (LastLine(path).rfind(kEndLine, 0) != 0) found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool JournalHasRecording(const std::string& path) {
    std::string content;
    return ReadWholeFile(path, content) &&
           content.find("\n# recording_start,") != std::string::npos;
}

bool MarkJournalInterrupted(const std::string& path) {
    FILE* file = OpenPath(path, "r+b");
    if (file == nullptr) return false;
    // A sample line cut short by the crash is ended first.
    bool endsWithLineFeed = true;
    if (std::fseek(file, -1, SEEK_END) == 0) endsWithLineFeed = std::fgetc(file) == '\n';
    std::fseek(file, 0, SEEK_END);
    if (!endsWithLineFeed) std::fputc('\n', file);
    std::fprintf(file, "%sinterrupted\n", kEndLine);
    return std::fclose(file) == 0;
}

std::string JournalStartText(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    if (name.size() < 15 || name[8] != '-') return "";
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12})
        if (name[i] < '0' || name[i] > '9') return "";
    return name.substr(6, 2) + "." + name.substr(4, 2) + "." + name.substr(0, 4) + " " +
           name.substr(9, 2) + ":" + name.substr(11, 2);
}
