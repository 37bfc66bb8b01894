#include "cache/AddedCacheFolders.h"

#include "platform/core/ProgramSettings.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace tessaro {

namespace {

std::filesystem::path NormalFolder(const std::filesystem::path& folder)
{
    // "/mnt/win/" and "/mnt/win" are one folder.
    std::filesystem::path normal = folder.lexically_normal();
    if (normal.has_parent_path() && !normal.has_filename())
        normal = normal.parent_path();
    return normal;
}

}  // namespace

std::vector<std::filesystem::path> AddedCacheFolders()
{
    const QStringList stored = ReadSetting(TSetting::AddedCacheFolders).toStringList();
    std::vector<std::filesystem::path> folders;
    for (const QString& folder : stored) {
        if (folders.size() == kMaxAddedCacheFolders)
            break;
        const std::filesystem::path path = QFile::encodeName(folder).toStdString();
        if (path.is_absolute())
            folders.push_back(NormalFolder(path));
    }
    return folders;
}

bool AddCacheFolder(const std::filesystem::path& folder)
{
    if (!folder.is_absolute())
        return false;
    std::vector<std::filesystem::path> folders = AddedCacheFolders();
    const std::filesystem::path normal = NormalFolder(folder);
    if (folders.size() >= kMaxAddedCacheFolders || std::find(folders.begin(), folders.end(), normal) != folders.end())
        return false;
    folders.push_back(normal);
    QStringList stored;
    for (const std::filesystem::path& path : folders)
        stored.append(QFile::decodeName(QByteArray::fromStdString(path.string())));
    return WriteSetting(TSetting::AddedCacheFolders, stored);
}

void RemoveCacheFolders()
{
    ResetSetting(TSetting::AddedCacheFolders);
}

}  // namespace tessaro
