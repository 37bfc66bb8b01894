#include "platform/core/ProgramSettings.h"

#include "platform/core/AppPaths.h"

#include <QStringList>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace tessaro {
namespace {

void WriteSettingsFile(const std::string& text)
{
    std::filesystem::create_directories(SettingsFile().parent_path());
    std::ofstream(SettingsFile(), std::ios::binary | std::ios::trunc) << text;
}

// A settings file as earlier versions (or a hand) wrote it reads as its
// settings, and what it cannot mean reads as the default.
TEST(ProgramSettingsTest, ReadsTheFileEarlierVersionsWrote)
{
    const QStringList noFolders;
    struct Row {
        const char* file;
        bool thorough;
        QStringList folders;
    } rows[] = {
        {"", true, noFolders},
        {"[Scan]\nThorough=false\n", false, noFolders},
        {"[Scan]\nThorough=true\n[CacheScan]\nAddedFolders=/mnt/old, /media/disk\n", true, {"/mnt/old", "/media/disk"}},
        {"[CacheScan]\nAddedFolders=/mnt/only\n", true, {"/mnt/only"}},
        {"[CacheScan]\nAddedFolders=@Invalid()\n", true, noFolders},
        {"[Scan]\nThorough=0\n", false, noFolders},
    };
    for (const Row& row : rows) {
        WriteSettingsFile(row.file);
        EXPECT_EQ(ReadSetting(TSetting::ThoroughScan).toBool(), row.thorough) << row.file;
        EXPECT_EQ(ReadSetting(TSetting::AddedCacheFolders).toStringList(), row.folders) << row.file;
    }
}

// What is written reads back, in the keys earlier versions read; a value of
// another kind is refused; a reset setting reads as its default.
TEST(ProgramSettingsTest, WritesOnlyValuesOfTheSettingsKind)
{
    WriteSettingsFile("");
    EXPECT_TRUE(WriteSetting(TSetting::ThoroughScan, false));
    EXPECT_TRUE(WriteSetting(TSetting::AddedCacheFolders, QStringList{"/mnt/a b", "/mnt/c"}));
    EXPECT_FALSE(WriteSetting(TSetting::ThoroughScan, QStringLiteral("no")));
    EXPECT_FALSE(WriteSetting(TSetting::AddedCacheFolders, 7));
    EXPECT_FALSE(ReadSetting(TSetting::ThoroughScan).toBool());
    EXPECT_EQ(ReadSetting(TSetting::AddedCacheFolders).toStringList(), (QStringList{"/mnt/a b", "/mnt/c"}));

    std::ifstream in(SettingsFile());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[Scan]\nThorough=false"), std::string::npos) << text;
    EXPECT_NE(text.find("[CacheScan]\nAddedFolders="), std::string::npos) << text;

    EXPECT_TRUE(ResetSetting(TSetting::AddedCacheFolders));
    EXPECT_TRUE(ReadSetting(TSetting::AddedCacheFolders).toStringList().isEmpty());
    EXPECT_FALSE(ReadSetting(TSetting::ThoroughScan).toBool());
}

}  // namespace
}  // namespace tessaro
