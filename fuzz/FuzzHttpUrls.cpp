// Splits arbitrary text the two ways the program splits an address for a
// request (the download's and the fetch's) and checks what each gives, then
// classifies the host as the connection check would.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/HttpGetThread.h"
#include "platform/core/AsciiText.h"
#include "platform/http/HttpUrl.h"
#include "platform/http/NetworkReach.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);

    const tessaro::HttpUrlParts fetch = tessaro::SplitHttpUrl(url);
    if (fetch.ok) {
        if (fetch.host.find_first_of("/?#") != std::string::npos)
            __builtin_trap();
        if (fetch.path.empty() || fetch.path.front() != '/' || fetch.path.find('#') != std::string::npos)
            __builtin_trap();
        // The parts come from the address, in order, nothing added but a "/".
        const std::size_t scheme = fetch.secure ? 8 : 7;
        if (url.compare(scheme, fetch.host.size(), fetch.host) != 0)
            __builtin_trap();
        if (fetch.path.size() > url.size() - scheme - fetch.host.size() + 1)
            __builtin_trap();
        // What is sent comes from the address: a control character in it shows there.
        if ((tessaro::HoldsControlCharacter(fetch.host) || tessaro::HoldsControlCharacter(fetch.path)) &&
            !tessaro::HoldsControlCharacter(url))
            __builtin_trap();
        tessaro::ClassifyAddressText(fetch.host);
    }

    const tessaro::THttpGetThread::UrlParts download = tessaro::THttpGetThread::SplitUrl(url);
    if (download.HostName.find('/') != std::string::npos)
        __builtin_trap();
    if (!download.HostName.empty() && (download.ObjectName.empty() || download.ObjectName.front() != '/'))
        __builtin_trap();
    const std::string joined = download.HostName + download.ObjectName;
    if (joined.size() > url.size() || url.compare(url.size() - joined.size(), joined.size(), joined) != 0)
        __builtin_trap();
    tessaro::ClassifyAddressText(download.HostName);
    return 0;
}
