#include "support/browserfiles/SessionFixtures.h"

#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>
#include <iterator>

namespace tessaro::test {

std::filesystem::path SessionFixture(const std::string& relative)
{
    return FixturesDir() / relative;
}

namespace {

QJsonArray ExpectedTabs(const std::string& group, const std::string& name)
{
    QFile file(QString::fromStdString(SessionFixture("expected.json").string()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject session = QJsonDocument::fromJson(file.readAll())
                                    .object()
                                    .value(QString::fromStdString(group))
                                    .toObject()
                                    .value(QString::fromStdString(name))
                                    .toObject();
    QJsonArray tabs;
    for (const auto& window : session.value(QLatin1String("windows")).toArray())
        for (const auto& tab : window.toObject().value(QLatin1String("tabs")).toArray())
            tabs.append(tab);
    return tabs;
}

}  // namespace

std::vector<std::string> ExpectedTabAddresses(const std::string& group, const std::string& name)
{
    std::vector<std::string> addresses;
    for (const auto& tab : ExpectedTabs(group, name))
        addresses.push_back(tab.toObject().value(QLatin1String("url")).toString().toStdString());
    return addresses;
}

std::vector<std::string> ExpectedHistoryAddresses(const std::string& group, const std::string& name)
{
    std::vector<std::string> addresses;
    for (const auto& tab : ExpectedTabs(group, name))
        for (const auto& url : tab.toObject().value(QLatin1String("history")).toArray())
            addresses.push_back(url.toString().toStdString());
    return addresses;
}

std::string MozLz4Of(const std::string& text)
{
    std::string file("mozLz40\0", 8);
    const auto size = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>((size >> (8 * i)) & 0xff);
    // One sequence of literals only: the token's high nibble, then 255-runs for long lengths.
    std::size_t length = text.size();
    file += static_cast<char>(std::min<std::size_t>(length, 15) << 4);
    if (length >= 15) {
        length -= 15;
        for (; length >= 255; length -= 255)
            file += static_cast<char>(255);
        file += static_cast<char>(length);
    }
    return file + text;
}

std::string ReadBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tessaro::test
