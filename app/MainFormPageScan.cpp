// The scan of a loaded page for Flash movies.

#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <stdexcept>

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "app/ReportingSlot.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "scan/DocumentSnapshot.h"
#include "scan/ScanDocument.h"

namespace tessaro {

namespace {

struct TPageScanResult {
    QStringList movies;
    QString baseAddress;  // the top document's, for the movies movies name
    std::exception_ptr error;
};

// A snapshot may hold megabytes of script text: building its tree and
// scanning it take the window's thread no time.
void ScanSnapshot(QPromise<TPageScanResult>& promise, const QByteArray& json)
{
    if (promise.isCanceled())
        return;
    TPageScanResult result;
    try {
        const THtmlDocument document = DocumentFromSnapshot(json);
        TFoundMovies found(result.movies);
        ScanDocument(&document, found);
        result.baseAddress = document.URL;
    } catch (...) {
        result.error = std::current_exception();
    }
    promise.addResult(std::move(result));
}

}  // namespace

void TMainFrm::WebBrowser1DocumentComplete()
{
    // The snapshot comes back through the event loop, so the window stays
    // live while the page's frames answer. Every run scans from the top
    // document; a newer notification replaces a pending one.
    WebBrowser1->Document()->TakeSnapshot([this](const TDocumentSnapshot& snapshot) {
        StopReadingMovies();
        if (PageScanTask != nullptr) {
            PageScanTask->cancel();
            PageScanTask->deleteLater();
            PageScanTask = nullptr;
        }
        if (!snapshot.ok) {
            // The list keeps the rows of the last scan.
            ShowErrorReport(std::runtime_error(snapshot.error.toStdString()));
            return;
        }
        auto* task = new QFutureWatcher<TPageScanResult>(this);
        PageScanTask = task;
        connect(task, &QFutureWatcherBase::finished, this, ReportingSlot([this, task] {
                    if (task != PageScanTask || task->future().resultCount() == 0)
                        return;
                    PageScanTask = nullptr;
                    task->deleteLater();
                    const TPageScanResult result = task->future().result();
                    if (result.error) {
                        ShowErrorReport(result.error);
                        return;
                    }
                    *FoundMovies = result.movies;
                    ShowFoundMovies();
                    CheckAllRows(true);
                    SetStatusText("Done");
                    StartReadingMovies(result.baseAddress);
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
        PageScanPool->start([promise, json = snapshot.json] {
            promise->start();
            ScanSnapshot(*promise, json);
            promise->finish();
        });
    });
}

}  // namespace tessaro
