#pragma once

#include "platform/core/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaro::swf {

// Reads little-endian values from a span of a movie; every read fails
// instead of passing the end, and a failed read consumes nothing.
class TByteCursor {
public:
    explicit TByteCursor(std::string_view bytes) : bytes_(bytes) {}

    std::size_t Left() const { return bytes_.size(); }
    bool AtEnd() const { return bytes_.empty(); }
    std::string_view Rest() const { return bytes_; }

    bool U8(std::uint8_t& value) { return Unsigned(value); }
    bool U16(std::uint16_t& value) { return Unsigned(value); }
    bool U32(std::uint32_t& value) { return Unsigned(value); }

    bool Skip(std::size_t count)
    {
        if (count > bytes_.size())
            return false;
        bytes_.remove_prefix(count);
        return true;
    }

    bool Take(std::size_t count, std::string_view& taken)
    {
        if (count > bytes_.size())
            return false;
        taken = bytes_.substr(0, count);
        bytes_.remove_prefix(count);
        return true;
    }

    // A string ending with a 0 byte, the 0 consumed but not returned.
    bool String(std::string_view& text)
    {
        const std::size_t end = bytes_.find('\0');
        if (end == std::string_view::npos)
            return false;
        text = bytes_.substr(0, end);
        bytes_.remove_prefix(end + 1);
        return true;
    }

    // An ABC variable-length integer: 7 bits a byte, low first, at most 5 bytes.
    bool VarU32(std::uint32_t& value)
    {
        std::uint32_t result = 0;
        for (std::size_t i = 0; i < 5; ++i) {
            if (i >= bytes_.size())
                return false;
            const auto byte = static_cast<std::uint8_t>(bytes_[i]);
            result |= static_cast<std::uint32_t>(byte & 0x7f) << (7 * i);
            if ((byte & 0x80) == 0 || i == 4) {
                bytes_.remove_prefix(i + 1);
                value = result;
                return true;
            }
        }
        return false;
    }

private:
    template <typename T>
    bool Unsigned(T& value)
    {
        if (sizeof(T) > bytes_.size())
            return false;
        value = LoadLittleEndian<T>(bytes_.data());
        bytes_.remove_prefix(sizeof(T));
        return true;
    }

    std::string_view bytes_;
};

// Reads bit fields, high bit first, as RECT, MATRIX and CXFORM pack them;
// they end on a byte boundary.
class TBitCursor {
public:
    explicit TBitCursor(std::string_view bytes) : bytes_(bytes) {}

    bool Bits(int count, std::uint32_t& value)
    {
        std::uint32_t result = 0;
        for (int i = 0; i < count; ++i) {
            const std::size_t byte = bit_ >> 3;
            if (byte >= bytes_.size())
                return false;
            const int shift = 7 - static_cast<int>(bit_ & 7);
            result = (result << 1) | ((static_cast<std::uint8_t>(bytes_[byte]) >> shift) & 1u);
            ++bit_;
        }
        value = result;
        return true;
    }

    bool SignedBits(int count, std::int32_t& value)
    {
        std::uint32_t raw = 0;
        if (!Bits(count, raw))
            return false;
        if (count > 0 && count < 32 && (raw & (1u << (count - 1))) != 0)
            raw |= ~((1u << count) - 1);
        value = static_cast<std::int32_t>(raw);
        return true;
    }

    bool SkipBits(std::size_t count)
    {
        if (bit_ + count > bytes_.size() * 8)
            return false;
        bit_ += count;
        return true;
    }

    // Bytes used so far, the last partial byte included.
    std::size_t BytesUsed() const { return (bit_ + 7) / 8; }

private:
    std::string_view bytes_;
    std::size_t bit_ = 0;
};

}  // namespace tessaro::swf
