#pragma once

#include <exception>

namespace tessaro {

// The application's general error report: a message box with the error's
// text; the program goes on.
void ShowErrorReport(const std::exception& error);
void ShowErrorReport(std::exception_ptr error);

}  // namespace tessaro
