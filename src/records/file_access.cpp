#include "records/file_access.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Utf8(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string utf8(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

} // namespace

FILE* OpenPath(const std::string& path, const char* mode) {
    return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

bool MakeDirectory(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemovePath(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(Utf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool SyncFile(FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

bool FileLock::Acquire(const std::string& path, std::string* error) {
    // No sharing: a second open of the file fails while this handle lives.
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (error)
            *error = code == ERROR_SHARING_VIOLATION
                         ? "in use by another copy of the program"
                         : "cannot be opened (error " + std::to_string(code) + ")";
        return false;
    }
    m_handle = reinterpret_cast<long long>(file);
    return true;
}

FileLock::~FileLock() {
    if (m_handle != -1) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

#else

FILE* OpenPath(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool MakeDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

bool PathExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemovePath(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir))
        names.push_back(entry->d_name);
    closedir(dir);
    return names;
}

bool SyncFile(FILE* file) {
    return std::fflush(file) == 0 && fdatasync(fileno(file)) == 0;
}

bool FileLock::Acquire(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error) *error = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    // Locks of open file descriptions: a second open, even in this process,
    // is refused while this one lives.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (error)
            *error = errno == EWOULDBLOCK
                         ? std::string("in use by another copy of the program")
                         : std::string("cannot be locked (") + std::strerror(errno) + ")";
        close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

FileLock::~FileLock() {
    if (m_handle != -1) close(static_cast<int>(m_handle));
}

#endif

bool ReadWholeFile(const std::string& path, std::string& content) {
    FILE* file = OpenPath(path, "rb");
    if (file == nullptr) return false;
    content.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}
