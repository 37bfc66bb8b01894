#include "platform/cachewalk/ArchivedResource.h"
#include "platform/cachewalk/UrlCache.h"
#include "support/GzipBytes.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <zip.h>
#include <zlib.h>

namespace tessaro {
namespace {

using test::Gzip;

namespace fs = std::filesystem;

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// "address sha256" of every movie the walk over the added folder yields, sorted.
std::vector<std::string> ArchivedMovies(const test::TempDir& home, std::vector<UrlCacheEntry>* entries = nullptr)
{
    UrlCacheLocations locations;
    locations.embeddedCache = home.path() / "none";
    locations.contentFolder = home.path() / "Content";
    locations.addedFolders = {home.path() / "added"};
    std::vector<std::string> movies;
    auto cache = OpenUrlCacheEnumeration(locations);
    UrlCacheEntry entry;
    while (cache->Next(entry)) {
        EXPECT_TRUE(entry.localFileName.starts_with((home.path() / "Content").string())) << entry.localFileName;
        movies.push_back(entry.url + " " + Sha256(test::TempDir::read(entry.localFileName)));
        if (entries != nullptr)
            entries->push_back(entry);
    }
    cache->Close();
    std::sort(movies.begin(), movies.end());
    return movies;
}

std::vector<std::string> Expected(const char* file, std::size_t count = 100)
{
    QFile json(QString::fromStdString((test::FixturesDir() / "web-archives" / "expected.json").string()));
    EXPECT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonArray movies = QJsonDocument::fromJson(json.readAll()).object()["movies"].toObject()[file].toArray();
    std::vector<std::string> expected;
    for (qsizetype i = 0; i < movies.size() && std::size_t(i) < count; ++i) {
        const QJsonObject movie = movies[i].toObject();
        expected.push_back(movie["url"].toString().toStdString() + " " + movie["sha256"].toString().toStdString());
    }
    std::sort(expected.begin(), expected.end());
    return expected;
}

// Every gzip member inflated, one after the other.
std::string Gunzip(const std::string& data)
{
    std::string out;
    z_stream stream{};
    inflateInit2(&stream, 16 + MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    std::string buffer(1 << 16, '\0');
    while (stream.avail_in > 0) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = uInt(buffer.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - stream.avail_out);
        if (status == Z_STREAM_END)
            inflateReset(&stream);
        else if (status != Z_OK)
            break;
    }
    inflateEnd(&stream);
    return out;
}

std::string Warc(const std::string& type, const std::string& uri, const std::string& fields, const std::string& block)
{
    return "WARC/1.1\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri +
           "\r\nWARC-Date: 2023-03-04T05:06:07Z\r\nContent-Type: application/http;msgtype=response\r\n" + fields +
           "Content-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
}

// A WACZ as a capture tool packs one: the WARC under archive/, beside the
// package description and the pages list.
void PackWacz(const fs::path& warc, const fs::path& wacz)
{
    int error = 0;
    zip_t* zip = zip_open(wacz.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    static const std::string description = R"({"profile": "data-package", "resources": []})";
    static const std::string pages = R"({"format": "json-pages-1.0"})"
                                     "\n";
    zip_source_t* file = zip_source_file(zip, warc.c_str(), 0, -1);
    ASSERT_GE(zip_file_add(zip, ("archive/" + warc.filename().string()).c_str(), file, 0), 0);
    ASSERT_GE(
        zip_file_add(zip, "datapackage.json", zip_source_buffer(zip, description.data(), description.size(), 0), 0), 0);
    ASSERT_GE(zip_file_add(zip, "pages/pages.jsonl", zip_source_buffer(zip, pages.data(), pages.size(), 0), 0), 0);
    ASSERT_EQ(zip_close(zip), 0);
}

// A movie of the tests' own, and a WARC 1.1 that records it gzip-coded and
// chunked at an address without an extension, then a revisit of it, after an
// error page at a movie's address.
std::string OwnMovie()
{
    return test::TMovieBuilder().Stage(2000, 1000).Frames(256 * 12, 1).ShowFrame().Build('C');
}

std::string OwnWarc(const std::string& movie)
{
    const std::string chunked = "10\r\n" + Gzip(movie).substr(0, 16) + "\r\n" + [&] {
        const std::string rest = Gzip(movie).substr(16);
        char size[16];
        std::snprintf(size, sizeof size, "%zx", rest.size());
        return std::string(size) + "\r\n" + rest + "\r\n0\r\n\r\n";
    }();
    return Warc("response", "http://h.example/gone.swf", "", "HTTP/1.1 404 Not Found\r\n\r\nFWS not here") +
           Warc("response", "http://h.example/player", "WARC-Record-ID: <urn:uuid:1>\r\n",
                "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\nContent-Encoding: gzip\r\n"
                "Transfer-Encoding: chunked\r\n\r\n" +
                    chunked) +
           Warc("revisit", "http://h.example/player?again", "WARC-Refers-To: <urn:uuid:1>\r\n",
                "HTTP/1.1 200 OK\r\n\r\n");
}

// The real crawl in each shape an archive file takes, whatever its name: every
// movie with its payload's digest, and nothing else; a file cut short keeps
// the movies before the cut and does not end the walk.
TEST(WebArchiveTest, FindsEveryMovieOfARealCrawlInEachShape)
{
    const fs::path fixtures = test::FixturesDir() / "web-archives";
    const std::string warcGz = test::TempDir::read(fixtures / "aut-example.warc.gz");
    const std::string arcGz = test::TempDir::read(fixtures / "aut-example.arc.gz");
    const std::string warc = Gunzip(warcGz);
    const std::string arc = Gunzip(arcGz);
    const std::size_t lastMovie =
        warc.find("WARC-Type: response\r\nWARC-Target-URI: http://www.archive.org/flow/FlowPlayerLight.swf");
    ASSERT_NE(lastMovie, std::string::npos);

    const std::string movie = OwnMovie();
    const std::string own = OwnWarc(movie);
    const std::string ownMovie = Sha256(movie);

    std::vector<std::string> both = Expected("aut-example.warc.gz", 7);
    const std::vector<std::string> arcMovies = Expected("aut-example.arc.gz");
    both.insert(both.end(), arcMovies.begin(), arcMovies.end());
    std::sort(both.begin(), both.end());
    const struct {
        const char* name;
        std::vector<std::pair<const char*, std::string>> files;  // under the added folder
        std::vector<std::string> movies;
    } rows[] = {
        {"WARC 0.17, a gzip member a record", {{"crawl.warc.gz", warcGz}}, Expected("aut-example.warc.gz")},
        {"ARC, a gzip member a record", {{"crawl.arc.gz", arcGz}}, Expected("aut-example.arc.gz")},
        {"a plain WARC without an extension", {{"deep/er/crawl", warc}}, Expected("aut-example.warc.gz")},
        {"an ARC as one gzip stream", {{"crawl.bin", Gzip(arc)}}, Expected("aut-example.arc.gz")},
        {"a WARC cut in its last movie, beside an ARC",
         {{"a.warc", warc.substr(0, lastMovie + 4000)}, {"b.arc.gz", arcGz}},
         both},
        {"an error page at a movie's address, a coded chunked movie and its revisit",
         {{"own.warc", own}},
         {"http://h.example/player " + ownMovie, "http://h.example/player?again " + ownMovie}},
        {"neither", {{"page.html", "<html>" + std::string(100, ' ') + "</html>"}}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const test::TempDir home;
        for (const auto& [name, bytes] : row.files)
            home.write(std::string("added/") + name, bytes);
        std::vector<UrlCacheEntry> entries;
        EXPECT_EQ(ArchivedMovies(home, &entries), row.movies);
        for (const UrlCacheEntry& entry : entries) {
            EXPECT_FALSE(entry.archive.empty());
            EXPECT_GT(entry.time, 1'000'000'000);
        }
    }
}

// A capture people make: Debian's wget records a loopback site with its page
// requisites; every movie it recorded is found, and the same WARC packed as a
// WACZ gives the same rows.
TEST(WebArchiveTest, FindsTheMoviesWgetRecordedAlsoInAWacz)
{
    const std::string plain = test::TMovieBuilder().Stage(4000, 3000).Frames(256 * 24, 2).ShowFrame().Build('F');
    const std::string packed = test::TMovieBuilder(9).Stage(800, 600).Frames(256 * 30, 1).ShowFrame().Build('C');
    test::LoopbackHttpServer site;
    site.route("/index.html",
               "<html><body><embed src=\"movies/intro.swf\"><object data=\"/play?id=7\" "
               "type=\"application/x-shockwave-flash\"></object><img src=\"logo.png\"></body></html>",
               "text/html");
    site.route("/movies/intro.swf", plain, "application/x-shockwave-flash");
    test::HttpResponse chunked;
    chunked.body = packed;
    chunked.chunked = true;
    chunked.headers = {{"Content-Type", "application/x-shockwave-flash"}};
    site.route("/play", chunked);
    site.route("/logo.png", "\x89PNG not a movie", "image/png");

    const test::TempDir home;
    fs::create_directories(home.path() / "added");
    QProcess wget;
    wget.setWorkingDirectory(QString::fromStdString(home.path().string()));
    wget.start(QStringLiteral("wget"),
               {QStringLiteral("-p"), QStringLiteral("-q"), QStringLiteral("--tries=1"), QStringLiteral("--timeout=20"),
                QStringLiteral("-e"), QStringLiteral("robots=off"), QStringLiteral("-P"), QStringLiteral("files"),
                QStringLiteral("--warc-file=added/capture"), QString::fromStdString(site.origin() + "/index.html")});
    ASSERT_TRUE(wget.waitForFinished(60000));
    ASSERT_EQ(wget.exitCode(), 0) << wget.readAllStandardError().toStdString();
    ASSERT_TRUE(fs::exists(home.path() / "added" / "capture.warc.gz"));

    std::vector<std::string> expected = {site.origin() + "/movies/intro.swf " + Sha256(plain),
                                         site.origin() + "/play?id=7 " + Sha256(packed)};
    std::sort(expected.begin(), expected.end());
    std::vector<UrlCacheEntry> entries;
    EXPECT_EQ(ArchivedMovies(home, &entries), expected);
    for (const UrlCacheEntry& entry : entries)
        EXPECT_EQ(entry.archive, (home.path() / "added" / "capture.warc.gz").string());
    // A walk again over the unchanged archive writes no check-out again.
    std::map<std::string, fs::file_time_type> written;
    for (const UrlCacheEntry& entry : entries)
        written[entry.localFileName] = fs::last_write_time(entry.localFileName);
    entries.clear();
    EXPECT_EQ(ArchivedMovies(home, &entries), expected);
    for (const UrlCacheEntry& entry : entries)
        EXPECT_EQ(fs::last_write_time(entry.localFileName), written[entry.localFileName]) << entry.localFileName;

    // The WACZ, under a name that says nothing, in place of the WARC.
    PackWacz(home.path() / "added" / "capture.warc.gz", home.path() / "capture-package");
    fs::remove(home.path() / "added" / "capture.warc.gz");
    fs::rename(home.path() / "capture-package", home.path() / "added" / "capture-package");
    entries.clear();
    EXPECT_EQ(ArchivedMovies(home, &entries), expected);
    for (const UrlCacheEntry& entry : entries)
        EXPECT_EQ(entry.archive, (home.path() / "added" / "capture-package").string());
}

// The file a movie loads is looked for in the movie's archive first: found by
// its address as recorded, decoded, through a revisit too; never an error page.
TEST(WebArchiveTest, ReadsTheBodyAnArchiveRecordedForAnAddress)
{
    const test::TempDir home;
    const std::string movie = OwnMovie();
    const fs::path own = home.write("own.warc", OwnWarc(movie));
    const fs::path arc = test::FixturesDir() / "web-archives" / "aut-example.arc.gz";
    const struct {
        const char* name;
        fs::path archive;
        const char* address;
        std::uint64_t limit;
        ArchivedResourceResult result;
        std::string sha256;
    } rows[] = {
        {"coded and chunked", own, "http://h.example/player", 1 << 20, ArchivedResourceResult::Found, Sha256(movie)},
        {"through a revisit", own, "http://h.example/player?again", 1 << 20, ArchivedResourceResult::Found,
         Sha256(movie)},
        {"an error page", own, "http://h.example/gone.swf", 1 << 20, ArchivedResourceResult::NotRecorded, ""},
        {"not recorded", own, "http://h.example/other.swf", 1 << 20, ArchivedResourceResult::NotRecorded, ""},
        {"past the limit", own, "http://h.example/player", 10, ArchivedResourceResult::TooLarge, ""},
        {"a real crawl's player", arc, "http://www.archive.org/flv/FlowPlayerWhite.swf", 1 << 20,
         ArchivedResourceResult::Found, "acac3e7024f88ee152590c4858902ae97cc3535e740f18e609fdfc8f6c25f02d"},
        {"no archive", test::FixturesDir() / "web-archives" / "README", "http://h.example/player", 1 << 20,
         ArchivedResourceResult::NotAnArchive, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string body;
        EXPECT_EQ(ReadArchivedResource(row.archive, row.address, row.limit, body), row.result);
        EXPECT_EQ(row.sha256.empty() ? body : Sha256(body), row.sha256);
    }
}

}  // namespace
}  // namespace tessaro
