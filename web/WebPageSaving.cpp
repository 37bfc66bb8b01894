// What the web page's movies need, and saving the checked rows with it:
// the reading's names and the player's asks give each row its needs; the
// save takes them from the kept bytes, the cache page's copies or the web.

#include "platform/http/HttpRequest.h"
#include "web/WebPageController.h"

#include <QSet>

namespace tessaro {

namespace {

// What the store tells of a needed movie: read, or answered with no movie.
TNeedState StoredState(const TMovieStore& store, const QString& address)
{
    if (store.Read(address) || store.MovieBytes(address))
        return TNeedState::Fetched;
    return store.NoMovie(address) ? TNeedState::Missing : TNeedState::Unknown;
}

}  // namespace

QList<TNeededFile> TWebPageController::KnownNeeds(const QString& address, const QHash<QString, QString>& cached) const
{
    QList<TNeededFile> needs;
    QSet<QString> visited;
    // Breadth first over the movies read: a loaded movie's loads resolve
    // where its loader's do.
    QList<std::pair<QString, int>> movies{{address, 0}};
    const QString base = playerBases_.value(address, storeBase_);
    for (qsizetype next = 0; next < movies.size() && needs.size() < kMaxRowNeeds; ++next) {
        const auto [movie, level] = movies.at(next);
        if (visited.contains(movie.toCaseFolded()))
            continue;
        visited.insert(movie.toCaseFolded());
        const std::optional<TMovieStore::TRead> read = store_ ? store_->Read(movie) : std::nullopt;
        QList<TNeededFile> named = read ? NeededFiles(read->movieNames, read->fileNames, base) : QList<TNeededFile>();
        AddNeededFiles(named, playerAsks_.value(movie.toCaseFolded()));
        for (TNeededFile& need : named) {
            if (need.state == TNeedState::Unknown && store_)
                need.state = StoredState(*store_, need.address);
            if (need.state != TNeedState::Fetched && cached.contains(need.address.toCaseFolded()))
                need.state = TNeedState::Cached;
            need.state = savedStates_.value(need.address.toCaseFolded(), need.state);
            if (level + 1 < TMovieReadingRun::kMaxChainDepth)
                movies.append({need.address, level + 1});
        }
        AddNeededFiles(needs, named);
    }
    return needs;
}

void TWebPageController::UpdateNeeds(const QStringList& addresses)
{
    const QHash<QString, QString> cached = cachedCopies_ ? cachedCopies_() : QHash<QString, QString>();
    for (const QString& address : addresses) {
        const int row = movies_->RowOf(address);
        if (row < 0)
            continue;
        QList<TNeededFile> needs = KnownNeeds(address, cached);
        if (needs != movies_->Row(row).needs)
            movies_->SetNeeds(row, std::move(needs));
    }
}

void TWebPageController::PlayerAsked(const QString& location, bool failed)
{
    const QString movie = previewed_;
    const int row = movies_->RowOf(movie);
    if (location.isEmpty() || row < 0)
        return;
    const bool local = location.startsWith(QLatin1Char('/'));
    const QString text = local ? QUrl::fromLocalFile(location).toString() : location;
    const TNeededFile asked{text, local ? QUrl::fromLocalFile(location) : HttpAddress(location), TFoundBy::Player,
                            failed ? TNeedState::Missing : TNeedState::Fetched};
    // The movie itself is no file it needs.
    if (asked.url == movies_->Row(row).url || text.compare(movie, Qt::CaseInsensitive) == 0)
        return;
    QList<TNeededFile>& asks = playerAsks_[movie.toCaseFolded()];
    // The latest answer is the one that counts.
    for (TNeededFile& known : asks)
        if (known.address.compare(text, Qt::CaseInsensitive) == 0)
            known.state = asked.state;
    AddNeededFiles(asks, {asked});
    UpdateNeeds({movie});
}

bool TWebPageController::StartSaveWithNeeds(const QString& folder, QHash<QString, QString> cached)
{
    QList<TSaveRoot> roots;
    const QHash<QString, QString> copies = cached;
    for (int row = 0; row < movies_->RowCount(); ++row) {
        const TMovieRow& movie = movies_->Row(row);
        if (!movie.checked || movie.address.isEmpty())
            continue;
        roots.append({movie.address, movie.url, playerBases_.value(movie.address, storeBase_), movie.kept, QString(),
                      KnownNeeds(movie.address, copies)});
    }
    if (roots.isEmpty())
        return false;
    TSaveSources sources;
    sources.kept = [store = store_](const QString& address) { return store ? store->MovieBytes(address) : nullptr; };
    sources.cached = std::move(cached);
    sources.fetch = WebFileFetcher(pageAddress_);
    emit StatusText(SavingText(roots.size()));
    emit DownloadStarted();
    auto progress = [this](int done, int known) { emit Progress(known > 0 ? done * 100 / known : 0); };
    saveJob_ = Job::Start(this, TSaveWithNeeds(folder, std::move(roots), std::move(sources), progress),
                          [this](const JobEnd<TSaveOutcome>& end) { SaveFinished(end); });
    emit TransferRunningChanged(true);
    return true;
}

void TWebPageController::SaveFinished(const JobEnd<TSaveOutcome>& end)
{
    saveJob_ = Job();
    const TSaveOutcome& outcome = end.value;
    for (const TSavedFile& file : outcome.files) {
        savedStates_.insert(file.url.toCaseFolded(), file.status == QLatin1String("saved") ? file.found
                                                     : file.found == TNeedState::Missing   ? TNeedState::Missing
                                                                                           : TNeedState::Unknown);
        const int row = file.root >= 0 ? movies_->RowOf(file.url) : -1;
        if (row < 0)
            continue;
        const bool saved = file.status == QLatin1String("saved");
        movies_->SetStatus(row, QString::fromLatin1(saved ? kStatusSaved : kStatusFailed));
        movies_->SetStatusReason(row, file.reason);
    }
    UpdateNeeds(movies_->Found().Addresses());
    emit StatusReset();
    emit TransferRunningChanged(false);
    if (const std::exception_ptr failure = SaveFailure(end))
        emit ErrorToShow(failure);
    emit StatusText(SaveEndText(outcome));
}

}  // namespace tessaro
