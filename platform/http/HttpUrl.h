#pragma once

#include <string>
#include <string_view>

namespace tessaro {

// An "http://" or "https://" address split for a connection: the host with
// any port written in it, and the request path ("/" when none, the fragment
// dropped). ok false when the address is neither.
struct HttpUrlParts {
    bool ok = false;
    bool secure = false;
    std::string host;
    std::string path;
};
HttpUrlParts SplitHttpUrl(std::string_view url);

}  // namespace tessaro
