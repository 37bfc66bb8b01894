// Feeds arbitrary bytes to the Internet Explorer index.dat parser, then reads
// every record it lists as the cache walk does.

#include "formats/urlcache/IeUrlCache.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tessaro::MemoryByteSource file(bytes);
    tessaro::IeCacheIndex index;
    if (tessaro::ParseIeCacheIndex(file, index) != tessaro::IeCacheResult::Ok)
        return 0;
    std::set<std::uint32_t> seen;
    for (const std::uint32_t offset : index.records) {
        if (offset >= size || !seen.insert(offset).second)
            __builtin_trap();
        tessaro::IeCacheRecord record;
        if (tessaro::ParseIeCacheRecord(file, offset, record) != tessaro::IeCacheResult::Ok)
            continue;
        if (record.url.empty() || record.head.size() > tessaro::kMaxIeRecordSize)
            __builtin_trap();
        tessaro::CachedResponse response;
        if (tessaro::IeCacheResponse(index, record, "/c", response) == tessaro::IeCacheResult::Ok) {
            // The file stays inside the container, one or two levels down.
            const std::string path = response.body.at(0).file.string();
            if (path.rfind("/c/", 0) != 0 || path.find("/../") != std::string::npos ||
                response.body[0].file.filename() == "..")
                __builtin_trap();
        }
    }
    return 0;
}
