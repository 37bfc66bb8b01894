#include "formats/urlcache/FirefoxCache1.h"

#include "formats/coding/BodyDecoder.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/browserfiles/OldCacheBuilder.h"

#include <gtest/gtest.h>
#include <map>
#include <zlib.h>

namespace tessaro {
namespace {

// A real cache whose map was never written past its header: the entries are
// found in the block files, and a body only in its separate file, by the
// hash of its key.
TEST(FirefoxCache1Test, ReadsTheEntriesOfARealCacheWithTheirAddresses)
{
    struct Row {
        const char* url;
        int status;
        const char* contentType;
        const char* contentEncoding;
        std::uint64_t body;  // found in a separate file; 0: not found or none
    };
    const Row rows[] = {
        {"http://ocsp.digicert.com/", 200, "application/ocsp-response", "", 0},
        {"http://ocsp.digicert.com/", 200, "application/ocsp-response", "", 0},
        {"http://www.google.com/search?q=plaso+log2timeline&ie=utf-8&oe=utf-8&aq=t&rls=org.mozilla:en-US:official&"
         "client=firefox-a",
         200, "text/html; charset=UTF-8", "gzip", 21480},
        {"http://www.google.com/xjs/_/js/k=xjs.hp.en.mpb1WB2NNYY.O/m=sb_he,d/rt=j/d=1/"
         "rs=ACT90oGih-7xKAMacGD5URLcVNRPtQs6JA",
         200, "text/javascript; charset=UTF-8", "gzip", 52133},
        {"http://www.google.com/images/nav_logo229.png", 200, "image/png", "", 0},
        {"http://clients1.google.com/generate_204", 204, "", "", 0},
        {"http://www.google.com/client_204?&atyp=i&biw=959&bih=617&ei=yGBhW66SLJLOwQLj46eADg", 204,
         "text/html; charset=UTF-8", "", 0},
        {"http://ocsp.pki.goog/GTSGIAG3", 200, "application/ocsp-response", "", 0},
        {"http://ocsp.pki.goog/gsr2", 200, "application/ocsp-response", "", 0},
        {"http://www.google.com/images/branding/product/ico/googleg_lodp.ico", 200, "image/x-icon", "gzip", 0},
        {"http://ssl.gstatic.com/gb/js/sem_c87908b20b80e337d7767b3e66715ee0.js", 200, "text/javascript", "gzip", 20631},
        {"https://ssl.gstatic.com/gb/images/b_8d5afc09.png", 200, "image/png", "", 0},
        {"https://sb-ssl.google.com/safebrowsing/newkey?client=navclient-auto-ffox&appver=4.0&pver=2.2", 200,
         "application/vnd.google.safebrowsing-key", "", 0},
    };
    FolderCacheFiles files(test::FixturesDir() / "old-caches/firefox_cache1");
    std::vector<IndexedCacheEntry> entries;
    ASSERT_EQ(ReadFirefoxCache1(files, entries), Cache1Result::Ok);
    ASSERT_EQ(entries.size(), std::size(rows));
    std::multimap<std::string, const IndexedCacheEntry*> byUrl;
    for (const IndexedCacheEntry& entry : entries)
        byUrl.emplace(entry.response.url, &entry);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        const auto found = byUrl.find(row.url);
        ASSERT_NE(found, byUrl.end());
        const CachedResponse& response = found->second->response;
        byUrl.erase(found);
        EXPECT_EQ(response.status, row.status);
        EXPECT_EQ(response.contentType, row.contentType);
        EXPECT_EQ(response.contentEncoding, row.contentEncoding);
        EXPECT_EQ(response.StoredSize(), row.body);
        if (row.body == 0)
            continue;
        std::string stored, decoded;
        ASSERT_EQ(ReadStoredBody(response, stored, 1u << 20), BodyReadResult::Ok);
        EXPECT_EQ(DecodeBody(response.contentEncoding, stored, decoded, 1u << 24), DecodeResult::Ok);
    }
}

std::string Movie(std::size_t length)
{
    std::string movie = "FWS";
    movie += char(10);
    for (int i = 0; i < 4; ++i)
        movie += char(length >> (8 * i));
    while (movie.size() < length)
        movie += char(movie.size() * 7);
    return movie;
}

std::string Gzipped(const std::string& bytes)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY);
    std::string out(bytes.size() + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Built caches of that layout, from every version's form, with movies in each
// place a body can lie.
TEST(FirefoxCache1Test, GivesTheMoviesOfEachFormAndPlace)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n";
    const std::string gzipHead = head + "Content-Encoding: gzip\r\n";
    struct Case {
        const char* name;
        std::uint32_t version;
        test::Cache1EntryParts entry;
        std::string url;
        std::string movie;
    };
    const Case cases[] = {
        {"in a 256-byte block file", 0x00010013, {"HTTP:http://a.test/small.swf", head, Movie(200), 5}, "", Movie(200)},
        {"in a 4 KiB block file", 0x00010013, {"HTTP:http://a.test/mid.swf", head, Movie(9000), 6}, "", Movie(9000)},
        {"in a separate file", 0x00010013, {"HTTP:http://a.test/big.swf", head, Movie(70000), 7}, "", Movie(70000)},
        {"coded on the wire",
         0x00010013,
         {"HTTP:http://a.test/gz.swf", gzipHead, Gzipped(Movie(30000)), 8},
         "",
         Movie(30000)},
        {"a POST's key",
         0x00010013,
         {"HTTP:id=5b6160c9&uri=http://a.test/post.swf", head, Movie(300), 9},
         "http://a.test/post.swf",
         Movie(300)},
        {"metadata in a separate file",
         0x00010013,
         {"HTTP:http://a.test/meta.swf", head, Movie(100), 10, true},
         "",
         Movie(100)},
        {"Firefox 3: small bitmaps, flat names",
         0x0001000c,
         {":http://a.test/old.swf", head, Movie(70000), 11},
         "",
         Movie(70000)},
        {"Firefox 3: in a 1 KiB block file",
         0x0001000c,
         {":http://a.test/old1k.swf", head, Movie(2000), 12},
         "",
         Movie(2000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        test::WriteFirefoxCache1(dir.path(), {c.version, {c.entry}});
        FolderCacheFiles files(dir.path());
        std::vector<IndexedCacheEntry> entries;
        ASSERT_EQ(ReadFirefoxCache1(files, entries), Cache1Result::Ok);
        ASSERT_EQ(entries.size(), 1u);
        const CachedResponse& response = entries[0].response;
        EXPECT_EQ(response.url, c.url.empty() ? c.entry.key.substr(c.entry.key.find(':') + 1) : c.url);
        EXPECT_EQ(entries[0].time, c.entry.lastModified);
        std::string stored, decoded;
        ASSERT_EQ(ReadStoredBody(response, stored, 1u << 24), BodyReadResult::Ok);
        ASSERT_EQ(DecodeBody(response.contentEncoding, stored, decoded, 1u << 24), DecodeResult::Ok);
        EXPECT_EQ(decoded, c.movie);
    }
}

// Damage to a built cache, each in one place: the reader stays inside the
// files and keeps what it can still read.
TEST(FirefoxCache1Test, StaysInsideADamagedCache)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n";
    const test::Cache1EntryParts entry{"HTTP:http://a.test/m.swf", head, Movie(200), 5};
    const std::uint32_t bucket = Cache1KeyHash(entry.key) & 31;
    const std::size_t record = 276 + bucket * 16 * 16, usage = 148 + 4 * bucket;
    struct Case {
        const char* name;
        std::string file;
        std::size_t at;
        std::string bytes;
        Cache1Result result;
        std::size_t entries;
        std::uint64_t body;
        const char* damaged;  // why the first damaged entry is; null: none
    };
    const Case cases[] = {
        {"intact", "_CACHE_MAP_", 0, std::string("\0\x01", 2), Cache1Result::Ok, 1, 200, nullptr},
        {"another major version", "_CACHE_MAP_", 0, std::string("\0\x02", 2), Cache1Result::BadVersion, 0, 0, nullptr},
        {"data past the block file", "_CACHE_MAP_", record + 8, std::string("\x90\x00\xff\xff", 4), Cache1Result::Ok, 0,
         0, "data location outside its file"},
        {"metadata past its blocks", "_CACHE_001_", 16384 + 256 + 32, std::string("\x00\x10\x00\x00", 4),
         Cache1Result::Ok, 0, 0, "no metadata entry at its location"},
        {"a bucket using more records than it has", "_CACHE_MAP_", usage, "\xff\xff\xff\xff", Cache1Result::Ok, 1, 200,
         nullptr},
        {"no records written: found in the block file, its body unknown", "_CACHE_MAP_", 16, std::string(4, '\0'),
         Cache1Result::Ok, 1, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        test::WriteFirefoxCache1(dir.path(), {0x00010013, {entry}});
        std::string bytes = test::TempDir::read(dir.path() / c.file);
        bytes.replace(c.at, c.bytes.size(), c.bytes);
        dir.write(c.file, bytes);
        FolderCacheFiles files(dir.path());
        std::vector<IndexedCacheEntry> entries;
        DamagedEntries noted;
        EXPECT_EQ(ReadFirefoxCache1(files, entries, &noted), c.result);
        EXPECT_EQ(noted.firstReason, c.damaged ? c.damaged : "");
        ASSERT_EQ(entries.size(), c.entries);
        if (c.entries > 0) {
            EXPECT_EQ(entries[0].response.url, "http://a.test/m.swf");
            EXPECT_EQ(entries[0].response.StoredSize(), c.body);
        }
    }
}

}  // namespace
}  // namespace tessaro
