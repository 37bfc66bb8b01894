#include "formats/session/MozLz4.h"

#include "platform/core/ByteOrder.h"

#include <climits>
#include <lz4.h>

namespace tessaro {

SessionReadStatus DecodeMozLz4(std::string_view file, std::string& decoded)
{
    decoded.clear();
    if (file.size() < kMozLz4HeaderSize)
        return file.empty() ? SessionReadStatus::Empty : SessionReadStatus::Truncated;
    if (file.substr(0, kMozLz4Magic.size()) != kMozLz4Magic)
        return SessionReadStatus::BadMagic;

    const std::uint32_t declared = LoadLe32(file.data() + kMozLz4Magic.size());
    const std::string_view block = file.substr(kMozLz4HeaderSize);
    if (declared > kMaxMozLz4DecodedBytes || declared > block.size() * kLz4MaxRatio + 16 ||
        block.size() > std::size_t(INT_MAX))
        return SessionReadStatus::TooLarge;
    if (declared == 0)
        return block.empty() || (block.size() == 1 && block[0] == 0) ? SessionReadStatus::Ok
                                                                     : SessionReadStatus::BadCompression;

    decoded.resize(declared);
    const int written =
        LZ4_decompress_safe(block.data(), decoded.data(), static_cast<int>(block.size()), static_cast<int>(declared));
    if (written < 0 || static_cast<std::uint32_t>(written) != declared) {
        decoded.clear();
        return SessionReadStatus::BadCompression;
    }
    return SessionReadStatus::Ok;
}

}  // namespace tessaro
