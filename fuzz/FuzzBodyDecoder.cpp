// Feeds arbitrary bytes to the body decoder; the first byte picks the coding.

#include "formats/coding/BodyDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kCodings[] = {"gzip", "deflate", "br", "", "gzip, br", "br, deflate", "identity", "zstd"};
    const char* coding = kCodings[data[0] % 8];
    const std::string_view coded(reinterpret_cast<const char*>(data + 1), size - 1);
    constexpr std::size_t kLimit = 8 << 20;
    std::string decoded;
    if (tessaro::DecodeBody(coding, coded, decoded, kLimit) == tessaro::DecodeResult::Ok && decoded.size() > kLimit)
        __builtin_trap();
    std::string prefix;
    if (tessaro::DecodeBodyPrefix(coding, coded, 3, prefix) == tessaro::DecodeResult::Ok && prefix.size() > 3)
        __builtin_trap();
    return 0;
}
