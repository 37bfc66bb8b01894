#pragma once

#include "helpviewer/HtmlHelpApi.h"
#include "platform/core/SharedLibrary.h"

#include <string>

// Access to the help viewer library, loaded the first time help is asked for.
// One load attempt per run: a missing library or entry point is not retried.

namespace tessaro {

// File name of the viewer library; looked for next to the program, then in
// the install folder, then by the system's library search. A name with a "/"
// is taken as a path.
extern std::string ViewerLibraryName;
// The loaded library; nullptr while not loaded or when loading failed.
extern LibraryHandle ViewerLibrary;
// The library's entry point; nullptr while not found.
extern HtmlHelpEntry ViewerEntry;
// The one load attempt has been made.
extern bool ViewerLoadTried;

void LoadHtmlHelp();

// Forwards to the viewer, loading it first unless the command is
// HH_CLOSE_ALL and nothing was loaded yet. Returns the viewer's result, or 0
// when there is no viewer.
HelpWindowHandle HtmlHelp(HelpWindowHandle window, const char* file, std::uint32_t command, std::uint32_t data);

// The state at program start, and its release at program end. Both run on
// their own around main(); tests call them to begin a fresh run.
void InitHtmlHelp();
void ReleaseHtmlHelp();

}  // namespace tessaro
