#pragma once

#include <QVariant>

namespace tessaro {

// The settings kept between runs, in the settings file (SettingsFile()).
// Each has one row in ProgramSettings.cpp: its key in the file, its kind and
// its default, so a key is spelled in one place and the file keeps the keys
// earlier versions wrote.
enum class TSetting {
    ThoroughScan,       // bool: Edit > "Thorough scan"
    AddedCacheFolders,  // QStringList: the folders "Add Cache Folder..." added
};

// The setting as stored, or its default when the file lacks it or holds
// something that is not of its kind (a file edited by hand).
QVariant ReadSetting(TSetting setting);

// Stores a value of the setting's kind; false when the file could not be
// written or the value is of another kind.
bool WriteSetting(TSetting setting, const QVariant& value);

// Takes the setting out of the file: it reads as its default again.
bool ResetSetting(TSetting setting);

}  // namespace tessaro
