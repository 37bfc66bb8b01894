#include "platform/urlcache/UrlCache.h"

#include <algorithm>
#include <set>

#include "platform/core/AppPaths.h"
#include "platform/core/ByteOrder.h"
#include "platform/urlcache/BodyDecoder.h"
#include "platform/urlcache/CacheCheckout.h"
#include "platform/urlcache/ChromiumSimpleCache.h"
#include "platform/urlcache/ChromiumSimpleCacheFormat.h"
#include "platform/urlcache/FirefoxCache2.h"
#include "platform/urlcache/ByteSource.h"

namespace tessaro {

namespace {

namespace fs = std::filesystem;

// Deep enough for <browser>/<vendor folder>/<profile>/Cache/Cache_Data and
// mozilla/firefox/<profile>/cache2; shallow enough not to crawl unrelated trees.
constexpr int kMaxSearchDepth = 6;
// Bodies and decoded movies larger than this are passed over.
constexpr std::uint64_t kMaxBodySize = std::uint64_t(1) << 30;
// Enough gzip or brotli input to give the first bytes of the decoded body.
constexpr std::size_t kCodedPrefixLength = 4096;
constexpr std::size_t kSignatureLength = 3;

bool IsRealFolder(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    return !error && fs::is_directory(status);
}

bool LooksLikeSimpleCache(const fs::path& folder)
{
    FileByteSource index(folder / "index");
    std::string magic;
    if (index.IsOpen() && index.Read(0, 8, magic) && LoadLe64(magic.data()) == simplecache::kInitialMagic)
        return true;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (IsSimpleCacheEntryName(it->path().filename().string()))
            return true;
    }
    return false;
}

std::vector<fs::path> SortedSubfolders(const fs::path& folder)
{
    std::vector<fs::path> folders;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (IsRealFolder(it->path()))
            folders.push_back(it->path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

void Search(const fs::path& folder, int depth, const UrlCacheLocations& locations,
            std::vector<UrlCacheSource>& chromium, std::vector<UrlCacheSource>& firefox)
{
    for (const fs::path& child : SortedSubfolders(folder)) {
        if (std::find(locations.excluded.begin(), locations.excluded.end(), child) != locations.excluded.end() ||
            child == locations.embeddedCache || child == locations.contentFolder)
            continue;
        const std::string name = child.filename().string();
        if (name == "cache2" && IsRealFolder(child / "entries")) {
            firefox.push_back({UrlCacheSource::Kind::FirefoxCache2, child / "entries"});
            continue;
        }
        if ((name == "Cache_Data" || name == "Cache") && LooksLikeSimpleCache(child)) {
            chromium.push_back({UrlCacheSource::Kind::ChromiumSimple, child});
            continue;
        }
        if (depth < kMaxSearchDepth)
            Search(child, depth + 1, locations, chromium, firefox);
    }
}

struct EntryFile {
    fs::file_time_type time;
    fs::path path;
};

class BrowserCacheEnumeration : public UrlCacheEnumeration {
public:
    explicit BrowserCacheEnumeration(UrlCacheLocations locations)
        : locations_(std::move(locations)), sources_(FindUrlCacheSources(locations_))
    {
    }

    bool Next(UrlCacheEntry& entry) override
    {
        while (!closed_) {
            if (fileIndex_ >= files_.size()) {
                if (!OpenNextSource()) {
                    reachedEnd_ = true;
                    return false;
                }
                continue;
            }
            const fs::path& file = files_[fileIndex_++].path;
            if (ReadEntry(file, entry))
                return true;
        }
        return false;
    }

    void Close() override
    {
        if (closed_)
            return;
        closed_ = true;
        if (reachedEnd_)
            RemoveStaleCheckouts(locations_.contentFolder, checkedOut_);
    }

private:
    bool OpenNextSource()
    {
        files_.clear();
        fileIndex_ = 0;
        if (sourceIndex_ >= sources_.size())
            return false;
        current_ = sources_[sourceIndex_++];
        std::error_code error;
        for (auto it = fs::directory_iterator(current_.folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            const bool wanted = current_.kind == UrlCacheSource::Kind::ChromiumSimple ? IsSimpleCacheEntryName(name)
                                                                                      : IsCache2EntryName(name);
            if (!wanted)
                continue;
            std::error_code timeError;
            const fs::file_time_type time = it->last_write_time(timeError);
            if (!timeError)
                files_.push_back({time, it->path()});
        }
        std::sort(files_.begin(), files_.end(), [](const EntryFile& a, const EntryFile& b) {
            return a.time != b.time ? a.time < b.time : a.path < b.path;
        });
        return true;
    }

    bool ReadEntry(const fs::path& file, UrlCacheEntry& entry)
    {
        const FileByteSource source(file);
        if (!source.IsOpen())
            return false;
        CachedResponse response;
        const bool read = current_.kind == UrlCacheSource::Kind::ChromiumSimple
                              ? ReadSimpleCacheEntry(source, file, response) == SimpleCacheResult::Ok
                              : ReadCache2Entry(source, file, response) == Cache2Result::Ok;
        if (!read)
            return false;

        std::string prefix;
        const bool coded = !response.contentEncoding.empty();
        if (ReadStoredPrefix(response, coded ? kCodedPrefixLength : kSignatureLength, prefix, &source, file) !=
            BodyReadResult::Ok)
            return false;
        std::string signature = prefix;
        if (coded &&
            DecodeBodyPrefix(response.contentEncoding, prefix, kSignatureLength, signature) != DecodeResult::Ok)
            signature.clear();

        if (!IsFlashResponse(response, signature)) {
            entry.localFileName = file.string();
            entry.size = response.StoredSize();
            return true;
        }

        // A ranged answer counts only when its ranges make the whole resource;
        // any other answer must be there as long as it said it would be.
        if (response.status == 206) {
            if (response.rangeTotal.value_or(response.contentLength.value_or(0)) != response.StoredSize())
                return false;
        } else if (response.contentLength && *response.contentLength > response.StoredSize()) {
            return false;
        }
        std::string stored;
        if (ReadStoredBody(response, stored, kMaxBodySize) != BodyReadResult::Ok)
            return false;
        std::string movie;
        if (DecodeBody(response.contentEncoding, stored, movie, kMaxBodySize) != DecodeResult::Ok)
            return false;
        stored = std::string();
        const fs::path target = CheckoutPath(locations_.contentFolder, file.string(), response.url);
        if (WriteCheckout(target, movie) == CheckoutResult::Failed)
            return false;
        checkedOut_.insert(target);
        entry.localFileName = target.string();
        entry.size = movie.size();
        return true;
    }

    UrlCacheLocations locations_;
    std::vector<UrlCacheSource> sources_;
    std::size_t sourceIndex_ = 0;
    UrlCacheSource current_{};
    std::vector<EntryFile> files_;
    std::size_t fileIndex_ = 0;
    std::set<fs::path> checkedOut_;
    bool reachedEnd_ = false;
    bool closed_ = false;
};

}  // namespace

UrlCacheLocations DefaultUrlCacheLocations()
{
    UrlCacheLocations locations;
    locations.embeddedCache = EmbeddedBrowserCacheFolder() / "Cache" / "Cache_Data";
    locations.searchRoots = {ProgramCacheFolder().parent_path()};
    locations.excluded = {ProgramCacheFolder()};
    locations.contentFolder = CacheContentFolder();
    return locations;
}

std::vector<UrlCacheSource> FindUrlCacheSources(const UrlCacheLocations& locations)
{
    std::vector<UrlCacheSource> sources;
    if (!locations.embeddedCache.empty() && IsRealFolder(locations.embeddedCache))
        sources.push_back({UrlCacheSource::Kind::ChromiumSimple, locations.embeddedCache});
    std::vector<UrlCacheSource> chromium, firefox;
    for (const fs::path& root : locations.searchRoots)
        Search(root, 1, locations, chromium, firefox);
    sources.insert(sources.end(), chromium.begin(), chromium.end());
    sources.insert(sources.end(), firefox.begin(), firefox.end());
    return sources;
}

std::unique_ptr<UrlCacheEnumeration> OpenUrlCacheEnumeration(const UrlCacheLocations& locations)
{
    return std::make_unique<BrowserCacheEnumeration>(locations);
}

std::unique_ptr<UrlCacheEnumeration> OpenUrlCacheEnumeration()
{
    return OpenUrlCacheEnumeration(DefaultUrlCacheLocations());
}

}  // namespace tessaro
