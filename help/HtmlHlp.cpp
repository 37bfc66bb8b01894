#include "help/HtmlHlp.h"

#include "platform/core/AppPaths.h"

#include <exception>

namespace tessaro {

namespace {

constexpr const char* kDefaultViewerLibraryName = "libtessarohelp.so";

// The install folder, for a copy of the program that runs from somewhere
// without the viewer beside it.
std::filesystem::path InstalledLibraryFolder()
{
#ifdef TESSARO_INSTALLED_LIBRARY_DIR
    return TESSARO_INSTALLED_LIBRARY_DIR;
#else
    return {};
#endif
}

}  // namespace

std::string ViewerLibraryName = kDefaultViewerLibraryName;
LibraryHandle ViewerLibrary = nullptr;
HtmlHelpEntry ViewerEntry = nullptr;
bool ViewerLoadTried = false;

void InitHtmlHelp()
{
    ViewerLibraryName = kDefaultViewerLibraryName;
    ViewerLibrary = nullptr;
    ViewerEntry = nullptr;
    ViewerLoadTried = false;
}

void ReleaseHtmlHelp()
{
    if (ViewerLibrary != nullptr)
        FreeSharedLibrary(ViewerLibrary);
    ViewerLibrary = nullptr;
    ViewerEntry = nullptr;
    ViewerLibraryName.clear();
}

void LoadHtmlHelp()
{
    if (ViewerLoadTried)
        return;
    ViewerLoadTried = true;

    try {
        ViewerLibrary = LoadSharedLibrary(ViewerLibraryName, {ProgramFolder(), InstalledLibraryFolder()});
    } catch (const std::exception&) {
        ViewerLibrary = nullptr;
    }
    if (ViewerLibrary == nullptr)
        return;

    ViewerEntry = reinterpret_cast<HtmlHelpEntry>(FindLibrarySymbol(ViewerLibrary, kHtmlHelpEntryName));
}

HelpWindowHandle HtmlHelp(HelpWindowHandle window, const char* file, std::uint32_t command, std::uint32_t data)
{
    if (command == HH_CLOSE_ALL && !ViewerLoadTried)
        return 0;  // nothing was ever shown, so there is nothing to close
    LoadHtmlHelp();
    if (ViewerEntry == nullptr)
        return 0;
    return ViewerEntry(window, file, command, data);
}

namespace {

// The unit's start and end around the program's run.
struct HtmlHelpLifetime {
    HtmlHelpLifetime() { InitHtmlHelp(); }
    ~HtmlHelpLifetime() { ReleaseHtmlHelp(); }
} lifetime;

}  // namespace

}  // namespace tessaro
