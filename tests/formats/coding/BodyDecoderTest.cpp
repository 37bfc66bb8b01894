#include "formats/coding/BodyDecoder.h"

#include "support/DecodeBombs.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace tessaro {
namespace {

// windowBits as zlib takes them: 16 + 15 gzip, 15 zlib wrapper, -15 raw.
std::string Deflate(const std::string& data, int windowBits)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, uLong(data.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string Movie(std::size_t size)
{
    std::string movie = "FWS\x0a";
    for (std::size_t i = movie.size(); i < size; ++i)
        movie += char('a' + (i * 7) % 23);
    return movie;
}

// 57 bytes starting "FWS", compressed with Debian's libbrotlienc (quality 11).
const std::string kBrotliMovie(
    "\x1b\x38\x00\xf8\x8d\xd4\x56\x31\xcd\x97\x14\xe9\xe6\x96\xa2\x74\x4b\x36\x05\x9d\x41\x10\x06\xf2\xf2\x56\xf0"
    "\x98\xba\x52\xec\x4c\x54\x28\xb4\x73\x71\x08\xc0\xf2\xf4\x76\xac\xc4\xe6\x02\xa5\xf8\x1d",
    49);

TEST(BodyDecoderTest, UndoesEachCodingBrowsersStore)
{
    const std::string movie = Movie(20847);
    struct Case {
        const char* name;
        std::string encoding;
        std::string coded;
    };
    const Case cases[] = {
        {"none", "", movie},
        {"identity", "identity", movie},
        {"gzip", "gzip", Deflate(movie, 16 + 15)},
        {"x-gzip any case", " X-GZip ", Deflate(movie, 16 + 15)},
        {"zlib deflate", "deflate", Deflate(movie, 15)},
        {"raw deflate", "deflate", Deflate(movie, -15)},
        {"gzip then deflate", "gzip, deflate", Deflate(Deflate(movie, 16 + 15), 15)},
        {"gzip with trailing junk", "gzip", Deflate(movie, 16 + 15) + "junk"},
    };
    const std::string other = Deflate(std::string(9000, 'z'), 16 + 15);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A thread keeps its inflate state for the next body: one left in
        // the middle of another body must leave nothing behind.
        std::string left;
        ASSERT_EQ(DecodeBodyPrefix("gzip", other, 3, left), DecodeResult::Ok);
        std::string decoded;
        ASSERT_EQ(DecodeBody(c.encoding, c.coded, decoded), DecodeResult::Ok);
        EXPECT_EQ(decoded, movie);
        // The same as a stream fed in pieces that split every header somewhere.
        std::string streamed;
        BodyDecoderStream stream(c.encoding, [&streamed](std::string_view piece) {
            EXPECT_LE(piece.size(), BodyDecoderStream::kPieceLength);
            streamed.append(piece);
            return true;
        });
        for (std::size_t at = 0; at < c.coded.size(); at += 7)
            ASSERT_EQ(stream.Feed(std::string_view(c.coded).substr(at, 7)), DecodeResult::Ok);
        EXPECT_EQ(stream.Finish(), DecodeResult::Ok);
        EXPECT_EQ(streamed, movie);
    }
    std::string decoded;
    ASSERT_EQ(DecodeBody("br", kBrotliMovie, decoded), DecodeResult::Ok);
    EXPECT_EQ(decoded.size(), 57u);
    EXPECT_EQ(decoded.substr(0, 3), "FWS");
}

TEST(BodyDecoderTest, NamesEachWayDecodingFails)
{
    const std::string gzip = Deflate(Movie(5000), 16 + 15);
    std::string corrupt = gzip;
    corrupt[12] = char(corrupt[12] ^ 0xff);
    corrupt[13] = char(corrupt[13] ^ 0x55);
    struct Case {
        const char* name;
        std::string encoding;
        std::string coded;
        DecodeResult expected;
    };
    const Case cases[] = {
        {"zstd", "zstd", "whatever", DecodeResult::UnknownEncoding},
        {"unknown among known", "gzip, compress", gzip, DecodeResult::UnknownEncoding},
        {"gzip cut in half", "gzip", gzip.substr(0, gzip.size() / 2), DecodeResult::Truncated},
        {"gzip empty", "gzip", "", DecodeResult::Truncated},
        {"gzip damaged", "gzip", corrupt, DecodeResult::Corrupt},
        {"not gzip at all", "gzip", "FWS plain bytes", DecodeResult::Corrupt},
        {"brotli cut", "br", kBrotliMovie.substr(0, 20), DecodeResult::Truncated},
        {"brotli garbage", "br", std::string(40, '\xff'), DecodeResult::Corrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string decoded;
        EXPECT_EQ(DecodeBody(c.encoding, c.coded, decoded), c.expected)
            << ToString(DecodeBody(c.encoding, c.coded, decoded));
    }
}

TEST(BodyDecoderTest, StopsAtTheLimitInsteadOfFillingMemory)
{
    // 16 MiB of zeros compress to about 16 KiB: a bomb for an unbounded decoder.
    const std::string bomb = Deflate(std::string(16u << 20, '\0'), 16 + 15);
    std::string decoded;
    EXPECT_EQ(DecodeBody("gzip", bomb, decoded, 1 << 20), DecodeResult::TooLarge);
    EXPECT_LE(decoded.size(), std::size_t(1) << 20);
    EXPECT_EQ(DecodeBody("", std::string(100, 'x'), decoded, 99), DecodeResult::TooLarge);
    // Exactly at the limit is fine.
    EXPECT_EQ(DecodeBody("gzip", Deflate(std::string(4096, 'y'), 16 + 15), decoded, 4096), DecodeResult::Ok);
}

// A body coded twice pads to a chosen length with bytes after the end of
// its coded stream (ignored, but part of what was stored).
std::string TwiceGzipped(std::size_t decodedLength, std::size_t codedLength)
{
    std::string coded = Deflate(Deflate(std::string(decodedLength, '\0'), 16 + 15), 16 + 15);
    EXPECT_LE(coded.size(), codedLength);
    coded.resize(codedLength, 'j');
    return coded;
}

// A gzip stream that starts a movie and then only adds empty stored blocks:
// it grows without giving a byte, coded twice more so that little is stored.
std::string GzipThatNeverGives(std::size_t emptyBlocks)
{
    std::string inner("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
    for (std::size_t i = 0; i < emptyBlocks; ++i)
        inner.append("\x00\x00\x00\xff\xff", 5);
    return Deflate(Deflate(inner, 16 + 15), 16 + 15);
}

TEST(BodyDecoderTest, RefusesMoreThanAThousandDecodedBytesPerCodedByte)
{
    constexpr std::uint64_t kRatio = BodyDecoderStream::kMaxDecodeRatio;
    const struct {
        const char* name;
        const char* encoding;
        std::string coded;
        DecodeResult expected;
        std::uint64_t decodedAtMost;
    } rows[] = {
        {"gzip, gzip at the ratio", "gzip, gzip", TwiceGzipped(1000 * kRatio, 1000), DecodeResult::Ok, 1000 * kRatio},
        {"gzip, gzip one byte past it", "gzip, gzip", TwiceGzipped(1000 * kRatio + 1, 1000),
         DecodeResult::TooCompressed, 1000 * kRatio},
        {"16 KiB of brotli giving 128 MiB", "br", test::kBrotliBomb + std::string(16 * 1024 - 212, 'j'),
         DecodeResult::TooCompressed, 16 * 1024 * kRatio},
        {"an inner layer that grows and gives nothing", "gzip, gzip, gzip", GzipThatNeverGives(2'000'000),
         DecodeResult::TooCompressed, 0},
        {"one coding more than the layers taken", "gzip, gzip, gzip, gzip", TwiceGzipped(1000, 1000),
         DecodeResult::UnknownEncoding, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::uint64_t decoded = 0;
        BodyDecoderStream stream(row.encoding, [&decoded](std::string_view piece) {
            decoded += piece.size();
            return true;
        });
        stream.Feed(row.coded);
        EXPECT_EQ(stream.Finish(), row.expected) << ToString(stream.Finish());
        EXPECT_LE(decoded, row.decodedAtMost);
        std::string whole;
        EXPECT_EQ(DecodeBody(row.encoding, row.coded, whole), row.expected);
    }
}

TEST(BodyDecoderTest, PrefixComesFromTheStartOfACutStream)
{
    const std::string movie = Movie(300000);
    const std::string gzip = Deflate(movie, 16 + 15);
    std::string prefix;
    ASSERT_EQ(DecodeBodyPrefix("gzip", gzip.substr(0, 4096), 3, prefix), DecodeResult::Ok);
    EXPECT_EQ(prefix, "FWS");
    ASSERT_EQ(DecodeBodyPrefix("br", kBrotliMovie, 3, prefix), DecodeResult::Ok);
    EXPECT_EQ(prefix, "FWS");
    ASSERT_EQ(DecodeBodyPrefix("gzip, deflate", Deflate(gzip, 15).substr(0, 4096), 3, prefix), DecodeResult::Ok);
    EXPECT_EQ(prefix, "FWS");
    ASSERT_EQ(DecodeBodyPrefix("", "FW", 3, prefix), DecodeResult::Ok);
    EXPECT_EQ(prefix, "FW");
    EXPECT_NE(DecodeBodyPrefix("gzip", "FWS", 3, prefix), DecodeResult::Ok);
}

}  // namespace
}  // namespace tessaro
