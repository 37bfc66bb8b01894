// The scan of a loaded page for Flash movies.

#include "app/MirkMainForm.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "platform/core/ProgramSettings.h"
#include "scan/DocumentSnapshot.h"
#include "scan/MovieStore.h"
#include "scan/ScanDocument.h"

#include <QAction>
#include <QFile>
#include <QSet>

#include <exception>
#include <memory>
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

void TMainFrm::LoadScanSettings()
{
    const bool thorough = ReadSetting(TSetting::ThoroughScan).toBool();
    ThoroughScan1->setChecked(thorough);
    WebBrowser1->SetFlashPlayerPresented(thorough);
    WebBrowser1->Document()->SetReadsScriptFiles(thorough);
}

void TMainFrm::ThoroughScan1Click(bool checked)
{
    WriteSetting(TSetting::ThoroughScan, checked);
    // Pages loaded from now on see a Flash player, or none, and have their
    // script files read, or not.
    WebBrowser1->SetFlashPlayerPresented(checked);
    WebBrowser1->Document()->SetReadsScriptFiles(checked);
    // What the reading kept is forgotten with it: a later preview or
    // download of those rows asks their servers.
    if (!checked)
        StopReadingMovies(true);
}

void TMainFrm::WebBrowser1DocumentComplete()
{
    // The snapshot comes back through the event loop, so the window stays
    // live while the page's frames answer. Every run scans from the top
    // document; a newer notification replaces a pending one.
    pageScanPending_ = true;
    growAfterPageScan_ = false;
    WebBrowser1->Document()->TakeSnapshot([this](const TDocumentSnapshot& snapshot) {
        // The reading under way goes on: the scan's end joins it for the same
        // page, or ends it for another.
        if (!snapshot.ok) {
            CancelPageScan();
            pageScanPending_ = false;
            // The list keeps the rows of the last scan.
            SetStatusText(snapshot.error.toStdString());
            return;
        }
        StartPageScan(snapshot.json, false, snapshot.cut);
    });
}

void TMainFrm::WebBrowser1ElementsAdded()
{
    if (!ThoroughScan1->isChecked())
        return;
    // A pending page scan would be abandoned by this snapshot, and its own
    // snapshot may predate the growth: the growth is scanned after it.
    if (pageScanPending_) {
        growAfterPageScan_ = true;
        return;
    }
    WebBrowser1->Document()->TakeSnapshot([this](const TDocumentSnapshot& snapshot) {
        // A growth that cannot be read adds nothing; the page's rows stand
        // and the user is not interrupted.
        if (snapshot.ok)
            StartPageScan(snapshot.json, true, snapshot.cut);
    });
}

void TMainFrm::CancelPageScan()
{
    // Its end is not waited for here: it comes, and is passed over.
    ++pageScanRun_;
    waitingPageScan_.reset();
    PageScanTask.Cancel();
}

void TMainFrm::PageScanFinished(const TPageScanResult& result, bool grow)
{
    // A scan that ends after Exit has no list left to fill.
    if (closed_)
        return;
    if (grow) {
        if (result.error)
            return;
        // A row listed before that this scan found in markup is no guess now.
        WebMovies->TakeGuessesFrom(result.movies, result.given);
        // The movie reading may have added rows meanwhile: what this scan
        // found is appended after them, once, up to the page's cap.
        QList<TMovieRow> found;
        for (qsizetype i = result.given; i < result.movies.Size(); ++i) {
            const TMovieRow& movie = result.movies.At(i);
            // A guess taken off for want of a movie does not come back.
            if (movie.guess && MovieStore != nullptr && MovieStore->NoMovie(movie.address))
                continue;
            found.append(movie);
        }
        const qsizetype before = WebMovies->Found().Size();
        const bool full = AppendFoundMovies(std::move(found)) || result.full;
        if (WebMovies->Found().Size() > before)
            StartReadingMovies(result.baseAddress, result.playerBases);
        if (full)
            SetStatusText(kListFull);
        else if (result.cut)
            SetStatusText(kPageCut);
        return;
    }
    pageScanPending_ = false;
    if (result.error) {
        SetStatusText(FailureText(result.error));
        return;
    }
    TMovieRows movies = result.movies;
    // A rescan of the same page does not list again a guess its reading found
    // to have no movie, and finds what its reading kept of the others.
    if (MovieStore != nullptr && result.baseAddress == movieStoreBase_) {
        movies.RemoveIf([&](const TMovieRow& movie) { return movie.guess && MovieStore->NoMovie(movie.address); });
        for (qsizetype i = 0; i < movies.Size(); ++i) {
            TMovieRow& movie = movies.Edit(i);
            if (const auto details = MovieStore->Details(movie.address))
                movie.details = DescribeMovie(*details);
            movie.kept = MovieStore->MovieBytes(movie.address);
        }
    }
    ShowFoundMovies(std::move(movies));
    CheckAllRows(true);
    SetStatusText("Done");
    StartReadingMovies(result.baseAddress, result.playerBases);
    // What the list lacks is said last, over the reading's first word.
    if (result.full)
        SetStatusText(kListFull);
    else if (result.cut)
        SetStatusText(kPageCut);
    if (std::exchange(growAfterPageScan_, false))
        WebBrowser1ElementsAdded();
}

void TMainFrm::StartPageScan(const QByteArray& json, bool grow, bool cut)
{
    CancelPageScan();
    // One scan at a time: the newest snapshot waits for the one under way
    // to end, and one it replaced before its start does not run.
    if (PageScanTask.Running()) {
        waitingPageScan_ = TWaitingPageScan{json, grow, cut};
        return;
    }
    const std::uint64_t run = pageScanRun_;
    PageScanTask = Job::Start(
        this,
        [json, cut, grow, thorough = ThoroughScan1->isChecked(), movies = grow ? WebMovies->Found() : TMovieRows()](
            JobControl& job) { return ScanSnapshot(job, json, thorough, cut, movies); },
        [this, run, grow](const JobEnd<TPageScanResult>& end) { PageScanEnded(run, grow, end); });
}

void TMainFrm::PageScanEnded(std::uint64_t run, bool grow, const JobEnd<TPageScanResult>& end)
{
    const Job ended = std::move(PageScanTask);
    if (std::optional<TWaitingPageScan> next = std::exchange(waitingPageScan_, std::nullopt)) {
        StartPageScan(next->json, next->grow, next->cut);
        return;
    }
    if (run != pageScanRun_)
        return;  // cancelled
    if (end.error) {
        TPageScanResult failed;
        failed.error = end.error;
        PageScanFinished(failed, grow);
        return;
    }
    PageScanFinished(end.value, grow);
}

}  // namespace tessaro
