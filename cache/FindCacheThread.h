#pragma once

#include <functional>
#include <string>

#include "platform/cachewalk/UrlCache.h"
#include "platform/core/WorkerThread.h"

namespace tessaro {

// A row of the cache list, its columns as shown.
struct CacheMovieRow {
    std::string Index;
    std::string Flash;
    std::string Size;
    std::string LocalPath;
    std::string Details{};  // the Flash cell's tooltip
};

// Whether a local file is a Flash movie: the extension of its file-name part
// (from the last "."), with A to Z lower-cased, is exactly ".swf".
bool IsFlashCacheFile(const std::string& localFileName);

// The row for the matchCount-th movie found.
CacheMovieRow MakeCacheMovieRow(int matchCount, const UrlCacheEntry& entry);

// Lists the Flash movies of the URL cache: walks every entry and hands a row
// for each movie to addRow, on the receiver's thread, in the order found.
// Created running; the user cannot stop it, only its owner's end does.
class TFindCacheEntryThread : public TThread {
public:
    using RowSink = std::function<void(const CacheMovieRow&)>;

    TFindCacheEntryThread(QObject* receiver, RowSink addRow, UrlCacheOpener openCache = DefaultOpener());

    // The user's caches, then those of the added cache folders.
    static UrlCacheOpener DefaultOpener();

protected:
    ~TFindCacheEntryThread() override = default;
    void Execute() override;

private:
    RowSink addRow_;
    UrlCacheOpener openCache_;
};

}  // namespace tessaro
