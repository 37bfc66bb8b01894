#pragma once

#include <string>

namespace tessaro {

// The application's help file, named once at start-up (a full path to
// help.chm next to the program).
const std::string& HelpFile();
void SetHelpFile(std::string path);

}  // namespace tessaro
