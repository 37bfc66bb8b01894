// The scan of the browsers' caches that fills the cache list.

#include "app/MirkMainForm.h"
#include "cache/FindCacheThread.h"
#include "platform/widgets/ListView.h"

namespace tessaro {

void TMainFrm::StartCacheScan()
{
    auto* worker = new TFindCacheEntryThread([this](const CacheMovieRow& row) {
        // A new cache row starts unchecked.
        ListView2->AddRow(QString::fromStdString(row.Index),
                          {QString::fromStdString(row.Flash), QString::fromStdString(row.Size),
                           QString::fromStdString(row.LocalPath)});
    });
    worker->FreeOnTerminate = true;
    worker->OnTerminate = [this](TThread* sender) {
        if (CacheScanThread == sender)
            CacheScanThread = nullptr;
        CacheScanFinished();
    };
    CacheScanThread = worker;
}

void TMainFrm::CacheScanFinished()
{
    Busy = false;
}

}  // namespace tessaro
