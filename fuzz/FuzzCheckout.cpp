// Feeds arbitrary bytes to the check-out as a cached body: the first byte
// picks the content coding, the rest is the body as stored. The streaming
// decoder, the movie check and the temporary file run as in a cache walk.

#include "formats/coding/BodyDecoder.h"
#include "platform/cachewalk/CacheCheckout.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

// Decoded bytes one input may ask room for: the decoder's ratio would allow
// a gigabyte from the largest inputs.
constexpr std::uint64_t kRoom = 32 << 20;

// Made by the check-out itself and removed after each input, so no run
// leaves anything behind however it ends.
const std::filesystem::path& Folder()
{
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tessaro-fuzz-checkout-" + std::to_string(::getpid()));
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kCodings[] = {"gzip", "deflate", "br", "", "gzip, br", "br, deflate", "gzip, gzip", "x"};
    const std::string_view stored(reinterpret_cast<const char*>(data + 1), size - 1);
    const tessaro::MemoryByteSource container(stored);
    tessaro::CachedResponse response;
    response.url = "http://127.0.0.1/movie.swf";
    response.status = 200;
    response.contentEncoding = kCodings[data[0] % 8];
    response.body = {{{}, 0, stored.size(), std::nullopt}};
    const std::filesystem::path target = tessaro::CheckoutPath(Folder(), "cache", response.url);

    std::uint64_t asked = 0, length = 0;
    const auto room = [&asked](std::uint64_t bytes) {
        asked += bytes;
        return asked <= kRoom;
    };
    const bool made = tessaro::CheckOutMovie(response, &container, {}, target, room, length);
    std::error_code error;
    const bool exists = std::filesystem::exists(target, error);
    if (asked > stored.size() * tessaro::BodyDecoderStream::kMaxDecodeRatio + tessaro::BodyDecoderStream::kPieceLength)
        __builtin_trap();
    if (made != exists)
        __builtin_trap();
    if (made && (std::filesystem::file_size(target) != length || length > tessaro::kMaxCheckoutBytes))
        __builtin_trap();
    std::filesystem::remove(target, error);
    // Nothing half-written is left, whatever the bytes.
    if (!std::filesystem::is_empty(target.parent_path(), error))
        __builtin_trap();
    std::filesystem::remove_all(Folder(), error);
    return 0;
}
