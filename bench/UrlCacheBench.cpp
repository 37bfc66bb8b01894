// The cache walk on a generated Chromium simple cache of 20,000 entries, 200
// of them Flash movies, laid out as a browser's cache under a home folder,
// and on an Internet Explorer cache of as many entries in a Wine prefix.
// Measures the first walk (every movie checked out) and warm walks (the
// files are in the page cache and every check-out is already in place), each
// with its time, its CPU time and the process's peak memory during it.
//
//   tessaro_url_cache_bench                 the generated caches
//   tessaro_url_cache_bench --cache DIR...  real cache folders (a Chromium
//       Cache_Data folder, simple or block-file), one after another in the
//       same run (--cache DIR1 --cache DIR2); warm walks interleaved with the floor: opening
//       every file of the folder and reading its first and last 4 KiB, in
//       C and in Python (for a block-file cache: reading the index and the
//       block files whole); then cold walks and floors, the page cache dropped
//       before each (as root); prints min / median / max of the ratios.
//       tests/fixtures/tools/make_bigcache.sh makes both kinds of real cache
//       of 20,000 entries.

#include "Spread.h"
#include "cache/FindCacheThread.h"
#include "platform/cachewalk/UrlCache.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"
#include "support/browserfiles/CacheEntryBuilder.h"
#include "support/browserfiles/IeCacheBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tessaro;

constexpr int kEntries = 20000;
constexpr int kMovies = 200;
constexpr int kWarmRuns = 5;
constexpr int kColdRuns = 3;

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        std::abort();
    std::fclose(file);
}

std::uint64_t MakeCache(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    std::mt19937 random(1);
    std::uint64_t bytes = 0;
    for (int i = 0; i < kEntries; ++i) {
        const bool movie = i % (kEntries / kMovies) == 0;
        test::SimpleCacheEntryParts parts;
        const std::string name = movie ? "movie" + std::to_string(i) + ".swf" : "res" + std::to_string(i) + ".js";
        parts.key = "1/0/_dk_http://site.test http://site.test http://site.test/" + name;
        const std::size_t size = movie ? 20000 + random() % 60000 : 200 + random() % 6000;
        parts.body = movie ? test::FwsMovie(size) : std::string(size, char('a' + i % 26));
        parts.rawHeaders = test::ChromiumRawHeaders(
            {"HTTP/1.1 200 OK", movie ? "Content-Type: application/x-shockwave-flash" : "Content-Type: text/javascript",
             "Content-Length: " + std::to_string(size), "Cache-Control: max-age=3600"});
        const std::string entry = test::BuildSimpleCacheEntry(parts);
        bytes += entry.size();
        WriteFile(folder / test::SimpleCacheEntryName(parts.key), entry);
    }
    std::string index(24, '\0');
    index.replace(0, 8, "\x30\x5c\x72\xa7\x1b\x6d\xfb\xfc", 8);
    WriteFile(folder / "index", index);
    return bytes;
}

// The same mix as an Internet Explorer cache written by Wine: index.dat
// and one plain file per entry, spread over four folders.
std::uint64_t MakeIeCache(const std::filesystem::path& container)
{
    std::mt19937 random(1);
    test::IeCacheParts parts;
    for (int i = 0; i < kEntries; ++i) {
        const bool movie = i % (kEntries / kMovies) == 0;
        test::IeCacheEntryParts entry;
        const std::string stem = movie ? "movie" + std::to_string(i) : "res" + std::to_string(i);
        entry.url = "http://site.test/" + stem + (movie ? ".swf" : ".js");
        entry.fileName = stem + "[0]";
        entry.folder = std::uint8_t(i % 4);
        const std::size_t size = movie ? 20000 + random() % 60000 : 200 + random() % 6000;
        entry.body = movie ? test::FwsMovie(size) : std::string(size, char('a' + i % 26));
        entry.head = test::IeResponseHead(
            {"HTTP/1.1 200 OK", movie ? "Content-Type: application/x-shockwave-flash" : "Content-Type: text/javascript",
             "Content-Length: " + std::to_string(size), "Cache-Control: max-age=3600"});
        parts.entries.push_back(std::move(entry));
    }
    test::WriteIeCache(container, parts);
    std::uint64_t bytes = std::filesystem::file_size(container / "index.dat");
    for (const test::IeCacheEntryParts& entry : parts.entries)
        bytes += entry.body.size();
    return bytes;
}

// The process's CPU time so far, in milliseconds.
double CpuMs()
{
    return double(std::clock()) * 1e3 / CLOCKS_PER_SEC;
}

// The process's peak resident memory (VmHWM) in KiB; ResetPeakMemory starts
// a new peak from what is resident now.
long PeakMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void ResetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Walk {
    double ms = 0;
    long peakKiB = 0;
    double cpuMs = 0;  // user + system time of the process: what the walk costs when the machine is busy
    int entries = 0;
    int movies = 0;
    double firstMovieMs = -1;  // when the first movie came
};

Walk WalkCache(const UrlCacheLocations& locations)
{
    ResetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = CpuMs();
    Walk walk;
    auto cache = OpenUrlCacheEnumeration(locations);
    UrlCacheEntry entry;
    while (cache->Next(entry)) {
        ++walk.entries;
        if (IsFlashCacheFile(entry.localFileName) && walk.movies++ == 0)
            walk.firstMovieMs = double(timer.nsecsElapsed()) / 1e6;
    }
    cache->Close();
    walk.ms = double(timer.nsecsElapsed()) / 1e6;
    walk.cpuMs = CpuMs() - cpuStart;
    walk.peakKiB = PeakMemoryKiB();
    return walk;
}

// Walks the caches once cold and kWarmRuns times warm; false when a walk
// did not list every entry and movie.
bool Measure(const char* name, const UrlCacheLocations& locations)
{
    const Walk first = WalkCache(locations);
    std::printf(
        "%s, first walk: %d entries, %d movies listed, %.1f ms (%.0f entries/s), %.1f ms CPU, peak memory %ld KiB, "
        "check-outs written\n",
        name, first.entries, first.movies, first.ms, first.entries / (first.ms / 1000), first.cpuMs, first.peakKiB);
    std::vector<double> warm;
    std::vector<double> warmCpu;
    long warmPeak = 0;
    bool right = first.entries == kEntries && first.movies == kMovies;
    for (int run = 0; run < kWarmRuns; ++run) {
        const Walk walk = WalkCache(locations);
        if (walk.entries != kEntries || walk.movies != kMovies) {
            std::printf("run %d: %d entries, %d movies: wrong\n", run, walk.entries, walk.movies);
            right = false;
        }
        warm.push_back(walk.ms);
        warmCpu.push_back(walk.cpuMs);
        warmPeak = std::max(warmPeak, walk.peakKiB);
    }
    std::sort(warmCpu.begin(), warmCpu.end());
    std::sort(warm.begin(), warm.end());
    const double median = warm[warm.size() / 2];
    std::printf(
        "%s, warm walk: median %.1f ms (min %.1f, max %.1f) over %d runs, %.0f entries/s; median CPU %.1f ms; peak "
        "memory %ld KiB\n",
        name, median, warm.front(), warm.back(), kWarmRuns, kEntries / (median / 1000), warmCpu[warmCpu.size() / 2],
        warmPeak);
    return right;
}

// The floor of a walk over a block-file cache: the index and the block files
// opened and read whole; with separateFiles, the first 4 KiB of every separate
// file too (the walk looks at the start of each body kept there).
double BlockFileFloorMs(const std::filesystem::path& folder, bool separateFiles)
{
    QElapsedTimer timer;
    timer.start();
    std::vector<char> buffer(1 << 20);
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        const bool shared = name == "index" || name.rfind("data_", 0) == 0;
        if (!shared && !(separateFiles && name.rfind("f_", 0) == 0))
            continue;
        const int fd = open(it->path().c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        if (shared) {
            while (read(fd, buffer.data(), buffer.size()) > 0) {
            }
        } else if (pread(fd, buffer.data(), 4096, 0) < 0) {
            std::fprintf(stderr, "read failed: %s\n", it->path().c_str());
        }
        close(fd);
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

bool IsBlockFileFolder(const std::filesystem::path& folder)
{
    return std::filesystem::exists(folder / "index") && std::filesystem::exists(folder / "data_0");
}

// The floor of a walk: one open and the first and last 4 KiB of every
// regular file.
double FloorMs(const std::filesystem::path& folder)
{
    if (IsBlockFileFolder(folder))
        return BlockFileFloorMs(folder, false);
    QElapsedTimer timer;
    timer.start();
    char buffer[4096];
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error))
            continue;
        const int fd = open(it->path().c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        const off_t size = lseek(fd, 0, SEEK_END);
        if (pread(fd, buffer, sizeof buffer, 0) < 0 ||
            (size > off_t(sizeof buffer) && pread(fd, buffer, sizeof buffer, size - off_t(sizeof buffer)) < 0))
            std::fprintf(stderr, "read failed: %s\n", it->path().c_str());
        close(fd);
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// The same floor written in Python, timed inside the interpreter (its start
// left out): the anchor the cache walk was first compared with.
double PythonFloorMs(const std::filesystem::path& folder)
{
    static const char* const kScript =
        "import os,sys,time\n"
        "d=sys.argv[1]\n"
        "t=time.perf_counter()\n"
        "for n in os.listdir(d):\n"
        "  try:\n"
        "    with open(os.path.join(d,n),'rb') as f:\n"
        "      f.read(4096); s=f.seek(0,2)\n"
        "      if s>4096: f.seek(s-4096); f.read(4096)\n"
        "  except OSError: pass\n"
        "print((time.perf_counter()-t)*1000)\n";
    const std::string command = "python3 -c \"$TESSARO_FLOOR_SCRIPT\" '" + folder.string() + "'";
    setenv("TESSARO_FLOOR_SCRIPT", kScript, 1);
    std::FILE* pipe = popen(command.c_str(), "r");
    double ms = -1;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &ms) != 1)
        ms = -1;
    if (pipe != nullptr)
        pclose(pipe);
    return ms;
}

// Empties the page cache; false when this process may not.
bool DropPageCache()
{
    sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3" << std::flush;
    return bool(drop);
}

struct Ratios {
    std::vector<double> values;
    void Print(const char* what) const
    {
        const bench::Spread spread = bench::SpreadOf(values);
        std::printf("%s: min %.2f median %.2f max %.2f\n", what, spread.min, spread.median, spread.max);
    }
};

int MeasureRealCache(const std::filesystem::path& folder, const test::TempDir& home)
{
    UrlCacheLocations locations;
    locations.embeddedCache = home.path() / "none";
    locations.contentFolder = home.path() / "Content";
    locations.addedFolders = {folder};
    const Walk first = WalkCache(locations);
    std::printf("%s, first walk: %d entries, %d movies, %.1f ms, peak memory %ld KiB\n", folder.c_str(), first.entries,
                first.movies, first.ms, first.peakKiB);
    Ratios floor, pythonFloor, firstMovie;
    for (int run = 0; run < kWarmRuns; ++run) {
        // The order inside a run rotates, so none always runs first.
        double walkMs = 0, walkCpuMs = 0, floorMs = 0, pythonMs = 0, firstMovieMs = 0;
        for (int step = 0; step < 3; ++step) {
            switch ((run + step) % 3) {
                case 0: {
                    const Walk walk = WalkCache(locations);
                    walkMs = walk.ms;
                    walkCpuMs = walk.cpuMs;
                    firstMovieMs = walk.firstMovieMs;
                    break;
                }
                case 1:
                    floorMs = FloorMs(folder);
                    break;
                default:
                    pythonMs = PythonFloorMs(folder);
                    break;
            }
        }
        std::printf(
            "warm run %d: walk %.1f ms (%.1f ms CPU, first movie after %.1f ms), floor %.1f ms, Python floor %.1f ms\n",
            run + 1, walkMs, walkCpuMs, firstMovieMs, floorMs, pythonMs);
        if (IsBlockFileFolder(folder)) {
            const double withSeparate = BlockFileFloorMs(folder, true);
            std::printf("  block files and the start of every separate file: %.1f ms, walk / that %.2f\n", withSeparate,
                        walkMs / withSeparate);
        }
        floor.values.push_back(walkMs / floorMs);
        pythonFloor.values.push_back(walkMs / pythonMs);
        firstMovie.values.push_back(firstMovieMs);
    }
    floor.Print("warm walk / floor");
    pythonFloor.Print("warm walk / Python floor");
    firstMovie.Print("warm, first movie after (ms)");

    Ratios cold;
    for (int run = 0; run < kColdRuns; ++run) {
        double walkMs = 0, floorMs = 0;
        for (int step = 0; step < 2; ++step) {
            if (!DropPageCache()) {
                std::printf("cold runs skipped: the page cache cannot be dropped (needs root)\n");
                return first.entries > 0 ? 0 : 1;
            }
            if ((run + step) % 2 == 0)
                walkMs = WalkCache(locations).ms;
            else
                floorMs = FloorMs(folder);
        }
        std::printf("cold run %d: walk %.1f ms, floor %.1f ms\n", run + 1, walkMs, floorMs);
        cold.values.push_back(walkMs / floorMs);
    }
    cold.Print("cold walk / floor");
    return first.entries > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    const test::TempDir home;
    if (argc > 2 && std::string(argv[1]) == "--cache") {
        // Several folders are measured one after another in the same run.
        int failed = 0;
        for (int i = 1; i + 1 < argc; i += 2) {
            if (std::string(argv[i]) == "--cache")
                failed |= MeasureRealCache(argv[i + 1], home);
        }
        return failed;
    }

    UrlCacheLocations chromium;
    chromium.embeddedCache = home.path() / "none";
    chromium.searchRoots = {home.path() / ".cache"};
    chromium.contentFolder = home.path() / "Content";
    QElapsedTimer timer;
    timer.start();
    std::uint64_t bytes = MakeCache(home.path() / ".cache/chromium/Default/Cache/Cache_Data");
    std::printf("Chromium: generated %d entries (%d Flash), %.1f MB, in %.0f ms\n", kEntries, kMovies,
                double(bytes) / 1e6, double(timer.elapsed()));
    const bool chromiumRight = Measure("Chromium", chromium);

    // Only the Wine prefix: the home folder has no other cache.
    const test::TempDir wineHome;
    UrlCacheLocations ie;
    ie.embeddedCache = wineHome.path() / "none";
    ie.home = wineHome.path();
    ie.contentFolder = wineHome.path() / "Content";
    timer.restart();
    bytes =
        MakeIeCache(wineHome.path() / ".wine/drive_c/users/user/AppData/Local/Microsoft/Windows/INetCache/Content.IE5");
    std::printf("Internet Explorer: generated %d entries (%d Flash), %.1f MB, in %.0f ms\n", kEntries, kMovies,
                double(bytes) / 1e6, double(timer.elapsed()));
    const bool ieRight = Measure("Internet Explorer", ie);
    return chromiumRight && ieRight ? 0 : 1;
}
