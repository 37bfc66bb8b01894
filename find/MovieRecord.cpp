#include "find/MovieRecord.h"

#include <QDateTime>
#include <QJsonArray>
#include <QUrl>

#include <openssl/evp.h>

namespace tessaro {

namespace {

// OpenSSL's digest: several times Qt's own on a cache of large movies.
QString Sha256Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex());
}

QJsonObject DetailsObject(const TMovieDetails& details, QJsonObject record)
{
    record.insert(QStringLiteral("version"), details.version);
    // A header cut inside the frame tells nothing more.
    if (!details.hasFrame)
        return record;
    record.insert(QStringLiteral("width"), details.stageWidth);
    record.insert(QStringLiteral("height"), details.stageHeight);
    record.insert(QStringLiteral("frame_rate"), details.frameRate);
    record.insert(QStringLiteral("frames"), details.frameCount);
    record.insert(QStringLiteral("as3"), details.actionScript3);
    return record;
}

QJsonObject SourceObject(const TMovieSource& source)
{
    QJsonObject object;
    const auto put = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            object.insert(QLatin1String(key), value);
    };
    put("page", source.page);
    put("cache", source.cache);
    put("browser", source.browser);
    put("archive", source.archive);
    put("file", source.file);
    if (source.captured > 0)
        put("captured", QDateTime::fromSecsSinceEpoch(source.captured, Qt::UTC).toString(Qt::ISODate));
    return object;
}

QJsonArray NeedsArray(const QList<TNeededFile>& needs)
{
    QJsonArray array;
    for (const TNeededFile& need : needs) {
        const bool found = need.state == TNeedState::Fetched || need.state == TNeedState::Cached;
        array.append(QJsonObject{{QStringLiteral("url"), need.address}, {QStringLiteral("found"), found}});
    }
    return array;
}

}  // namespace

void AddReading(TMovieFacts& facts, const TMovieReading& reading)
{
    facts.details = reading.details;
    // A movie file of its own resolves its names as a player opening it does.
    const QString base = !facts.url.isEmpty() || facts.source.file.isEmpty()
                             ? facts.url
                             : QUrl::fromLocalFile(facts.source.file).toString();
    facts.needs = NeededFiles(reading.movieNames, reading.fileNames, base);
}

QJsonObject MovieRecord(const TMovieFacts& facts)
{
    // The user's own caches are no input given.
    QJsonObject record;
    if (!facts.input.isEmpty())
        record.insert(QStringLiteral("input"), facts.input);
    if (!facts.url.isEmpty())
        record.insert(QStringLiteral("url"), facts.url);
    if (facts.bytes) {
        record.insert(QStringLiteral("size"), static_cast<qint64>(facts.bytes->size()));
        record.insert(QStringLiteral("sha256"), Sha256Hex(*facts.bytes));
    }
    if (!facts.foundBy.isEmpty())
        record.insert(QStringLiteral("found_by"), facts.foundBy);
    if (facts.details)
        record = DetailsObject(*facts.details, record);
    const QJsonObject source = SourceObject(facts.source);
    if (!source.isEmpty())
        record.insert(QStringLiteral("source"), source);
    if (facts.details)
        record.insert(QStringLiteral("needs"), NeedsArray(facts.needs));
    return record;
}

}  // namespace tessaro
