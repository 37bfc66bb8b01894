// tessaro-find cache over a real cache folder beside the window's own walk of
// the same folder, in one run: the cache page's controller listing it as an
// added folder (the rows with their details), and the command line listing
// the same caches with every movie read and hashed, its lines read from a
// pipe; both into the program's check-out folder, warm, as at every listing
// after the first. Then `cache DIR`, which checks out into a folder of its
// own, made and removed every run. The runs alternate, so all three see the
// same page cache. A large web archive (the real crawl's WARC repeated) lies
// in a second added folder, read by all three beside the cache.
//
//   tessaro_find_bench DIR [runs] [MiB]   DIR: a Chromium Cache_Data folder (make_bigcache.sh);
//                                         MiB: the archive's size (default 256, 0: none)

#include "Spread.h"
#include "cache/AddedCacheFolders.h"
#include "cache/CachePageController.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace tessaro;

constexpr int kWaitMs = 600000;

struct TWalk {
    double ms = 0;
    int movies = 0;
};

// The cache page listing the user's caches, the folder among them as an
// added folder, into the program's own check-out folder.
TWalk WindowWalk()
{
    TCachePageController page;
    QElapsedTimer clock;
    clock.start();
    page.StartListing();
    test::WaitUntil([&] { return !page.Listing(); }, kWaitMs);
    return {double(clock.nsecsElapsed()) / 1e6, page.Movies()->RowCount()};
}

TWalk FindWalk(const QStringList& arguments)
{
    QProcess find;
    QElapsedTimer clock;
    clock.start();
    find.start(QStringLiteral(TESSARO_FIND_PROGRAM), arguments);
    // The lines are taken off the pipe as they come while it waits.
    find.waitForFinished(kWaitMs);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    int lines = 0;
    for (const QByteArray& line : find.readAllStandardOutput().split('\n'))
        lines += line.startsWith('{') && !line.contains("\"error\"") ? 1 : 0;
    return {ms, lines};
}

}  // namespace

int main(int argc, char** argv)
{
    test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CACHE_DIR [runs]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::uint64_t archiveMiB = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 256;
    // The bench's own settings and cache folder (PrepareTestEnvironment):
    // the folder, and the archive's, are the added folders, for both.
    AddCacheFolder(folder);
    QStringList givenFolder{QStringLiteral("cache"), QString::fromStdString(folder.string())};
    const test::TempDir archives;
    if (archiveMiB > 0) {
        const std::string crawl = test::TempDir::read(test::FixturesDir() / "web-archives" / "aut-example.warc.gz");
        const std::filesystem::path archive = archives.path() / "crawl.warc.gz";
        std::FILE* file = std::fopen(archive.c_str(), "wb");
        for (std::uint64_t written = 0; file != nullptr && written < (archiveMiB << 20); written += crawl.size())
            std::fwrite(crawl.data(), 1, crawl.size(), file);
        if (file == nullptr || std::fclose(file) != 0)
            return 1;
        AddCacheFolder(archives.path());
        givenFolder.append(QString::fromStdString(archives.path().string()));
        std::printf("archive: %s, %llu MiB\n", archive.c_str(), static_cast<unsigned long long>(archiveMiB));
    }
    const QStringList userCaches{QStringLiteral("cache")};
    std::vector<double> window, find, given, ratios, givenRatios;
    bool same = true;
    WindowWalk();  // the check-outs are made once, as at the window's first listing
    for (int run = 0; run < runs; ++run) {
        const TWalk a = WindowWalk();
        const TWalk b = FindWalk(userCaches);
        const TWalk c = FindWalk(givenFolder);
        std::printf(
            "run %d: window %.0f ms, %d rows; tessaro-find cache %.0f ms, %d lines; cache DIR %.0f ms, %d lines\n", run,
            a.ms, a.movies, b.ms, b.movies, c.ms, c.movies);
        same = same && a.movies == b.movies && a.movies == c.movies && a.movies > 0;
        window.push_back(a.ms);
        find.push_back(b.ms);
        given.push_back(c.ms);
        ratios.push_back(b.ms / a.ms);
        givenRatios.push_back(c.ms / a.ms);
    }
    const auto say = [](const char* what, const std::vector<double>& values, const char* unit) {
        const bench::Spread s = bench::SpreadOf(values);
        std::printf("%s: median %.2f%s (min %.2f, max %.2f)\n", what, s.median, unit, s.min, s.max);
    };
    say("window's walk", window, " ms");
    say("tessaro-find cache (the same caches, the same check-outs)", find, " ms");
    say("tessaro-find cache DIR (check-outs of its own, made and removed)", given, " ms");
    say("ratio tessaro-find cache / window", ratios, "");
    say("ratio tessaro-find cache DIR / window", givenRatios, "");
    if (!same)
        std::printf("the movie counts differ\n");
    return same ? 0 : 1;
}
