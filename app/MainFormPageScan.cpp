// The scan of a loaded page for Flash movies.

#include <QAction>
#include <QFile>
#include <QFutureWatcher>
#include <QPromise>
#include <QSettings>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "app/ReportingSlot.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "platform/core/AppPaths.h"
#include "scan/DocumentSnapshot.h"
#include "scan/ScanDocument.h"

namespace tessaro {

// What the scan of one snapshot gives.
struct TPageScanResult {
    QStringList movies;   // those given first, then those found
    qsizetype given = 0;  // how many were given
    QString baseAddress;  // the top document's, for the movies movies name
    TPlayerBases playerBases;
    std::exception_ptr error;
};

namespace {

const QString kThoroughScanKey = QStringLiteral("Scan/Thorough");

QSettings ProgramSettings()
{
    return QSettings(QFile::decodeName(QByteArray::fromStdString(SettingsFile().string())), QSettings::IniFormat);
}

// A snapshot may hold megabytes of script text: building its tree and
// scanning it take the window's thread no time. The movies found are
// appended to those given.
void ScanSnapshot(QPromise<TPageScanResult>& promise, const QByteArray& json, bool thorough, QStringList movies)
{
    if (promise.isCanceled())
        return;
    TPageScanResult result;
    result.given = movies.size();
    try {
        const THtmlDocument document = DocumentFromSnapshot(json);
        TFoundMovies found(movies);
        ScanDocument(&document, found);
        if (thorough)
            ScanDocumentThorough(&document, found, &result.playerBases);
        result.movies = std::move(movies);
        result.baseAddress = document.BaseAddress();
    } catch (...) {
        result.error = std::current_exception();
    }
    promise.addResult(std::move(result));
}

}  // namespace

void TMainFrm::LoadScanSettings()
{
    const bool thorough = ProgramSettings().value(kThoroughScanKey, true).toBool();
    ThoroughScan1->setChecked(thorough);
    WebBrowser1->SetFlashPlayerPresented(thorough);
}

void TMainFrm::ThoroughScan1Click(bool checked)
{
    QSettings settings = ProgramSettings();
    settings.setValue(kThoroughScanKey, checked);
    settings.sync();
    // Pages loaded from now on see a Flash player, or none.
    WebBrowser1->SetFlashPlayerPresented(checked);
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
            ShowErrorReport(std::runtime_error(snapshot.error.toStdString()));
            return;
        }
        StartPageScan(snapshot.json, false);
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
            StartPageScan(snapshot.json, true);
    });
}

void TMainFrm::CancelPageScan()
{
    if (PageScanTask != nullptr) {
        PageScanTask->cancel();
        PageScanTask->deleteLater();
        PageScanTask = nullptr;
    }
}

void TMainFrm::PageScanFinished(const TPageScanResult& result, bool grow)
{
    if (grow) {
        if (result.error)
            return;
        // The movie reading may have added rows meanwhile: what this scan
        // found is appended after them, once.
        const qsizetype before = FoundMovies->size();
        for (const QString& movie : result.movies.mid(result.given)) {
            if (!FoundMovies->contains(movie, Qt::CaseInsensitive))
                FoundMovies->append(movie);
        }
        if (FoundMovies->size() == before)
            return;
        AppendFoundMovies(before);
        StartReadingMovies(result.baseAddress, result.playerBases);
        return;
    }
    pageScanPending_ = false;
    if (result.error) {
        ShowErrorReport(result.error);
        return;
    }
    *FoundMovies = result.movies;
    ShowFoundMovies();
    CheckAllRows(true);
    SetStatusText("Done");
    StartReadingMovies(result.baseAddress, result.playerBases);
    if (std::exchange(growAfterPageScan_, false))
        WebBrowser1ElementsAdded();
}

void TMainFrm::StartPageScan(const QByteArray& json, bool grow)
{
    CancelPageScan();
    auto* task = new QFutureWatcher<TPageScanResult>(this);
    PageScanTask = task;
    connect(task, &QFutureWatcherBase::finished, this, ReportingSlot([this, task, grow] {
                if (task != PageScanTask || task->future().resultCount() == 0)
                    return;
                PageScanTask = nullptr;
                task->deleteLater();
                PageScanFinished(task->future().result(), grow);
            }));
    if (PageScanPool == nullptr) {
        // One scan at a time; one that a newer snapshot replaced before
        // it started does not run. The window waits for a running one
        // when it closes.
        PageScanPool = new QThreadPool(this);
        PageScanPool->setMaxThreadCount(1);
    }
    auto promise = std::make_shared<QPromise<TPageScanResult>>();
    task->setFuture(promise->future());
    PageScanPool->start(
        [promise, json, thorough = ThoroughScan1->isChecked(), movies = grow ? *FoundMovies : QStringList()] {
            promise->start();
            ScanSnapshot(*promise, json, thorough, movies);
            promise->finish();
        });
}

}  // namespace tessaro
