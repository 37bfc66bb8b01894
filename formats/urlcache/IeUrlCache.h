#pragma once

#include "formats/urlcache/ByteSource.h"
#include "formats/urlcache/CachedResponse.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro {

// Reader of Internet Explorer's URL cache, index.dat of Content.IE5 (layout
// in IeUrlCacheFormat.h), as Internet Explorer and Wine write it.

enum class IeCacheResult {
    Ok,
    TooShort,      // smaller than the header blocks
    TooLarge,      // larger than any index this reader takes
    BadSignature,  // neither Internet Explorer's nor Wine's
    BadHeader,     // the hash table offset or the folder count does not fit
    BadHashTable,  // a HASH record missing, cut, overlapping another record, or its chain looping
    BadRecord,     // not a URL record, or a length or string offset outside it
    NoFile,        // the record names no cached file (history, cookies)
    BadFileName,   // the file or its folder is not a plain name in the container
    ReadFailed,    // the file went away or could not be read
};

const char* ToString(IeCacheResult result);

// index.dat files larger than this are not a cache index.
constexpr std::uint64_t kMaxIeIndexSize = std::uint64_t(256) << 20;
// A URL record longer than this is damage (addresses and heads are short).
constexpr std::uint32_t kMaxIeRecordSize = 1u << 20;

struct IeCacheIndex {
    bool wine = false;  // Wine's signature
    // The cache folders' names; empty where the table holds no plain name.
    std::vector<std::string> folders;
    // The URL records' offsets in hash-table order, each once. No two of
    // them, and none of them and a HASH record, share a block.
    std::vector<std::uint32_t> records;
    // Ok, or why the walk of the hash table stopped before its end (the
    // records found until then are kept).
    IeCacheResult hashTable = IeCacheResult::Ok;
};

// Reads the header, the folder table and the hash table chain: at most the
// header, each block once as part of a HASH record and 8 bytes per block.
IeCacheResult ParseIeCacheIndex(const ByteSource& file, IeCacheIndex& index);

struct IeCacheRecord {
    std::string url;
    std::uint8_t folder = 0;
    std::string fileName;  // empty: no file
    std::string head;      // the response head as stored (other data in history records)
    std::uint64_t size = 0;
    std::uint32_t entryType = 0;
};

// Reads the URL record at offset, checking every length against the record
// and the record against the file.
IeCacheResult ParseIeCacheRecord(const ByteSource& file, std::uint32_t offset, IeCacheRecord& record);

// The cached response of a record whose container folder (Content.IE5) is
// container: its URL and head, and its body, the record's file.
IeCacheResult IeCacheResponse(const IeCacheIndex& index, const IeCacheRecord& record,
                              const std::filesystem::path& container, CachedResponse& response);

// True when folder holds an index.dat with one of the two signatures.
bool IsIeCacheFolder(const std::filesystem::path& folder);

}  // namespace tessaro
