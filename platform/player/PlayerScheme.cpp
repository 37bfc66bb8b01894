#include "platform/player/PlayerScheme.h"

#include "platform/core/AppPaths.h"
#include "platform/http/HttpRequest.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace tessaro {

namespace {

QByteArray MimeTypeFor(const QString& path)
{
    if (path.endsWith(QLatin1String(".html")))
        return "text/html";
    if (path.endsWith(QLatin1String(".js")))
        return "text/javascript";
    if (path.endsWith(QLatin1String(".wasm")))
        return "application/wasm";
    if (path.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive))
        return "application/x-shockwave-flash";
    return "application/octet-stream";
}

// Holds the bytes its buffer reads, so the engine may read them after the
// movie they belong to was replaced.
class SharedBytesBuffer : public QBuffer {
public:
    SharedBytesBuffer(std::shared_ptr<const std::string> bytes, QObject* parent)
        : QBuffer(parent), bytes_(std::move(bytes))
    {
        setData(QByteArray::fromRawData(bytes_->data(), static_cast<qsizetype>(bytes_->size())));
        open(QIODevice::ReadOnly);
    }

private:
    std::shared_ptr<const std::string> bytes_;
};

void Reply(QWebEngineUrlRequestJob* job, const QByteArray& mimeType, const QByteArray& bytes)
{
    auto* buffer = new QBuffer(job);
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mimeType, buffer);
}

}  // namespace

QIODevice* SharedBytesDevice(std::shared_ptr<const std::string> bytes, QObject* parent)
{
    return new SharedBytesBuffer(std::move(bytes), parent);
}

void RegisterPlayerScheme()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    QWebEngineUrlScheme scheme(kPlayerScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure: the page may use what only secure pages get; CORS-enabled: the
    // page on one host of the scheme may read the movies of another.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

TPlayerSchemeHandler::TPlayerSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent), pool_(this)
{
}

void TPlayerSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    const PlayerSource source = addresses_.Resolve(url);
    // Only the player page reads through the scheme; the page itself is
    // loaded by the program, which names no initiator.
    const QUrl initiator = job->initiator();
    const bool fromPlayer = initiator.scheme() == QLatin1String(kPlayerScheme) ||
                            (initiator.isEmpty() && source.kind == PlayerSource::Kind::PageFile);
    if (!fromPlayer || job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        emit Served(url, true);
        return;
    }
    switch (source.kind) {
        case PlayerSource::Kind::None:
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            emit Served(url, true);
            return;
        case PlayerSource::Kind::PageFile: {
            // Built into the program: no disk involved.
            QFile file(source.location);
            if (!file.open(QIODevice::ReadOnly)) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                emit Served(url, true);
                return;
            }
            Reply(job, MimeTypeFor(source.location), file.readAll());
            emit Served(url, false);
            return;
        }
        case PlayerSource::Kind::WebAddress:
            // Each movie has a host of its own, so only this movie's address matches.
            if (kept_ && url == keptUrl_) {
                job->reply(MimeTypeFor(QStringLiteral(".swf")), SharedBytesDevice(kept_, job));
                emit Served(url, false);
                return;
            }
            Relay(job, source);
            return;
        case PlayerSource::Kind::RuffleFile:
        case PlayerSource::Kind::LocalFile:
            Relay(job, source);
            return;
    }
}

PlayerMovieAddress TPlayerSchemeHandler::ShowMovie(const QUrl& movie, std::shared_ptr<const std::string> kept,
                                                   const QString& page)
{
    const std::uint64_t before = addresses_.CurrentMovie();
    PlayerMovieAddress address;
    if (movie.isEmpty()) {
        addresses_.Forget();
    } else {
        // The movies of one page share what its address was found to reach.
        if (page_ == nullptr || page != pageAddress_) {
            page_ = std::make_shared<PageNetwork>(HttpAddress(page));
            pageAddress_ = page;
        }
        address = addresses_.ForMovie(movie, page_);
    }
    const bool web = !address.siteOrigin.isEmpty();
    kept_ = web && kept != nullptr && kept->size() <= kMaxPlayerFetchBytes ? std::move(kept) : nullptr;
    keptUrl_ = kept_ ? address.url : QUrl();
    pool_.CancelMovie(before);
    return address;
}

void TPlayerSchemeHandler::Relay(QWebEngineUrlRequestJob* job, const PlayerSource& source)
{
    PlayerSource fetched = source;
    if (source.kind == PlayerSource::Kind::RuffleFile)
        fetched.location =
            QString::fromStdString((ProgramFolder() / "ruffle").string()) + QLatin1Char('/') + source.location;
    // The engine drops the job when the page no longer wants the answer.
    QPointer<QWebEngineUrlRequestJob> pending(job);
    const QUrl url = job->requestUrl();
    const QString location = fetched.location;
    const bool web = source.kind == PlayerSource::Kind::WebAddress;
    // What the movie loads, not the player's own files; only while it is shown.
    const bool movieAsked = source.kind != PlayerSource::Kind::RuffleFile;
    const std::uint64_t movie = source.movie;
    auto asked = [this, movieAsked, movie, location](bool failed) {
        if (movieAsked && movie == addresses_.CurrentMovie())
            emit MovieAsked(location, failed);
    };
    // Answered on this handler's thread; dropped with the handler.
    const bool accepted =
        pool_.Submit(fetched, [this, pending, url, location, web, asked](const PlayerFetchResult& done) {
            if (pending) {
                if (done.ok) {
                    QByteArray mimeType = done.contentType.split(';').value(0).trimmed();
                    if (mimeType.isEmpty() || mimeType == "application/octet-stream")
                        mimeType = MimeTypeFor(web ? QUrl(location).path() : location);
                    Reply(pending, mimeType, done.bytes);
                } else {
                    pending->fail(done.missing ? QWebEngineUrlRequestJob::UrlNotFound
                                               : QWebEngineUrlRequestJob::RequestFailed);
                }
            }
            emit Served(url, !done.ok);
            asked(!done.ok);
        });
    if (!accepted) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        emit Served(url, true);
        asked(true);
    }
}

namespace {

struct PlayerProfileParts {
    QWebEngineProfile* profile;
    TPlayerSchemeHandler* handler;
};

const PlayerProfileParts& Parts()
{
    static const PlayerProfileParts parts = [] {
        auto* profile = new QWebEngineProfile(QCoreApplication::instance());
        auto* handler = new TPlayerSchemeHandler(profile);
        profile->installUrlSchemeHandler(kPlayerScheme, handler);
        return PlayerProfileParts{profile, handler};
    }();
    return parts;
}

}  // namespace

QWebEngineProfile* PlayerProfile()
{
    return Parts().profile;
}

TPlayerSchemeHandler* PlayerSchemeHandler()
{
    return Parts().handler;
}

}  // namespace tessaro
