#include "formats/swf/MovieCheck.h"

#include "support/TestMovies.h"

#include <gtest/gtest.h>
#include <string>

namespace tessaro {
namespace {

using test::FwsMovie;
using test::TMovieBuilder;

// A compressed movie whose header declares `declared` (the body's real
// length plus 8 unless told otherwise). At level 9 the byte damaged below
// breaks the stream; at other levels it may only change what it inflates to.
std::string CwsMovie(const std::string& body, std::uint64_t declared = 0)
{
    return TMovieBuilder::Wrap(body, {.signature = 'C', .declared = declared, .zlibLevel = 9});
}

// An LZMA movie, with or without the end marker after the data.
std::string ZwsMovie(const std::string& body, bool endMarker, std::uint64_t declared = 0)
{
    return TMovieBuilder::Wrap(body, {.signature = 'Z', .declared = declared, .lzmaEndMarker = endMarker});
}

TEST(MovieCheckTest, JudgesEachLayoutByItsOwnHeader)
{
    const std::string body = FwsMovie(100'087).substr(8);
    const std::string cws = CwsMovie(body);
    const std::string zws = ZwsMovie(body, false);
    std::string damaged = cws;
    damaged[cws.size() / 2] = static_cast<char>(damaged[cws.size() / 2] ^ 0x5a);
    std::string badChecksum = cws;
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
    constexpr std::uint64_t kCap = 200'000;
    using R = MovieCheckResult;
    struct Row {
        const char* name;
        std::string bytes;
        MovieCheckResult expected;
        const char* reason;
    };
    const Row rows[] = {
        {"FWS complete", FwsMovie(100'087), R::Complete, ""},
        {"FWS cut", FwsMovie(100'087).substr(0, 5000), R::Incomplete, "cut short: 5,000 of 100,087 bytes"},
        // Players read as far as the header says; what follows is kept, not read.
        {"FWS longer than declared", FwsMovie(100'087) + "x", R::Complete, ""},
        {"FWS padded with zeros", FwsMovie(36) + std::string(100'000, '\0'), R::Complete, ""},
        {"FWS header only, padded", FwsMovie(8) + "x", R::Complete, ""},
        {"FWS header only", FwsMovie(8), R::Complete, ""},
        {"FWS declares less than a header", FwsMovie(8, 7), R::NotAMovie, "not a Flash movie"},
        {"FWS declares past the cap", FwsMovie(9, kCap + 1), R::TooLarge, "too large: 200,001 bytes, at most 200,000"},
        {"CWS complete", cws, R::Complete, ""},
        {"CWS junk after the stream", cws + "junk", R::Complete, ""},
        {"CWS cut", cws.substr(0, cws.size() - 10), R::Incomplete, "cut short: "},
        {"CWS inflates past its length", CwsMovie(body, 100'000), R::Complete, ""},
        {"CWS declares only its header", CwsMovie(body, 8), R::Complete, ""},
        {"CWS ends short of its length", CwsMovie(body, 100'100), R::NotAMovie, "not a Flash movie"},
        {"CWS damaged", damaged, R::NotAMovie, "not a Flash movie"},
        {"CWS with a bad checksum", badChecksum + "junk", R::NotAMovie, "not a Flash movie"},
        {"CWS declares past the cap", CwsMovie(body, kCap + 1), R::TooLarge, "too large"},
        {"ZWS complete", zws, R::Complete, ""},
        {"ZWS with end marker", ZwsMovie(body, true), R::Complete, ""},
        {"ZWS cut", zws.substr(0, zws.size() / 2), R::Incomplete, "cut short: "},
        {"ZWS cut in its header", zws.substr(0, 12), R::Incomplete, "cut short: 8 of 100,087 bytes"},
        // Without an end marker the declared length is where the stream ends.
        {"ZWS data past its length", ZwsMovie(body, false, 100'000), R::Complete, ""},
        {"ZWS ends short of its length", ZwsMovie(body, true, 100'100), R::NotAMovie, "not a Flash movie"},
        {"ZWS declares past the cap", ZwsMovie(body, false, kCap + 1), R::TooLarge, "too large"},
        {"HTML error page", "<html><body>Not here</body></html>", R::NotAMovie, "not a Flash movie"},
        {"signature in lower case", "fws\x0a" + FwsMovie(20).substr(4), R::NotAMovie, "not a Flash movie"},
        {"cut in the signature", "FW", R::NotAMovie, "not a Flash movie"},
        {"cut in the length", "CWS\x0a\x10\x00", R::NotAMovie, "not a Flash movie"},
        {"empty", "", R::NotAMovie, "not a Flash movie"},
        {"more bytes than the cap", FwsMovie(kCap) + cws, R::TooLarge, "too large: more than 200,000 bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Whole, then in pieces that split every field somewhere: the same verdict.
        for (const std::size_t piece : {row.bytes.size() + 1, std::size_t(1), std::size_t(7), std::size_t(4099)}) {
            MovieCheck check(kCap);
            for (std::size_t at = 0; at < row.bytes.size(); at += piece)
                check.Feed(std::string_view(row.bytes).substr(at, piece));
            EXPECT_EQ(check.End(), row.expected) << "pieces of " << piece << ": " << check.Reason();
            EXPECT_EQ(check.Reason().rfind(row.reason, 0), 0u) << check.Reason();
            if (row.expected == R::Complete) {
                EXPECT_EQ(check.DecodedLength(), check.DeclaredLength());
            }
        }
    }
}

TEST(MovieCheckTest, AnswersAsSoonAsTheFirstBytesSettleIt)
{
    MovieCheck page(1 << 20);
    EXPECT_EQ(page.Feed("<!DOCTYPE html>"), MovieCheckResult::NotAMovie);
    MovieCheck huge(1 << 20);
    EXPECT_EQ(huge.Feed(FwsMovie(8, 900u << 20)), MovieCheckResult::TooLarge);
    MovieCheck cut(1 << 20);
    EXPECT_EQ(cut.Feed(FwsMovie(100'087).substr(0, 5000)), MovieCheckResult::Incomplete);
    EXPECT_EQ(cut.Reason(), "cut short: 5,000 of 100,087 bytes");
}

}  // namespace
}  // namespace tessaro
