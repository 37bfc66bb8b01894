// Feeds an arbitrary map and block files to the reader of Firefox's cache
// before cache2.

#include "CacheFilesInput.h"
#include "formats/urlcache/FirefoxCache1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto files = CacheFilesOfInput(data, size, {"_CACHE_MAP_", "_CACHE_001_", "_CACHE_002_", "_CACHE_003_"});
    tessaro::MemoryCacheFiles cache(files);
    std::vector<tessaro::IndexedCacheEntry> entries;
    tessaro::DamagedEntries damaged;
    if (tessaro::ReadFirefoxCache1(cache, entries, &damaged) != tessaro::Cache1Result::Ok)
        return 0;
    if (damaged.count > 0 && damaged.firstReason.empty())
        __builtin_trap();
    for (const tessaro::IndexedCacheEntry& entry : entries) {
        if (entry.response.url.find("://") == std::string::npos)
            __builtin_trap();
    }
    if (!SegmentsInside(entries, files))
        __builtin_trap();
    return 0;
}
