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
    // The walk's first look, in place: its views lie inside the files, and
    // a body it finds is the one the full read finds.
    tessaro::BlockFileIndex index;
    if (tessaro::IndexBlockFileCache(cache, index) != tessaro::BlockFileResult::Ok)
        __builtin_trap();
    std::vector<tessaro::BlockFileHead> looks(index.order.size());
    std::vector<bool> looked(index.order.size());
    tessaro::LookAtBlockFileEntries(cache, index, [&](std::size_t nth, const tessaro::BlockFileHead& look) {
        if (nth >= looks.size() || looked[nth])
            __builtin_trap();
        looks[nth] = look;
        looked[nth] = true;
    });
    for (std::size_t nth = 0; nth < index.order.size(); ++nth) {
        const tessaro::BlockFileHead& look = looks[nth];
        if (!looked[nth])
            continue;
        if (look.bodySource != nullptr &&
            (look.bodyOffset > look.bodySource->Size() || look.bodyLength > look.bodySource->Size() - look.bodyOffset))
            __builtin_trap();
        tessaro::IndexedCacheEntry read;
        if (tessaro::BlockFileResponse(cache, index, nth, read) && look.bodyLength > 0 &&
            (read.response.body.size() != 1 || read.response.body.front().length != look.bodyLength ||
             read.bodyOffset != look.bodyOffset))
            __builtin_trap();
    }
    return 0;
}
