#include "formats/swf/MovieCode.h"

#include "formats/swf/ByteCursor.h"
#include "formats/swf/MovieFormat.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

namespace tessaro::swf {

namespace {

// Push value types and the bytes each takes after its type byte (8 and 9 are
// indices into the constant pool).
constexpr std::uint8_t kPushString = 0;
constexpr int kPushSizes[] = {-1, 4, 0, 0, 1, 1, 8, 4, 1, 2};

// The last values an action list pushed, newest last: strings as text, any
// other value as nothing. Loads take their address from here.
class TRecentPushes {
public:
    static constexpr std::size_t kKept = 8;

    void Push(std::optional<std::string_view> value)
    {
        if (size_ == kKept) {
            std::move(values_.begin() + 1, values_.end(), values_.begin());
            --size_;
        }
        values_[size_++] = value;
    }
    // The value pushed back places before the last one (0: the last).
    std::optional<std::string_view> Back(std::size_t back) const
    {
        return back < size_ ? values_[size_ - 1 - back] : std::nullopt;
    }
    std::size_t Size() const { return size_; }

private:
    std::array<std::optional<std::string_view>, kKept> values_{};
    std::size_t size_ = 0;
};

// The methods whose first argument is an address they load.
bool IsLoadMethod(std::string_view name)
{
    for (const std::string_view method :
         {"load", "loadClip", "loadSound", "loadMovie", "loadVariables", "sendAndLoad", "play", "loadPolicyFile"})
        if (name == method)
            return true;
    return false;
}

// A pushed constant stands for a string of the action list's pool, which the
// pool already offered: it is not offered again, so a list that pushes one
// long pooled name again and again costs no more than its bytes; it is only
// remembered for a load that may follow.
void ReadPush(std::string_view data, bool utf8, const std::vector<std::string_view>& pool, TRecentPushes& recent,
              TMovieNames& names)
{
    TByteCursor in(data);
    std::uint8_t type = 0;
    while (!names.Exhausted() && in.U8(type)) {
        if (type == kPushString) {
            std::string_view text;
            if (!in.String(text))
                return;
            names.Offer(text, utf8);
            recent.Push(text);
        } else if (type == 8 || type == 9) {
            std::uint16_t index = 0;
            std::uint8_t narrow = 0;
            if (type == 8 ? !in.U8(narrow) : !in.U16(index))
                return;
            index = type == 8 ? narrow : index;
            recent.Push(index < pool.size() ? std::optional(pool[index]) : std::nullopt);
        } else if (type < std::size(kPushSizes)) {
            if (!in.Skip(static_cast<std::size_t>(kPushSizes[type])))
                return;
            recent.Push(std::nullopt);
        } else {
            return;
        }
    }
}

// obj.load(url), loadClip(url, target), ...: the arguments come first, the
// last of them (the first argument) just before their count.
std::optional<std::string_view> LoadMethodAddress(const TRecentPushes& recent)
{
    const std::optional<std::string_view> method = recent.Back(0);
    if (!method || !IsLoadMethod(*method))
        return std::nullopt;
    for (std::size_t back = 1; back + 1 < recent.Size(); ++back)
        if (!recent.Back(back))
            return recent.Back(back + 1);
    return std::nullopt;
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
    std::vector<std::string_view> pool;
    TRecentPushes recent;
    std::uint8_t code = 0;
    while (!names.Exhausted() && in.U8(code) && code != kActionEnd) {
        if (code == kActionCallMethod) {
            if (const std::optional<std::string_view> address = LoadMethodAddress(recent))
                names.OfferAddress(*address, utf8);
            recent = {};
        }
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
            pool.clear();
            std::string_view text;
            for (std::uint16_t i = 0; i < count && entries.String(text); ++i) {
                names.Offer(text, utf8);
                pool.push_back(text);
            }
        } else if (code == kActionPush) {
            ReadPush(data, utf8, pool, recent, names);
        } else if (code == kActionGetUrl) {
            TByteCursor strings(data);
            std::string_view text;
            if (strings.String(text))
                names.OfferAddress(text, utf8);
            if (strings.String(text))
                names.Offer(text, utf8);
        } else if (code == kActionGetUrl2) {
            // The address, then the target, were pushed last.
            if (const std::optional<std::string_view> address = recent.Back(1))
                names.OfferAddress(*address, utf8);
            recent = {};
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

namespace {

// Skips count entries of u30 values, each read by one call of skip.
template <class Skip>
bool SkipEntries(TByteCursor& in, Skip skip)
{
    std::uint32_t count = 0;
    if (!in.VarU32(count))
        return false;
    for (std::uint32_t i = 1; i < count; ++i)
        if (!skip())
            return false;
    return true;
}

// The string index of each multiname of the pool (0: it names none), and
// where the pool ends; false when the pool is damaged.
bool ReadMultinames(TByteCursor& in, std::vector<std::uint32_t>& names)
{
    std::uint32_t value = 0;
    std::uint8_t kind = 0;
    if (!SkipEntries(in, [&] { return in.U8(kind) && in.VarU32(value); }))  // namespaces
        return false;
    const auto skipSet = [&] {  // a count, then that many namespaces
        std::uint32_t members = 0;
        if (!in.VarU32(members))
            return false;
        for (std::uint32_t m = 0; m < members; ++m)
            if (!in.VarU32(value))
                return false;
        return true;
    };
    if (!SkipEntries(in, skipSet))  // namespace sets
        return false;
    std::uint32_t count = 0;
    if (!in.VarU32(count))
        return false;
    names.assign(1, 0);
    for (std::uint32_t i = 1; i < count; ++i) {
        std::uint32_t name = 0;
        if (!in.U8(kind))
            return false;
        bool ok = true;
        switch (kind) {
            case 0x07:
            case 0x0D:  // QName: namespace, name
                ok = in.VarU32(value) && in.VarU32(name);
                break;
            case 0x0F:
            case 0x10:  // RTQName: name
            case 0x09:
            case 0x0E:  // Multiname: name, namespace set
                ok = in.VarU32(name) && (kind == 0x0F || kind == 0x10 || in.VarU32(value));
                break;
            case 0x11:
            case 0x12:  // RTQNameL
                break;
            case 0x1B:
            case 0x1C:  // MultinameL: namespace set
                ok = in.VarU32(value);
                break;
            case 0x1D: {  // a generic type: its name, then its parameters
                std::uint32_t parameters = 0;
                ok = in.VarU32(value) && in.VarU32(parameters);
                for (std::uint32_t p = 0; ok && p < parameters; ++p)
                    ok = in.VarU32(value);
                break;
            }
            default:
                return false;
        }
        if (!ok)
            return false;
        names.push_back(name);
    }
    return true;
}

}  // namespace

void ReadAbcStrings(std::string_view abc, TMovieNames& names)
{
    enum : std::uint8_t { kPushStringOp = 0x2c, kConstructPropOp = 0x4a };
    TByteCursor in(abc);
    std::uint32_t count = 0;
    std::uint32_t skipped = 0;
    if (!in.Skip(4))
        return;
    for (int table = 0; table < 2; ++table) {  // ints, then uints
        if (!SkipEntries(in, [&] { return in.VarU32(skipped); }))
            return;
    }
    if (!in.VarU32(count) || (count > 1 && !in.Skip(8 * (static_cast<std::size_t>(count) - 1))))  // doubles
        return;
    if (!in.VarU32(count))
        return;
    std::vector<std::string_view> strings(1);
    std::uint32_t length = 0;
    std::string_view text;
    for (std::uint32_t i = 1; i < count && !names.Exhausted(); ++i) {
        if (!in.VarU32(length) || !in.Take(length, text))
            return;
        names.Offer(text, true);
        strings.push_back(text);
    }
    std::vector<std::uint32_t> multinames;
    if (!ReadMultinames(in, multinames))
        return;
    // new URLRequest("..."): a string pushed just before the constructor of
    // a URLRequest with one argument. The rest of the file is looked at byte
    // by byte: a match inside other bytes only offers one more string.
    const std::string_view code = in.Rest();
    for (std::size_t at = 0; at < code.size() && !names.Exhausted(); ++at) {
        if (static_cast<std::uint8_t>(code[at]) != kPushStringOp)
            continue;
        TByteCursor op(code.substr(at + 1));
        std::uint32_t string = 0;
        std::uint32_t multiname = 0;
        std::uint32_t arguments = 0;
        std::uint8_t next = 0;
        if (op.VarU32(string) && op.U8(next) && next == kConstructPropOp && op.VarU32(multiname) &&
            op.VarU32(arguments) && arguments == 1 && string < strings.size() && multiname < multinames.size() &&
            multinames[multiname] < strings.size() && strings[multinames[multiname]] == "URLRequest")
            names.OfferAddress(strings[string], true);
    }
}

}  // namespace tessaro::swf
