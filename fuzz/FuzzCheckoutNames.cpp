// Feeds arbitrary bytes to what names check-outs: as a cache key's URL, the
// name made of it; as a records file, the records taken from it. Either way
// only check-out paths inside the content folder come out.

#include "platform/cachewalk/CacheCheckout.h"
#include "platform/cachewalk/CheckoutRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Never made: the records' room-making removes files only under it.
const std::filesystem::path kContent = "/nonexistent-tessaro-fuzz/Content";

bool IsText(const std::string& name)
{
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path path = tessaro::CheckoutPath(kContent, "cache", bytes);
    if (!tessaro::IsCheckoutPath(kContent, path) || !IsText(path.filename().string()) ||
        path.parent_path().parent_path() != kContent)
        __builtin_trap();

    tessaro::CheckoutRecords records(kContent, 1 << 20);
    records.Parse(bytes);
    for (const std::filesystem::path& checkout : records.Checkouts())
        if (!tessaro::IsCheckoutPath(kContent, checkout))
            __builtin_trap();
    // Nothing is pinned: room can always be made, and then the cap holds.
    if (!records.MakeRoom(0) || records.TotalBytes() > (1 << 20))
        __builtin_trap();
    return 0;
}
