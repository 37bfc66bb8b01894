// The scan of a loaded page's snapshots for Flash movies.

#include "formats/swf/MovieReader.h"
#include "scan/DocumentSnapshot.h"
#include "scan/ScanDocument.h"
#include "web/WebPageController.h"

#include <exception>
#include <string>
#include <utility>

namespace tessaro {

// What the scan of one snapshot gives.
struct TPageScanResult {
    TMovieRows movies;    // those given first, then those found; guesses marked
    qsizetype given = 0;  // how many were given
    QString baseAddress;  // the top document's, for the movies movies name
    TPlayerBases playerBases;
    bool full = false;  // a movie was left out: the list held kMaxPageRows
    bool cut = false;   // the snapshot left part of the page out
    std::exception_ptr error;
};

namespace {

const std::string kListFull = "List full: only the first " + std::to_string(kMaxPageRows) + " movies are listed";
const std::string kPageCut = "Done: part of the page was too large to read and is left out";

// A failure's text for the status bar: a page that cannot be read must not
// stop the user with a box at every frame it completes.
std::string FailureText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "The page could not be read";
    }
}

// A snapshot may hold megabytes of script text: building its tree and
// scanning it take the window's thread no time. The movies found are
// appended to those given. A cancelled scan ends between its steps, each
// bounded by the snapshot's bounds.
TPageScanResult ScanSnapshot(JobControl& job, const QByteArray& json, bool thorough, bool cut, TMovieRows movies)
{
    TPageScanResult result;
    if (job.Cancelled())
        return result;
    result.cut = cut;
    result.given = movies.Size();
    try {
        const THtmlDocument document = DocumentFromSnapshot(json);
        if (job.Cancelled())
            return result;
        TFoundMovies found(movies);
        ScanDocument(&document, found);
        if (thorough && !job.Cancelled())
            ScanDocumentThorough(&document, found, &result.playerBases);
        result.full = found.Full();
        result.movies = std::move(movies);
        result.baseAddress = document.BaseAddress();
    } catch (...) {
        result.error = std::current_exception();
    }
    return result;
}

}  // namespace

void TWebPageController::PageCompleted()
{
    // The reading under way goes on: the scan's end joins it for the same
    // page, or ends it for another.
    pageScanPending_ = true;
    growAfterPageScan_ = false;
}

void TWebPageController::PageSnapshotFailed(const QString& why)
{
    CancelPageScan();
    pageScanPending_ = false;
    // The list keeps the rows of the last scan.
    Say(why.toStdString());
}

bool TWebPageController::GrowthWanted()
{
    if (!thorough_)
        return false;
    // A pending page scan would be abandoned by this snapshot, and its own
    // snapshot may predate the growth: the growth is scanned after it.
    if (pageScanPending_) {
        growAfterPageScan_ = true;
        return false;
    }
    return true;
}

void TWebPageController::CancelPageScan()
{
    // Its end is not waited for here: it comes, and is passed over.
    ++pageScanRun_;
    waitingPageScan_.reset();
    pageScanJob_.Cancel();
}

void TWebPageController::StartPageScan(const QByteArray& json, bool grow, bool cut, const QString& pageAddress)
{
    CancelPageScan();
    // What the page's movies need is fetched with the page's reach.
    pageAddress_ = pageAddress;
    // One scan at a time: the newest snapshot waits for the one under way
    // to end, and one it replaced before its start does not run.
    if (pageScanJob_.Running()) {
        waitingPageScan_ = TWaitingPageScan{json, grow, cut, pageAddress};
        return;
    }
    const std::uint64_t run = pageScanRun_;
    pageScanJob_ = Job::Start(
        this,
        [json, cut, thorough = thorough_, movies = grow ? movies_->Found() : TMovieRows()](JobControl& job) {
            return ScanSnapshot(job, json, thorough, cut, movies);
        },
        [this, run, grow, pageAddress](const JobEnd<TPageScanResult>& end) {
            const Job ended = std::move(pageScanJob_);
            if (std::optional<TWaitingPageScan> next = std::exchange(waitingPageScan_, std::nullopt)) {
                StartPageScan(next->json, next->grow, next->cut, next->pageAddress);
                return;
            }
            if (run != pageScanRun_)
                return;  // cancelled
            if (end.error) {
                TPageScanResult failed;
                failed.error = end.error;
                PageScanFinished(failed, grow, pageAddress);
                return;
            }
            PageScanFinished(end.value, grow, pageAddress);
        });
}

void TWebPageController::PageScanFinished(const TPageScanResult& result, bool grow, const QString& pageAddress)
{
    // A scan that ends after Exit has no list left to fill.
    if (closed_)
        return;
    if (grow) {
        GrowthScanFinished(result, pageAddress);
        return;
    }
    pageScanPending_ = false;
    if (result.error) {
        Say(FailureText(result.error));
        return;
    }
    TMovieRows movies = result.movies;
    ApplyKept(movies, result.baseAddress);
    ShowFoundMovies(std::move(movies));
    // The window checks the rows of the page in view, which may be the cache's.
    emit PageRowsListed();
    Say("Done");
    StartReadingMovies(result.baseAddress, pageAddress, result.playerBases);
    // What the list lacks is said last, over the reading's first word.
    if (result.full)
        Say(kListFull);
    else if (result.cut)
        Say(kPageCut);
    if (std::exchange(growAfterPageScan_, false))
        emit GrowthToScan();
}

void TWebPageController::ApplyKept(TMovieRows& movies, const QString& baseAddress) const
{
    // A rescan of the same page does not list again a guess its reading found
    // to have no movie, and finds what its reading kept of the others.
    if (store_ == nullptr || baseAddress != storeBase_)
        return;
    movies.RemoveIf([&](const TMovieRow& movie) { return movie.guess && store_->NoMovie(movie.address); });
    for (qsizetype i = 0; i < movies.Size(); ++i) {
        TMovieRow& movie = movies.Edit(i);
        if (const auto details = store_->Details(movie.address))
            movie.details = DescribeMovie(*details);
        movie.kept = store_->MovieBytes(movie.address);
    }
}

void TWebPageController::GrowthScanFinished(const TPageScanResult& result, const QString& pageAddress)
{
    if (result.error)
        return;
    // A row listed before that this scan found in markup is no guess now.
    movies_->TakeGuessesFrom(result.movies, result.given);
    // The movie reading may have added rows meanwhile: what this scan
    // found is appended after them, once, up to the page's cap.
    QList<TMovieRow> found;
    for (qsizetype i = result.given; i < result.movies.Size(); ++i) {
        const TMovieRow& movie = result.movies.At(i);
        // A guess taken off for want of a movie does not come back.
        if (movie.guess && store_ != nullptr && store_->NoMovie(movie.address))
            continue;
        found.append(movie);
    }
    const qsizetype before = movies_->Found().Size();
    const bool full = AppendFoundMovies(std::move(found)) || result.full;
    if (movies_->Found().Size() > before)
        StartReadingMovies(result.baseAddress, pageAddress, result.playerBases);
    if (full)
        Say(kListFull);
    else if (result.cut)
        Say(kPageCut);
}

}  // namespace tessaro
