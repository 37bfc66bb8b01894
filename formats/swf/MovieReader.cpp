#include "formats/swf/MovieReader.h"

#include "formats/swf/ByteCursor.h"
#include "formats/swf/MovieBody.h"
#include "formats/swf/MovieCode.h"
#include "formats/swf/MovieFormat.h"
#include "formats/swf/MovieNames.h"

#include <algorithm>
#include <optional>
#include <string>

namespace tessaro {

namespace {

using namespace swf;

struct TReadState {
    TReadState(TMovieReading& reading, std::size_t budget) : names(reading.movieNames, budget, &reading.fileNames) {}

    TMovieNames names;
    const std::atomic<bool>* cancelled = nullptr;
    std::size_t bodyBudget = kMaxMovieBodyBytes;
    std::size_t tagsLeft = kMaxMovieTags;
    int nestedMovies = 0;
    bool detailsOnly = false;
};

enum class TagWalk { Ended, Overrun, TooManyTags, TooMuchWork, Cancelled };

// Whether the walk's end ends the whole read, the levels around it included.
bool EndsRead(TagWalk walk)
{
    return walk != TagWalk::Ended && walk != TagWalk::Overrun;
}

bool HasMovieSignature(std::string_view bytes)
{
    if (bytes.size() < 3 || bytes.substr(1, 2) != "WS")
        return false;
    return bytes[0] == 'F' || bytes[0] == 'C' || bytes[0] == 'Z';
}

MovieReadResult ReadLevel(std::string_view bytes, int depth, TReadState& state, TMovieDetails& details);

TagWalk ReadTags(std::string_view tags, int version, int depth, int spriteDepth, TReadState& state,
                 TMovieDetails& details);

// A movie embedded as binary data, read as a level of its own; what ends the
// whole read, or nothing when the walk goes on.
std::optional<TagWalk> ReadEmbeddedMovie(std::string_view body, int depth, TReadState& state)
{
    if (depth >= kMaxNestedMovieDepth || body.size() <= 6 || !HasMovieSignature(body.substr(6)))
        return std::nullopt;
    TMovieDetails inner;
    ++state.nestedMovies;
    switch (ReadLevel(body.substr(6), depth + 1, state, inner)) {
        case MovieReadResult::TooManyTags:
            return TagWalk::TooManyTags;
        case MovieReadResult::TooMuchWork:
            return TagWalk::TooMuchWork;
        case MovieReadResult::Cancelled:
            return TagWalk::Cancelled;
        default:
            return std::nullopt;
    }
}

// The names one tag holds; what ends the walk, or nothing when it goes on.
std::optional<TagWalk> ReadTag(std::uint16_t code, std::string_view body, int version, int depth, int spriteDepth,
                               TReadState& state, TMovieDetails& details)
{
    const bool utf8 = version >= 6;
    switch (code) {
        case kTagDoAction:
            ReadActions(body, utf8, state.names);
            break;
        case kTagDoInitAction:
            if (body.size() >= 2)
                ReadActions(body.substr(2), utf8, state.names);
            break;
        case kTagPlaceObject2:
        case kTagPlaceObject3:
            ReadPlacementActions(body, code == kTagPlaceObject3, version, state.names);
            break;
        case kTagDefineButton:
        case kTagDefineButton2:
            ReadButtonActions(body, code == kTagDefineButton2, utf8, state.names);
            break;
        case kTagDoAbc:
            ReadAbcStrings(body, state.names);
            break;
        case kTagDoAbc2: {
            TByteCursor abc(body);
            std::string_view name;
            if (abc.Skip(4) && abc.String(name))
                ReadAbcStrings(abc.Rest(), state.names);
            break;
        }
        case kTagDefineSprite:
            if (spriteDepth < kMaxSpriteDepth && body.size() >= 4) {
                const TagWalk walk = ReadTags(body.substr(4), version, depth, spriteDepth + 1, state, details);
                if (EndsRead(walk))
                    return walk;
            }
            break;
        case kTagImportAssets:
        case kTagImportAssets2: {
            // The shared library the symbols come from: a movie loaded by address.
            std::string_view library;
            if (TByteCursor(body).String(library))
                state.names.Offer(library, utf8);
            break;
        }
        case kTagDefineBinaryData:
            return ReadEmbeddedMovie(body, depth, state);
        default:
            break;
    }
    return std::nullopt;
}

TagWalk ReadTags(std::string_view tags, int version, int depth, int spriteDepth, TReadState& state,
                 TMovieDetails& details)
{
    TByteCursor in(tags);
    std::uint16_t codeAndLength = 0;
    while (in.U16(codeAndLength)) {
        if (state.tagsLeft == 0)
            return TagWalk::TooManyTags;
        if (state.cancelled != nullptr && state.cancelled->load(std::memory_order_relaxed))
            return TagWalk::Cancelled;
        if (state.names.Exhausted())
            return TagWalk::TooMuchWork;
        --state.tagsLeft;
        const auto code = static_cast<std::uint16_t>(codeAndLength >> 6);
        std::uint32_t length = codeAndLength & 0x3fu;
        std::string_view body;
        if ((length == 0x3f && !in.U32(length)) || !in.Take(length, body))
            return TagWalk::Overrun;
        if (code == kTagEnd)
            return TagWalk::Ended;
        if (code == kTagFileAttributes) {
            std::uint8_t flags = 0;
            TByteCursor(body).U8(flags);
            details.actionScript3 = version >= 9 && (flags & kFileAttributeActionScript3) != 0;
        }
        if (state.detailsOnly)
            continue;
        if (const std::optional<TagWalk> end = ReadTag(code, body, version, depth, spriteDepth, state, details))
            return *end;
    }
    if (state.names.Exhausted())
        return TagWalk::TooMuchWork;  // the last tag's strings
    return TagWalk::Ended;            // the bytes ended between tags: players take that as the end
}

MovieReadResult ReadLevel(std::string_view bytes, int depth, TReadState& state, TMovieDetails& details)
{
    TByteCursor header(bytes);
    std::uint32_t fileLength = 0;
    if (!HasMovieSignature(bytes) || !header.Skip(3))
        return MovieReadResult::NotAMovie;
    std::uint8_t version = 0;
    if (!header.U8(version) || !header.U32(fileLength))
        return MovieReadResult::CutShort;
    details.version = version;
    details.fileLength = fileLength;
    details.compression =
        bytes[0] == 'C' ? MovieCompression::Zlib : (bytes[0] == 'Z' ? MovieCompression::Lzma : MovieCompression::None);
    if (fileLength < kHeaderSize)
        return MovieReadResult::Corrupt;
    const std::size_t length = fileLength - kHeaderSize;

    MovieReadResult result = MovieReadResult::Ok;
    std::string decoded;
    std::string_view body;
    if (details.compression == MovieCompression::None) {
        body = header.Rest().substr(0, length);
        if (body.size() < length)
            result = MovieReadResult::CutShort;
    } else {
        std::size_t wanted = length;
        if (state.detailsOnly) {
            wanted = std::min(length, kMovieDetailsBodyBytes);
        } else if (length > state.bodyBudget) {
            wanted = std::min(length, kMovieDetailsBodyBytes);
            result = MovieReadResult::TooLarge;
        }
        const BodyResult decoding = details.compression == MovieCompression::Zlib
                                        ? InflateMovieBody(header.Rest(), wanted, decoded, state.cancelled)
                                        : DecodeLzmaMovieBody(header.Rest(), wanted, decoded, state.cancelled);
        if (decoding == BodyResult::Cancelled)
            return MovieReadResult::Cancelled;
        state.bodyBudget -= std::min(state.bodyBudget, decoded.size());
        if (result == MovieReadResult::Ok && decoding != BodyResult::Ok)
            result = decoding == BodyResult::CutShort ? MovieReadResult::CutShort : MovieReadResult::Corrupt;
        body = decoded;
    }

    TBitCursor rect(body);
    std::uint32_t bits = 0;
    std::int32_t edges[4] = {};  // xMin xMax yMin yMax
    bool rectRead = rect.Bits(5, bits);
    for (std::int32_t& edge : edges)
        rectRead = rectRead && rect.SignedBits(static_cast<int>(bits), edge);
    TByteCursor frame(body.substr(std::min(body.size(), rect.BytesUsed())));
    std::uint16_t rate = 0;
    std::uint16_t count = 0;
    if (!rectRead || !frame.U16(rate) || !frame.U16(count))
        return result == MovieReadResult::Ok ? MovieReadResult::CutShort : result;
    details.hasFrame = true;
    details.stageWidth = (static_cast<double>(edges[1]) - edges[0]) / 20.0;
    details.stageHeight = (static_cast<double>(edges[3]) - edges[2]) / 20.0;
    details.frameRate = rate / 256.0;
    details.frameCount = count;

    // Past the budget only the first tags are there, and only for the details.
    const bool detailsOnly = state.detailsOnly;
    state.detailsOnly = detailsOnly || result == MovieReadResult::TooLarge;
    const TagWalk walk = ReadTags(frame.Rest(), version, depth, 0, state, details);
    state.detailsOnly = detailsOnly;
    switch (walk) {
        case TagWalk::TooManyTags:
            return MovieReadResult::TooManyTags;
        case TagWalk::TooMuchWork:
            return MovieReadResult::TooMuchWork;
        case TagWalk::Cancelled:
            return MovieReadResult::Cancelled;
        default:
            break;
    }
    if (walk == TagWalk::Overrun && result == MovieReadResult::Ok)
        return MovieReadResult::Corrupt;
    return result;
}

}  // namespace

const char* ToString(MovieReadResult result)
{
    switch (result) {
        case MovieReadResult::Ok:
            return "ok";
        case MovieReadResult::NotAMovie:
            return "not a Flash movie";
        case MovieReadResult::CutShort:
            return "cut short";
        case MovieReadResult::Corrupt:
            return "damaged";
        case MovieReadResult::TooLarge:
            return "too large to read";
        case MovieReadResult::TooManyTags:
            return "too many tags";
        case MovieReadResult::TooMuchWork:
            return "too much to read";
        case MovieReadResult::Cancelled:
            return "cancelled";
    }
    return "";
}

TMovieReading ReadMovie(std::string_view bytes, const std::atomic<bool>* cancelled)
{
    TMovieReading reading;
    TReadState state(reading, kMaxOfferedBytesPerMovieByte * bytes.size());
    state.cancelled = cancelled;
    reading.result = ReadLevel(bytes, 0, state, reading.details);
    reading.nestedMovies = state.nestedMovies;
    reading.offeredBytes = state.names.OfferedBytes();
    return reading;
}

TMovieReading ReadMovieDetails(std::string_view bytes)
{
    TMovieReading reading;
    TReadState state(reading, 0);
    state.detailsOnly = true;
    reading.result = ReadLevel(bytes.substr(0, kMovieDetailsFileBytes), 0, state, reading.details);
    return reading;
}

QString DescribeMovie(const TMovieDetails& details)
{
    static const char* const kCompression[] = {"not compressed", "compressed with zlib", "compressed with LZMA"};
    QStringList lines;
    lines << QStringLiteral("Flash version %1, %2")
                 .arg(details.version)
                 .arg(QLatin1String(kCompression[static_cast<int>(details.compression)]));
    if (details.hasFrame) {
        lines << QStringLiteral("Stage %1 × %2 pixels").arg(details.stageWidth).arg(details.stageHeight);
        lines << QStringLiteral("%1 frames a second, %2 %3")
                     .arg(details.frameRate, 0, 'g', 4)
                     .arg(details.frameCount)
                     .arg(details.frameCount == 1 ? QStringLiteral("frame") : QStringLiteral("frames"));
        lines << (details.actionScript3 ? QStringLiteral("ActionScript 3") : QStringLiteral("ActionScript 1/2"));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace tessaro
