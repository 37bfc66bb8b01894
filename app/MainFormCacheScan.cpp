// The scan of the browsers' caches that fills the cache list.

#include "app/MirkMainForm.h"
#include "cache/FindCacheThread.h"

namespace tessaro {

void TMainFrm::StartCacheScan()
{
    auto* worker = new TFindCacheEntryThread();
    worker->FreeOnTerminate = true;
    worker->OnTerminate = [this](TThread*) { CacheScanFinished(); };
    CacheScanThread = worker;
    worker->Start();
}

void TMainFrm::CacheScanFinished()
{
    Busy = false;
}

}  // namespace tessaro
