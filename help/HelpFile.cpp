#include "help/HelpFile.h"

#include <utility>

namespace tessaro {

namespace {

std::string& StoredHelpFile()
{
    static std::string path;
    return path;
}

}  // namespace

const std::string& HelpFile()
{
    return StoredHelpFile();
}

void SetHelpFile(std::string path)
{
    StoredHelpFile() = std::move(path);
}

}  // namespace tessaro
