#include "formats/urlcache/FirefoxCache1.h"

#include "formats/coding/BodyDecoder.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/browserfiles/OldCacheBuilder.h"

#include <cstdio>
#include <filesystem>
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
// place a body can lie, and with maps never written, whose entries are
// searched for in the block files and the separate metadata files.
TEST(FirefoxCache1Test, GivesTheMoviesOfEachFormAndPlace)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n";
    const std::string gzipHead = head + "Content-Encoding: gzip\r\n";
    const std::string longKey = "HTTP:http://a.test/long.swf?" + std::string(20000, 'q');
    const std::string longHead = head + "X-Padding: " + std::string(20000, 'p') + "\r\n";
    constexpr std::uint32_t kFirefox4 = 0x00010013, kFirefox3 = 0x0001000c;
    struct Case {
        const char* name;
        test::Cache1Parts parts;  // one entry
        std::string url;
        std::string movie;
    };
    const Case cases[] = {
        {"in a 256-byte block file",
         {kFirefox4, {{"HTTP:http://a.test/small.swf", head, Movie(200), 5}}},
         "",
         Movie(200)},
        {"in a 4 KiB block file", {kFirefox4, {{"HTTP:http://a.test/mid.swf", head, Movie(9000), 6}}}, "", Movie(9000)},
        {"in a separate file", {kFirefox4, {{"HTTP:http://a.test/big.swf", head, Movie(70000), 7}}}, "", Movie(70000)},
        {"coded on the wire",
         {kFirefox4, {{"HTTP:http://a.test/gz.swf", gzipHead, Gzipped(Movie(30000)), 8}}},
         "",
         Movie(30000)},
        {"a POST's key",
         {kFirefox4, {{"HTTP:id=5b6160c9&uri=http://a.test/post.swf", head, Movie(300), 9}}},
         "http://a.test/post.swf",
         Movie(300)},
        {"metadata in a separate file",
         {kFirefox4, {{"HTTP:http://a.test/meta.swf", head, Movie(100), 10, true}}},
         "",
         Movie(100)},
        {"Firefox 3: small bitmaps, flat names",
         {kFirefox3, {{":http://a.test/old.swf", head, Movie(70000), 11}}},
         "",
         Movie(70000)},
        {"Firefox 3: in a 1 KiB block file",
         {kFirefox3, {{":http://a.test/old1k.swf", head, Movie(2000), 12}}},
         "",
         Movie(2000)},
        {"map never written: a long key's metadata in a nested separate file",
         {.entries = {{longKey, head, Movie(70000), 13}}, .writeRecords = false},
         "",
         Movie(70000)},
        {"map never written, Firefox 3: a long response head in a flat separate file",
         {.version = kFirefox3,
          .entries = {{":http://a.test/heady.swf", longHead, Movie(70000), 14}},
          .writeRecords = false},
         "",
         Movie(70000)},
        {"separate files named in lower case",
         {.entries = {{"HTTP:http://a.test/lowermapped.swf", head, Movie(70000), 17, true}}, .lowerCaseNames = true},
         "",
         Movie(70000)},
        {"map never written: separate files named in lower case",
         {.entries = {{"HTTP:http://a.test/lower.swf", head, Movie(70000), 15, true}},
          .writeRecords = false,
          .lowerCaseNames = true},
         "",
         Movie(70000)},
        {"map never written: metadata in its separate file and an older copy in a block file",
         {.entries = {{"HTTP:http://a.test/grown.swf", head, Movie(70000), 16, true}},
          .writeRecords = false,
          .staleBlockCopies = true},
         "",
         Movie(70000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        test::WriteFirefoxCache1(dir.path(), c.parts);
        FolderCacheFiles files(dir.path());
        std::vector<IndexedCacheEntry> entries;
        ASSERT_EQ(ReadFirefoxCache1(files, entries), Cache1Result::Ok);
        ASSERT_EQ(entries.size(), 1u);
        const test::Cache1EntryParts& entry = c.parts.entries[0];
        const CachedResponse& response = entries[0].response;
        EXPECT_EQ(response.url, c.url.empty() ? entry.key.substr(entry.key.find(':') + 1) : c.url);
        EXPECT_EQ(entries[0].time, entry.lastModified);
        std::string stored, decoded;
        ASSERT_EQ(ReadStoredBody(response, stored, 1u << 24), BodyReadResult::Ok);
        ASSERT_EQ(DecodeBody(response.contentEncoding, stored, decoded, 1u << 24), DecodeResult::Ok);
        EXPECT_EQ(decoded, c.movie);
    }
}

// Damage to a built cache, each in one place: the reader stays inside the
// files and keeps what it can still read. A lost map's entry is searched for
// in its separate metadata file, which may be damaged or misnamed.
TEST(FirefoxCache1Test, StaysInsideADamagedCache)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n";
    const test::Cache1EntryParts entry{"HTTP:http://a.test/m.swf", head, Movie(200), 5};
    const std::uint32_t hash = Cache1KeyHash(entry.key);
    const std::uint32_t bucket = hash & 31;
    const std::size_t record = 276 + bucket * 16 * 16, usage = 148 + 4 * bucket;
    const test::Cache1Parts intact{0x00010013, {entry}};
    test::Cache1Parts lost{0x00010013, {entry}, false};
    lost.entries[0].separateMetadata = true;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", hash);
    const std::string hex = digits;
    const std::string meta = hex.substr(0, 1) + "/" + hex.substr(1, 2) + "/" + hex.substr(3) + "m01";
    const std::string otherFolder = (hex[0] == '0' ? "1" : "0") + meta.substr(1);
    const std::size_t elements = 36 + entry.key.size() + 1;
    const std::size_t bound = kCache1MaxSeparateMetadataBytes;
    constexpr std::size_t kUnchanged = std::string::npos;
    struct Case {
        const char* name;
        std::string file;
        std::size_t at;  // bytes are written over from here; with none, the file is cut here
        std::string bytes;
        Cache1Result result;
        std::size_t entries;
        std::uint64_t body;
        const char* damaged = nullptr;             // why the first damaged entry is; null: none
        const test::Cache1Parts* parts = nullptr;  // null: intact
        std::string moveTo = {};                   // the file is moved here
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
        {"map never written: found in its separate metadata file", meta, kUnchanged, "", Cache1Result::Ok, 1, 0,
         nullptr, &lost},
        {"a separate metadata file's key size past the file", meta, 28, std::string("\0\0\x10\0", 4), Cache1Result::Ok,
         0, 0, nullptr, &lost},
        {"a separate metadata file cut inside its header", meta, 20, "", Cache1Result::Ok, 0, 0, nullptr, &lost},
        {"a separate metadata file as long as its bound", meta, elements, std::string(bound - elements, '\0'),
         Cache1Result::Ok, 1, 0, nullptr, &lost},
        {"a separate metadata file one past its bound", meta, elements, std::string(bound + 1 - elements, '\0'),
         Cache1Result::Ok, 0, 0, nullptr, &lost},
        {"a separate metadata file in the folders of another hash", meta, kUnchanged, "", Cache1Result::Ok, 0, 0,
         nullptr, &lost, otherFolder},
        {"a separate metadata file's two folders in one", meta, kUnchanged, "", Cache1Result::Ok, 0, 0, nullptr, &lost,
         hex.substr(0, 3) + "/" + hex.substr(3) + "m01"},
        {"a flat separate metadata file's name with more after it", meta, kUnchanged, "", Cache1Result::Ok, 0, 0,
         nullptr, &lost, hex + "m01.old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        test::WriteFirefoxCache1(dir.path(), c.parts ? *c.parts : intact);
        if (c.at != kUnchanged) {
            std::string bytes = test::TempDir::read(dir.path() / c.file);
            if (c.bytes.empty())
                bytes.resize(c.at);
            else
                bytes.replace(c.at, c.bytes.size(), c.bytes);
            dir.write(c.file, bytes);
        }
        if (!c.moveTo.empty()) {
            std::filesystem::create_directories((dir.path() / c.moveTo).parent_path());
            std::filesystem::rename(dir.path() / c.file, dir.path() / c.moveTo);
        }
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
