#include "printing/printer.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <vector>

namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

} // namespace

std::string ChosenPrinter(const std::string& configured) {
    if (!configured.empty()) return configured;
    DWORD size = 0;
    GetDefaultPrinterW(nullptr, &size);
    if (size == 0) return "";
    std::vector<wchar_t> name(size);
    if (!GetDefaultPrinterW(name.data(), &size)) return "";
    return Narrow(name.data());
}

bool PrintPdf(const std::string& path, const std::string& printer, const std::string&,
              std::string* where, std::string* why) {
    // The application the system has for PDF files prints it ("printto").
    const std::wstring quoted = L"\"" + Wide(printer) + L"\"";
    const HINSTANCE done =
        ShellExecuteW(nullptr, L"printto", Wide(path).c_str(), quoted.c_str(), nullptr, SW_HIDE);
    if (reinterpret_cast<INT_PTR>(done) <= 32) {
        if (why)
            *why = "Windows has no application that prints PDF files to " + printer + " (error " +
                   std::to_string(reinterpret_cast<INT_PTR>(done)) + ")";
        return false;
    }
    if (where) *where = printer;
    return true;
}

#else
#include <cups/cups.h>

std::string ChosenPrinter(const std::string& configured) {
    if (!configured.empty()) return configured;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    const cups_dest_t* chosen = cupsGetDest(nullptr, nullptr, count, dests);
    const std::string name = chosen ? chosen->name : "";
    cupsFreeDests(count, dests);
    return name;
}

bool PrintPdf(const std::string& path, const std::string& printer, const std::string& title,
              std::string* where, std::string* why) {
    const int job =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.c_str(), path.c_str(), title.c_str(), 0, nullptr);
    if (job == 0) {
        if (why) *why = cupsLastErrorString();
        return false;
    }
    if (where) *where = printer + ", job " + std::to_string(job);
    return true;
}
#endif
