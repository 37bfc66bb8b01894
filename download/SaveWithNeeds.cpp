// Saving checked rows with everything they need: breadth first, a row's own
// file, then what it names, then what those name, each address once.

#include "download/SaveWithNeeds.h"

#include "formats/swf/MovieCheck.h"
#include "formats/swf/MovieReader.h"
#include "platform/files/AtomicFile.h"
#include "platform/http/HttpClient.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>
#include <utility>

namespace tessaro {

namespace {

bool LooksLikeMovie(const std::string& bytes, const QUrl& url)
{
    const std::string_view head = std::string_view(bytes).substr(0, 3);
    return head == "FWS" || head == "CWS" || head == "ZWS" ||
           url.path().endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
}

// A local file's bytes, at most limit of them.
bool ReadLocalFile(const QString& path, std::uint64_t limit, std::string& bytes, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    if (static_cast<std::uint64_t>(file.size()) > limit) {
        error = QStringLiteral("larger than the save takes");
        return false;
    }
    const QByteArray read = file.readAll();
    bytes.assign(read.constData(), static_cast<std::size_t>(read.size()));
    return true;
}

const char* StatusName(bool saved, TNeedState found)
{
    return saved ? "saved" : found == TNeedState::Missing ? "missing" : "failed";
}

}  // namespace

struct TSaveWithNeeds::TWanted {
    QString address;
    QUrl url;
    QString base;  // where its own loads resolve
    int level = 0;
    QString neededBy;
    TFoundBy foundBy = TFoundBy::Page;
    int root = -1;
};

struct TSaveWithNeeds::TBytes {
    TNeedState found = TNeedState::Missing;
    TKeptBytes bytes;
    QString reason;
};

TSaveWithNeeds::TSaveWithNeeds(QString folder, QList<TSaveRoot> roots, TSaveSources sources, ProgressHandler progress)
    : folder_(std::move(folder)), roots_(std::move(roots)), sources_(std::move(sources)), progress_(std::move(progress))
{
}

TSaveOutcome TSaveWithNeeds::operator()(JobControl& job)
{
    TSaveOutcome outcome;
    QList<TWanted> queue;
    for (int i = 0; i < roots_.size(); ++i) {
        const TSaveRoot& root = roots_.at(i);
        const QString base = root.base.isEmpty() ? root.url.toString() : root.base;
        Want({root.address, root.url, base, 0, QString(), TFoundBy::Page, i}, queue);
    }
    const std::atomic<bool>& cancelled = *job.CancelFlag();
    for (qsizetype next = 0; next < queue.size() && outcome.files.size() < kMaxFiles; ++next) {
        if (job.Cancelled()) {
            outcome.stopped = true;
            break;
        }
        const TWanted wanted = queue.at(next);
        TSavedFile file;
        SaveOne(wanted, Take(wanted, cancelled), file, queue, cancelled);
        (file.status == QLatin1String("saved") ? outcome.saved : outcome.missing) += 1;
        outcome.files.append(std::move(file));
        if (progress_)
            job.Report(
                [progress = progress_, done = int(next + 1), known = int(queue.size())] { progress(done, known); });
    }
    WriteManifest(outcome);
    return outcome;
}

void TSaveWithNeeds::Want(const TWanted& wanted, QList<TWanted>& queue)
{
    const QString key =
        (wanted.address.isEmpty() ? roots_.value(wanted.root).localPath : wanted.address).toCaseFolded();
    if (key.isEmpty() || taken_.contains(key) || queue.size() >= kMaxFiles)
        return;
    taken_.insert(key, static_cast<int>(queue.size()));
    queue.append(wanted);
}

TSaveWithNeeds::TBytes TSaveWithNeeds::Take(const TWanted& wanted, const std::atomic<bool>& cancelled) const
{
    TBytes taken;
    std::string read;
    const TSaveRoot* root = wanted.root >= 0 ? &roots_.at(wanted.root) : nullptr;
    if (root != nullptr && root->kept) {
        taken.bytes = root->kept;
        taken.found = TNeedState::Fetched;
        return taken;
    }
    if (sources_.kept && !wanted.address.isEmpty()) {
        if (TKeptBytes kept = sources_.kept(wanted.address)) {
            taken.bytes = std::move(kept);
            taken.found = TNeedState::Fetched;
            return taken;
        }
    }
    if (root == nullptr && sources_.archived && !wanted.address.isEmpty()) {
        if (TKeptBytes archived = sources_.archived(wanted.address, cancelled)) {
            taken.bytes = std::move(archived);
            taken.found = TNeedState::Cached;
            return taken;
        }
    }
    QString local = root != nullptr ? root->localPath : QString();
    if (local.isEmpty())
        local = sources_.cached.value(wanted.address.toCaseFolded());
    if (local.isEmpty() && wanted.url.isLocalFile())
        local = wanted.url.toLocalFile();
    if (!local.isEmpty()) {
        if (!ReadLocalFile(local, kMaxFileBytes, read, taken.reason)) {
            taken.found = TNeedState::Unknown;
            return taken;
        }
        taken.bytes = std::make_shared<const std::string>(std::move(read));
        taken.found = TNeedState::Cached;
        return taken;
    }
    const QString scheme = wanted.url.scheme();
    if (!sources_.fetch || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        taken.reason = QStringLiteral("not in the caches");
        return taken;
    }
    TSaveSources::TFetched fetched = sources_.fetch(wanted.url, cancelled);
    if (fetched.ok) {
        taken.bytes = std::make_shared<const std::string>(std::move(fetched.bytes));
        taken.found = TNeedState::Fetched;
        return taken;
    }
    taken.reason =
        fetched.status > 0 ? QStringLiteral("HTTP %1").arg(fetched.status) : QString::fromStdString(fetched.error);
    // An answer that the file is not there; anything else says nothing of it.
    taken.found = fetched.status == 404 || fetched.status == 410 ? TNeedState::Missing : TNeedState::Unknown;
    return taken;
}

void TSaveWithNeeds::SaveOne(const TWanted& wanted, const TBytes& taken, TSavedFile& file, QList<TWanted>& queue,
                             const std::atomic<bool>& cancelled)
{
    file.url =
        wanted.address.isEmpty() ? QUrl::fromLocalFile(roots_.at(wanted.root).localPath).toString() : wanted.address;
    file.neededBy = wanted.neededBy;
    file.foundBy = wanted.foundBy;
    file.root = wanted.root;
    file.found = taken.found;
    file.reason = taken.reason;
    file.status = QString::fromLatin1(StatusName(false, taken.found));
    if (taken.bytes == nullptr)
        return;
    const std::string& bytes = *taken.bytes;
    const bool movie = LooksLikeMovie(bytes, wanted.url);
    if (movie) {
        MovieCheck check(kMaxFileBytes);
        check.Feed(bytes);
        if (check.End() != MovieCheckResult::Complete) {
            file.reason = QString::fromStdString(check.Reason());
            return;
        }
    }
    file.sha256 = QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256)
            .toHex());
    const QUrl placeOf = wanted.address.isEmpty() ? QUrl::fromLocalFile(roots_.at(wanted.root).localPath) : wanted.url;
    const std::optional<QString> place = SavedPlace(placeOf);
    const std::optional<QString> claimed = place ? layout_.Claim(*place, file.sha256) : std::nullopt;
    if (!claimed) {
        file.reason =
            place ? QStringLiteral("too many files of this name") : QStringLiteral("no file name in the address");
        return;
    }
    QString error;
    if (!WriteFile(*claimed, bytes, error)) {
        file.reason = error;
        return;
    }
    file.file = *claimed;
    file.size = bytes.size();
    file.status = QString::fromLatin1(StatusName(true, taken.found));
    file.reason.clear();
    if (wanted.level >= kMaxNeedLevels)
        return;
    QList<TNeededFile> needs;
    if (movie) {
        const TMovieReading reading = ReadMovie(bytes, &cancelled);
        needs = NeededFiles(reading.movieNames, reading.fileNames, wanted.base);
    }
    if (wanted.root >= 0)
        AddNeededFiles(needs, roots_.at(wanted.root).needs);
    for (const TNeededFile& need : needs)
        Want({need.address, need.url, wanted.base, wanted.level + 1, file.url, need.foundBy, -1}, queue);
}

bool TSaveWithNeeds::WriteFile(const QString& place, const std::string& bytes, QString& error) const
{
    const QString target = folder_ + QLatin1Char('/') + place;
    if (!QDir().mkpath(QFileInfo(target).path())) {
        error = QStringLiteral("cannot make the folder for ") + place;
        return false;
    }
    AtomicFile out(target.toStdString(), AtomicFile::Sync::Later);
    if (!out.Open() || !out.Write(bytes.data(), bytes.size()) || !out.Commit()) {
        error = QString::fromStdString(out.Error());
        return false;
    }
    return true;
}

QByteArray TSaveWithNeeds::ManifestLine(const TSavedFile& file)
{
    QJsonObject line;
    line.insert(QStringLiteral("url"), file.url);
    line.insert(QStringLiteral("file"), file.file.isEmpty() ? QJsonValue() : QJsonValue(file.file));
    line.insert(QStringLiteral("size"), static_cast<qint64>(file.size));
    line.insert(QStringLiteral("sha256"), file.sha256.isEmpty() ? QJsonValue() : QJsonValue(file.sha256));
    line.insert(QStringLiteral("needed_by"), file.neededBy.isEmpty() ? QJsonValue() : QJsonValue(file.neededBy));
    line.insert(QStringLiteral("found_by"), QString::fromLatin1(FoundByName(file.foundBy)));
    line.insert(QStringLiteral("status"), file.status);
    line.insert(QStringLiteral("reason"), file.reason);
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

void TSaveWithNeeds::WriteManifest(TSaveOutcome& outcome) const
{
    QByteArray lines;
    for (const TSavedFile& file : outcome.files)
        lines += ManifestLine(file);
    AtomicFile out((folder_ + QLatin1Char('/') + QLatin1String(kManifestName)).toStdString());
    if (!out.Open() || !out.Write(lines.constData(), static_cast<std::size_t>(lines.size())) || !out.Commit())
        outcome.manifestError = QString::fromStdString(out.Error());
    // The files were written without a sync each; one sync for them all.
    if (!SyncFileSystemOf(folder_.toStdString()) && outcome.manifestError.isEmpty())
        outcome.manifestError = QStringLiteral("the saved files could not be synced");
}

QString SavingText(qsizetype movies)
{
    return QStringLiteral("Saving %1 with everything they need")
        .arg(movies == 1 ? QStringLiteral("1 movie") : QStringLiteral("%1 movies").arg(movies));
}

QString SaveEndText(const TSaveOutcome& outcome)
{
    if (outcome.stopped)
        return QStringLiteral("Stopped by the user");
    return QStringLiteral("Saved %1 files, %2 missing").arg(outcome.saved).arg(outcome.missing);
}

std::exception_ptr SaveFailure(const JobEnd<TSaveOutcome>& end)
{
    if (end.error || end.value.manifestError.isEmpty())
        return end.error;
    return std::make_exception_ptr(
        std::runtime_error("The manifest could not be written: " + end.value.manifestError.toStdString()));
}

TSaveSources::Fetcher WebFileFetcher(const QString& pageAddress)
{
    auto page = pageAddress.isEmpty() ? std::make_shared<PageNetwork>(HttpReach::PublicOnly)
                                      : std::make_shared<PageNetwork>(HttpAddress(pageAddress));
    return [page](const QUrl& url, const std::atomic<bool>& cancelled) {
        TSaveSources::TFetched fetched;
        HttpRequest request;
        request.address = url;
        request.cancel = &cancelled;
        request.limits.reach = page->Reach(&cancelled);
        HttpFetchResult result = FetchWholeBody(request, static_cast<std::size_t>(TSaveWithNeeds::kMaxFileBytes));
        fetched.ok = result.ok;
        fetched.status = result.status;
        fetched.bytes = std::move(result.body);
        fetched.error = result.error;
        return fetched;
    };
}

}  // namespace tessaro
