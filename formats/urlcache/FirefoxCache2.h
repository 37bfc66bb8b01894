#pragma once

#include "formats/urlcache/ByteSource.h"
#include "formats/urlcache/CachedResponse.h"

#include <filesystem>
#include <string>

namespace tessaro {

// Reader of Firefox cache2 entry files (layout in FirefoxCache2Format.h).

enum class Cache2Result {
    Ok,
    TooShort,     // no room for a trailer and a metadata header
    NoMetadata,   // no trailer that points inside the file: the metadata is not written yet
    BadOffset,    // a version 4 trailer that points outside the file, or metadata that does not fit
    BadVersion,   // a metadata version this reader does not know
    BadKey,       // key size out of bounds, no NUL after it, or no URL in it
    BadElements,  // elements not in name/value pairs
    BadAltData,   // an alt-data element that cannot be read
    Encrypted,    // stored encrypted; the key is not ours to have
    ReadFailed,   // the file went away or could not be read
};

const char* ToString(Cache2Result result);

// Whether an entry that gave result is damaged (DamagedEntries.h says what
// counts). Firefox writes the metadata and the trailer when it is done with
// an entry, so only a trailer of the current format vouches for the file:
// without one, a file whose last word points nowhere is still being written.
bool IsDamage(Cache2Result result);

// Parses the contents of an entry file; the body segment's file is left empty.
Cache2Result ParseCache2Entry(const ByteSource& file, CachedResponse& response);

// Reads one entry file; the body segment names it.
Cache2Result ReadCache2Entry(const std::filesystem::path& entryFile, CachedResponse& response);
// The same, for an entry file the caller has opened already.
Cache2Result ReadCache2Entry(const ByteSource& file, const std::filesystem::path& entryFile, CachedResponse& response);

// The URL inside a cache2 key, or empty when the key has none.
std::string Cache2KeyUrl(std::string_view key);

// True for the names of entry files: 40 upper-case hex digits.
bool IsCache2EntryName(const std::string& name);

}  // namespace tessaro
