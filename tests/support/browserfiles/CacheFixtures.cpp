#include "support/browserfiles/CacheFixtures.h"

#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaro::test {

std::vector<ExpectedCacheEntry> ExpectedCacheEntries(const std::string& cache, const std::filesystem::path& expected)
{
    QFile file(QString::fromStdString((expected.empty() ? FixturesDir() / "expected.json" : expected).string()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    std::vector<ExpectedCacheEntry> entries;
    const QJsonObject listing = cache.empty() ? root : root.value(QString::fromStdString(cache)).toObject();
    for (const QJsonValue& value : listing.value("entries").toArray()) {
        const QJsonObject o = value.toObject();
        ExpectedCacheEntry e;
        e.url = o.value("url").toString().toStdString();
        e.status = o.value("http_status").toInt();
        e.contentType = o.value("content_type").toString().toStdString();
        e.contentEncoding = o.value("content_encoding").toString().toStdString();
        if (o.contains("stored_len"))
            e.storedLength = std::uint64_t(o.value("stored_len").toDouble());
        e.storedSha256 = o.value("stored_sha256").toString().toStdString();
        if (o.contains("decoded_len"))
            e.decodedLength = std::uint64_t(o.value("decoded_len").toDouble());
        e.decodedSha256 = o.value("decoded_sha256").toString().toStdString();
        e.isSwf = o.value("is_swf").toBool();
        e.sparse = o.contains("sparse_ranges");
        e.localFile = o.value("local_file").toString().toStdString();
        e.headBytes = std::uint64_t(o.value("header_bytes").toDouble());
        e.storedDecoded = o.value("stored_decoded").toBool();
        entries.push_back(e);
    }
    return entries;
}

std::string Sha256Hex(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

}  // namespace tessaro::test
