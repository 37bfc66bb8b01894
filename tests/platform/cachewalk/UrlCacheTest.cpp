#include "platform/cachewalk/UrlCache.h"

#include "formats/coding/BodyDecoder.h"
#include "formats/urlcache/ChromiumSimpleCacheFormat.h"
#include "platform/cachewalk/CacheCheckout.h"
#include "platform/cachewalk/CheckoutRecords.h"
#include "support/DecodeBombs.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"
#include "support/browserfiles/CacheEntryBuilder.h"
#include "support/browserfiles/CacheFixtures.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <zlib.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

std::vector<UrlCacheEntry> ListAll(const UrlCacheLocations& locations)
{
    std::vector<UrlCacheEntry> entries;
    auto cache = OpenUrlCacheEnumeration(locations);
    EXPECT_NE(cache, nullptr);
    UrlCacheEntry entry;
    while (cache && cache->Next(entry))
        entries.push_back(entry);
    if (cache)
        cache->Close();
    return entries;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

UrlCacheLocations FixtureLocations(const test::TempDir& content)
{
    UrlCacheLocations locations;
    locations.embeddedCache = content.path() / "no-embedded-cache";
    locations.searchRoots = {test::FixturesDir()};
    locations.contentFolder = content.path() / "Content";
    return locations;
}

TEST(UrlCacheTest, ChecksOutEveryMovieOfTheRealCachesAndNothingElse)
{
    const test::TempDir dir;
    const std::vector<UrlCacheEntry> entries = ListAll(FixtureLocations(dir));

    std::multiset<std::string> expectedMovies;  // "<name>[1].swf <sha256> <size>"
    std::multiset<std::uint64_t> expectedOthers;
    for (const char* cache : {"chromium_cache", "firefox_cache", ""}) {
        // The block-file cache's listing names what the server sent: a movie
        // served as application/octet-stream is a movie all the same.
        for (const auto& e : test::ExpectedCacheEntries(
                 cache, *cache ? fs::path() : test::FixturesDir() / "chromium-blockfile/expected.json")) {
            if (e.sparse)
                continue;  // only part of it was ever fetched
            if (!e.isSwf && e.url.find("/download?") == std::string::npos) {
                expectedOthers.insert(e.storedLength.value_or(e.decodedLength.value_or(0)));
                continue;
            }
            std::string stem = e.url.substr(e.url.rfind('/') + 1);
            stem = stem.substr(0, stem.find('?'));
            stem = stem.substr(0, stem.rfind('.') == std::string::npos ? stem.size() : stem.rfind('.'));
            expectedMovies.insert(stem + "[1].swf " + e.decodedSha256 + " " + std::to_string(*e.decodedLength));
        }
    }
    expectedOthers.insert(10615);  // Firefox's start page

    std::multiset<std::string> movies;
    std::multiset<std::uint64_t> others;
    std::size_t lastChromium = 0, firstFirefox = entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const UrlCacheEntry& entry = entries[i];
        if (EndsWith(entry.localFileName, ".swf")) {
            const fs::path path = entry.localFileName;
            EXPECT_EQ(path.parent_path().parent_path(), dir.path() / "Content");
            const std::string bytes = test::TempDir::read(path);
            EXPECT_EQ(bytes.size(), entry.size);
            movies.insert(path.filename().string() + " " + test::Sha256Hex(bytes) + " " + std::to_string(entry.size));
        } else {
            others.insert(entry.size);
            if (entry.localFileName.find("/chromium/Cache_Data/") != std::string::npos ||
                entry.localFileName.find("/chromium-blockfile/Cache_Data/") != std::string::npos)
                lastChromium = i;
            else if (entry.localFileName.find("/firefox/cache2/entries/") != std::string::npos)
                firstFirefox = std::min(firstFirefox, i);
            else
                ADD_FAILURE() << "unexpected container " << entry.localFileName;
        }
    }
    EXPECT_EQ(movies, expectedMovies);
    EXPECT_EQ(others, expectedOthers);
    EXPECT_LT(lastChromium, firstFirefox) << "Chromium-family caches come before Firefox";
    // gz.swf: 135 gzip bytes in the three caches, checked out decoded.
    EXPECT_EQ(
        std::count_if(movies.begin(), movies.end(), [](const std::string& m) { return m.find("gz[1].swf") == 0; }), 3);
}

// The caches of every kind of install the browser homes table knows, laid out
// with the real caches in a home of their own: each is found and its movies listed.
TEST(UrlCacheTest, FindsTheCachesOfEveryKindOfInstall)
{
    const struct {
        const char* name;
        const char* fixture;  // under tests/fixtures
        const char* folder;   // where it goes, under the home
        const char* source;   // the folder of entry files the walk should find, under the home
    } rows[] = {
        {"Chromium native", "chromium/Cache_Data", ".cache/chromium/Default/Cache/Cache_Data",
         ".cache/chromium/Default/Cache/Cache_Data"},
        {"Chromium snap", "chromium/Cache_Data", "snap/chromium/common/.cache/chromium/Default/Cache/Cache_Data",
         "snap/chromium/common/.cache/chromium/Default/Cache/Cache_Data"},
        {"Chromium Flatpak", "chromium/Cache_Data",
         ".var/app/org.chromium.Chromium/cache/chromium/Default/Cache/Cache_Data",
         ".var/app/org.chromium.Chromium/cache/chromium/Default/Cache/Cache_Data"},
        {"Chrome Flatpak", "chromium/Cache_Data",
         ".var/app/com.google.Chrome/cache/google-chrome/Profile 1/Cache/Cache_Data",
         ".var/app/com.google.Chrome/cache/google-chrome/Profile 1/Cache/Cache_Data"},
        {"Brave Flatpak", "chromium/Cache_Data",
         ".var/app/com.brave.Browser/cache/BraveSoftware/Brave-Browser/Default/Cache/Cache_Data",
         ".var/app/com.brave.Browser/cache/BraveSoftware/Brave-Browser/Default/Cache/Cache_Data"},
        {"Edge Flatpak", "chromium/Cache_Data",
         ".var/app/com.microsoft.Edge/cache/microsoft-edge/Default/Cache/Cache_Data",
         ".var/app/com.microsoft.Edge/cache/microsoft-edge/Default/Cache/Cache_Data"},
        {"Firefox native", "firefox/cache2", ".cache/mozilla/firefox/abc.default-esr/cache2",
         ".cache/mozilla/firefox/abc.default-esr/cache2/entries"},
        {"Firefox snap", "firefox/cache2", "snap/firefox/common/.cache/mozilla/firefox/abc.default/cache2",
         "snap/firefox/common/.cache/mozilla/firefox/abc.default/cache2/entries"},
        {"Firefox Flatpak", "firefox/cache2", ".var/app/org.mozilla.firefox/cache/mozilla/firefox/abc.default/cache2",
         ".var/app/org.mozilla.firefox/cache/mozilla/firefox/abc.default/cache2/entries"},
    };
    const auto movieCount = [](const char* cache) {
        const auto expected = test::ExpectedCacheEntries(cache);
        return std::count_if(expected.begin(), expected.end(), [](const auto& e) { return e.isSwf && !e.sparse; });
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string savedCache = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const test::TempDir home;
        fs::create_directories(home.path() / row.folder);
        fs::copy(test::FixturesDir() / row.fixture, home.path() / row.folder, fs::copy_options::recursive);
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home.path() / ".cache").c_str(), 1);
        const UrlCacheLocations locations = DefaultUrlCacheLocations();
        const std::vector<UrlCacheSource> sources = FindUrlCacheSources(locations);
        ASSERT_EQ(sources.size(), 1u);
        EXPECT_EQ(sources[0].folder, home.path() / row.source);
        const std::vector<UrlCacheEntry> entries = ListAll(locations);
        const bool chromium = std::string(row.fixture).starts_with("chromium");
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                [](const UrlCacheEntry& e) { return EndsWith(e.localFileName, ".swf"); }),
                  movieCount(chromium ? "chromium_cache" : "firefox_cache"));
    }
    ::setenv("HOME", savedHome.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
}

// A folder the user adds is taken by what it holds, whatever its name.
TEST(UrlCacheTest, AnAddedFolderIsTakenByWhatItHolds)
{
    const struct {
        const char* name;
        const char* fixture;  // under tests/fixtures; null: an empty folder
        const char* folder;   // where it goes; the folder added is "added"
        const char* source;   // the source found, under the home; null: none
    } rows[] = {
        {"a Chromium cache copied under a name of its own", "chromium/Cache_Data", "added", "added"},
        {"a Firefox cache copied under a name of its own", "firefox/cache2", "added", "added/entries"},
        {"a folder holding a cache", "chromium/Cache_Data", "added/profile/Cache/Cache_Data",
         "added/profile/Cache/Cache_Data"},
        {"an empty folder", nullptr, "added", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const test::TempDir home;
        fs::create_directories(home.path() / row.folder);
        if (row.fixture != nullptr)
            fs::copy(test::FixturesDir() / row.fixture, home.path() / row.folder, fs::copy_options::recursive);
        UrlCacheLocations locations;
        locations.embeddedCache = home.path() / "none";
        locations.contentFolder = home.path() / "Content";
        locations.addedFolders = {home.path() / "added"};
        const std::vector<UrlCacheSource> sources = FindUrlCacheSources(locations);
        if (row.source == nullptr) {
            EXPECT_TRUE(sources.empty());
            continue;
        }
        ASSERT_EQ(sources.size(), 1u);
        EXPECT_EQ(sources[0].folder, home.path() / row.source);
    }
}

TEST(UrlCacheTest, RewritesOnlyWhatChangedAndRemovesWhatNoEntryMakes)
{
    const test::TempDir dir;
    const UrlCacheLocations locations = FixtureLocations(dir);
    const std::vector<UrlCacheEntry> first = ListAll(locations);
    std::map<std::string, fs::file_time_type> times;
    std::string damaged;
    for (const UrlCacheEntry& entry : first) {
        if (EndsWith(entry.localFileName, ".swf"))
            times[entry.localFileName] = fs::last_write_time(entry.localFileName);
        if (EndsWith(entry.localFileName, "/movie[1].swf"))
            damaged = entry.localFileName;
    }
    ASSERT_FALSE(damaged.empty());
    const std::string original = test::TempDir::read(damaged);
    dir.write(fs::relative(damaged, dir.path()).string(), "not the movie");
    const fs::path stale = dir.write("Content/ZZZZZZZZ/gone[1].swf", "FWS old");

    // A walk closed before the end removes nothing; so does one cancelled
    // under way, which yields nothing more, and one cancelled before it
    // opened finds no cache at all.
    {
        auto cache = OpenUrlCacheEnumeration(locations);
        UrlCacheEntry entry;
        ASSERT_TRUE(cache->Next(entry));
        cache->Close();
    }
    {
        std::atomic<bool> cancelled{false};
        UrlCacheLocations cancelling = locations;
        cancelling.cancelled = &cancelled;
        auto cache = OpenUrlCacheEnumeration(cancelling);
        UrlCacheEntry entry;
        ASSERT_TRUE(cache->Next(entry));
        cancelled = true;
        EXPECT_FALSE(cache->Next(entry));
        cache->Close();
        EXPECT_TRUE(ListAll(cancelling).empty());
    }
    EXPECT_TRUE(fs::exists(stale));

    const std::vector<UrlCacheEntry> second = ListAll(locations);
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].localFileName, first[i].localFileName) << "the order is stable";
        EXPECT_EQ(second[i].size, first[i].size);
    }
    EXPECT_EQ(test::TempDir::read(damaged), original);
    for (const auto& [path, time] : times) {
        if (path != damaged) {
            EXPECT_EQ(fs::last_write_time(path), time) << path << " was rewritten";
        }
    }
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(stale.parent_path()));
}

// A home folder laid out the way the browsers lay out theirs, with entries
// that are damaged, half-written or not what their name says.
class BuiltCachesTest : public testing::Test {
protected:
    void SetUp() override
    {
        locations.embeddedCache = dir.path() / "own/Cache/Cache_Data";
        locations.searchRoots = {dir.path() / "home"};
        locations.excluded = {dir.path() / "home/tessaro"};
        locations.contentFolder = dir.path() / "Content";
        dir.write("home/tessaro/Cache/Cache_Data/" + test::SimpleCacheEntryName(Key("mine.swf")),
                  Chromium("mine.swf", Movie("excluded"), {}));
        Index("own/Cache/Cache_Data");
        Index(kChromium);
    }

    static std::string Key(const std::string& name) { return "1/0/http://127.0.0.1:9/" + name; }
    // A whole uncompressed movie: the header declares the tag's length too.
    static std::string Movie(const std::string& tag) { return test::FwsMovie(8, 8 + tag.size()) + tag; }

    // gzip of the bytes, in one go or (zeros > 0) followed by that many zero
    // bytes made and compressed a piece at a time.
    static std::string Gzip(const std::string& bytes, std::uint64_t zeros = 0)
    {
        z_stream stream{};
        EXPECT_EQ(deflateInit2(&stream, 1, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
        std::string out;
        const std::string piece(1 << 20, '\0');
        auto compress = [&](const std::string& in, int flush) {
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
            stream.avail_in = uInt(in.size());
            char buffer[64 * 1024];
            do {
                stream.next_out = reinterpret_cast<Bytef*>(buffer);
                stream.avail_out = sizeof buffer;
                deflate(&stream, flush);
                out.append(buffer, sizeof buffer - stream.avail_out);
            } while (stream.avail_out == 0);
        };
        compress(bytes, Z_NO_FLUSH);
        for (std::uint64_t done = 0; done < zeros; done += piece.size())
            compress(piece, Z_NO_FLUSH);
        compress({}, Z_FINISH);
        deflateEnd(&stream);
        return out;
    }

    static std::string Chromium(const std::string& name, const std::string& body, std::vector<std::string> headers,
                                const std::string& status = "HTTP/1.1 200 OK")
    {
        test::SimpleCacheEntryParts parts;
        parts.key = Key(name);
        parts.body = body;
        headers.insert(headers.begin(), status);
        parts.rawHeaders = test::ChromiumRawHeaders(headers);
        return test::BuildSimpleCacheEntry(parts);
    }
    void PutChromium(const std::string& folder, const std::string& name, const std::string& bytes)
    {
        dir.write(folder + "/" + test::SimpleCacheEntryName(Key(name)), bytes);
    }
    void PutFirefox(const std::string& name, const std::string& body, const std::string& head, bool encrypted = false)
    {
        test::Cache2EntryParts parts;
        parts.key = "a,:http://127.0.0.1:9/" + name;
        parts.body = body;
        parts.elements = {{"response-head", head}};
        parts.encryptedOffset = encrypted;
        dir.write(std::string(kFirefox) + "/" + test::Cache2EntryName(parts.key), test::BuildCache2Entry(parts));
    }
    void Index(const std::string& folder)
    {
        std::string index(24, '\0');
        for (int i = 0; i < 8; ++i)
            index[std::size_t(i)] = char((simplecache::kInitialMagic >> (8 * i)) & 0xff);
        dir.write(folder + "/index", index);
    }

    static constexpr const char* kChromium = "home/chromium/Default/Cache/Cache_Data";
    static constexpr const char* kFirefox = "home/mozilla/firefox/abcd.default-esr/cache2/entries";
    test::TempDir dir;
    UrlCacheLocations locations;
};

TEST_F(BuiltCachesTest, ListsSoundMoviesAndPassesOverTheRest)
{
    PutChromium("own/Cache/Cache_Data", "own.swf", Chromium("own.swf", Movie("own"), {}));
    const std::string gzipMovie = Gzip(Movie("gz"));
    PutChromium(kChromium, "ok.swf", Chromium("ok.swf", Movie("ok"), {}));
    PutChromium(kChromium, "gz.swf", Chromium("gz.swf", gzipMovie, {"Content-Encoding: gzip"}));
    // Flash by its type, but no movie: passed over.
    PutChromium(kChromium, "noext", Chromium("noext", "no signature", {"Content-Type: application/x-shockwave-flash"}));
    PutChromium(kChromium, "cutmovie.swf", Chromium("cutmovie.swf", Movie("cut short").substr(0, 12), {}));
    PutChromium(kChromium, "sniffed.bin", Chromium("sniffed.bin", Movie("sniffed"), {}));
    PutChromium(kChromium, "page.php", Chromium("page.php", "<html>", {"Content-Type: application/x-shockwave-flash"}));
    PutChromium(kChromium, "missing.swf", Chromium("missing.swf", Movie("404"), {}, "HTTP/1.1 404 Not Found"));
    PutChromium(kChromium, "short.swf", Chromium("short.swf", Movie("cut"), {"Content-Length: 9999"}));
    PutChromium(kChromium, "part.swf",
                Chromium("part.swf", Movie("part"), {"Content-Range: bytes 0-7/100"}, "HTTP/1.1 206 Partial Content"));
    PutChromium(
        kChromium, "whole.swf",
        Chromium("whole.swf", Movie("whole"), {"Content-Range: bytes 0-12/13"}, "HTTP/1.1 206 Partial Content"));
    PutChromium(kChromium, "badgz.swf", Chromium("badgz.swf", "not gzip", {"Content-Encoding: gzip"}));
    std::string damaged = Chromium("crc.swf", Movie("crc"), {});
    damaged[24 + Key("crc.swf").size() + 1] = 'X';
    PutChromium(kChromium, "crc.swf", damaged);
    PutChromium(kChromium, "writing.swf", Chromium("writing.swf", Movie("writing"), {}).substr(0, 60));
    PutChromium(kChromium, "empty.swf", "");
    dir.write(std::string(kChromium) + "/todelete_0123456789abcdef_0_1", Chromium("doomed.swf", Movie("x"), {}));
    // Longer than their headers say: checked out as stored (decoded), padding and all.
    const std::string padding(200'000, '\0');
    const test::TMovieBuilder builder = test::TMovieBuilder().Tag(9, std::string("\x10\x20\x30", 3));
    const std::string padded = test::FwsMovie(36) + padding, paddedCws = builder.Build('C') + padding,
                      paddedZws = builder.Build('Z') + padding;
    PutChromium(kChromium, "padded.swf", Chromium("padded.swf", padded, {}));
    PutChromium(kChromium, "gzpadded.swf", Chromium("gzpadded.swf", Gzip(padded), {"Content-Encoding: gzip"}));
    PutChromium(kChromium, "paddedcws.swf", Chromium("paddedcws.swf", paddedCws, {}));
    PutChromium(kChromium, "paddedzws.swf", Chromium("paddedzws.swf", paddedZws, {}));
    // Fetched in ranges, its body in the sparse file, known by its signature alone.
    const std::string ranged = Movie("ranged");
    const std::string rangedName = "getmovie.php?id=1";
    PutChromium(
        kChromium, rangedName,
        Chromium(rangedName, "",
                 {"Content-Range: bytes 0-" + std::to_string(ranged.size() - 1) + "/" + std::to_string(ranged.size()),
                  "Content-Length: " + std::to_string(ranged.size())},
                 "HTTP/1.1 206 Partial Content"));
    dir.write(std::string(kChromium) + "/" + test::SimpleCacheEntryName(Key(rangedName)).substr(0, 16) + "_s",
              test::BuildSimpleCacheSparse(Key(rangedName), {{0, ranged}}));
    PutFirefox("fox.swf", Movie("fox"), "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n");
    PutFirefox("secret.swf", Movie("secret"), "HTTP/1.1 200 OK\r\n", true);
    PutFirefox("fox.html", "<html>", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n");

    // A check-out's name and bytes; a long one by its size and hash.
    const auto shown = [](const std::string& name, const std::string& bytes) {
        return name + "=" + (bytes.size() <= 64 ? bytes : std::to_string(bytes.size()) + " " + test::Sha256Hex(bytes));
    };
    std::vector<std::string> movies;
    std::vector<std::string> containers;
    for (const UrlCacheEntry& entry : ListAll(locations)) {
        if (EndsWith(entry.localFileName, ".swf")) {
            movies.push_back(
                shown(fs::path(entry.localFileName).filename().string(), test::TempDir::read(entry.localFileName)));
            EXPECT_EQ(entry.size, test::TempDir::read(entry.localFileName).size());
        } else {
            containers.push_back(entry.localFileName);
        }
    }
    // The embedded browser's movie first, then the other caches; inside one
    // cache the order is by file time, and these files share a second.
    ASSERT_FALSE(movies.empty());
    EXPECT_EQ(movies.front(), "own[1].swf=" + Movie("own"));
    const std::multiset<std::string> got(movies.begin(), movies.end());
    const std::multiset<std::string> want = {
        "own[1].swf=" + Movie("own"),         "ok[1].swf=" + Movie("ok"),       "gz[1].swf=" + Movie("gz"),
        "sniffed[1].swf=" + Movie("sniffed"), "fox[1].swf=" + Movie("fox"),     "whole[1].swf=" + Movie("whole"),
        shown("padded[1].swf", padded),       shown("gzpadded[1].swf", padded), shown("paddedcws[1].swf", paddedCws),
        shown("paddedzws[1].swf", paddedZws), "getmovie[1].swf=" + ranged};
    EXPECT_EQ(got, want);
    // Not movies, so their containers are yielded: the PHP page, the 404.
    EXPECT_EQ(containers.size(), 3u);
}

// The process's peak resident memory (VmHWM) in bytes, after ResetPeakMemory.
long PeakMemoryBytes(const char* field = "VmHWM:")
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field)) * 1024;
    return -1;
}

TEST_F(BuiltCachesTest, AMovieThatDecodesPastTheCapIsPassedOverInLittleMemory)
{
    constexpr std::uint64_t kDecoded = std::uint64_t(512) << 20;
    // Declares more than the cap; declares little but goes on with zeros (what
    // follows a compressed movie is counted too); one sound movie after them.
    PutChromium(kChromium, "declares.swf",
                Chromium("declares.swf", Gzip(test::FwsMovie(8, kDecoded), kDecoded), {"Content-Encoding: gzip"}));
    const std::string packed = test::TMovieBuilder::Wrap("abcd", {.signature = 'C'});
    PutChromium(kChromium, "endless.swf", Chromium("endless.swf", Gzip(packed, kDecoded), {"Content-Encoding: gzip"}));
    PutChromium(kChromium, "ok.swf", Chromium("ok.swf", Movie("ok"), {}));

    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = PeakMemoryBytes("VmRSS:");
    std::vector<std::string> movies;
    for (const UrlCacheEntry& entry : ListAll(locations))
        if (EndsWith(entry.localFileName, ".swf"))
            movies.push_back(fs::path(entry.localFileName).filename().string());
    const long peak = PeakMemoryBytes();

    EXPECT_EQ(movies, std::vector<std::string>{"ok[1].swf"});
    for (const auto& file : fs::recursive_directory_iterator(locations.contentFolder)) {
        if (file.is_regular_file()) {
            EXPECT_LE(file.file_size(), kMaxCheckoutBytes) << file.path();
            EXPECT_EQ(file.path().filename().string().find("endless"), std::string::npos) << file.path();
        }
    }
    EXPECT_LT(peak - before, 64 << 20) << "peak " << peak << " from " << before;
}

// Thousands of entries are read on several threads; they still come oldest
// first, entries of one time by name, each once, movies checked out among them.
TEST_F(BuiltCachesTest, ManyEntriesComeByFileTimeThenName)
{
    constexpr int kEntries = 5000;
    // (time, container, what the walk lists: the container, or a movie's check-out)
    std::vector<std::tuple<std::int64_t, std::string, std::string>> expected;
    for (int i = 0; i < kEntries; ++i) {
        const bool movie = i % 500 == 0;
        const std::string name = "e" + std::to_string(i) + (movie ? ".swf" : ".js");
        PutChromium(kChromium, name, Chromium(name, movie ? Movie(name) : "var x;", {}));
        const fs::path file = dir.path() / kChromium / test::SimpleCacheEntryName(Key(name));
        // Later entries are older; every three share a second.
        const std::int64_t seconds = 1'000'000'000 + (kEntries - i) / 3;
        fs::last_write_time(file,
                            std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))));
        const std::string container = file.filename().string();
        expected.emplace_back(seconds, container, movie ? name.substr(0, name.size() - 4) + "[1].swf" : container);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> listed;
    for (const UrlCacheEntry& entry : ListAll(locations))
        listed.push_back(fs::path(entry.localFileName).filename().string());
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i)
        ASSERT_EQ(listed[i], std::get<2>(expected[i])) << "entry " << i;
}

TEST_F(BuiltCachesTest, AFifoHoldsNothingAndACheckOutGoesOnlyWithItsEntry)
{
    PutChromium(kChromium, "ok.swf", Chromium("ok.swf", Movie("ok"), {}));
    PutChromium(kChromium, "later.swf", Chromium("later.swf", Movie("later"), {}));
    const fs::path container = dir.path() / kChromium / test::SimpleCacheEntryName(Key("ok.swf"));
    // A FIFO where an entry, an index and a Firefox entry would be: opening
    // one for reading waits for a writer unless told not to.
    const std::vector<fs::path> fifos = {dir.path() / kChromium / "0123456789abcdef_0",
                                         dir.path() / "home/other/Cache/Cache_Data/index",
                                         dir.path() / kFirefox / std::string(40, 'A')};
    for (const fs::path& fifo : fifos) {
        fs::create_directories(fifo.parent_path());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << fifo;
    }
    // A link where an entry would be, to a whole movie entry elsewhere: no
    // entry a browser wrote, so not followed.
    PutChromium("elsewhere", "linked.swf", Chromium("linked.swf", Movie("linked"), {}));
    fs::create_symlink(dir.path() / "elsewhere" / test::SimpleCacheEntryName(Key("linked.swf")),
                       dir.path() / kChromium / test::SimpleCacheEntryName(Key("linked.swf")));
    auto listMovies = [&] {
        auto walk = std::async(std::launch::async, [&] { return ListAll(locations); });
        if (walk.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the walk waits on a FIFO";
            for (const fs::path& fifo : fifos)
                ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));  // let it go
        }
        std::set<std::string> movies;
        for (const UrlCacheEntry& entry : walk.get())
            if (EndsWith(entry.localFileName, ".swf"))
                movies.insert(entry.localFileName);
        return movies;
    };

    const std::set<std::string> first = listMovies();
    ASSERT_EQ(first.size(), 2u);
    const std::string checkout =
        *std::find_if(first.begin(), first.end(), [](const std::string& path) { return EndsWith(path, "/ok[1].swf"); });

    // The browser is rewriting the entry: it is not listed, its check-out stays.
    const std::string whole = test::TempDir::read(container);
    dir.write(fs::relative(container, dir.path()).string(), whole.substr(0, whole.size() / 2));
    EXPECT_EQ(listMovies().count(checkout), 0u);
    EXPECT_EQ(test::TempDir::read(checkout), Movie("ok"));

    // Written again whole, it is listed again; gone from the cache, its check-out goes.
    dir.write(fs::relative(container, dir.path()).string(), whole);
    EXPECT_EQ(listMovies(), first);
    fs::remove(container);
    EXPECT_EQ(listMovies().size(), 1u);
    EXPECT_FALSE(fs::exists(checkout));
}

// The check-outs together stay under the folder's cap: a new one takes the
// room of the oldest not listed yet; at the cap itself nothing goes. A
// records file naming a file that is no check-out never has it removed.
TEST_F(BuiltCachesTest, TheContentFolderStaysUnderItsCapOldestFirst)
{
    const auto put = [&](const std::string& name, const std::string& tag, std::int64_t seconds) {
        PutChromium(kChromium, name, Chromium(name, Movie(tag), {}));
        fs::last_write_time(dir.path() / kChromium / test::SimpleCacheEntryName(Key(name)),
                            std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))));
    };
    const auto listed = [&] {
        std::vector<std::string> names;
        for (const UrlCacheEntry& entry : ListAll(locations))
            if (EndsWith(entry.localFileName, ".swf"))
                names.push_back(fs::path(entry.localFileName).filename().string());
        return names;
    };
    const auto contentBytes = [&] {
        std::uint64_t total = 0;
        for (const auto& file : fs::recursive_directory_iterator(locations.contentFolder))
            if (file.is_regular_file() && file.path().filename() != CheckoutRecords::kFileName)
                total += file.file_size();
        return total;
    };
    const std::uint64_t all = Movie("older").size() + Movie("newer").size() + Movie("first").size();
    for (const std::uint64_t cap : {all, all - 1}) {
        SCOPED_TRACE(cap == all ? "at the cap" : "one byte past it");
        fs::remove_all(dir.path() / "home");
        fs::remove_all(locations.contentFolder);
        Index(kChromium);
        locations.contentFolderCap = std::uint64_t(1) << 40;
        put("older.swf", "older", 1'000'000'100);
        put("newer.swf", "newer", 1'000'000'200);
        ASSERT_EQ(listed(), (std::vector<std::string>{"older[1].swf", "newer[1].swf"}));
        // The records say when each check-out was written: "older" first.
        const fs::path recordsFile = locations.contentFolder / CheckoutRecords::kFileName;
        std::string records;
        for (const std::string& line : Lines(test::TempDir::read(recordsFile))) {
            std::vector<std::string> fields;
            for (std::size_t at = 0; at <= line.size();) {
                const std::size_t tab = std::min(line.find('\t', at), line.size());
                fields.push_back(line.substr(at, tab - at));
                at = tab + 1;
            }
            ASSERT_EQ(fields.size(), 6u) << line;
            const std::int64_t seconds = fields[3].find("newer") != std::string::npos ? 2'000'000'000 : 1'900'000'000;
            fs::last_write_time(
                fields[3], std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))));
            fields[5] = std::to_string(seconds * 1'000'000'000);
            for (std::size_t i = 0; i < fields.size(); ++i)
                records += fields[i] + (i + 1 < fields.size() ? "\t" : "\n");
        }
        // A damaged records file naming a file outside the check-outs, larger than any cap and oldest.
        const fs::path victim = dir.write("victim[1].swf", "keep me");
        records += "/gone/entry\t1\t1\t" + (locations.contentFolder / ".." / victim.filename()).string() + "\t" +
                   std::to_string(std::uint64_t(1) << 50) + "\t1\n";
        dir.write(fs::relative(recordsFile, dir.path()).string(), records);

        // A new movie walked first, with the two others still in the cache.
        put("first.swf", "first", 1'000'000'000);
        locations.contentFolderCap = cap;
        const std::vector<std::string> names = listed();
        if (cap == all) {
            EXPECT_EQ(names, (std::vector<std::string>{"first[1].swf", "older[1].swf", "newer[1].swf"}));
        } else {
            // "older" made room for "first" and waits for the next walk.
            EXPECT_EQ(names, (std::vector<std::string>{"first[1].swf", "newer[1].swf"}));
        }
        EXPECT_LE(contentBytes(), cap);
        EXPECT_EQ(test::TempDir::read(victim), "keep me");
    }
}

// The content folder is listed while a walk reads its caches and cleaned
// when it ends: a file not kept goes, and a folder with it once nothing is
// left in it, deepest first; what a walk wrote after the listing stays, and
// so does the folder it went into.
TEST(CacheCheckoutTest, RemovesWhatWasListedAndNotKeptAndLeavesWhatCameLater)
{
    const test::TempDir dir;
    const fs::path content = dir.path() / "Content";
    for (const char* file : {"KEPT/a.swf", "STALE/a.swf", "STALE/b.swf", "DEEP/er/a.swf", "LATER/old.swf", "top.txt"}) {
        fs::create_directories((content / file).parent_path());
        dir.write(fs::path("Content") / file, "x");
    }
    fs::create_directories(content / "EMPTY");
    const ContentListing listing = ListContentFolder(content);
    dir.write("Content/LATER/new.swf", "written by the walk");
    fs::create_directories(content / "NEW");
    dir.write("Content/NEW/a.swf", "written by the walk");
    RemoveStaleCheckouts(listing, {content / "KEPT/a.swf"});
    const struct {
        const char* path;
        bool stays;
    } rows[] = {
        {"KEPT/a.swf", true},     {"STALE", false},        {"DEEP", false},     {"EMPTY", false},
        {"LATER/old.swf", false}, {"LATER/new.swf", true}, {"NEW/a.swf", true}, {"top.txt", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fs::exists(content / row.path), row.stays) << row.path;
    EXPECT_TRUE(fs::exists(content));
}

TEST(CacheCheckoutTest, NamesTheFileAfterTheUrl)
{
    const fs::path content = "/c";
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/a/movie.swf?v=2#x", "movie[1].swf"},
        {"http://h/UPPER.SWF", "UPPER[1].swf"},
        {"http://h/get.php?f=m", "get[1].swf"},
        {"http://h/download", "download[1].swf"},
        {"http://h/", "movie[1].swf"},
        {"http://h", "movie[1].swf"},
        {"http://h/my%20clip.v2.swf", "my clip.v2[1].swf"},
        {"http://h/a%2F..%2Fb.swf", "a_.._b[1].swf"},
        {"http://h/%00x.swf", "_x[1].swf"},
        // Not UTF-8: a stray byte, an overlong "/", a UTF-16 surrogate, past U+10FFFF.
        {"http://h/caf%C3%A9-%E9t%E9.swf", "caf\xC3\xA9-%E9t%E9[1].swf"},
        {"http://h/%C0%AFx.swf", "%C0%AFx[1].swf"},
        {"http://h/%ED%A0%80.swf", "%ED%A0%80[1].swf"},
        {"http://h/%F4%90%80%80.swf", "%F4%90%80%80[1].swf"},
        // Not text: controls (C0, DEL, C1), what turns or hides text, a name that would hide the file.
        {"http://h/%1B[31mred%0A%0D.swf", "_[31mred__[1].swf"},
        {"http://h/a%7Fb%C2%85c.swf", "a_b_c[1].swf"},
        {"http://h/x%E2%80%AEfws.exe.swf", "x_fws.exe[1].swf"},
        {"http://h/%E2%80%8B%E2%81%A6%EF%BB%BF%E2%80%A8.swf", "____[1].swf"},
        {"http://h/.profile", "movie[1].swf"},
        {"http://h/..%2F..%2F.bashrc", "___.._[1].swf"},
        {"http://h/...swf", "__[1].swf"},
    };
    for (const auto& [url, name] : cases) {
        const fs::path path = CheckoutPath(content, "cache", url);
        EXPECT_EQ(path.filename(), name) << url;
        EXPECT_TRUE(IsCheckoutPath(content, path)) << url;
    }
    // What a records file may name that no check-out is: never kept or removed for it.
    for (const char* path :
         {"/c/ABCDEFGH/../x[1].swf", "/c/../ABCDEFGH/x[1].swf", "/c/ABCDEFGH/x\n[1].swf", "/c/ABCDEFGH/.x[1].swf",
          "/c/abcdefgh/x[1].swf", "/c/ABCDEFG/x[1].swf", "/c/ABCDEFGH/x.txt", "/c/ABCDEFGH/[1].swf",
          "/elsewhere/ABCDEFGH/x[1].swf", "/c/ABCDEFGH/x\xE2\x80\xAE[1].swf"})
        EXPECT_FALSE(IsCheckoutPath(content, path)) << path;

    const fs::path a = CheckoutPath(content, "/x/Cache_Data/0123_0", "http://h/m.swf");
    EXPECT_EQ(a, CheckoutPath(content, "/x/Cache_Data/0123_0", "http://h/m.swf"));
    EXPECT_NE(a.parent_path(), CheckoutPath(content, "/y/cache2/entries/AB", "http://h/m.swf").parent_path());
    EXPECT_EQ(a.parent_path().parent_path(), content);
    EXPECT_EQ(a.parent_path().filename().string().size(), 8u);
    EXPECT_LE(CheckoutPath(content, "c", "http://h/" + std::string(400, 'n') + ".swf").filename().string().size(),
              130u);
}

// 16 KiB of brotli that decodes to a whole movie of 128 MiB, as the cache
// holds it: its header declares more than 1000 bytes per stored byte, so it
// is refused before a byte is written, and nothing is left.
TEST(CacheCheckoutTest, ABombIsRefusedWithoutWritingIt)
{
    const test::TempDir dir;
    const std::string stored = test::kBrotliBomb + std::string(16 * 1024 - test::kBrotliBomb.size(), 'j');
    const MemoryByteSource container(stored);
    CachedResponse response;
    response.url = "http://127.0.0.1:9/bomb.swf";
    response.status = 200;
    response.contentEncoding = "br";
    response.body = {{{}, 0, stored.size(), std::nullopt}};
    const fs::path target = CheckoutPath(dir.path(), "cache", response.url);
    std::uint64_t asked = 0, size = 0;
    const auto room = [&asked](std::uint64_t bytes) {
        asked += bytes;
        return true;
    };
    EXPECT_FALSE(CheckOutMovie(response, &container, {}, target, room, size));
    EXPECT_EQ(asked, 0u);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(target.parent_path())) << "no temporary file left";
}

TEST(CacheCheckoutTest, WritesWholeFilesOnlyWhenNeeded)
{
    const test::TempDir dir;
    const fs::path path = dir.path() / "ABCDEFGH/movie[1].swf";
    EXPECT_EQ(WriteCheckout(path, "FWS one"), CheckoutResult::Written);
    EXPECT_EQ(WriteCheckout(path, "FWS one"), CheckoutResult::Unchanged);
    EXPECT_EQ(WriteCheckout(path, "FWS two!"), CheckoutResult::Written);
    EXPECT_EQ(test::TempDir::read(path), "FWS two!");
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1)
        << "no temporary file left behind";
    // A folder where the file should go: nothing can be written, nothing is left.
    fs::create_directories(dir.path() / "ABCDEFGH/blocked[1].swf");
    EXPECT_EQ(WriteCheckout(dir.path() / "ABCDEFGH/blocked[1].swf", "FWS"), CheckoutResult::Failed);
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace tessaro
