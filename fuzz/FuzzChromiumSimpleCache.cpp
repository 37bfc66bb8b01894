// Feeds arbitrary bytes to the simple cache entry and sparse file parsers.

#include "formats/urlcache/ChromiumSimpleCache.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tessaro::MemoryByteSource file(bytes);
    std::string key;
    tessaro::CachedResponse response;
    const auto result = tessaro::ParseSimpleCacheEntry(file, key, response);
    if (result == tessaro::SimpleCacheResult::Ok) {
        for (const auto& segment : response.body)
            if (segment.offset + segment.length > size)
                __builtin_trap();
    }
    // The same bytes as a sparse file, under the key found (or a fixed one).
    std::vector<tessaro::SparseRange> ranges;
    if (tessaro::ParseSimpleCacheSparse(file, key.empty() ? std::string("1/0/http://a/b.swf") : key, ranges) ==
        tessaro::SimpleCacheResult::Ok) {
        std::vector<tessaro::BodySegment> body;
        const std::uint64_t total = response.contentLength.value_or(size);
        if (tessaro::SparseBody(ranges, total, "s", body)) {
            std::uint64_t sum = 0;
            for (const auto& segment : body) {
                if (segment.offset + segment.length > size)
                    __builtin_trap();
                sum += segment.length;
            }
            if (sum != total)
                __builtin_trap();
        }
    }
    return 0;
}
