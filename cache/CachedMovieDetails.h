#pragma once

#include "platform/cachewalk/UrlCache.h"

#include <string>

namespace tessaro {

// The tooltip of a cache row: the movie's details, read from the first bytes
// of its checked-out file, then where the cache says it came from (a web
// archive: which archive recorded it, and when). Lines the
// file or the cache cannot give are left out.
std::string CachedMovieDetails(const UrlCacheEntry& entry);

}  // namespace tessaro
