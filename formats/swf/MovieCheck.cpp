#include "formats/swf/MovieCheck.h"

#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <array>
#include <lzma.h>
#include <zlib.h>

namespace tessaro {

namespace {

constexpr std::size_t kHeaderLength = 8;
// ZWS adds the LZMA data's length (u32) and the 5 bytes of LZMA properties.
constexpr std::size_t kZwsHeaderLength = 17;
// Decompressed bytes go through a buffer of this size and are only counted.
constexpr std::size_t kScratchLength = 64 * 1024;
// An LZMA stream names its own dictionary size; memory beyond this is refused
// (the dictionary is first cut to the body's length, which it never needs to pass).
constexpr std::uint64_t kMaxLzmaMemory = 64 * 1024 * 1024;
constexpr std::uint32_t kMinLzmaDictionary = 4096;

bool IsSignaturePrefix(std::string_view bytes)
{
    for (std::string_view signature : {"FWS", "CWS", "ZWS"}) {
        if (signature.substr(0, bytes.size()) == bytes.substr(0, signature.size()))
            return true;
    }
    return false;
}

}  // namespace

struct MovieCheck::Inflater {
    z_stream stream{};
    bool ready = false;
    Inflater() { ready = inflateInit(&stream) == Z_OK; }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&stream);
    }
};

struct MovieCheck::LzmaDecoder {
    lzma_stream stream = LZMA_STREAM_INIT;
    ~LzmaDecoder() { lzma_end(&stream); }
};

std::string GroupedCount(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, ',');
    return digits;
}

MovieCheck::MovieCheck(std::uint64_t maxLength) : maxLength_(maxLength)
{
}

MovieCheck::~MovieCheck() = default;

MovieCheckResult MovieCheck::Feed(std::string_view bytes)
{
    if (result_ == MovieCheckResult::NotAMovie || result_ == MovieCheckResult::TooLarge || bytes.empty())
        return result_;
    fed_ += bytes.size();
    if (signature_ == 0 || header_.size() < (signature_ == 'Z' ? kZwsHeaderLength : kHeaderLength)) {
        ReadHeader(bytes);
        if (result_ == MovieCheckResult::NotAMovie || result_ == MovieCheckResult::TooLarge || bytes.empty())
            return result_;
    }
    // Whatever follows the body is not read, but it is not free either.
    if (fed_ > maxLength_)
        return Set(MovieCheckResult::TooLarge);
    return FeedBody(bytes);
}

MovieCheckResult MovieCheck::ReadHeader(std::string_view& bytes)
{
    const std::size_t wanted = header_.size() < kHeaderLength || signature_ != 'Z' ? kHeaderLength : kZwsHeaderLength;
    const std::size_t take = std::min(bytes.size(), wanted - header_.size());
    header_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (!IsSignaturePrefix(header_))
        return Set(MovieCheckResult::NotAMovie);
    if (header_.size() < kHeaderLength)
        return result_;
    if (signature_ == 0) {
        signature_ = header_[0];
        declared_ = LoadLe32(header_.data() + 4);
        decoded_ = kHeaderLength;
        if (declared_ < kHeaderLength)
            return Set(MovieCheckResult::NotAMovie);
        if (declared_ > maxLength_)
            return Set(MovieCheckResult::TooLarge);
        if (signature_ == 'Z')
            return ReadHeader(bytes);
    }
    if (signature_ == 'F')
        return declared_ == kHeaderLength ? Set(MovieCheckResult::Complete) : result_;
    if (signature_ == 'C') {
        inflater_ = std::make_unique<Inflater>();
        if (!inflater_->ready)
            return Set(MovieCheckResult::NotAMovie);
        return declared_ == kHeaderLength ? Set(MovieCheckResult::Complete) : result_;
    }
    if (header_.size() < kZwsHeaderLength)
        return result_;

    // liblzma reads the ".lzma" layout: the 5 property bytes, then the
    // decoded length as a u64. The stream may or may not end with a marker.
    lzma_ = std::make_unique<LzmaDecoder>();
    if (lzma_alone_decoder(&lzma_->stream, kMaxLzmaMemory) != LZMA_OK)
        return Set(MovieCheckResult::NotAMovie);
    const std::uint64_t bodyLength = declared_ - kHeaderLength;
    const std::uint32_t dictionary = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        LoadLe32(header_.data() + 13), std::max<std::uint64_t>(bodyLength, kMinLzmaDictionary)));
    std::array<std::uint8_t, 13> alone{};
    alone[0] = static_cast<std::uint8_t>(header_[12]);
    for (std::size_t i = 0; i < 4; ++i)
        alone[1 + i] = static_cast<std::uint8_t>(dictionary >> (8 * i));
    for (std::size_t i = 0; i < 8; ++i)
        alone[5 + i] = static_cast<std::uint8_t>(bodyLength >> (8 * i));
    return FeedBody(std::string_view(reinterpret_cast<const char*>(alone.data()), alone.size()));
}

std::size_t MovieCheck::Wanted() const
{
    return static_cast<std::size_t>(std::min<std::uint64_t>(kScratchLength, declared_ - decoded_));
}

MovieCheckResult MovieCheck::Decoded(std::uint64_t produced)
{
    decoded_ += produced;
    return decoded_ == declared_ ? Set(MovieCheckResult::Complete) : result_;
}

MovieCheckResult MovieCheck::FeedBody(std::string_view bytes)
{
    // Past the body nothing is read, as players do not.
    if (streamEnded_)
        return result_;
    if (signature_ == 'F') {
        streamEnded_ =
            Decoded(std::min<std::uint64_t>(bytes.size(), declared_ - decoded_)) == MovieCheckResult::Complete;
        return result_;
    }
    // The decoders give at most what the header still wants, so a stream that
    // goes on past it costs no decoding.
    std::array<unsigned char, kScratchLength> scratch;
    if (signature_ == 'C') {
        z_stream& stream = inflater_->stream;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream.avail_in = static_cast<uInt>(bytes.size());
        while (true) {
            // Once the body is whole, one byte more tells a stream that goes on
            // (kept, not read) from one that ends there and has its checksum checked.
            const bool whole = result_ == MovieCheckResult::Complete;
            const std::size_t wanted = whole ? 1 : Wanted();
            const uInt before = stream.avail_in;
            stream.next_out = scratch.data();
            stream.avail_out = static_cast<uInt>(wanted);
            const int status = inflate(&stream, Z_NO_FLUSH);
            const std::size_t produced = wanted - stream.avail_out;
            if (whole ? produced != 0 || status == Z_STREAM_END
                      : Decoded(produced) == MovieCheckResult::Complete && status == Z_STREAM_END) {
                streamEnded_ = true;
                return result_;
            }
            if (status == Z_STREAM_END) {  // short of what the header declares
                streamEnded_ = true;
                return Set(MovieCheckResult::NotAMovie);
            }
            if (status != Z_OK && status != Z_BUF_ERROR)
                return Set(MovieCheckResult::NotAMovie);
            if (stream.avail_in == 0 || (stream.avail_in == before && produced == 0))
                return result_;
        }
    }
    lzma_stream& stream = lzma_->stream;
    stream.next_in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    stream.avail_in = bytes.size();
    while (true) {
        const std::size_t wanted = Wanted();
        stream.next_out = scratch.data();
        stream.avail_out = wanted;
        const lzma_ret status = lzma_code(&stream, LZMA_RUN);
        // With the length known the body ends there, end marker or not (liblzma
        // 5.4.1 can fail on a marker that arrives in pieces).
        if (Decoded(wanted - stream.avail_out) == MovieCheckResult::Complete) {
            streamEnded_ = true;
            return result_;
        }
        if (status == LZMA_STREAM_END) {  // short of what the header declares
            streamEnded_ = true;
            return Set(MovieCheckResult::NotAMovie);
        }
        if (status == LZMA_MEMLIMIT_ERROR)
            return Set(MovieCheckResult::TooLarge);
        if (status != LZMA_OK && status != LZMA_BUF_ERROR)
            return Set(MovieCheckResult::NotAMovie);
        if (stream.avail_in == 0 && stream.avail_out != 0)
            return result_;
    }
}

MovieCheckResult MovieCheck::End()
{
    if (result_ == MovieCheckResult::Incomplete && declared_ == 0)
        return Set(MovieCheckResult::NotAMovie);
    return result_;
}

std::string MovieCheck::Reason() const
{
    switch (result_) {
        case MovieCheckResult::Complete:
            return {};
        case MovieCheckResult::Incomplete:
            if (declared_ == 0)
                return "cut short in its header";
            return "cut short: " + GroupedCount(decoded_) + " of " + GroupedCount(declared_) + " bytes";
        case MovieCheckResult::NotAMovie:
            return "not a Flash movie";
        case MovieCheckResult::TooLarge:
            if (declared_ > maxLength_)
                return "too large: " + GroupedCount(declared_) + " bytes, at most " + GroupedCount(maxLength_);
            return "too large: more than " + GroupedCount(maxLength_) + " bytes";
    }
    return {};
}

}  // namespace tessaro
