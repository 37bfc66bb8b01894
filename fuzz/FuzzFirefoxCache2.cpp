// Feeds arbitrary bytes to the cache2 entry parser.

#include "formats/urlcache/FirefoxCache2.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tessaro::CachedResponse response;
    if (tessaro::ParseCache2Entry(tessaro::MemoryByteSource(bytes), response) == tessaro::Cache2Result::Ok) {
        if (response.body.size() != 1 || response.body[0].offset + response.body[0].length > size ||
            response.url.empty())
            __builtin_trap();
    }
    tessaro::Cache2KeyUrl(bytes);
    return 0;
}
