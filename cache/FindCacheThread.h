#pragma once

#include "platform/WorkerThread.h"

namespace tessaro {

// Lists the Flash movies of the browsers' caches.
class TFindCacheEntryThread : public TThread {
protected:
    void Execute() override {}
};

}  // namespace tessaro
