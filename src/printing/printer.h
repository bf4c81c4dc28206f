// Sending a written page to a printer, without a window: through CUPS on
// Linux and the system's print path on Windows. The page stays the PDF file
// it is; the printer gets that file.
#pragma once

#include <string>

/// The printer a page goes to: `configured` (a printer's name) when set,
/// else the system's default printer; "" when there is none.
std::string ChosenPrinter(const std::string& configured);

/// Sends the PDF file at `path` to `printer` as a job named `title`; true
/// with where it went ("testpdf, job 12"), or false with why.
bool PrintPdf(const std::string& path, const std::string& printer, const std::string& title,
              std::string* where, std::string* why);
