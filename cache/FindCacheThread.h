#pragma once

#include "platform/cachewalk/UrlCache.h"
#include "platform/core/Job.h"

#include <functional>
#include <string>

namespace tessaro {

// A row of the cache list, its columns as shown.
struct CacheMovieRow {
    std::string Index;
    std::string Flash;
    std::string Size;
    std::string LocalPath;
    std::string Details{};  // the Flash cell's tooltip
    std::string Url{};      // the address the cache kept it for; empty when unknown
    // The web archive that recorded the movie; empty for a browser's cache.
    std::string SourceArchive{};
};

// Whether a local file is a Flash movie: the extension of its file-name part
// (from the last "."), with A to Z lower-cased, is exactly ".swf".
bool IsFlashCacheFile(const std::string& localFileName);

// The row for the matchCount-th movie found.
CacheMovieRow MakeCacheMovieRow(int matchCount, const UrlCacheEntry& entry);

// Lists the Flash movies of the URL cache, as a job: walks every entry and
// reports a row for each movie to addRow, on the owner's thread, in the order
// found. It ends at the end of the caches or at the job's cancel, whichever
// comes first; what the walk threw comes with the job's end.
struct TFindCacheEntryThread {
    using RowSink = std::function<void(const CacheMovieRow&)>;

    // The user's caches, then those of the added cache folders.
    static UrlCacheOpener DefaultOpener();

    void operator()(JobControl& job) const;

    RowSink addRow;
    UrlCacheOpener openCache = DefaultOpener();
};

}  // namespace tessaro
