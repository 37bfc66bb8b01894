#pragma once

#include "formats/urlcache/CachedResponse.h"

#include <string>
#include <string_view>

namespace tessaro {

// What both of Chromium's disk caches store the same way: the pickled
// HttpResponseInfo of an entry's stream 0, and the key the URL is cut from.

// Fills status, heads and the truncated mark from a pickled HttpResponseInfo;
// false when the pickle is cut, of an unknown version or holds no HTTP head.
bool ParseChromiumResponseInfo(std::string_view pickle, CachedResponse& response);

// The NUL-separated HTTP head a pickled HttpResponseInfo holds, in place, and
// its truncated mark; false when the pickle is cut or of an unknown version.
bool ChromiumResponseHead(std::string_view pickle, std::string_view& head, bool& truncated);

// The URL of a cache key: the last space-separated token (isolation prefixes
// come first); keys without them are "<credentials>/<upload id>/<url>" or
// the bare URL.
// The URL lies at the key's end: the view is of key.
std::string_view ChromiumKeyUrl(std::string_view key);

}  // namespace tessaro
