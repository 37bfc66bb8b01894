#include "platform/player/PlayerScheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "platform/core/AppPaths.h"
#include "platform/player/PlayerSourceThread.h"

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

void Reply(QWebEngineUrlRequestJob* job, const QByteArray& mimeType, const QByteArray& bytes)
{
    auto* buffer = new QBuffer(job);
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mimeType, buffer);
}

}  // namespace

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

TPlayerSchemeHandler::TPlayerSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent)
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
        case PlayerSource::Kind::RuffleFile:
        case PlayerSource::Kind::LocalFile:
        case PlayerSource::Kind::WebAddress:
            Relay(job, source);
            return;
    }
}

void TPlayerSchemeHandler::Relay(QWebEngineUrlRequestJob* job, const PlayerSource& source)
{
    QString location = source.location;
    if (source.kind == PlayerSource::Kind::RuffleFile)
        location = QString::fromStdString((ProgramFolder() / "ruffle").string()) + QLatin1Char('/') + location;
    const auto origin = source.kind == PlayerSource::Kind::WebAddress ? TPlayerSourceThread::Origin::Web
                                                                      : TPlayerSourceThread::Origin::Disk;
    // The engine drops the job when the page no longer wants the answer.
    QPointer<QWebEngineUrlRequestJob> pending(job);
    const QUrl url = job->requestUrl();
    auto worker = MakeWorker<TPlayerSourceThread>(this, origin, location);
    worker->OnTerminate = [this, pending, url, location](TThread* sender) {
        const auto* done = static_cast<TPlayerSourceThread*>(sender);
        if (pending) {
            if (done->Ok()) {
                QByteArray mimeType = done->ContentType().split(';').value(0).trimmed();
                if (mimeType.isEmpty() || mimeType == "application/octet-stream")
                    mimeType = MimeTypeFor(done->FromWeb() ? QUrl(location).path() : location);
                Reply(pending, mimeType, done->Bytes());
            } else {
                pending->fail(done->Missing() ? QWebEngineUrlRequestJob::UrlNotFound
                                              : QWebEngineUrlRequestJob::RequestFailed);
            }
        }
        const bool failed = !done->Ok();
        ForgetSource(sender);  // frees the worker
        emit Served(url, failed);
    };
    sources_.push_back(std::move(worker));
}

void TPlayerSchemeHandler::ForgetSource(const TThread* worker)
{
    std::erase_if(sources_, [worker](const auto& source) { return source.get() == worker; });
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
