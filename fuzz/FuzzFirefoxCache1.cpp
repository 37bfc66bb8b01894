// Feeds an arbitrary map, block files and separate files to the reader of
// Firefox's cache before cache2.

#include "CacheFilesInput.h"
#include "formats/urlcache/FirefoxCache1.h"

#include <cstdio>

namespace {

// The hash a separate metadata file is named after: its key's, so the reader
// takes the file for one of the cache's own and goes on to read it.
std::string KeyHashDigits(const std::string& metadata)
{
    std::uint32_t keySize = 0;
    for (std::size_t i = 28; i < 32 && i < metadata.size(); ++i)
        keySize = keySize << 8 | static_cast<unsigned char>(metadata[i]);
    const std::string key = metadata.size() < 36 || keySize == 0 ? std::string() : metadata.substr(36, keySize - 1);
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", tessaro::Cache1KeyHash(key));
    return digits;
}

void Rename(std::map<std::string, std::string>& files, const std::string& from, const std::string& to)
{
    if (auto file = files.extract(from))
        files[to] = std::move(file.mapped());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto files = CacheFilesOfInput(data, size,
                                   {"_CACHE_MAP_", "_CACHE_001_", "_CACHE_002_", "_CACHE_003_", "nested metadata",
                                    "nested data", "flat metadata"});
    if (const auto nested = files.find("nested metadata"); nested != files.end()) {
        const std::string hash = KeyHashDigits(nested->second);
        const std::string name = hash.substr(0, 1) + "/" + hash.substr(1, 2) + "/" + hash.substr(3);
        Rename(files, "nested metadata", name + "m01");
        Rename(files, "nested data", name + "d01");
    }
    if (const auto flat = files.find("flat metadata"); flat != files.end())
        Rename(files, "flat metadata", KeyHashDigits(flat->second) + "m01");
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
