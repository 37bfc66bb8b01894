#include "formats/session/ChromiumLocalState.h"

#include "formats/session/BrowserSession.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaro {

std::optional<std::vector<std::string>> ParseLastActiveProfiles(std::string_view json)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())));
    const QJsonValue list =
        document.object().value(QLatin1String("profile")).toObject().value(QLatin1String("last_active_profiles"));
    if (!list.isArray())
        return std::nullopt;
    std::vector<std::string> profiles;
    for (const QJsonValue& name : list.toArray())
        if (name.isString() && !name.toString().isEmpty())
            profiles.push_back(name.toString().toStdString());
    return profiles;
}

std::optional<std::vector<std::string>> LastActiveProfiles(const std::filesystem::path& userDataFolder)
{
    std::string json;
    if (ReadSessionFile(userDataFolder / "Local State", json) != SessionReadStatus::Ok)
        return std::nullopt;
    return ParseLastActiveProfiles(json);
}

}  // namespace tessaro
