// Feeds arbitrary index and block files to the block-file cache reader.

#include "CacheFilesInput.h"
#include "formats/urlcache/ChromiumBlockFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto files = CacheFilesOfInput(data, size, {"index", "data_0", "data_1", "data_2", "data_3"});
    tessaro::MemoryCacheFiles cache(files);
    std::vector<tessaro::IndexedCacheEntry> entries;
    tessaro::DamagedEntries damaged;
    if (tessaro::ReadBlockFileCache(cache, entries, &damaged) != tessaro::BlockFileResult::Ok)
        return 0;
    if (entries.size() > tessaro::kMaxBlockFileEntries || !SegmentsInside(entries, files))
        __builtin_trap();
    // The damage is told in one entry's words, whatever the input.
    if (damaged.count > tessaro::DamagedEntries::kMaxCounted || damaged.firstFile.size() > 16)
        __builtin_trap();
    return 0;
}
