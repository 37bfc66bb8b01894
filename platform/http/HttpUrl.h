#pragma once

#include <string>
#include <string_view>

namespace tessaro {

// An address refuses to be requested when it holds a NUL or another control
// character: nothing is sent for it.
bool HasControlCharacter(std::string_view text);

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
