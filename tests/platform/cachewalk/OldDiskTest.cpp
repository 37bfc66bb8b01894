#include "platform/cachewalk/UrlCache.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"
#include "support/browserfiles/CacheFixtures.h"
#include "support/browserfiles/IeCacheBuilder.h"
#include "support/browserfiles/OldCacheBuilder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

// An old Windows disk copied into a folder: XP's and Vista's profile folders
// in odd letter cases, a block-file Chrome cache on each, an old Firefox
// cache, an Internet Explorer cache, a Windows and a Mac projector. Every
// movie is found, checked out whole, and known by its address.
TEST(OldDiskTest, FindsEveryMovieOfAnOldDisk)
{
    const test::TempDir home;
    const fs::path disk = home.path() / "added" / "old-disk";
    const fs::path xp = disk / "DOCUMENTS AND SETTINGS/Alice/local settings";
    const fs::path vista = disk / "users/Bob/APPDATA/local";
    const fs::path blockFiles = test::FixturesDir() / "chromium-blockfile/Cache_Data";
    fs::create_directories(xp / "Application Data/Google/Chrome/User Data/Default/Cache");
    fs::copy(blockFiles, xp / "Application Data/Google/Chrome/User Data/Default/Cache");
    fs::create_directories(vista / "google/chrome/User Data/Profile 1/cache/CACHE_DATA");
    fs::copy(blockFiles, vista / "google/chrome/User Data/Profile 1/cache/CACHE_DATA");

    const std::string flashHead = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n";
    const std::string firefoxSmall = test::FwsMovie(700), firefoxLarge = test::FwsMovie(90000);
    test::WriteFirefoxCache1(xp / "Application Data/Mozilla/Firefox/Profiles/x1.default/CACHE",
                             {0x00010013,
                              {{"HTTP:http://games.test/small.swf", flashHead, firefoxSmall, 100},
                               {"HTTP:http://games.test/large.swf", flashHead, firefoxLarge, 200}}});
    const std::string ieMovie = test::FwsMovie(1500);
    test::IeCacheParts ie;
    ie.entries.push_back({"http://ie.test/intro.swf", "intro[1].swf", 0,
                          test::IeResponseHead({"HTTP/1.1 200 OK", "Content-Type: application/x-shockwave-flash"}),
                          ieMovie});
    test::WriteIeCache(xp.parent_path() / "LOCAL SETTINGS/Temporary Internet Files/Content.IE5", ie);

    const std::string windowsGame = test::FwsMovie(4000), macGame = test::FwsMovie(5000);
    const fs::path exe = disk / "Program Files/Game/game.EXE";
    const fs::path mac = disk / "Applications/Game.app/Contents/MacOS/Game";
    fs::create_directories(exe.parent_path());
    fs::create_directories(mac.parent_path());
    std::ofstream(exe, std::ios::binary) << test::BuildProjector(std::string(3000, 'M'), windowsGame);
    std::ofstream(mac, std::ios::binary) << test::BuildProjector(std::string(2000, '\xcf'), macGame);

    std::map<std::string, std::string> expected = {
        {"http://games.test/small.swf", firefoxSmall}, {"http://games.test/large.swf", firefoxLarge},
        {"http://ie.test/intro.swf", ieMovie},         {exe.string() + "#movie.swf", windowsGame},
        {mac.string() + "#movie.swf", macGame},
    };
    std::multiset<std::string> blockFileMovies;
    for (const auto& e : test::ExpectedCacheEntries("", blockFiles.parent_path() / "expected.json")) {
        if (e.isSwf)
            blockFileMovies.insert(e.url + " " + e.decodedSha256);
    }
    ASSERT_EQ(blockFileMovies.size(), 7u);

    UrlCacheLocations locations;
    locations.embeddedCache = home.path() / "none";
    locations.contentFolder = home.path() / "Content";
    locations.addedFolders = {home.path() / "added"};
    auto walk = OpenUrlCacheEnumeration(locations);
    std::map<std::string, std::string> found;
    std::multiset<std::string> chromeMovies;
    UrlCacheEntry entry;
    while (walk->Next(entry)) {
        if (entry.url.empty())
            continue;
        const std::string bytes = test::TempDir::read(entry.localFileName);
        if (entry.url.find("127.0.0.1") != std::string::npos)
            chromeMovies.insert(entry.url + " " + test::Sha256Hex(bytes));
        else
            found[entry.url] = bytes;
    }
    walk->Close();
    EXPECT_EQ(found, expected);
    // Both Chrome caches give their seven movies, and the movie served as a
    // download (by its signature).
    for (const std::string& movie : blockFileMovies)
        EXPECT_EQ(chromeMovies.count(movie), 2u) << movie;
    EXPECT_EQ(chromeMovies.size(), 2 * (blockFileMovies.size() + 1));
}

}  // namespace
}  // namespace tessaro
