#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tessaro {

// Unsigned integers out of the raw bytes of a file in either byte order; the
// caller has checked that the bytes are there.

template <typename Unsigned>
constexpr Unsigned LoadLittleEndian(const char* bytes)
{
    // Readers load millions of these: one load, not a byte at a time.
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
        Unsigned value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        value |= static_cast<Unsigned>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return value;
}

template <typename Unsigned>
constexpr Unsigned LoadBigEndian(const char* bytes)
{
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        value = static_cast<Unsigned>(value << 8 | static_cast<unsigned char>(bytes[i]));
    return value;
}

constexpr std::uint16_t LoadLe16(const char* bytes)
{
    return LoadLittleEndian<std::uint16_t>(bytes);
}
constexpr std::uint32_t LoadLe32(const char* bytes)
{
    return LoadLittleEndian<std::uint32_t>(bytes);
}
constexpr std::uint64_t LoadLe64(const char* bytes)
{
    return LoadLittleEndian<std::uint64_t>(bytes);
}
constexpr std::uint32_t LoadBe32(const char* bytes)
{
    return LoadBigEndian<std::uint32_t>(bytes);
}

}  // namespace tessaro
