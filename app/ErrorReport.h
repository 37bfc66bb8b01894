#pragma once

#include <exception>
#include <functional>

namespace tessaro {

// The application's general error report: a message box with the error's
// text; the program goes on.
void ShowErrorReport(const std::exception& error);
void ShowErrorReport(std::exception_ptr error);

// Runs call; an exception escaping it goes to the error report and the call
// counts as handled.
bool CallReportingErrors(const std::function<bool()>& call);

}  // namespace tessaro
