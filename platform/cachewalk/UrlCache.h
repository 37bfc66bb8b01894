#pragma once

#include "platform/cachewalk/CheckoutRecords.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

// The user's browser caches seen as one URL cache: the embedded browser's
// own cache first, then the caches of Chromium-family browsers, then
// Firefox's, then Internet Explorer's in Wine prefixes; after them the caches
// found in the folders the user added, folder by folder in the same order of
// kinds (an old disk's Windows profiles first), then the Flash projectors
// found there, then that folder's web archives (WARC, ARC, WACZ). Each source
// comes in path order and each in a stable order of its own (file time, then
// name; Internet Explorer's in hash-table order).
//
// A Flash entry is checked out as a plain file under the content folder and
// yielded with that path and its decoded size; every other entry is yielded
// with its container file and stored body size. An entry that cannot be read
// is passed over; a damaged one is counted for Problems().

struct UrlCacheEntry {
    std::string localFileName;
    std::uint64_t size = 0;
    // For a checked-out movie, what the cache knows of it: the address it
    // came from, the browser whose cache held it, and when that entry was
    // last written (seconds since 1970; 0 when unknown). Empty otherwise.
    std::string url{};
    std::string browser{};
    std::int64_t time = 0;
    // For a movie recorded in a web archive: the archive's file (time is
    // then the capture's).
    std::string archive{};
};

// One walk over the caches. Entries come one at a time; nothing of an entry
// is kept once the next is asked for.
class UrlCacheEnumeration {
public:
    virtual ~UrlCacheEnumeration() = default;
    // The next entry; false at the end of the caches.
    virtual bool Next(UrlCacheEntry& entry) = 0;
    // Ends the walk; after a walk that reached the end, check-out files that
    // no entry produced any more are removed.
    virtual void Close() = 0;
    // Sources whose reading ended early, damaged (the entries before the
    // damage were given), and sources with damaged entries (the intact ones
    // were given; DamagedEntries.h says what counts): "<file>: <why>", a
    // line each, and one line per source for its damaged entries,
    // "<folder>: 3 damaged entries, the first <file>: <why>".
    virtual std::vector<std::string> Problems() const { return {}; }
};

// Opens an enumeration that ends early once cancelled is set (null: never);
// null when the caches cannot be listed at all.
using UrlCacheOpener = std::function<std::unique_ptr<UrlCacheEnumeration>(const std::atomic<bool>* cancelled)>;

struct UrlCacheLocations {
    // The embedded browser's disk cache (a simple cache folder).
    std::filesystem::path embeddedCache;
    // Folders searched for other browsers' caches (the user's cache folder).
    std::vector<std::filesystem::path> searchRoots;
    // Never searched (the program's own folder under the user's cache folder).
    std::vector<std::filesystem::path> excluded;
    // Where Flash entries are checked out, and how much the check-outs there
    // take together (past it, the oldest go first).
    std::filesystem::path contentFolder;
    std::uint64_t contentFolderCap = CheckoutRecords::kMaxTotalBytes;
    // The home folder whose Wine prefixes are read; empty: none.
    std::filesystem::path home;
    // Folders from elsewhere (a mounted Windows disk, a copied profile, one
    // cache folder), searched deeper for every format the walk reads; a file
    // among them is read as a web archive or a projector.
    std::vector<std::filesystem::path> addedFolders;
    // While it points at a flag that is set, the walk ends at its next step:
    // the search for caches, the listing of a folder, a check-out under way.
    // A walk ended so leaves the check-out records as they were.
    const std::atomic<bool>* cancelled = nullptr;
};

// The locations for the current user, from the environment.
UrlCacheLocations DefaultUrlCacheLocations();

// One browser cache found on disk.
struct UrlCacheSource {
    enum class Kind {
        ChromiumSimple,
        FirefoxCache2,
        InternetExplorer,
        ChromiumBlockFile,
        FirefoxCache1,
        Projector,
        WebArchive,
        WebArchivePackage,
    };
    Kind kind;
    // The folder holding the entry files (Internet Explorer: index.dat; the
    // block-file caches: their index or map); a projector: the program itself;
    // a web archive's file.
    std::filesystem::path folder;
};

// The sources in the order they are walked.
std::vector<UrlCacheSource> FindUrlCacheSources(const UrlCacheLocations& locations);

std::unique_ptr<UrlCacheEnumeration> OpenUrlCacheEnumeration(const UrlCacheLocations& locations);
std::unique_ptr<UrlCacheEnumeration> OpenUrlCacheEnumeration();

}  // namespace tessaro
