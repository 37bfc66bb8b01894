#include "platform/core/ProgramSettings.h"

#include "platform/core/AppPaths.h"

#include <QFile>
#include <QSettings>
#include <QStringList>

namespace tessaro {

namespace {

struct TSettingRow {
    TSetting setting;
    const char* key;
    QMetaType::Type kind;
    QVariant defaultValue;
};

const TSettingRow& Row(TSetting setting)
{
    static const TSettingRow kRows[] = {
        {TSetting::ThoroughScan, "Scan/Thorough", QMetaType::Bool, true},
        {TSetting::AddedCacheFolders, "CacheScan/AddedFolders", QMetaType::QStringList, QStringList{}},
    };
    for (const TSettingRow& row : kRows)
        if (row.setting == setting)
            return row;
    return kRows[0];  // every setting has its row; the enum and the table grow together
}

QSettings OpenSettings()
{
    return QSettings(QFile::decodeName(QByteArray::fromStdString(SettingsFile().string())), QSettings::IniFormat);
}

}  // namespace

QVariant ReadSetting(TSetting setting)
{
    const TSettingRow& row = Row(setting);
    const QVariant stored = OpenSettings().value(QLatin1String(row.key));
    if (!stored.isValid() || !stored.canConvert(QMetaType(row.kind)))
        return row.defaultValue;
    QVariant value = stored;
    value.convert(QMetaType(row.kind));
    return value;
}

bool WriteSetting(TSetting setting, const QVariant& value)
{
    const TSettingRow& row = Row(setting);
    if (value.typeId() != row.kind)
        return false;
    QSettings settings = OpenSettings();
    settings.setValue(QLatin1String(row.key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool ResetSetting(TSetting setting)
{
    QSettings settings = OpenSettings();
    settings.remove(QLatin1String(Row(setting).key));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace tessaro
