#include "formats/urlcache/ChromiumResponseInfo.h"

#include "formats/urlcache/ChromiumSimpleCacheFormat.h"
#include "platform/core/ByteOrder.h"

#include <cstdint>

namespace tessaro {

namespace {

using namespace simplecache;

// A base::Pickle reader: fields aligned to 4 bytes, bounds checked.
class PickleReader {
public:
    explicit PickleReader(std::string_view payload) : payload_(payload) {}

    bool ReadU32(std::uint32_t& value)
    {
        if (payload_.size() - pos_ < 4)
            return false;
        value = LoadLe32(payload_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool Skip(std::size_t bytes)
    {
        const std::size_t aligned = (bytes + 3) & ~std::size_t(3);
        if (payload_.size() - pos_ < aligned)
            return false;
        pos_ += aligned;
        return true;
    }
    bool ReadString(std::string_view& value)
    {
        std::uint32_t length = 0;
        if (!ReadU32(length) || length > payload_.size() - pos_)
            return false;
        value = payload_.substr(pos_, length);
        return Skip(length);
    }

private:
    std::string_view payload_;
    std::size_t pos_ = 0;
};

}  // namespace

bool ChromiumResponseHead(std::string_view pickle, std::string_view& head, bool& truncated)
{
    if (pickle.size() < 4)
        return false;
    const std::uint32_t payloadSize = LoadLe32(pickle.data());
    if (payloadSize > pickle.size() - 4)
        return false;
    PickleReader reader(pickle.substr(4, payloadSize));
    std::uint32_t flags = 0, extraFlags = 0;
    if (!reader.ReadU32(flags))
        return false;
    const std::uint32_t version = flags & 0xff;
    if (version < 1 || version > 3)
        return false;
    if ((flags & kResponseInfoHasExtraFlags) && !reader.ReadU32(extraFlags))
        return false;
    std::size_t times = 2;
    if (extraFlags & kResponseInfoExtraHasOriginalResponseTime)
        ++times;
    if (!reader.Skip(times * 8) || !reader.ReadString(head))
        return false;
    truncated = (flags & kResponseInfoTruncated) != 0;
    return true;
}

bool ParseChromiumResponseInfo(std::string_view pickle, CachedResponse& response)
{
    std::string_view head;
    bool truncated = false;
    if (!ChromiumResponseHead(pickle, head, truncated))
        return false;
    ParseResponseHead(head, std::string_view("\0", 1), response);
    if (response.status == 0)
        return false;
    response.truncated = truncated;
    return true;
}

std::string_view ChromiumKeyUrl(std::string_view key)
{
    const std::size_t space = key.rfind(' ');
    if (space != std::string_view::npos)
        return key.substr(space + 1);
    const std::size_t scheme = key.find("://");
    const std::size_t lastSlash = key.rfind('/', scheme);
    if (scheme != std::string_view::npos && lastSlash != std::string_view::npos)
        return key.substr(lastSlash + 1);
    return key;
}

}  // namespace tessaro
