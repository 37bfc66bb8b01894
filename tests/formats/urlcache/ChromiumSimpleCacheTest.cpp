#include "formats/urlcache/ChromiumSimpleCache.h"

#include "formats/urlcache/ChromiumResponseInfo.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/browserfiles/CacheEntryBuilder.h"
#include "support/browserfiles/CacheFixtures.h"

#include <gtest/gtest.h>
#include <map>

namespace tessaro {
namespace {

using test::BuildSimpleCacheEntry;
using test::ChromiumRawHeaders;
using test::SimpleCacheEntryParts;

SimpleCacheEntryParts MovieEntryParts()
{
    SimpleCacheEntryParts parts;
    parts.key = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8080/movie.swf";
    parts.body = std::string("FWS\x0a\x1e\0\0\0 body", 14);
    parts.rawHeaders =
        ChromiumRawHeaders({"HTTP/1.1 200 OK", "content-type: application/x-shockwave-flash", "Content-Length: 14"});
    return parts;
}

TEST(ChromiumSimpleCacheTest, ReadsEveryEntryChromiumWrote)
{
    const auto expected = test::ExpectedCacheEntries("chromium_cache");
    ASSERT_EQ(expected.size(), 12u);
    std::map<std::string, std::pair<SimpleCacheResult, CachedResponse>> read;
    for (const auto& file : std::filesystem::directory_iterator(test::FixturesDir() / "chromium/Cache_Data")) {
        if (!IsSimpleCacheEntryName(file.path().filename().string()))
            continue;
        CachedResponse response;
        const SimpleCacheResult result = ReadSimpleCacheEntry(file.path(), response);
        read[response.url] = {result, response};
    }
    ASSERT_EQ(read.size(), expected.size());
    for (const auto& e : expected) {
        SCOPED_TRACE(e.url);
        ASSERT_EQ(read.count(e.url), 1u);
        const auto& [result, response] = read[e.url];
        EXPECT_EQ(response.status, e.status);
        EXPECT_EQ(response.contentType, e.contentType);
        EXPECT_EQ(response.contentEncoding, e.contentEncoding);
        if (e.sparse) {
            // Two ranges of 100,000 bytes out of 299,842 were fetched.
            EXPECT_EQ(result, SimpleCacheResult::SparseIncomplete);
            continue;
        }
        ASSERT_EQ(result, SimpleCacheResult::Ok) << ToString(result);
        std::string body;
        ASSERT_EQ(ReadStoredBody(response, body, 1u << 30), BodyReadResult::Ok);
        EXPECT_EQ(body.size(), *e.storedLength);
        EXPECT_EQ(test::Sha256Hex(body), e.storedSha256);
    }
}

TEST(ChromiumSimpleCacheTest, AcceptsTheLayoutsOfOlderBuilds)
{
    struct Case {
        const char* name;
        SimpleCacheEntryParts parts;
        std::string url;
    };
    std::vector<Case> cases;
    cases.push_back({"Chromium 156", MovieEntryParts(), "http://127.0.0.1:8080/movie.swf"});
    SimpleCacheEntryParts packed = MovieEntryParts();
    packed.packedLayout = true;
    cases.push_back({"20-byte records", packed, "http://127.0.0.1:8080/movie.swf"});
    SimpleCacheEntryParts qt = MovieEntryParts();
    qt.key = "1/0/http://127.0.0.1:18081/movies/cachetest.swf";
    qt.recordStream1Size = true;
    qt.extraFlags = false;
    cases.push_back({"web engine 6.4", qt, "http://127.0.0.1:18081/movies/cachetest.swf"});
    SimpleCacheEntryParts bare = MovieEntryParts();
    bare.key = "http://example.test/a.swf";
    bare.withKeySha256 = false;
    cases.push_back({"bare URL key, no key hash", bare, "http://example.test/a.swf"});
    SimpleCacheEntryParts subframe = MovieEntryParts();
    subframe.key = "1/0/_dk_s_http://a.test http://b.test http://c.test/x/y.swf?q=1";
    cases.push_back({"subframe key", subframe, "http://c.test/x/y.swf?q=1"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = BuildSimpleCacheEntry(c.parts);
        std::string key;
        CachedResponse response;
        ASSERT_EQ(ParseSimpleCacheEntry(MemoryByteSource(bytes), key, response), SimpleCacheResult::Ok);
        EXPECT_EQ(key, c.parts.key);
        EXPECT_EQ(response.url, c.url);
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.contentType, "application/x-shockwave-flash");
        EXPECT_EQ(response.contentLength, 14u);
        ASSERT_EQ(response.body.size(), 1u);
        EXPECT_EQ(bytes.substr(response.body[0].offset, response.body[0].length), c.parts.body);
    }
}

TEST(ChromiumSimpleCacheTest, NamesEachWayAnEntryIsBad)
{
    const std::string good = BuildSimpleCacheEntry(MovieEntryParts());
    auto patched = [&](std::size_t at, const std::string& bytes) {
        std::string copy = good;
        copy.replace(at, bytes.size(), bytes);
        return copy;
    };
    SimpleCacheEntryParts notHttp = MovieEntryParts();
    notHttp.rawHeaders = ChromiumRawHeaders({"garbage"});
    const std::size_t stream0 = 24 + MovieEntryParts().key.size() + 14 + 24;
    // damage: what the walk counts as a damaged entry; the rest is being
    // written or not for us.
    struct Case {
        const char* name;
        std::string bytes;
        SimpleCacheResult expected;
        bool damage;
    };
    const Case cases[] = {
        {"empty", "", SimpleCacheResult::TooShort, false},
        {"being written: no end records", good.substr(0, good.size() / 2), SimpleCacheResult::BadEof, false},
        {"last byte missing", good.substr(0, good.size() - 1), SimpleCacheResult::BadEof, false},
        {"not a cache file", patched(0, "notmagic"), SimpleCacheResult::BadMagic, true},
        {"unknown version", patched(8, std::string("\x06\0\0\0", 4)), SimpleCacheResult::BadVersion, false},
        {"key longer than the file", patched(12, std::string("\xff\xff\0\0", 4)), SimpleCacheResult::BadKey, true},
        {"stream 1 end record moved", patched(24 + MovieEntryParts().key.size() + 14, "XXXXXXXX"),
         SimpleCacheResult::BadStreamSizes, true},
        {"stream 1 size disagrees", patched(24 + MovieEntryParts().key.size() + 14 + 16, std::string("\x05\0\0\0", 4)),
         SimpleCacheResult::BadStreamSizes, true},
        {"stream 0 size too large", patched(good.size() - 8, std::string("\xff\xff\xff\x00", 4)),
         SimpleCacheResult::BadStreamSizes, true},
        {"stream 0 damaged", patched(stream0 + 30, "!"), SimpleCacheResult::BadCrc, true},
        {"stream 0 not a response", BuildSimpleCacheEntry(notHttp), SimpleCacheResult::BadResponseInfo, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string key;
        CachedResponse response;
        const SimpleCacheResult result = ParseSimpleCacheEntry(MemoryByteSource(c.bytes), key, response);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(IsDamage(result), c.damage);
    }
}

TEST(ChromiumSimpleCacheTest, TakesARangedBodyOnlyWhenTheRangesLeaveNoHole)
{
    const test::TempDir dir;
    std::string resource(1000, '\0');
    for (std::size_t i = 0; i < resource.size(); ++i)
        resource[i] = char(i * 31 % 251);
    SimpleCacheEntryParts parts = MovieEntryParts();
    parts.body.clear();
    parts.rawHeaders = ChromiumRawHeaders({"HTTP/1.1 206 Partial Content", "Content-Range: bytes 0-399/1000",
                                           "Content-Length: 1000", "Content-Type: application/x-shockwave-flash"});
    const std::string name = test::SimpleCacheEntryName(parts.key);
    const auto entry = dir.write(name, BuildSimpleCacheEntry(parts));
    const auto sparseName = name.substr(0, 16) + "_s";

    struct Case {
        const char* name;
        std::vector<std::pair<std::uint64_t, std::string>> ranges;
        std::string key;
        SimpleCacheResult expected;
    };
    const Case cases[] = {
        {"out of order and overlapping",
         {{600, resource.substr(600)}, {0, resource.substr(0, 400)}, {300, resource.substr(300, 350)}},
         parts.key,
         SimpleCacheResult::Ok},
        {"a hole in the middle",
         {{0, resource.substr(0, 400)}, {500, resource.substr(500)}},
         parts.key,
         SimpleCacheResult::SparseIncomplete},
        {"the end never fetched", {{0, resource.substr(0, 999)}}, parts.key, SimpleCacheResult::SparseIncomplete},
        {"another entry's ranges", {{0, resource}}, "1/0/http://other/", SimpleCacheResult::BadKey},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write(sparseName, test::BuildSimpleCacheSparse(c.key, c.ranges));
        CachedResponse response;
        ASSERT_EQ(ReadSimpleCacheEntry(entry, response), c.expected);
        if (c.expected != SimpleCacheResult::Ok)
            continue;
        std::string body;
        ASSERT_EQ(ReadStoredBody(response, body, 1u << 20), BodyReadResult::Ok);
        EXPECT_EQ(body, resource);
    }
}

// Both of Chromium's caches key an entry by its URL after what isolates it.
TEST(ChromiumKeyUrlTest, TakesTheUrlAfterWhatIsolatesIt)
{
    const std::pair<const char*, const char*> rows[] = {
        {"http://a.test/m.swf", "http://a.test/m.swf"},
        {"1/0/http://a.test/m.swf", "http://a.test/m.swf"},
        {"12/345/https://a.test/x/m.swf?q=a/b", "https://a.test/x/m.swf?q=a/b"},
        {"_dk_http://a.test http://a.test http://a.test/m.swf", "http://a.test/m.swf"},
        {"1/0/_dk_s_http://a.test http://b.test http://c.test/m.swf", "http://c.test/m.swf"},
        {"a.test/m.swf", "a.test/m.swf"},
        {"cut ", ""},
        {"", ""},
    };
    for (const auto& [key, url] : rows)
        EXPECT_EQ(ChromiumKeyUrl(key), url) << key;
}

}  // namespace
}  // namespace tessaro
