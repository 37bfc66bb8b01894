// The scan of the browsers' caches that fills the cache list.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "cache/FindCacheThread.h"
#include "platform/player/FlashControl.h"
#include "platform/widgets/ListView.h"

namespace tessaro {

void TMainFrm::StartCacheScan()
{
    CacheScanThread = MakeWorker<TFindCacheEntryThread>(this, [this](const CacheMovieRow& row) {
        // A new cache row starts unchecked.
        const int added = ListView2->AddRow(QString::fromStdString(row.Index),
                                            {QString::fromStdString(row.Flash), QString::fromStdString(row.Size),
                                             QString::fromStdString(row.LocalPath)});
        ListView2->SetToolTip(added, 1, QString::fromStdString(row.Details));
    });
    CacheScanThread->OnTerminate = [this](TThread*) { CacheScanFinished(); };
}

void TMainFrm::CacheScanFinished()
{
    // Frees the worker when this returns.
    const WorkerHandle<TFindCacheEntryThread> worker = std::move(CacheScanThread);
    Busy = false;
    // Rows to preview: the player starts now, after the listing rather than
    // beside it, where its start would hold up the rows.
    if (ListView2->RowCount() > 0)
        ShockwaveFlash1->Prepare();
    // A walk that broke off keeps the rows it listed and says why.
    if (worker && worker->FatalException())
        ShowErrorReport(worker->FatalException());
}

}  // namespace tessaro
