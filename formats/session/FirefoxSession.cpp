#include "formats/session/FirefoxSession.h"

#include "formats/session/MozLz4.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace tessaro {

namespace {

SessionTab ReadTab(const QJsonValue& value)
{
    SessionTab tab;
    const QJsonObject object = value.toObject();
    const QJsonArray entries = object.value(QLatin1String("entries")).toArray();
    const QJsonValue index = object.value(QLatin1String("index"));
    qint64 current = entries.size();
    if (!index.isUndefined())
        current = index.isDouble() ? index.toInteger(-1) : -1;
    if (current < 1 || current > entries.size())
        return tab;
    const QJsonValue url = entries.at(current - 1).toObject().value(QLatin1String("url"));
    if (url.isString())
        tab.address = url.toString().toStdString();
    return tab;
}

}  // namespace

SessionReadResult ParseFirefoxSessionJson(std::string_view json)
{
    SessionReadResult result;
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())), &error);
    const QJsonValue windows = document.object().value(QLatin1String("windows"));
    if (error.error != QJsonParseError::NoError || !document.isObject() || !windows.isArray()) {
        result.status = SessionReadStatus::BadContent;
        return result;
    }
    for (const QJsonValue& windowValue : windows.toArray()) {
        SessionWindow window;
        for (const QJsonValue& tabValue : windowValue.toObject().value(QLatin1String("tabs")).toArray())
            window.tabs.push_back(ReadTab(tabValue));
        result.windows.push_back(std::move(window));
    }
    return result;
}

SessionReadResult ParseFirefoxSessionFile(std::string_view fileBytes)
{
    std::string json;
    const SessionReadStatus status = DecodeMozLz4(fileBytes, json);
    if (status != SessionReadStatus::Ok)
        return {status, {}};
    return ParseFirefoxSessionJson(json);
}

SessionReadResult ReadFirefoxSession(const std::filesystem::path& file)
{
    std::string bytes;
    const SessionReadStatus status = ReadSessionFile(file, bytes);
    if (status != SessionReadStatus::Ok)
        return {status, {}};
    return ParseFirefoxSessionFile(bytes);
}

}  // namespace tessaro
