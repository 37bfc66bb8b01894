#include "formats/archive/ArchiveRecords.h"
#include "formats/archive/ArchiveSniff.h"
#include "formats/archive/WaczPackage.h"
#include "support/GzipBytes.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <atomic>
#include <gtest/gtest.h>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace tessaro {
namespace {

using test::Gzip;

struct Listed {
    std::string type, uri;
    std::uint64_t offset = 0;
    std::string payload;
    bool whole = false;
    int status = 0;
};

const char* TypeName(ArchiveRecord::Type type)
{
    switch (type) {
        case ArchiveRecord::Type::Response:
            return "response";
        case ArchiveRecord::Type::Resource:
            return "resource";
        case ArchiveRecord::Type::Revisit:
            return "revisit";
        case ArchiveRecord::Type::Request:
            return "request";
        case ArchiveRecord::Type::Metadata:
            return "metadata";
        case ArchiveRecord::Type::Info:
            return "warcinfo";
        case ArchiveRecord::Type::Other:
            return "other";
    }
    return "?";
}

std::vector<Listed> ReadAll(ArchiveInput& input, ArchiveReader::Result& end, bool payloads = true)
{
    ArchiveReader reader(input);
    std::vector<Listed> records;
    ArchiveRecord record;
    while (reader.Next(record)) {
        Listed listed{TypeName(record.type), record.uri, record.offset, {}, false, record.status};
        std::string_view piece;
        while (payloads && reader.ReadPayload(piece))
            listed.payload.append(piece);
        listed.whole = reader.PayloadWhole();
        records.push_back(std::move(listed));
    }
    end = reader.GetResult();
    return records;
}

std::string Warc(const std::string& version, const std::string& type, const std::string& uri, const std::string& block,
                 const std::string& fields = "Content-Type: application/http\r\n")
{
    return "WARC/" + version + "\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri +
           "\r\nWARC-Date: 2024-05-06T07:08:09Z\r\n" + fields + "Content-Length: " + std::to_string(block.size()) +
           "\r\n\r\n" + block + "\r\n\r\n";
}

std::string Http(int status, const std::string& headers, const std::string& body)
{
    return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + headers + "\r\n" + body;
}

std::string Arc(const std::string& uri, const std::string& block)
{
    return uri + " 127.0.0.1 20040102030405 text/html " + std::to_string(block.size()) + "\n" + block + "\n";
}

// Every layout the reader takes, and every way a file goes bad: the records
// before the fault stand, and the reading says why it ended.
TEST(ArchiveReaderTest, ReadsEachLayoutAndStopsAtEachFault)
{
    const std::string movie = std::string("FWS\x0a\x0c\0\0\0", 8) + "body" + std::string(200, 'm');
    const std::string chunkedMovie =
        "5\r\nFWS\x0a\x0c\r\n" + std::string("a;ext=1\r\n") + movie.substr(5, 10) + "\r\n" + "0\r\nTrailer: x\r\n\r\n";
    const std::string info =
        Warc("1.0", "warcinfo", "", "software: test\r\n", "Content-Type: application/warc-fields\r\n");
    const std::string page =
        Warc("1.0", "response", "http://h/a.html", Http(200, "Content-Type: text/html\r\n", "<p>"));
    const std::string swf = Warc("1.1", "response", "<http://h/m.swf>", Http(200, "", movie));
    const std::string resource =
        Warc("0.18", "resource", "http://h/r.swf", movie, "Content-Type: application/x-shockwave-flash\r\n");
    const std::string chunked =
        Warc("1.0", "response", "http://h/c.swf", Http(200, "Transfer-Encoding: chunked\r\n", chunkedMovie));
    const std::string arcHead = "filedesc://x.arc 0.0.0.0 20040102030405 text/plain 4\n1 1\n\n";
    // Line ends between records are passed over, so a run of them is what a bomb would send.
    const std::string bomb = Gzip(page + std::string(64u << 20, '\n'));
    const std::string header = "WARC/1.0\r\nWARC-Type: response\r\n";

    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::pair<std::string, std::string>> records;  // uri, payload
        ArchiveReader::Result end;
    } rows[] = {
        {"plain WARC 1.0, 1.1, 0.18",
         info + page + swf + resource,
         {{"", "software: test\r\n"}, {"http://h/a.html", "<p>"}, {"http://h/m.swf", movie}, {"http://h/r.swf", movie}},
         ArchiveReader::Result::End},
        {"one gzip member a record",
         Gzip(page) + Gzip(swf),
         {{"http://h/a.html", "<p>"}, {"http://h/m.swf", movie}},
         ArchiveReader::Result::End},
        {"one gzip stream",
         Gzip(page + swf),
         {{"http://h/a.html", "<p>"}, {"http://h/m.swf", movie}},
         ArchiveReader::Result::End},
        {"chunked transfer undone", chunked, {{"http://h/c.swf", movie.substr(0, 15)}}, ArchiveReader::Result::End},
        {"ARC version 1",
         arcHead + Arc("http://h/a.html", Http(200, "", "<p>")) + Arc("dns:h", "1.2.3.4"),
         {{"filedesc://x.arc", "1 1\n"}, {"http://h/a.html", "<p>"}, {"dns:h", "1.2.3.4"}},
         ArchiveReader::Result::End},
        {"ARC compressed record by record",
         Gzip(arcHead) + Gzip(Arc("http://h/m.swf", Http(200, "", movie))),
         {{"filedesc://x.arc", "1 1\n"}, {"http://h/m.swf", movie}},
         ArchiveReader::Result::End},
        {"a length past the file",
         page + header + "Content-Length: 99999\r\n\r\nshort",
         {{"http://h/a.html", "<p>"}},
         ArchiveReader::Result::PastTheFile},
        {"a length that is no number",
         page + header + "Content-Length: 12x\r\n\r\n",
         {{"http://h/a.html", "<p>"}},
         ArchiveReader::Result::Malformed},
        {"a header past its bound",
         page + header + "X: " + std::string(70000, 'x') + "\r\n\r\n",
         {{"http://h/a.html", "<p>"}},
         ArchiveReader::Result::Malformed},
        {"a last record cut short",
         Gzip(page) + Gzip(swf).substr(0, 60),
         {{"http://h/a.html", "<p>"}},
         ArchiveReader::Result::Truncated},
        {"a member that inflates past the ratio",
         Gzip(page) + bomb,
         {{"http://h/a.html", "<p>"}, {"http://h/a.html", "<p>"}},
         ArchiveReader::Result::TooCompressed},
        {"bytes after the last member that are no member",
         Gzip(page) + "junk",
         {{"http://h/a.html", "<p>"}},
         ArchiveReader::Result::Truncated},
        {"something else", "<html>not an archive</html>", {}, ArchiveReader::Result::NotAnArchive},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryArchiveInput input(row.bytes);
        ArchiveReader::Result end;
        const std::vector<Listed> records = ReadAll(input, end);
        ASSERT_EQ(records.size(), row.records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].uri, row.records[i].first);
            EXPECT_EQ(records[i].payload, row.records[i].second);
        }
        EXPECT_EQ(end, row.end) << ToString(end);
        if (!row.records.empty()) {
            EXPECT_EQ(RecordsKindOf(row.bytes.substr(0, kArchiveSniffBytes)), WebArchiveKind::Records);
        }
    }
}

// A long record is passed over a buffer at a time, each looking at the flag.
TEST(ArchiveReaderTest, StopsInsideALongRecordOnceCancelled)
{
    const std::string page = Warc("1.0", "response", "http://h/a.html", Http(200, "", "<p>"));
    const std::string bytes = Gzip(page + Warc("1.0", "resource", "http://h/big", std::string(16 << 20, 'x')) + page);
    MemoryArchiveInput input(bytes);
    std::atomic<bool> cancelled{true};
    ArchiveReader reader(input, &cancelled);
    ArchiveRecord record;
    std::size_t records = 0;
    while (reader.Next(record))
        ++records;
    EXPECT_LT(records, 3u);
    EXPECT_EQ(reader.GetResult(), ArchiveReader::Result::Cancelled);
}

// webrecorder's reader lists the same records of a real crawl, at the same offsets.
TEST(ArchiveReaderTest, ListsTheRecordsAnotherReaderLists)
{
    const std::filesystem::path warc = test::FixturesDir() / "web-archives" / "aut-example.warc.gz";
    const std::filesystem::path cli = test::SourceDir() / "node_modules" / "warcio" / "dist" / "cli.js";
    ASSERT_TRUE(std::filesystem::exists(cli)) << "npm ci installs warcio, a development dependency";
    QProcess warcio;
    warcio.start(QStringLiteral("node"), {QString::fromStdString(cli.string()), QStringLiteral("index"),
                                          QString::fromStdString(warc.string())});
    ASSERT_TRUE(warcio.waitForFinished(120000));
    ASSERT_EQ(warcio.exitCode(), 0) << warcio.readAllStandardError().toStdString();
    std::vector<std::string> theirs;
    for (const QByteArray& line : warcio.readAllStandardOutput().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        theirs.push_back(std::to_string(object.value("offset").toInteger()) + " " +
                         object.value("warc-type").toString().toStdString() + " " +
                         object.value("warc-target-uri").toString().toStdString());
    }
    FileArchiveInput input(warc);
    ArchiveReader::Result end;
    std::vector<std::string> ours;
    for (const Listed& record : ReadAll(input, end, false))
        ours.push_back(std::to_string(record.offset) + " " + record.type + " " + record.uri);
    EXPECT_EQ(end, ArchiveReader::Result::End);
    EXPECT_GT(ours.size(), 800u);
    EXPECT_EQ(ours, theirs);
}

std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries)
{
    const test::TempDir dir;
    const std::filesystem::path path = dir.path() / "package.zip";
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE, &error);
    for (const auto& [name, bytes] : entries)
        zip_file_add(zip, name.c_str(), zip_source_buffer(zip, bytes.data(), bytes.size(), 0), 0);
    zip_close(zip);
    return test::TempDir::read(path);
}

// A WACZ is a zip with its description and WARC files under archive/; the
// central directory is bounded before libzip reads it.
TEST(ArchiveReaderTest, OpensAPackageOnlyWithinItsBounds)
{
    const std::string warc = Gzip(Warc("1.0", "resource", "http://h/r.swf", "FWS", "Content-Type: x\r\n"));
    const std::string good = Zip({{"datapackage.json", "{}"},
                                  {"archive/b.warc.gz", warc},
                                  {"archive/a.warc", warc},
                                  {"pages/pages.jsonl", "{}"}});
    std::string huge = good;
    const std::size_t end = huge.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    huge[end + 15] = '\x7f';  // a central directory of 2 GiB
    const struct {
        const char* name;
        std::string bytes;
        WaczPackage::Result result;
        std::vector<std::string> archives;
    } rows[] = {
        {"a package", good, WaczPackage::Result::Ok, {"archive/a.warc", "archive/b.warc.gz"}},
        {"no description", Zip({{"archive/a.warc", warc}}), WaczPackage::Result::NotAPackage, {}},
        {"no WARC file",
         Zip({{"datapackage.json", "{}"}, {"pages/pages.jsonl", "{}"}}),
         WaczPackage::Result::NotAPackage,
         {}},
        {"a central directory past the bound", huge, WaczPackage::Result::TooManyEntries, {}},
        {"no zip", warc, WaczPackage::Result::NotAZip, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WaczPackage package;
        EXPECT_EQ(package.OpenMemory(row.bytes), row.result);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < package.ArchiveCount(); ++i) {
            names.push_back(package.ArchiveName(i));
            const std::unique_ptr<ArchiveInput> input = package.OpenArchive(i);
            ASSERT_NE(input, nullptr);
            ArchiveReader::Result end;
            const std::vector<Listed> records = ReadAll(*input, end);
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].payload, "FWS");
        }
        EXPECT_EQ(names, row.archives);
    }
}

}  // namespace
}  // namespace tessaro
