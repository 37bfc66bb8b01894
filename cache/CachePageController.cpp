#include "cache/CachePageController.h"

#include "cache/AddedCacheFolders.h"
#include "cache/CacheCopyThread.h"
#include "cache/FindCacheThread.h"
#include "platform/cachewalk/ArchivedResource.h"

#include <utility>

namespace tessaro {

namespace {

// The most of a walk's error shown in the status bar.
constexpr std::size_t kMaxReasonLength = 200;

// A cache row as the walk gave it; it starts unchecked.
TMovieRow CacheRow(const CacheMovieRow& found)
{
    TMovieRow row;
    row.foundIn = TFoundIn::Cache;
    row.cacheNumber = QString::fromStdString(found.Index);
    row.fileName = QString::fromStdString(found.Flash);
    row.size = QString::fromStdString(found.Size);
    row.localPath = QString::fromStdString(found.LocalPath);
    row.details = QString::fromStdString(found.Details);
    // Only a web address is one a saved movie's loads resolve against.
    const QUrl from(QString::fromStdString(found.Url));
    if (from.scheme() == QLatin1String("http") || from.scheme() == QLatin1String("https"))
        row.cachedFrom = from;
    row.sourceArchive = QString::fromStdString(found.SourceArchive);
    return row;
}

// The files a saved movie loads, looked for in the archives that recorded
// the saved rows, one after the other.
std::function<TKeptBytes(const QString&, const std::atomic<bool>&)> ArchivedFiles(const QStringList& archives)
{
    if (archives.isEmpty())
        return {};
    return [archives](const QString& address, const std::atomic<bool>& cancelled) -> TKeptBytes {
        for (const QString& archive : archives) {
            std::string body;
            if (ReadArchivedResource(archive.toStdString(), address.toStdString(), TSaveWithNeeds::kMaxFileBytes, body,
                                     &cancelled) == ArchivedResourceResult::Found)
                return std::make_shared<const std::string>(std::move(body));
            if (cancelled)
                break;
        }
        return nullptr;
    };
}

// Why a walk broke off, as one line of text.
QString BrokenOffReason(const std::exception_ptr& error)
{
    std::string what = "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    std::string line;
    for (const char c : what.substr(0, kMaxReasonLength))
        line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
    return QStringLiteral("The cache listing broke off: ") + QString::fromStdString(line);
}

}  // namespace

TCachePageController::TCachePageController(QObject* parent)
    : QObject(parent), movies_(new TMovieModel(TMovieModel::TKind::Cache, this))
{
}

TCachePageController::~TCachePageController()
{
    CancelJobs();
    StopJobs();
}

void TCachePageController::SetPageShown(bool shown, bool busy)
{
    shown_ = shown;
    // A transfer owns Busy until it ends; the listing waits for the next switch.
    if (shown_ && movies_->RowCount() == 0 && !busy)
        ListNow();
}

void TCachePageController::ListNow()
{
    emit BusyChanged(true);
    StartListing();
    emit StatusText(QStringLiteral("Done"));
}

void TCachePageController::StartListing()
{
    TFindCacheEntryThread walk;
    walk.addRow = [this](const CacheMovieRow& row) { movies_->Append({CacheRow(row)}); };
    if (opener_)
        walk.openCache = opener_;
    walk_ = Job::Start(this, std::move(walk), [this](const JobEnd<void>& end) { CacheScanFinished(end.error); });
}

void TCachePageController::CacheScanFinished(const std::exception_ptr& error)
{
    const Job walk = std::move(walk_);
    emit BusyChanged(false);
    // The added folders changed while it ran: what it listed is out of date.
    if (std::exchange(listAgain_, false)) {
        ListAgain(false);
        return;
    }
    // The player starts after the listing rather than beside it, where its
    // start would hold up the rows.
    if (movies_->RowCount() > 0)
        emit RowsToPreview();
    // A walk that broke off keeps the rows it listed and says why, quietly.
    if (error)
        emit StatusText(BrokenOffReason(error));
}

void TCachePageController::ListAgain(bool busy)
{
    if (busy) {
        // A listing under way is made again once it ends; a transfer keeps its rows.
        if (walk_ != nullptr)
            listAgain_ = true;
        return;
    }
    movies_->ClearList();
    if (shown_)
        ListNow();
}

void TCachePageController::AddFolder(const std::filesystem::path& folder, bool busy)
{
    if (AddCacheFolder(folder))
        ListAgain(busy);
}

void TCachePageController::RemoveFolders(bool busy)
{
    if (AddedCacheFolders().empty())
        return;
    RemoveCacheFolders();
    ListAgain(busy);
}

void TCachePageController::CopyCheckedRows(const std::string& folder)
{
    QStringList files;
    for (int row = 0; row < movies_->RowCount(); ++row)
        if (movies_->Row(row).checked)
            files.append(movies_->Row(row).localPath);
    StartCopy(folder, files);
}

void TCachePageController::StartCopy(const std::string& folder, const QStringList& files)
{
    copyList_ = files;
    emit BusyChanged(true);
    TCacheCopyReports reports;
    reports.SetProgress = [this](int percent) { emit Progress(percent); };
    reports.SetStatusText = [this](const std::string& text) { emit StatusText(QString::fromStdString(text)); };
    copy_ = Job::Start(this, TCacheCopyThread(folder, copyList_, std::move(reports)),
                       [this](const JobEnd<TCacheCopyResult>& end) { CopyFinished(end); });
    emit TransferRunningChanged(true);
}

void TCachePageController::CopyFinished(const JobEnd<TCacheCopyResult>& end)
{
    const Job copy = std::move(copy_);
    emit StatusReset();
    if (const std::string text = end.value.EndStatusText(); !text.empty())
        emit StatusText(QString::fromStdString(text));
    emit TransferRunningChanged(false);
    if (end.error)
        emit ErrorToShow(end.error);
}

QHash<QString, QString> TCachePageController::CachedCopies() const
{
    QHash<QString, QString> copies;
    for (const TMovieRow& row : movies_->Found())
        if (!row.cachedFrom.isEmpty())
            copies.insert(row.cachedFrom.toString().toCaseFolded(), row.localPath);
    return copies;
}

bool TCachePageController::StartSaveWithNeeds(const QString& folder)
{
    QList<TSaveRoot> roots;
    QStringList archives;  // those that recorded the rows, in the rows' order
    for (int row = 0; row < movies_->RowCount(); ++row) {
        const TMovieRow& movie = movies_->Row(row);
        if (!movie.checked)
            continue;
        const QString address = movie.cachedFrom.toString();
        roots.append({address, movie.cachedFrom, address, nullptr, movie.localPath, movie.needs});
        if (!movie.sourceArchive.isEmpty() && !archives.contains(movie.sourceArchive))
            archives.append(movie.sourceArchive);
    }
    if (roots.isEmpty())
        return false;
    TSaveSources sources;
    sources.cached = CachedCopies();
    sources.archived = ArchivedFiles(archives);
    emit BusyChanged(true);
    emit StatusText(SavingText(roots.size()));
    auto progress = [this](int done, int known) { emit Progress(known > 0 ? done * 100 / known : 0); };
    save_ = Job::Start(this, TSaveWithNeeds(folder, std::move(roots), std::move(sources), progress),
                       [this](const JobEnd<TSaveOutcome>& end) { SaveFinished(end); });
    emit TransferRunningChanged(true);
    return true;
}

void TCachePageController::SaveFinished(const JobEnd<TSaveOutcome>& end)
{
    const Job save = std::move(save_);
    emit StatusReset();
    emit StatusText(SaveEndText(end.value));
    emit TransferRunningChanged(false);
    if (const std::exception_ptr failure = SaveFailure(end))
        emit ErrorToShow(failure);
}

void TCachePageController::SelectRow(int row)
{
    if (row >= 0 && row < movies_->RowCount())
        emit PlayMovie(movies_->Row(row).localPath);
}

void TCachePageController::ForgetRows()
{
    movies_->ClearList();
    copyList_.clear();
}

void TCachePageController::CancelJobs()
{
    walk_.Cancel();
    copy_.Cancel();
    save_.Cancel();
}

void TCachePageController::StopJobs()
{
    walk_.Stop();
    copy_.Stop();
    save_.Stop();
}

}  // namespace tessaro
