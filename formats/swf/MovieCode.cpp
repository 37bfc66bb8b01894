#include "formats/swf/MovieCode.h"

#include "formats/swf/ByteCursor.h"
#include "formats/swf/MovieFormat.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tessaro::swf {

namespace {

// Push value types and the bytes each takes after its type byte (8 and 9 are
// indices into the constant pool).
constexpr std::uint8_t kPushString = 0;
constexpr int kPushSizes[] = {-1, 4, 0, 0, 1, 1, 8, 4, 1, 2};

// A pushed constant stands for a string of the action list's pool, which the
// pool already offered: it is passed over, so a list that pushes one long
// pooled name again and again costs no more than its bytes.
void ReadPush(std::string_view data, bool utf8, TMovieNames& names)
{
    TByteCursor in(data);
    std::uint8_t type = 0;
    while (!names.Exhausted() && in.U8(type)) {
        if (type == kPushString) {
            std::string_view text;
            if (!in.String(text))
                return;
            names.Offer(text, utf8);
        } else if (type < std::size(kPushSizes)) {
            if (!in.Skip(static_cast<std::size_t>(kPushSizes[type])))
                return;
        } else {
            return;
        }
    }
}

bool SkipMatrix(TByteCursor& in)
{
    TBitCursor bits(in.Rest());
    std::uint32_t has = 0;
    std::uint32_t count = 0;
    for (int part = 0; part < 2; ++part) {  // scale, then rotate
        if (!bits.Bits(1, has))
            return false;
        if (has != 0 && (!bits.Bits(5, count) || !bits.SkipBits(2 * count)))
            return false;
    }
    if (!bits.Bits(5, count) || !bits.SkipBits(2 * count))
        return false;
    return in.Skip(bits.BytesUsed());
}

bool SkipColorTransformWithAlpha(TByteCursor& in)
{
    TBitCursor bits(in.Rest());
    std::uint32_t hasAdd = 0;
    std::uint32_t hasMultiply = 0;
    std::uint32_t count = 0;
    if (!bits.Bits(1, hasAdd) || !bits.Bits(1, hasMultiply) || !bits.Bits(4, count))
        return false;
    if (!bits.SkipBits(4 * count * (hasAdd + hasMultiply)))
        return false;
    return in.Skip(bits.BytesUsed());
}

bool SkipFilterList(TByteCursor& in)
{
    std::uint8_t count = 0;
    if (!in.U8(count))
        return false;
    for (int i = 0; i < count; ++i) {
        std::uint8_t filter = 0;
        if (!in.U8(filter))
            return false;
        std::size_t size = 0;
        switch (filter) {
            case 0:
                size = 23;
                break;  // drop shadow
            case 1:
                size = 9;
                break;  // blur
            case 2:
                size = 15;
                break;  // glow
            case 3:
                size = 27;
                break;  // bevel
            case 4:     // gradient glow
            case 7: {   // gradient bevel
                std::uint8_t colours = 0;
                if (!in.U8(colours))
                    return false;
                size = 5u * colours + 19;
                break;
            }
            case 5: {  // convolution
                std::uint8_t columns = 0;
                std::uint8_t rows = 0;
                if (!in.U8(columns) || !in.U8(rows))
                    return false;
                size = 8 + 4u * columns * rows + 5;
                break;
            }
            case 6:
                size = 80;
                break;  // colour matrix
            default:
                return false;
        }
        if (!in.Skip(size))
            return false;
    }
    return true;
}

// CLIPACTIONS, at the end of a placement.
void ReadClipActions(TByteCursor& in, int version, TMovieNames& names)
{
    const bool wideFlags = version >= 6;
    const auto readFlags = [&](std::uint32_t& flags) {
        if (wideFlags)
            return in.U32(flags);
        std::uint16_t narrow = 0;
        if (!in.U16(narrow))
            return false;
        flags = narrow;
        return true;
    };
    constexpr std::uint32_t kKeyPress = 0x00020000;
    std::uint32_t flags = 0;
    if (!in.Skip(2) || !readFlags(flags))
        return;
    while (!names.Exhausted() && readFlags(flags) && flags != 0) {
        std::uint32_t size = 0;
        std::string_view record;
        if (!in.U32(size) || !in.Take(size, record))
            return;
        if (wideFlags && (flags & kKeyPress) != 0)
            record.remove_prefix(std::min<std::size_t>(1, record.size()));
        ReadActions(record, version >= 6, names);
    }
}

}  // namespace

void ReadActions(std::string_view actions, bool utf8, TMovieNames& names)
{
    TByteCursor in(actions);
    std::uint8_t code = 0;
    while (!names.Exhausted() && in.U8(code) && code != kActionEnd) {
        if (code < 0x80)
            continue;
        std::uint16_t length = 0;
        std::string_view data;
        if (!in.U16(length) || !in.Take(length, data))
            return;
        if (code == kActionConstantPool) {
            TByteCursor entries(data);
            std::uint16_t count = 0;
            entries.U16(count);
            std::string_view text;
            for (std::uint16_t i = 0; i < count && entries.String(text); ++i)
                names.Offer(text, utf8);
        } else if (code == kActionPush) {
            ReadPush(data, utf8, names);
        } else if (code == kActionGetUrl) {
            TByteCursor strings(data);
            std::string_view text;
            while (strings.String(text))
                names.Offer(text, utf8);
        }
    }
}

void ReadPlacementActions(std::string_view body, bool placeObject3, int version, TMovieNames& names)
{
    enum : std::uint8_t {
        kHasClipActions = 0x80,
        kHasClipDepth = 0x40,
        kHasName = 0x20,
        kHasRatio = 0x10,
        kHasColorTransform = 0x08,
        kHasMatrix = 0x04,
        kHasCharacter = 0x02,
    };
    enum : std::uint8_t {
        kOpaqueBackground = 0x40,
        kHasVisible = 0x20,
        kHasImage = 0x10,
        kHasClassName = 0x08,
        kHasCacheAsBitmap = 0x04,
        kHasBlendMode = 0x02,
        kHasFilterList = 0x01,
    };
    TByteCursor in(body);
    std::uint8_t flags = 0;
    std::uint8_t flags3 = 0;
    if (!in.U8(flags) || (placeObject3 && !in.U8(flags3)) || (flags & kHasClipActions) == 0 || !in.Skip(2))
        return;
    std::string_view text;
    if (placeObject3 &&
        ((flags3 & kHasClassName) != 0 || ((flags3 & kHasImage) != 0 && (flags & kHasCharacter) != 0)) &&
        !in.String(text))
        return;
    if ((flags & kHasCharacter) != 0 && !in.Skip(2))
        return;
    if ((flags & kHasMatrix) != 0 && !SkipMatrix(in))
        return;
    if ((flags & kHasColorTransform) != 0 && !SkipColorTransformWithAlpha(in))
        return;
    if ((flags & kHasRatio) != 0 && !in.Skip(2))
        return;
    if ((flags & kHasName) != 0 && !in.String(text))
        return;
    if ((flags & kHasClipDepth) != 0 && !in.Skip(2))
        return;
    if (placeObject3) {
        if ((flags3 & kHasFilterList) != 0 && !SkipFilterList(in))
            return;
        const std::size_t tail = ((flags3 & kHasBlendMode) != 0 ? 1 : 0) + ((flags3 & kHasCacheAsBitmap) != 0 ? 1 : 0) +
                                 ((flags3 & kHasVisible) != 0 ? 1 : 0) + ((flags3 & kOpaqueBackground) != 0 ? 4 : 0);
        if (!in.Skip(tail))
            return;
    }
    ReadClipActions(in, version, names);
}

void ReadButtonActions(std::string_view body, bool button2, bool utf8, TMovieNames& names)
{
    TByteCursor in(body);
    if (!in.Skip(2))
        return;
    if (!button2) {
        // Button records (flags, character, depth, matrix) up to a 0 byte.
        std::uint8_t flags = 0;
        while (in.U8(flags) && flags != 0) {
            if (!in.Skip(4) || !SkipMatrix(in))
                return;
        }
        ReadActions(in.Rest(), utf8, names);
        return;
    }
    std::uint16_t offset = 0;
    if (!in.Skip(1))
        return;
    TByteCursor fromOffset = in;
    if (!in.U16(offset) || offset == 0 || !fromOffset.Skip(offset))
        return;
    in = fromOffset;
    std::uint16_t size = 0;
    while (!names.Exhausted() && in.U16(size)) {
        std::string_view record;
        if (size == 0) {
            if (in.Skip(2))  // the last: conditions, then actions to the end
                ReadActions(in.Rest(), utf8, names);
            return;
        }
        if (size < 4 || !in.Take(size - 2u, record))
            return;
        ReadActions(record.substr(2), utf8, names);
    }
}

void ReadAbcStrings(std::string_view abc, TMovieNames& names)
{
    TByteCursor in(abc);
    std::uint32_t count = 0;
    std::uint32_t skipped = 0;
    if (!in.Skip(4))
        return;
    for (int table = 0; table < 2; ++table) {  // ints, then uints
        if (!in.VarU32(count))
            return;
        for (std::uint32_t i = 1; i < count; ++i) {
            if (!in.VarU32(skipped))
                return;
        }
    }
    if (!in.VarU32(count) || (count > 1 && !in.Skip(8 * (static_cast<std::size_t>(count) - 1))))  // doubles
        return;
    if (!in.VarU32(count))
        return;
    std::uint32_t length = 0;
    std::string_view text;
    for (std::uint32_t i = 1; i < count && !names.Exhausted(); ++i) {
        if (!in.VarU32(length) || !in.Take(length, text))
            return;
        names.Offer(text, true);
    }
}

}  // namespace tessaro::swf
