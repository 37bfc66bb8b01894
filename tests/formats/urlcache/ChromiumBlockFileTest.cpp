#include "formats/urlcache/ChromiumBlockFile.h"

#include "formats/coding/BodyDecoder.h"
#include "formats/urlcache/ChromiumResponseInfo.h"
#include "support/TestEnvironment.h"
#include "support/browserfiles/CacheFixtures.h"

#include <QFile>

#include <gtest/gtest.h>
#include <map>

namespace tessaro {
namespace {

const std::filesystem::path kFixture = test::FixturesDir() / "chromium-blockfile";

std::string FileBytes(const std::filesystem::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// A look, its views copied out of the window they were read through.
struct Look {
    std::string key, head;
    BlockFileHead place;
};

// The look the walk takes first, where the entries lie, agrees with the full
// read of every entry both read; it gives up on a sparse body only, and reads
// a head as HTTP or a body past a separate file's end only where the walk
// checks that itself. The number of entries looked at.
std::size_t ExpectLookAgreesWithRead(CacheFiles& files)
{
    BlockFileIndex index;
    if (IndexBlockFileCache(files, index) != BlockFileResult::Ok)
        return 0;
    std::map<std::size_t, Look> looks;
    LookAtBlockFileEntries(files, index, [&looks](std::size_t nth, const BlockFileHead& head) {
        EXPECT_EQ(looks.count(nth), 0u) << "looked at twice";
        looks[nth] = {std::string(head.key), std::string(head.head), head};
    });
    for (std::size_t nth = 0; nth < index.order.size(); ++nth) {
        SCOPED_TRACE(nth);
        IndexedCacheEntry read;
        const auto found = looks.find(nth);
        const bool wasRead = BlockFileResponse(files, index, nth, read);
        if (found == looks.end()) {
            EXPECT_TRUE(!wasRead || read.response.body.size() > 1);
            continue;
        }
        const BlockFileHead& look = found->second.place;
        CachedResponse head;
        ParseResponseHead(found->second.head, std::string_view("\0", 1), head);
        if (!wasRead) {
            EXPECT_TRUE(head.status == 0 || look.bodySeparate);
            continue;
        }
        EXPECT_EQ(ChromiumKeyUrl(found->second.key), read.response.url);
        EXPECT_EQ(head.status, read.response.status);
        EXPECT_EQ(head.contentType, read.response.contentType);
        EXPECT_EQ(head.contentEncoding, read.response.contentEncoding);
        EXPECT_EQ(look.truncated, read.response.truncated);
        EXPECT_EQ(look.bodyLength, read.response.StoredSize());
        if (look.bodyLength > 0) {
            EXPECT_EQ(BlockFileBodyName(look.bodySeparate, look.bodyFile), read.bodyFile);
            EXPECT_EQ(look.bodyOffset, read.bodyOffset);
            EXPECT_EQ(look.bodySource, read.bodySource);
        }
    }
    return looks.size();
}

TEST(ChromiumBlockFileTest, GivesEveryResponseChromiumStoredDecodedIntact)
{
    const auto expected = test::ExpectedCacheEntries("", kFixture / "expected.json");
    ASSERT_EQ(expected.size(), 11u);
    FolderCacheFiles files(kFixture / "Cache_Data");
    std::vector<IndexedCacheEntry> entries;
    ASSERT_EQ(ReadBlockFileCache(files, entries), BlockFileResult::Ok);
    std::map<std::string, const IndexedCacheEntry*> byUrl;
    std::int64_t previous = 0;
    for (const IndexedCacheEntry& entry : entries) {
        byUrl[entry.response.url] = &entry;
        EXPECT_GE(entry.time, previous) << "oldest first";
        previous = entry.time;
    }
    int movies = 0;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.url);
        ASSERT_EQ(byUrl.count(e.url), 1u);
        const CachedResponse& response = byUrl[e.url]->response;
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.contentType, e.contentType);
        EXPECT_EQ(response.contentEncoding, e.contentEncoding);
        std::string stored, decoded;
        ASSERT_EQ(ReadStoredBody(response, stored, 1u << 30), BodyReadResult::Ok);
        ASSERT_EQ(DecodeBody(response.contentEncoding, stored, decoded, 1u << 30), DecodeResult::Ok);
        EXPECT_EQ(decoded.size(), *e.decodedLength);
        EXPECT_EQ(test::Sha256Hex(decoded), e.decodedSha256);
        movies += e.isSwf;
    }
    EXPECT_EQ(movies, 7);
    // Two ranges of 100,000 bytes of 299,842 were fetched: a body with a hole.
    for (const IndexedCacheEntry& entry : entries)
        EXPECT_EQ(entry.response.url.find("sparse.swf"), std::string::npos);
    // Every entry but the sparse one is looked at in place.
    std::size_t sparse = 0;
    for (const IndexedCacheEntry& entry : entries)
        sparse += entry.response.body.size() > 1;
    EXPECT_EQ(ExpectLookAgreesWithRead(files), entries.size() - sparse);
    FolderCacheFiles windowed(kFixture / "Cache_Data", 0);
    EXPECT_EQ(ExpectLookAgreesWithRead(windowed), entries.size() - sparse);
}

// Damage to a real cache, each in one place: the walk ends, keeps what it can
// still read, and reads nothing outside the files.
TEST(ChromiumBlockFileTest, StopsAtDamageWithoutLosingTheRest)
{
    std::map<std::string, std::string> real;
    for (const char* name : {"index", "data_0", "data_1", "data_2", "data_3", "f_000001", "f_000002"})
        real[name] = FileBytes(kFixture / "Cache_Data" / name);
    std::vector<IndexedCacheEntry> intact;
    MemoryCacheFiles intactFiles(real);
    ASSERT_EQ(ReadBlockFileCache(intactFiles, intact), BlockFileResult::Ok);
    // The bucket of movie.swf (alone in its chain) and its entry's place in data_1.
    std::size_t bucket = 368, entry = 0;
    for (; bucket < real["index"].size(); bucket += 4) {
        const auto* at = reinterpret_cast<const unsigned char*>(real["index"].data() + bucket);
        entry = 8192 + (std::size_t(at[0]) | std::size_t(at[1]) << 8) * 256;
        if (at[3] != 0 && real["data_1"].substr(entry + 96, 160).find("/movie.swf") != std::string::npos)
            break;
    }
    ASSERT_LT(bucket, real["index"].size());
    const std::string self(real["index"], bucket, 4);

    struct Case {
        const char* name;
        std::string file;
        std::size_t at;
        std::string bytes;
        BlockFileResult result;
        std::size_t lost;     // entries fewer than intact
        const char* damaged;  // the first damaged entry's file and why; null: none
    };
    const Case cases[] = {
        {"not an index", "index", 0, "XXXX", BlockFileResult::BadMagic, intact.size(), nullptr},
        {"unknown version", "index", 4, std::string("\0\0\x09\0", 4), BlockFileResult::BadVersion, intact.size(),
         nullptr},
        {"table longer than the index", "index", 28, std::string("\0\0\0\x01", 4), BlockFileResult::BadTable,
         intact.size(), nullptr},
        {"table not a power of two", "index", 28, std::string("\x03\0\0\0", 4), BlockFileResult::BadTable,
         intact.size(), nullptr},
        {"a chain that comes back to itself", "data_1", entry + 4, self, BlockFileResult::Ok, 0, nullptr},
        {"a bucket outside data_1", "index", bucket + 1, "\xff", BlockFileResult::Ok, 1,
         "data_1: entry record: bad address"},
        {"a key longer than its blocks", "data_1", entry + 32, std::string("\xff\x03\0\0", 4), BlockFileResult::Ok, 1,
         "data_1: entry record: bad entry"},
        {"a body outside its block file", "data_1", entry + 60, std::string("\xff\xff\x02\xa3", 4), BlockFileResult::Ok,
         1, "data_2: body: bad magic"},
        {"data_1 is another file", "data_1", 0, "XXXX", BlockFileResult::Ok, intact.size(),
         "data_1: entry record: bad magic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto files = real;
        files[c.file].replace(c.at, c.bytes.size(), c.bytes);
        MemoryCacheFiles damaged(files);
        std::vector<IndexedCacheEntry> entries;
        DamagedEntries noted;
        EXPECT_EQ(ReadBlockFileCache(damaged, entries, &noted), c.result);
        EXPECT_EQ(entries.size(), intact.size() - c.lost);
        EXPECT_EQ(noted.count == 0 ? "" : noted.firstFile + ": " + noted.firstReason, c.damaged ? c.damaged : "");
        ExpectLookAgreesWithRead(damaged);
    }
}

}  // namespace
}  // namespace tessaro
