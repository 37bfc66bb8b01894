#include "find/FindSave.h"

#include "download/SaveWithNeeds.h"
#include "platform/http/HttpRequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>

namespace tessaro {

namespace {

// The movie's own file: a cached movie's check-out (a folder's is not on its
// line, it goes with the run), or the movie file read.
QString LocalFileOf(const TFindOutput::THeldMovie& movie)
{
    const QString file =
        !movie.localCopy.isEmpty()
            ? movie.localCopy
            : movie.record.value(QStringLiteral("source")).toObject().value(QStringLiteral("file")).toString();
    return !file.isEmpty() && QFileInfo(file).isFile() ? file : QString();
}

// The saved movie's place in the manifest, added to its line.
void AddSaved(QJsonObject& record, const TSavedFile& file)
{
    record.insert(QStringLiteral("file"), file.file.isEmpty() ? QJsonValue() : QJsonValue(file.file));
    record.insert(QStringLiteral("status"), file.status);
    record.insert(QStringLiteral("reason"), file.reason);
}

TSaveOutcome RunSave(const QString& folder, QList<TSaveRoot> roots, TSaveSources sources)
{
    QObject owner;
    QEventLoop loop;
    TSaveOutcome outcome;
    const Job job = Job::Start(&owner, TSaveWithNeeds(folder, std::move(roots), std::move(sources)),
                               [&](const JobEnd<TSaveOutcome>& end) {
                                   outcome = end.value;
                                   loop.quit();
                               });
    loop.exec();
    return outcome;
}

}  // namespace

void SaveHeldMovies(const QString& folder, const QString& reachPage, TFindOutput& output)
{
    const QList<TFindOutput::THeldMovie> held = output.TakeHeld();
    if (!QDir().mkpath(folder)) {
        output.Error(folder, QStringLiteral("the folder to save into cannot be made"));
        for (const TFindOutput::THeldMovie& movie : held)
            output.HeldMovie(movie.record);
        return;
    }
    QList<TSaveRoot> roots;
    TSaveSources sources;
    for (const TFindOutput::THeldMovie& movie : held) {
        const QJsonObject& record = movie.record;
        const QString address = record.value(QStringLiteral("url")).toString();
        const QString local = LocalFileOf(movie);
        const QUrl url = address.startsWith(QLatin1String("http"), Qt::CaseInsensitive) ? HttpAddress(address)
                                                                                        : QUrl::fromLocalFile(local);
        if (!local.isEmpty() && !address.isEmpty())
            sources.cached.insert(address.toCaseFolded(), local);
        // A page's movies resolve their loads against the page, as a player did.
        const QString base = record.value(QStringLiteral("source")).toObject().value(QStringLiteral("page")).toString();
        roots.append({url.isLocalFile() ? QString() : address, url, base, nullptr, local, {}});
    }
    if (!reachPage.isEmpty())
        sources.fetch = WebFileFetcher(reachPage);
    const TSaveOutcome outcome = RunSave(QDir(folder).absolutePath(), roots, std::move(sources));
    QHash<int, TSavedFile> byRoot;
    for (const TSavedFile& file : outcome.files)
        if (file.root >= 0)
            byRoot.insert(file.root, file);
    for (qsizetype i = 0; i < held.size(); ++i) {
        QJsonObject record = held.at(i).record;
        if (const auto file = byRoot.constFind(static_cast<int>(i)); file != byRoot.constEnd())
            AddSaved(record, *file);
        output.HeldMovie(record);
    }
    if (!outcome.manifestError.isEmpty())
        output.Error(folder, QStringLiteral("the manifest could not be written: ") + outcome.manifestError);
}

}  // namespace tessaro
