#pragma once

#include <string>

namespace tessaro {

// Hands an address to whatever the desktop opens addresses with (the user's
// default web browser for "http://"). Does not wait and reports nothing.
void OpenWithDesktop(const std::string& address);

}  // namespace tessaro
