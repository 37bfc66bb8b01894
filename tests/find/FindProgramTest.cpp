// tessaro-find run as a process over real caches, a loopback page and
// hostile or wrong input: its lines, its exit status and its usage text.

#include "cache/CachePageController.h"
#include "download/SaveWithNeeds.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"
#include "support/browserfiles/CacheEntryBuilder.h"
#include "support/browserfiles/CacheFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::LoopbackHttpServer;

constexpr int kRunMs = 90000;
const char* const kLoader = "ruffle-loaders/movies/avm1__cross_movie_root";

struct TRun {
    int exit = -1;
    std::vector<QJsonObject> lines;
    QString err;
    QString out;
};

// The program runs as a user runs it. In a sanitizer build the web engine's
// own code frees some objects with a mismatched size and keeps some for the
// life of the process, as the journeys of e2e/ allow it too.
QProcessEnvironment ProgramEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("ASAN_OPTIONS")))
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:new_delete_type_mismatch=0"));
    return environment;
}

// What a case's lines are checked against; the site and temporary folder
// are the case's own.
struct TWorld {
    LoopbackHttpServer site;
    test::TempDir temp;
    QProcessEnvironment environment = ProgramEnvironment();
};

TRun RunFind(const QStringList& arguments, const QProcessEnvironment& environment,
             const QString& program = QStringLiteral(TESSARO_FIND_PROGRAM))
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(kRunMs)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    for (const QString& line : run.out.split(u'\n', Qt::SkipEmptyParts))
        run.lines.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    return run;
}

std::string Fixture(const std::string& relative)
{
    return test::TempDir::read(test::FixturesDir() / relative);
}

// "<url> <sha256>" of the movies expected.json says the cache holds whole.
std::multiset<std::string> ExpectedMovies(const std::string& cache, const fs::path& expected = {})
{
    std::multiset<std::string> movies;
    for (const test::ExpectedCacheEntry& e : test::ExpectedCacheEntries(cache, expected)) {
        if (e.isSwf && !e.sparse && !e.decodedSha256.empty())
            movies.insert(e.url + " " + e.decodedSha256);
    }
    return movies;
}

// The same of every movie the web archives' expected.json lists.
std::multiset<std::string> ExpectedArchivedMovies()
{
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(Fixture("web-archives/expected.json"))).object();
    std::multiset<std::string> movies;
    for (const QJsonValue& archive : expected[QStringLiteral("movies")].toObject()) {
        for (const QJsonValue& movie : archive.toArray())
            movies.insert(movie[QStringLiteral("url")].toString().toStdString() + " " +
                          movie[QStringLiteral("sha256")].toString().toStdString());
    }
    return movies;
}

// "<first> <second>" of the fields of each error line, or of each other line, in order.
std::vector<std::string> FieldPairs(const TRun& run, bool errorLines, const char* first, const char* second,
                                    const char* separator = " ")
{
    std::vector<std::string> pairs;
    for (const QJsonObject& line : run.lines) {
        if (line.contains(QStringLiteral("error")) == errorLines)
            pairs.push_back(line[QLatin1String(first)].toString().toStdString() + separator +
                            line[QLatin1String(second)].toString().toStdString());
    }
    return pairs;
}

std::multiset<std::string> ListedMovies(const TRun& run)
{
    const std::vector<std::string> movies = FieldPairs(run, false, "url", "sha256");
    return {movies.begin(), movies.end()};
}

std::vector<std::string> Errors(const TRun& run)
{
    return FieldPairs(run, true, "input", "error", ": ");
}

// "<found_by> <url>" of each row, in order.
std::vector<std::string> Rows(const TRun& run)
{
    return FieldPairs(run, false, "found_by", "url");
}

QString Folder(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

// A copy of a fixture cache folder, to be damaged.
fs::path CopyOfFixture(const TWorld& world, const std::string& fixture, const std::string& name)
{
    const fs::path copy = world.temp.path() / name;
    fs::copy(test::FixturesDir() / fixture, copy, fs::copy_options::recursive);
    return copy;
}

// The entry file of a simple cache whose key ends in path.
fs::path SimpleCacheEntryOf(const fs::path& folder, const std::string& path)
{
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
        if (!item.path().string().ends_with("_0"))
            continue;
        const std::string bytes = test::TempDir::read(item.path());
        const std::size_t keyLength = static_cast<unsigned char>(bytes[12]) | static_cast<unsigned char>(bytes[13])
                                                                                  << 8;
        if (bytes.substr(24, keyLength).ends_with(path))
            return item.path();
    }
    return {};
}

void Patch(const fs::path& file, std::size_t at, const std::string& bytes)
{
    std::string whole = test::TempDir::read(file);
    whole.replace(at, bytes.size(), bytes);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << whole;
}

// The error line of a damaged source's entries.
void ExpectDamageLine(const TRun& run, const std::string& words)
{
    ASSERT_EQ(Errors(run).size(), 1u);
    EXPECT_NE(Errors(run)[0].find(words), std::string::npos) << Errors(run)[0];
}

struct TFindCase {
    const char* name;
    std::function<QStringList(TWorld&)> arguments;
    int exit;
    std::function<void(const TRun&, const TWorld&)> check;
};

void PrintTo(const TFindCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::string kHtml = "text/html";

std::string Page(const std::string& body)
{
    return "<!DOCTYPE html><html><body>" + body + "</body></html>";
}

const TFindCase kCases[] = {
    {"CacheOfChromiumListsEveryWholeMovie",
     [](TWorld&) {
         return QStringList{QStringLiteral("cache"), Folder(test::FixturesDir() / "chromium")};
     },
     0,
     [](const TRun& run, const TWorld&) {
         EXPECT_EQ(ListedMovies(run), ExpectedMovies("chromium_cache"));
         for (const QJsonObject& line : run.lines) {
             EXPECT_EQ(line[QStringLiteral("source")][QStringLiteral("browser")].toString(),
                       QStringLiteral("Chromium"));
             EXPECT_TRUE(line[QStringLiteral("needs")].isArray());
             EXPECT_GT(line[QStringLiteral("version")].toInt(), 0);
         }
     }},
    {"CachesOfFirefoxAndWineTogether",
     [](TWorld&) {
         return QStringList{QStringLiteral("cache"), Folder(test::FixturesDir() / "firefox"),
                            Folder(test::FixturesDir() / "ie-wine")};
     },
     0,
     [](const TRun& run, const TWorld&) {
         std::multiset<std::string> expected = ExpectedMovies("firefox_cache");
         expected.merge(ExpectedMovies("ie_cache"));
         EXPECT_EQ(ListedMovies(run), expected);
         EXPECT_TRUE(run.err.contains(QStringLiteral("ie-wine: 20 movies"))) << run.err.toStdString();
     }},
    {"WebArchivesOfAFolderListEveryRecordedMovie",
     [](TWorld&) {
         return QStringList{QStringLiteral("cache"), Folder(test::FixturesDir() / "web-archives")};
     },
     0,
     [](const TRun& run, const TWorld&) {
         EXPECT_EQ(ListedMovies(run), ExpectedArchivedMovies());
         for (const QJsonObject& line : run.lines)
             EXPECT_TRUE(
                 line[QStringLiteral("source")][QStringLiteral("archive")].toString().endsWith(QStringLiteral(".gz")));
     }},
    {"WebArchiveFilesGivenByThemselvesListTheSame",
     [](TWorld&) {
         const fs::path archives = test::FixturesDir() / "web-archives";
         return QStringList{QStringLiteral("cache"), Folder(archives / "aut-example.warc.gz"),
                            Folder(archives / "aut-example.arc.gz"), Folder(archives / "README")};
     },
     1,
     [](const TRun& run, const TWorld&) {
         EXPECT_EQ(ListedMovies(run), ExpectedArchivedMovies());
         ASSERT_EQ(Errors(run).size(), 1u);
         EXPECT_NE(Errors(run)[0].find("README: no cache or web archive found there"), std::string::npos);
     }},
    {"ADamagedArchiveListsItsIntactMoviesAndSaysWhere",
     [](TWorld& world) {
         const std::string whole = Fixture("web-archives/aut-example.warc.gz");
         world.temp.write("cut.warc.gz", whole.substr(0, whole.size() * 3 / 5));
         return QStringList{QStringLiteral("cache"), Folder(world.temp.path() / "cut.warc.gz")};
     },
     1,
     [](const TRun& run, const TWorld&) {
         const std::multiset<std::string> listed = ListedMovies(run);
         const std::multiset<std::string> all = ExpectedArchivedMovies();
         EXPECT_FALSE(listed.empty());
         EXPECT_TRUE(std::includes(all.begin(), all.end(), listed.begin(), listed.end()));
         ASSERT_EQ(Errors(run).size(), 1u);
         EXPECT_NE(Errors(run)[0].find("cut.warc.gz: "), std::string::npos) << Errors(run)[0];
     }},
    {"ADamagedCacheListsWhatItCanAndSaysWhere",
     [](TWorld& world) {
         // The Wine cache with its index cut inside its hash table.
         const fs::path copy = world.temp.path() / "disk";
         fs::copy(test::FixturesDir() / "ie-wine", copy, fs::copy_options::recursive);
         const fs::path index =
             copy / "drive_c/users/tessaro/AppData/Local/Microsoft/Windows/INetCache/Content.IE5/index.dat";
         fs::resize_file(index, fs::file_size(index) / 2);
         return QStringList{QStringLiteral("cache"), Folder(copy)};
     },
     1,
     [](const TRun& run, const TWorld&) {
         const std::multiset<std::string> listed = ListedMovies(run);
         const std::multiset<std::string> all = ExpectedMovies("ie_cache");
         EXPECT_TRUE(std::includes(all.begin(), all.end(), listed.begin(), listed.end()));
         ASSERT_EQ(Errors(run).size(), 1u);
         EXPECT_NE(Errors(run)[0].find("Content.IE5: "), std::string::npos) << Errors(run)[0];
     }},
    {"DamagedSimpleCacheEntriesAreCountedButNotOneBeingWritten",
     [](TWorld& world) {
         const fs::path cache = CopyOfFixture(world, "chromium/Cache_Data", "Cache_Data");
         const fs::path page = SimpleCacheEntryOf(cache, "/index.html"), script = SimpleCacheEntryOf(cache, "/app.js");
         const fs::path image = SimpleCacheEntryOf(cache, "/img.png");
         // Stream 0 said to be longer than the file; a magic that is none;
         // an entry cut before its end record, as while Chromium writes it.
         Patch(page, fs::file_size(page) - 8, std::string("\xff\xff\xff\x00", 4));
         Patch(script, 0, "notmagic");
         fs::resize_file(image, fs::file_size(image) / 2);
         // The walk goes oldest first: the page's entry is the first.
         fs::last_write_time(page, fs::last_write_time(script) - std::chrono::hours(1));
         return QStringList{QStringLiteral("cache"), Folder(cache)};
     },
     1,
     [](const TRun& run, const TWorld& world) {
         EXPECT_EQ(ListedMovies(run), ExpectedMovies("chromium_cache"));
         const fs::path page = SimpleCacheEntryOf(world.temp.path() / "Cache_Data", "/index.html");
         ExpectDamageLine(
             run, "Cache_Data: 2 damaged entries, the first " + page.filename().string() + ": bad stream sizes");
     }},
    {"ABlockFileBodyOutsideItsDataFileIsADamagedEntry",
     [](TWorld& world) {
         const fs::path cache = CopyOfFixture(world, "chromium-blockfile/Cache_Data", "Cache_Data");
         // The body address of movie.swf's entry (a block of 256 bytes in
         // data_1) moved to block 65535 of data_1, far past its end.
         const std::string blocks = test::TempDir::read(cache / "data_1");
         const std::size_t key = blocks.find(":42391/movie.swf");
         const std::size_t entry = 8192 + (key - 8192) / 256 * 256;
         Patch(cache / "data_1", entry + 60, std::string("\xff\xff\x01\xa0", 4));
         return QStringList{QStringLiteral("cache"), Folder(cache)};
     },
     1,
     [](const TRun& run, const TWorld&) {
         // Every movie but that one, and the one served as a download,
         // found by its first bytes.
         std::multiset<std::string> intact;
         for (const test::ExpectedCacheEntry& e :
              test::ExpectedCacheEntries("", test::FixturesDir() / "chromium-blockfile/expected.json")) {
             if ((e.isSwf || e.url.ends_with("/download?id=7")) && !e.url.ends_with("/movie.swf"))
                 intact.insert(e.url + " " + e.decodedSha256);
         }
         EXPECT_EQ(intact.size(), 7u);
         EXPECT_EQ(ListedMovies(run), intact);
         ExpectDamageLine(run, "Cache_Data: 1 damaged entry, data_1: body: bad address");
     }},
    {"AnInternetExplorerRecordWhoseFileIsGoneIsADamagedEntry",
     [](TWorld& world) {
         const fs::path disk = CopyOfFixture(world, "ie-wine", "disk");
         fs::remove(disk /
                    "drive_c/users/tessaro/AppData/Local/Microsoft/Windows/INetCache/Content.IE5/GD44FFJ7/page[0]");
         return QStringList{QStringLiteral("cache"), Folder(disk)};
     },
     1,
     [](const TRun& run, const TWorld&) {
         EXPECT_EQ(ListedMovies(run), ExpectedMovies("ie_cache"));
         ExpectDamageLine(run, "Content.IE5: 1 damaged entry, GD44FFJ7/page[0]: body file missing");
     }},
    {"CacheWithoutAPathReadsTheUsersOwnCaches",
     [](TWorld& world) {
         fs::create_directories(world.temp.path() / ".cache/chromium/Default/Cache");
         fs::copy(test::FixturesDir() / "chromium/Cache_Data",
                  world.temp.path() / ".cache/chromium/Default/Cache/Cache_Data", fs::copy_options::recursive);
         fs::create_directories(world.temp.path() / ".config");
         world.environment.insert(QStringLiteral("HOME"), Folder(world.temp.path()));
         world.environment.insert(QStringLiteral("XDG_CACHE_HOME"), Folder(world.temp.path() / ".cache"));
         world.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Folder(world.temp.path() / ".config"));
         return QStringList{QStringLiteral("cache")};
     },
     0, [](const TRun& run, const TWorld&) { EXPECT_EQ(ListedMovies(run), ExpectedMovies("chromium_cache")); }},
    {"AFolderWithoutCachesOrMissingIsAnErrorLine",
     [](TWorld& world) {
         return QStringList{QStringLiteral("cache"), Folder(world.temp.path()), Folder(world.temp.path() / "gone")};
     },
     1, [](const TRun& run, const TWorld&) { EXPECT_EQ(Errors(run).size(), 2u); }},
    {"PageListsTheWindowsRowsInItsOrder",
     [](TWorld& world) {
         world.site.route("/p/index.html",
                          Page("<embed src=\"m/test.swf\"><script>var later = 'guess.swf';</script>"
                               "<iframe src=\"frame.html\"></iframe>"),
                          kHtml);
         world.site.route("/p/frame.html", Page("<object data=\"framed.swf\"></object>"), kHtml);
         world.site.route("/p/m/test.swf", Fixture(std::string(kLoader) + "/test.swf"),
                          "application/x-shockwave-flash");
         // A Flash player resolved a movie's loads against the page.
         world.site.route("/p/layer1.swf", Fixture(std::string(kLoader) + "/layer1.swf"),
                          "application/x-shockwave-flash");
         world.site.route("/p/framed.swf", test::MinimalMovie({1, 2, 3}, 20, 10), "application/x-shockwave-flash");
         return QStringList{QStringLiteral("page"), QString::fromStdString(world.site.origin() + "/p/index.html")};
     },
     0,
     [](const TRun& run, const TWorld& world) {
         const std::string p = world.site.origin() + "/p/";
         // The guess named no movie and is taken off, as in the window.
         EXPECT_EQ(Rows(run), (std::vector<std::string>{"page " + p + "m/test.swf", "page " + p + "framed.swf",
                                                        "movie " + p + "layer1.swf"}));
         ASSERT_EQ(run.lines.size(), 3u);
         const QJsonObject loader = run.lines[0];
         EXPECT_EQ(loader[QStringLiteral("sha256")].toString().toStdString(),
                   test::Sha256Hex(Fixture(std::string(kLoader) + "/test.swf")));
         const QJsonValue need = loader[QStringLiteral("needs")].toArray().first();
         EXPECT_EQ(need[QStringLiteral("url")].toString().toStdString(), p + "layer1.swf");
         EXPECT_TRUE(need[QStringLiteral("found")].toBool()) << "the server answered it";
         EXPECT_EQ(run.lines[1][QStringLiteral("width")].toDouble(), 20);
     }},
    {"SaveKeepsEachMovieWithWhatItLoadsUnderItsHost",
     [](TWorld& world) {
         world.site.route("/p/index.html", Page("<embed src=\"m/test.swf\">"), kHtml);
         world.site.route("/p/m/test.swf", Fixture(std::string(kLoader) + "/test.swf"),
                          "application/x-shockwave-flash");
         world.site.route("/p/layer1.swf", Fixture(std::string(kLoader) + "/layer1.swf"),
                          "application/x-shockwave-flash");
         return QStringList{QStringLiteral("page"), QString::fromStdString(world.site.origin() + "/p/index.html"),
                            QStringLiteral("--save"), Folder(world.temp.path() / "kept")};
     },
     0,
     [](const TRun& run, const TWorld& world) {
         const fs::path host = world.temp.path() / "kept" / ("127.0.0.1_" + std::to_string(world.site.port()));
         EXPECT_EQ(test::TempDir::read(host / "p/m/test.swf"), Fixture(std::string(kLoader) + "/test.swf"));
         EXPECT_EQ(test::TempDir::read(host / "p/layer1.swf"), Fixture(std::string(kLoader) + "/layer1.swf"));
         ASSERT_EQ(run.lines.size(), 2u);
         for (const QJsonObject& line : run.lines) {
             EXPECT_EQ(line[QStringLiteral("status")].toString(), QStringLiteral("saved"));
             EXPECT_TRUE(line[QStringLiteral("file")].toString().startsWith(
                 QString::fromStdString("127.0.0.1_" + std::to_string(world.site.port()) + "/p/")));
         }
         const std::string manifest = test::TempDir::read(world.temp.path() / "kept" / "tessaro-manifest.jsonl");
         EXPECT_EQ(std::count(manifest.begin(), manifest.end(), '\n'), 2) << manifest;
     }},
    {"DescribedPageReadsNoMovie",
     [](TWorld& world) {
         world.site.route("/d.html", Page("<embed src=\"a.swf\"><script>var s = 'b.swf';</script>"), kHtml);
         return QStringList{QStringLiteral("--described"), QStringLiteral("page"),
                            QString::fromStdString(world.site.origin() + "/d.html")};
     },
     0,
     [](const TRun& run, const TWorld& world) {
         EXPECT_EQ(Rows(run), std::vector<std::string>{"page " + world.site.origin() + "/a.swf"});
         for (const test::HttpRequest& request : world.site.requests())
             EXPECT_NE(request.header("User-Agent").find("Mozilla"), std::string::npos)
                 << request.target << ": only the browser asked, no movie was read";
     }},
    {"HostileMoviesAreErrorLinesAndTheReadPartListed",
     [](TWorld& world) {
         const std::string whole = test::MinimalMovie({0, 0, 0}, 30, 30);
         world.temp.write("cut.swf", whole.substr(0, whole.size() - 3));
         world.temp.write("page.html", Page("no movie"));
         world.temp.write("ok.swf", whole);
         return QStringList{QStringLiteral("movie"),
                            Folder(world.temp.path() / "cut.swf"),
                            Folder(world.temp.path() / "page.html"),
                            Folder(world.temp.path() / "none.swf"),
                            QStringLiteral("/etc"),
                            Folder(world.temp.path() / "ok.swf")};
     },
     1,
     [](const TRun& run, const TWorld&) {
         EXPECT_EQ(Errors(run).size(), 4u);
         int listed = 0;
         for (const QJsonObject& line : run.lines)
             listed += line.contains(QStringLiteral("version")) ? 1 : 0;
         EXPECT_EQ(listed, 2) << "the cut movie's header and the whole one";
     }},
    {"PageOfALocalFileIsRefused",
     [](TWorld&) {
         return QStringList{QStringLiteral("page"), QStringLiteral("/etc/passwd")};
     },
     1, [](const TRun& run, const TWorld&) { EXPECT_EQ(Errors(run).size(), 1u); }},
    {"HelpOnStandardOutput", [](TWorld&) { return QStringList{QStringLiteral("--help")}; }, 0,
     [](const TRun& run, const TWorld&) {
         for (const char* word : {"page URL", "cache [PATH", "movie FILE|URL", "--jobs", "--described", "--version"})
             EXPECT_TRUE(run.out.contains(QLatin1String(word))) << word;
     }},
    {"VersionOnStandardOutput", [](TWorld&) { return QStringList{QStringLiteral("--version")}; }, 0,
     [](const TRun& run, const TWorld&) { EXPECT_TRUE(run.out.startsWith(QStringLiteral("tessaro-find 1."))); }},
};

const TFindCase kUsageErrors[] = {
    {"NoCommand", [](TWorld&) { return QStringList{}; }, 2, {}},
    {"UnknownCommand", [](TWorld&) { return QStringList{QStringLiteral("pages")}; }, 2, {}},
    {"PageWithoutAddress", [](TWorld&) { return QStringList{QStringLiteral("page")}; }, 2, {}},
    {"UnknownOption",
     [](TWorld&) {
         return QStringList{QStringLiteral("--fast"), QStringLiteral("cache")};
     },
     2,
     {}},
    {"JobsPastTheWindowsBound",
     [](TWorld&) {
         return QStringList{QStringLiteral("--jobs"), QStringLiteral("5"), QStringLiteral("cache")};
     },
     2,
     {}},
    {"JobsWithoutNumber",
     [](TWorld&) {
         return QStringList{QStringLiteral("cache"), QStringLiteral("--jobs")};
     },
     2,
     {}},
};

class FindProgram : public testing::TestWithParam<TFindCase> {};

TEST_P(FindProgram, WritesItsLinesAndExitStatus)
{
    TWorld world;
    const QStringList arguments = GetParam().arguments(world);
    const TRun run = RunFind(arguments, world.environment);
    ASSERT_EQ(run.exit, GetParam().exit) << run.out.toStdString() << run.err.toStdString();
    const bool lines =
        !arguments.contains(QStringLiteral("--help")) && !arguments.contains(QStringLiteral("--version"));
    for (const QJsonObject& line : run.lines)
        EXPECT_TRUE(!lines || !line.isEmpty()) << "every line is one JSON object";
    if (GetParam().check)
        GetParam().check(run, world);
    else
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage: tessaro-find")) && run.out.isEmpty());
}

// Pages are scanned by the page program beside tessaro-find; a copy of
// tessaro-find alone says so for each page, and the run fails.
TEST(FindProgramPages, WithoutItsPageProgramEveryPageGetsAnErrorLine)
{
    const test::TempDir alone;
    const fs::path program = alone.path() / "tessaro-find";
    fs::copy_file(TESSARO_FIND_PROGRAM, program);
    const QStringList pages{QStringLiteral("http://127.0.0.1:9/a.html"), QStringLiteral("http://127.0.0.1:9/b.html")};
    const TRun run = RunFind(QStringList{QStringLiteral("page")} + pages, ProgramEnvironment(),
                             QString::fromStdString(program.string()));
    EXPECT_EQ(run.exit, 1) << run.err.toStdString();
    ASSERT_EQ(run.lines.size(), 2u) << run.out.toStdString();
    for (std::size_t i = 0; i < run.lines.size(); ++i) {
        EXPECT_EQ(run.lines[i][QStringLiteral("input")].toString(), pages[qsizetype(i)]);
        EXPECT_TRUE(run.lines[i][QStringLiteral("error")].toString().startsWith(
            QStringLiteral("the page scan could not be started: ")))
            << run.out.toStdString();
    }
}

// Every file below folder but its manifest, by relative path, with its bytes.
std::map<std::string, std::string> SavedTree(const fs::path& folder)
{
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file() && item.path().filename() != kManifestName)
            tree[item.path().lexically_relative(folder).string()] = test::TempDir::read(item.path());
    }
    return tree;
}

// The manifest's lines without the fields that differ by nature: none
// differs between the two saves of one cache, so the lines are kept whole,
// but the order of lines follows the rows each save was handed, which is
// the walk's in both.
std::vector<std::string> ManifestLines(const fs::path& folder)
{
    std::vector<std::string> lines;
    for (const QString& line :
         QString::fromStdString(test::TempDir::read(folder / kManifestName)).split(u'\n', Qt::SkipEmptyParts))
        lines.push_back(line.toStdString());
    return lines;
}

// A cached loader with its cached child and a level no cache holds, saved by
// tessaro-find --save and by the cache page with every row checked: the same
// files with the same bytes, the same manifest.
TEST(FindProgramSave, SavesACacheAsTheCachePageSavesTheSameRows)
{
    const test::TempDir temp;
    const fs::path cache = temp.path() / "Cache_Data";
    const auto cached = [&](const std::string& address, const std::string& body) {
        test::SimpleCacheEntryParts entry;
        entry.key = "1/0/" + address;
        entry.body = body;
        entry.rawHeaders = test::ChromiumRawHeaders({"HTTP/1.1 200 OK"});
        temp.write("Cache_Data/" + test::SimpleCacheEntryName(entry.key), test::BuildSimpleCacheEntry(entry));
    };
    using B = test::TMovieBuilder;
    cached(
        "http://127.0.0.1:9/g/loader.swf",
        B().Tag(12, B::GetUrl("levels/child.swf", "_level1") + B::GetUrl("levels/gone.swf", "_level2") + '\0').Build());
    cached("http://127.0.0.1:9/g/levels/child.swf", test::MinimalMovie({0, 255, 0}, 10, 10));

    const TRun run =
        RunFind({QStringLiteral("cache"), Folder(cache), QStringLiteral("--save"), Folder(temp.path() / "by-find")},
                ProgramEnvironment());
    ASSERT_EQ(run.exit, 0) << run.out.toStdString() << run.err.toStdString();

    TCachePageController page;
    UrlCacheLocations locations;
    locations.embeddedCache = temp.path() / "none";
    locations.contentFolder = temp.path() / "content";
    locations.addedFolders = {cache};
    page.SetCacheOpener([locations](const std::atomic<bool>* cancelled) mutable {
        locations.cancelled = cancelled;
        return OpenUrlCacheEnumeration(locations);
    });
    page.StartListing();
    ASSERT_TRUE(test::WaitUntil([&] { return !page.Listing(); }, 20000));
    ASSERT_EQ(page.Movies()->RowCount(), 2);
    for (int row = 0; row < page.Movies()->RowCount(); ++row)
        page.Movies()->SetChecked(row, true);
    ASSERT_TRUE(page.StartSaveWithNeeds(Folder(temp.path() / "by-window")));
    ASSERT_TRUE(test::WaitUntil([&] { return !page.Copying(); }, 20000));

    const std::map<std::string, std::string> saved = SavedTree(temp.path() / "by-window");
    EXPECT_EQ(saved.size(), 2u) << "the loader and its child; the other level is missing";
    EXPECT_EQ(SavedTree(temp.path() / "by-find"), saved);
    EXPECT_EQ(ManifestLines(temp.path() / "by-find"), ManifestLines(temp.path() / "by-window"));
}

INSTANTIATE_TEST_SUITE_P(Runs, FindProgram, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(UsageErrors, FindProgram, testing::ValuesIn(kUsageErrors),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro
