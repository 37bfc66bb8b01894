#include "formats/urlcache/FirefoxCache2.h"

#include "support/TestEnvironment.h"
#include "support/browserfiles/CacheEntryBuilder.h"
#include "support/browserfiles/CacheFixtures.h"

#include <gtest/gtest.h>
#include <map>

namespace tessaro {
namespace {

using test::BuildCache2Entry;
using test::Cache2EntryParts;

Cache2EntryParts MovieEntryParts()
{
    Cache2EntryParts parts;
    parts.key = "O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:8080/movie.swf";
    parts.body = "FWS\x0a movie bytes";
    parts.elements = {{"request-method", "GET"},
                      {"response-head",
                       "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\nContent-Encoding: gzip\r\n"
                       "Content-Length: 15\r\n"}};
    return parts;
}

TEST(FirefoxCache2Test, ReadsEveryEntryFirefoxWrote)
{
    std::map<std::string, CachedResponse> read;
    for (const auto& file : std::filesystem::directory_iterator(test::FixturesDir() / "firefox/cache2/entries")) {
        CachedResponse response;
        const Cache2Result result = ReadCache2Entry(file.path(), response);
        ASSERT_EQ(result, Cache2Result::Ok) << file.path() << ": " << ToString(result);
        read[response.url] = response;
    }
    const auto expected = test::ExpectedCacheEntries("firefox_cache");
    ASSERT_EQ(expected.size(), 15u);
    for (const auto& e : expected) {
        SCOPED_TRACE(e.url);
        ASSERT_EQ(read.count(e.url), 1u);
        const CachedResponse& response = read[e.url];
        EXPECT_EQ(response.status, e.status);
        EXPECT_EQ(response.contentType, e.contentType);
        EXPECT_EQ(response.contentEncoding, e.contentEncoding);
        std::string body;
        ASSERT_EQ(ReadStoredBody(response, body, 1u << 30), BodyReadResult::Ok);
        EXPECT_EQ(test::Sha256Hex(body), e.storedSha256);
    }
    // The start page keeps compiled script after its HTML (alt-data).
    ASSERT_EQ(read.count("about:home"), 1u);
    EXPECT_EQ(read["about:home"].StoredSize(), 10615u);
    EXPECT_EQ(read["about:home"].status, 0);
}

TEST(FirefoxCache2Test, ReadsEveryMetadataVersion)
{
    for (std::uint32_t version = 1; version <= 4; ++version) {
        SCOPED_TRACE(version);
        Cache2EntryParts parts = MovieEntryParts();
        parts.version = version;
        const std::string bytes = BuildCache2Entry(parts);
        CachedResponse response;
        ASSERT_EQ(ParseCache2Entry(MemoryByteSource(bytes), response), Cache2Result::Ok);
        EXPECT_EQ(response.url, "http://127.0.0.1:8080/movie.swf");
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.contentType, "application/x-shockwave-flash");
        EXPECT_EQ(response.contentEncoding, "gzip");
        EXPECT_EQ(response.StoredSize(), parts.body.size());
    }
    // A body of more than one 256 KiB chunk has one chunk hash per chunk.
    Cache2EntryParts big = MovieEntryParts();
    big.body.assign(600 * 1024, 'b');
    CachedResponse response;
    ASSERT_EQ(ParseCache2Entry(MemoryByteSource(BuildCache2Entry(big)), response), Cache2Result::Ok);
    EXPECT_EQ(response.StoredSize(), big.body.size());
    EXPECT_EQ(response.status, 200);
}

TEST(FirefoxCache2Test, TakesTheUrlAfterTheTags)
{
    const std::pair<const char*, const char*> cases[] = {
        {":http://a.test/m.swf", "http://a.test/m.swf"},
        {"a,:http://a.test/m.swf", "http://a.test/m.swf"},
        {"O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1/m.swf", "http://127.0.0.1/m.swf"},
        {"O^x=1,,y:z,a,~1234,:http://a.test/m.swf?a,b", "http://a.test/m.swf?a,b"},
        {":about:home", "about:home"},
        {"a,", ""},
        {"O^x=1,,:not-a-url", ""},
    };
    for (const auto& [key, url] : cases)
        EXPECT_EQ(Cache2KeyUrl(key), url) << key;
}

TEST(FirefoxCache2Test, NamesEachWayAnEntryIsBad)
{
    auto build = [](auto change) {
        Cache2EntryParts parts = MovieEntryParts();
        change(parts);
        return BuildCache2Entry(parts);
    };
    const std::string good = BuildCache2Entry(MovieEntryParts());
    std::string beyond = good;
    beyond[beyond.size() - 2] = '\x7f';
    std::string noNul = good;
    noNul[MovieEntryParts().body.size() + 4 + 2 + 32 + MovieEntryParts().key.size()] = 'x';
    // damage: what the walk counts as a damaged entry; the rest is being
    // written or not for us.
    struct Case {
        const char* name;
        std::string bytes;
        Cache2Result expected;
        bool damage;
    };
    const Case cases[] = {
        {"empty", "", Cache2Result::TooShort, false},
        {"body only, metadata not written yet", std::string(4000, 'F'), Cache2Result::NoMetadata, false},
        {"offset past the end", beyond, Cache2Result::BadOffset, true},
        {"encrypted by the trailer", build([](auto& s) { s.encryptedOffset = true; }), Cache2Result::Encrypted, false},
        {"encrypted by the flags", build([](auto& s) { s.flags = 2; }), Cache2Result::Encrypted, false},
        {"unknown version", build([](auto& s) { s.version = 9; }), Cache2Result::BadVersion, false},
        {"key without its NUL", noNul, Cache2Result::BadKey, true},
        {"key without a URL", build([](auto& s) { s.key = "a,"; }), Cache2Result::BadKey, true},
        {"alt-data past the body", build([](auto& s) {
             s.elements.push_back({"alt-data", "1;999,js"});
         }),
         Cache2Result::BadAltData, true},
        {"alt-data unreadable", build([](auto& s) {
             s.elements.push_back({"alt-data", "garbage"});
         }),
         Cache2Result::BadAltData, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CachedResponse response;
        const Cache2Result result = ParseCache2Entry(MemoryByteSource(c.bytes), response);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(IsDamage(result), c.damage);
    }
    CachedResponse response;
    ASSERT_EQ(ParseCache2Entry(MemoryByteSource(build([](auto& s) {
                                   s.elements.push_back({"alt-data", "1;4,js"});
                               })),
                               response),
              Cache2Result::Ok);
    EXPECT_EQ(response.StoredSize(), 4u);
}

}  // namespace
}  // namespace tessaro
