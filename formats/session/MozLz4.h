#pragma once

#include "formats/session/BrowserSession.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

// Firefox's mozLz40 container (session store files *.jsonlz4, *.baklz4):
//   +0   8 bytes  magic "mozLz40\0"
//   +8   u32 LE   size of the decompressed data
//   +12  ...      one raw LZ4 block (no LZ4 frame header) up to the end of the file

constexpr std::string_view kMozLz4Magic{"mozLz40\0", 8};
constexpr std::size_t kMozLz4HeaderSize = 12;

// LZ4 cannot expand a block by more than this factor; a larger declared size is a lie.
constexpr std::uint64_t kLz4MaxRatio = 255;
constexpr std::uint32_t kMaxMozLz4DecodedBytes = 256u << 20;

// Decodes a whole mozLz40 file. Returns Ok, Truncated (shorter than the header),
// BadMagic, TooLarge (declared size beyond what the block or this reader allows)
// or BadCompression.
SessionReadStatus DecodeMozLz4(std::string_view file, std::string& decoded);

}  // namespace tessaro
