// The window's end while every kind of job it runs is under way.

#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackHttpServer.h"
#include "support/browserfiles/CacheEntryBuilder.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;

constexpr int kWaitMs = 20000;
// Each cached movie takes a check-out of this many bytes: together they keep
// the walk busy for seconds, far past the window's end.
constexpr std::uint32_t kCachedMovieBytes = std::uint32_t(128) << 20;
constexpr int kCachedMovies = 12;

// An uncompressed movie of length bytes: its header, then zeros. A movie is
// whole once it gave as many bytes as its header says.
std::string ZeroMovie(std::uint32_t length)
{
    std::string movie(length, '\0');
    movie.replace(0, 4, "FWS\x0a");
    for (int i = 0; i < 4; ++i)
        movie[std::size_t(4 + i)] = static_cast<char>((length >> (8 * i)) & 0xff);
    return movie;
}

// Writes bytes as a file with holes where whole blocks are zero, so a large
// movie of zeros costs the disk nothing.
void WriteSparse(const fs::path& path, const std::string& bytes)
{
    constexpr std::size_t kBlock = 64 * 1024;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string zeros(kBlock, '\0');
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        const std::size_t size = std::min(kBlock, bytes.size() - at);
        if (size == kBlock && bytes.compare(at, kBlock, zeros) == 0)
            continue;
        ASSERT_EQ(::pwrite(fd, bytes.data() + at, size, static_cast<off_t>(at)), static_cast<ssize_t>(size));
    }
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(bytes.size())), 0);
    ::close(fd);
}

// A Chromium cache of a few large movies, as the browser stores them.
void WriteLargeMovieCache(const fs::path& folder)
{
    fs::create_directories(folder);
    const std::string movie = ZeroMovie(kCachedMovieBytes);
    for (int n = 0; n < kCachedMovies; ++n) {
        test::SimpleCacheEntryParts parts;
        parts.key = "1/0/http://127.0.0.1/large" + std::to_string(n) + ".swf";
        parts.body = movie;
        parts.rawHeaders = test::ChromiumRawHeaders({"HTTP/1.1 200 OK", "Content-Type: application/x-shockwave-flash",
                                                     "Content-Length: " + std::to_string(kCachedMovieBytes)});
        WriteSparse(folder / test::SimpleCacheEntryName(parts.key), test::BuildSimpleCacheEntry(parts));
    }
}

class WindowEnd : public test::ShownWindow {};

// A download from a server that drips, a copy of a huge file, a walk over a
// cache of large movies and a movie reading that waits on a server: the
// window's destructor stops them all and is gone within a second, and the
// jobs leave no temporary file behind.
TEST_F(WindowEnd, TheWindowIsGoneWithinASecondWhateverRuns)
{
    test::LoopbackHttpServer site;
    site.route("/p/page.html",
               "<!DOCTYPE html><html><body><embed src=\"loader.swf\" width=\"10\" height=\"10\"></body></html>",
               "text/html");
    // Only the program's own fetches get the drip; the browser gets nothing.
    site.setFallback([](const test::HttpRequest& request) {
        if (request.header("User-Agent") != "HTTPGET")
            return test::HttpResponse{404, "Not Found", {}, ""};
        test::HttpResponse drip;
        drip.headers = {{"Content-Type", "application/x-shockwave-flash"}};
        drip.body = ZeroMovie(8u << 20);
        drip.dripMs = 100;
        drip.dripBytes = 1;
        return drip;
    });
    const auto asked = [&site](const std::string& target) {
        for (const test::HttpRequest& request : site.requests())
            if (request.target == target && request.header("User-Agent") == "HTTPGET")
                return true;
        return false;
    };

    // The movie reading of the page, waiting on its first movie.
    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/p/page.html"));
    ASSERT_TRUE(WaitUntil([&] { return window->WebPage()->MovieReadingRunning() && asked("/p/loader.swf"); }, kWaitMs));

    const test::TempDir work;
    WriteLargeMovieCache(work.path() / "caches/Default/Cache/Cache_Data");
    const auto bigFile = work.write("copied/huge.swf", "FWS");
    fs::resize_file(bigFile, std::uintmax_t(64) << 30);
    fs::create_directories(work.path() / "copies");
    fs::create_directories(work.path() / "downloads");
    // A job that missed its stop cannot fill the disk.
    std::optional<test::FileSizeLimit> limit(std::in_place, std::size_t(1) << 30);
    ASSERT_TRUE(limit->Set());

    UrlCacheLocations locations;
    locations.searchRoots = {work.path() / "caches"};
    locations.contentFolder = work.path() / "content";
    window->CachePage()->SetCacheOpener([locations](const std::atomic<bool>* cancelled) mutable {
        locations.cancelled = cancelled;
        return OpenUrlCacheEnumeration(locations);
    });
    window->StartCacheScan();

    window->WebPage()->StartDownloadOf(site.origin() + "/d/movie.swf", (work.path() / "downloads/movie.swf").string());
    ASSERT_TRUE(WaitUntil([&] { return asked("/d/movie.swf"); }, kWaitMs));

    window->CachePage()->StartCopy(work.folder() + "copies/", {QString::fromStdString(bigFile.string())});
    ASSERT_TRUE(test::WaitForEntries(work.path() / "copies", 1, kWaitMs));

    ASSERT_TRUE(window->CachePage()->Listing()) << "the walk ended before the window";
    ASSERT_TRUE(window->WebPage()->DownloadRunning());
    ASSERT_TRUE(window->CachePage()->Copying());
    ASSERT_TRUE(window->WebPage()->MovieReadingRunning());
    const auto start = std::chrono::steady_clock::now();
    window.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    limit.reset();

    EXPECT_LT(took, std::chrono::seconds(1))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_TRUE(test::EntryNames(work.path() / "copies").empty());
    EXPECT_TRUE(test::EntryNames(work.path() / "downloads").empty());
}

}  // namespace
}  // namespace tessaro
