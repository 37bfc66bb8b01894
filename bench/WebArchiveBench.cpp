// The cache walk over a web archive of 1 GiB: the real crawl's WARC (a gzip
// member a record) repeated, in an added folder, every movie checked out
// into a fresh content folder each round; beside `gzip -dc FILE > /dev/null`
// in the same run, the floor of any reader that must inflate every record.
// Prints each round's times, min / median / max of the ratio, and the
// process's peak memory after a walk over a 64 MiB archive and after the
// 1 GiB one (flat: the same).
//
//   tessaro_web_archive_bench [MiB]        the archive's size (default 1024)

#include "Spread.h"
#include "platform/cachewalk/UrlCache.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace tessaro;
namespace fs = std::filesystem;

constexpr int kRounds = 3;

void WriteRepeated(const fs::path& path, const std::string& bytes, std::uint64_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    for (std::uint64_t written = 0; written < size; written += bytes.size()) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
            std::abort();
    }
    std::fclose(file);
}

// The walk over the added folder; how many movies it yielded.
int Walk(const fs::path& added, const fs::path& content)
{
    UrlCacheLocations locations;
    locations.embeddedCache = content.parent_path() / "none";
    locations.contentFolder = content;
    locations.addedFolders = {added};
    auto cache = OpenUrlCacheEnumeration(locations);
    UrlCacheEntry entry;
    int movies = 0;
    while (cache->Next(entry))
        movies += entry.archive.empty() ? 0 : 1;
    cache->Close();
    return movies;
}

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv)
{
    test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::string crawl = test::TempDir::read(test::FixturesDir() / "web-archives" / "aut-example.warc.gz");
    const test::TempDir dir;
    fs::create_directories(dir.path() / "small");
    fs::create_directories(dir.path() / "large");
    WriteRepeated(dir.path() / "small" / "crawl.warc.gz", crawl, std::uint64_t(64) << 20);
    const fs::path large = dir.path() / "large" / "crawl.warc.gz";
    WriteRepeated(large, crawl, mib << 20);

    const int smallMovies = Walk(dir.path() / "small", dir.path() / "content-small");
    const long smallPeak = PeakKiB();
    std::vector<double> ratios;
    int movies = 0;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const std::string command = "gzip -dc '" + large.string() + "' > /dev/null";
        if (std::system(command.c_str()) != 0)
            return 1;
        const double floor = timer.nsecsElapsed() / 1e9;
        const fs::path content = dir.path() / ("content-" + std::to_string(round));
        timer.restart();
        movies = Walk(dir.path() / "large", content);
        const double walk = timer.nsecsElapsed() / 1e9;
        fs::remove_all(content);
        ratios.push_back(walk / floor);
        std::printf("round %d: walk %.2f s, gzip -dc %.2f s, ratio %.3f\n", round + 1, walk, floor, walk / floor);
    }
    const bench::Spread spread = bench::SpreadOf(ratios);
    std::printf("archive %llu MiB, %d movies checked out (64 MiB: %d)\n", static_cast<unsigned long long>(mib), movies,
                smallMovies);
    std::printf("ratio to gzip -dc: min %.3f / median %.3f / max %.3f\n", spread.min, spread.median, spread.max);
    std::printf("peak memory: %ld KiB after the 64 MiB archive, %ld KiB after the %llu MiB one\n", smallPeak, PeakKiB(),
                static_cast<unsigned long long>(mib));
    return 0;
}
