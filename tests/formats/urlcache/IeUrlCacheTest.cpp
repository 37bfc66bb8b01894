#include "formats/urlcache/IeUrlCache.h"

#include "platform/cachewalk/WinePrefixCaches.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/browserfiles/CacheFixtures.h"
#include "support/browserfiles/IeCacheBuilder.h"

#include <QProcess>
#include <QStringList>

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

const fs::path kWineContainer =
    test::FixturesDir() / "ie-wine/drive_c/users/tessaro/AppData/Local/Microsoft/Windows/INetCache/Content.IE5";
const fs::path kRealIndex = test::FixturesDir() / "ie-real/index.dat";

struct ReadRecord {
    IeCacheRecord record;
    IeCacheResult response = IeCacheResult::Ok;
    CachedResponse cached;
};

// Every URL record of an index, read the way the cache walk reads it.
std::vector<ReadRecord> ReadAll(const ByteSource& file, const IeCacheIndex& index, const fs::path& container)
{
    std::vector<ReadRecord> records;
    for (const std::uint32_t offset : index.records) {
        ReadRecord read;
        if (ParseIeCacheRecord(file, offset, read.record) != IeCacheResult::Ok)
            continue;
        read.response = IeCacheResponse(index, read.record, container, read.cached);
        records.push_back(read);
    }
    return records;
}

TEST(IeUrlCacheTest, ReadsEveryEntryThatWineStored)
{
    const FileByteSource file(kWineContainer / "index.dat");
    IeCacheIndex index;
    ASSERT_EQ(ParseIeCacheIndex(file, index), IeCacheResult::Ok);
    EXPECT_TRUE(index.wine);
    EXPECT_EQ(index.hashTable, IeCacheResult::Ok);
    EXPECT_EQ(index.folders, (std::vector<std::string>{"8XCE9BS0", "4PY15SWF", "GD44FFJ7", "C5QRCVOM"}));

    std::map<std::string, ReadRecord> byUrl;
    for (const ReadRecord& read : ReadAll(file, index, kWineContainer))
        byUrl[read.record.url] = read;
    const std::vector<test::ExpectedCacheEntry> expected = test::ExpectedCacheEntries("ie_cache");
    ASSERT_EQ(expected.size(), 22u);
    EXPECT_EQ(index.records.size(), expected.size());
    for (const test::ExpectedCacheEntry& e : expected) {
        SCOPED_TRACE(e.url);
        ASSERT_EQ(byUrl.count(e.url), 1u);
        const ReadRecord& read = byUrl[e.url];
        ASSERT_EQ(read.response, IeCacheResult::Ok);
        EXPECT_EQ(read.cached.body.at(0).file, kWineContainer / e.localFile);
        EXPECT_EQ(read.record.size, *e.storedLength);
        EXPECT_EQ(read.record.head.size(), e.headBytes);
        EXPECT_EQ(read.record.entryType, 1u);
        EXPECT_EQ(read.cached.status, e.status);
        EXPECT_EQ(read.cached.contentType, e.contentType);
        // WinINet drops the encoding from the head when it stored the body decoded.
        EXPECT_EQ(read.cached.contentEncoding, e.storedDecoded ? "" : e.contentEncoding);
        std::string body;
        ASSERT_EQ(ReadStoredBody(read.cached, body, 1 << 20), BodyReadResult::Ok);
        EXPECT_EQ(test::Sha256Hex(body), e.storedSha256);
    }
}

TEST(IeUrlCacheTest, ReadsARealInternetExplorerHistoryIndex)
{
    const FileByteSource file(kRealIndex);
    IeCacheIndex index;
    ASSERT_EQ(ParseIeCacheIndex(file, index), IeCacheResult::Ok);
    EXPECT_FALSE(index.wine);
    EXPECT_TRUE(index.folders.empty());
    std::multiset<std::string> urls;
    for (const ReadRecord& read : ReadAll(file, index, kRealIndex.parent_path())) {
        urls.insert(read.record.url);
        EXPECT_EQ(read.response, IeCacheResult::NoFile) << "a history record names no file";
    }
    const std::multiset<std::string> want = {
        "Visited: testing@mshelp://windows/?id=d063548a-3fc9-4723-99f3-b12a0c4354a8",
        "Visited: testing@http://www.google.com/url?sa=t&source=web&cd=5&ved=0CC4QFjAE&url=http%3A%2F%2Fwww.softsia."
        "com%2Fdownload-hxks.htm&ei=N38DTrfOKNGy0AGe8LH7DQ&usg=AFQjCNHjr58nVd6Y9jQ8dHZWPOOLjxhJSQ",
        "Visited: testing@http://www.trafficfusionx.com/download/tfscrn2/funnycats.exe",
        "Visited: testing@http://www.google.com",
        "Visited: testing@http://googleads.g.doubleclick.net/aclk?sa=l&ai=BHBxCS38DTuynBsWaqwGenMSNB8q9yqMCop_"
        "biifAjbcBkLAKEAEYASCz9_cBOABQ_vTbuf______"
        "AWDJBogBAaAB9pP22gOyAQ93d3cuc29mdHNpYS5jb226AQk3Mjh4OTBfYXPIAQLaAShodHRw"
        "Oi8vd3d3LnNvZnRzaWEuY29tL2Rvd25sb2FkLWh4a3MuaHRtgAIBqAMByAMV6APCBOgD9QboA7YB9QMAAADE&num=1&sig="
        "AGiWqtw3HwGhCNCKXEcyb2V7VSUkbqgasw&client=ca-pub-9802682967243697&adurl=http://facemoods.com/tv1b-g1/"
        "gppc&nm=3&clkt=156&jca=1326",
        "Visited: testing@http://facemoods.com/tv1b-g1/gppc",
        "Visited: testing@http://www.download3k.com/Install-TF-Funny-Cats-Screensaver.html"};
    EXPECT_EQ(urls, want);
}

// What libmsiecf lists in an index.dat, one line per URL item.
bool LibmsiecfItems(const fs::path& indexFile, std::multiset<std::string>& items, std::string& folders)
{
    QProcess python;
    python.start(
        QStringLiteral("/usr/bin/python3"),
        {QString::fromStdString((test::FixturesDir().parent_path() / "formats/urlcache/msiecf_items.py").string()),
         QString::fromStdString(indexFile.string())});
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        return false;
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
    folders = lines.value(0).toStdString();
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            items.insert(lines[i].toStdString());
    return true;
}

TEST(IeUrlCacheTest, ReadsWhatLibmsiecfReads)
{
    // libmsiecf refuses Wine's signature: it reads a copy that has Internet Explorer's.
    const test::TempDir dir;
    std::string wine = test::TempDir::read(kWineContainer / "index.dat");
    wine.replace(0, 28, std::string("Client UrlCache MMF Ver 5.2") + '\0');
    const fs::path copy = dir.write("index.dat", wine);

    for (const fs::path& indexFile : {copy, kRealIndex}) {
        SCOPED_TRACE(indexFile.string());
        std::multiset<std::string> theirs;
        std::string theirFolders;
        if (!LibmsiecfItems(indexFile, theirs, theirFolders))
            GTEST_SKIP() << "libmsiecf is not installed (Debian package python3-libmsiecf): "
                            "no second reader to compare with";
        const FileByteSource file(indexFile);
        IeCacheIndex index;
        ASSERT_EQ(ParseIeCacheIndex(file, index), IeCacheResult::Ok);
        EXPECT_FALSE(index.wine);
        std::string ourFolders;
        for (const std::string& folder : index.folders)
            ourFolders += (ourFolders.empty() ? "" : "\t") + folder;
        EXPECT_EQ(ourFolders, theirFolders);
        std::multiset<std::string> ours;
        for (const ReadRecord& read : ReadAll(file, index, dir.path()))
            ours.insert(read.record.url + "\t" + read.record.fileName + "\t" + std::to_string(read.record.folder) +
                        "\t" + std::to_string(read.record.size) + "\t" + std::to_string(read.record.head.size()));
        EXPECT_EQ(ours, theirs);
    }
}

// The Wine fixture's index with one change made to it.
struct Damage {
    const char* name;
    std::function<void(std::string&)> change;
    IeCacheResult index;
    IeCacheResult hashTable;
    std::size_t responses;  // records that still give a response
};

void Put32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = char(value >> (8 * i));
}

TEST(IeUrlCacheTest, DamagedIndexesGiveWhatIsStillSound)
{
    constexpr std::size_t kHash = 0x4000;
    constexpr std::size_t kIntro = 0x5000;  // the record of /movies/intro.swf, 3 blocks
    constexpr std::size_t kItem = 0x40b8;   // the first used hash item: key 0x9424cec0, record 0x5300
    const Damage damages[] = {
        {"unchanged", [](std::string&) {}, IeCacheResult::Ok, IeCacheResult::Ok, 22},
        {"Internet Explorer's signature",
         [](std::string& b) { b.replace(0, 28, std::string("Client UrlCache MMF Ver 5.2") + '\0'); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 22},
        {"another signature", [](std::string& b) { b[5] = 'X'; }, IeCacheResult::BadSignature, IeCacheResult::Ok, 0},
        {"cut inside the header", [](std::string& b) { b.resize(0x3fff); }, IeCacheResult::TooShort, IeCacheResult::Ok,
         0},
        {"cut before the hash table", [](std::string& b) { b.resize(kHash + 8); }, IeCacheResult::Ok,
         IeCacheResult::BadHashTable, 0},
        {"cut through the first record", [](std::string& b) { b.resize(kIntro + 200); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 0},
        {"cut after 13 records", [](std::string& b) { b.resize(0x6480); }, IeCacheResult::Ok, IeCacheResult::Ok, 13},
        {"hash table outside the file", [](std::string& b) { Put32(b, 0x20, 0x100000); }, IeCacheResult::BadHeader,
         IeCacheResult::Ok, 0},
        {"hash table off a block boundary", [](std::string& b) { Put32(b, 0x20, kHash + 4); }, IeCacheResult::BadHeader,
         IeCacheResult::Ok, 0},
        {"33 cache folders", [](std::string& b) { Put32(b, 0x48, 33); }, IeCacheResult::BadHeader, IeCacheResult::Ok,
         0},
        {"hash chain loops to itself", [](std::string& b) { Put32(b, kHash + 8, kHash); }, IeCacheResult::Ok,
         IeCacheResult::BadHashTable, 22},
        {"hash chain points into a URL record", [](std::string& b) { Put32(b, kHash + 8, kIntro); }, IeCacheResult::Ok,
         IeCacheResult::BadHashTable, 22},
        {"hash chain points past the end", [](std::string& b) { Put32(b, kHash + 8, 0x7fff0000); }, IeCacheResult::Ok,
         IeCacheResult::BadHashTable, 22},
        {"hash record longer than the file", [](std::string& b) { Put32(b, kHash + 4, 0xffffffff); }, IeCacheResult::Ok,
         IeCacheResult::BadHashTable, 0},
        {"an item off a block boundary", [](std::string& b) { Put32(b, kItem + 4, 0x5310); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"two items on one record", [](std::string& b) { Put32(b, kItem + 12, 0x5300); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"an item marked deleted", [](std::string& b) { Put32(b, kItem, 0x9424cec1); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"record longer than the file", [](std::string& b) { Put32(b, kIntro + 4, 0x01000000); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"record of no blocks", [](std::string& b) { Put32(b, kIntro + 4, 0); }, IeCacheResult::Ok, IeCacheResult::Ok,
         21},
        {"URL outside the record", [](std::string& b) { Put32(b, kIntro + 52, 0x1000); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"URL in the fixed part", [](std::string& b) { Put32(b, kIntro + 52, 8); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"URL without its NUL", [](std::string& b) { b.replace(kIntro + 0x68, 0x180 - 0x68, 0x180 - 0x68, 'u'); },
         IeCacheResult::Ok, IeCacheResult::Ok, 21},
        {"head longer than the record", [](std::string& b) { Put32(b, kIntro + 72, 0x10000); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"file name climbing out", [](std::string& b) { b.replace(kIntro + 0x90, 3, "..\0", 3); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"file name with a folder", [](std::string& b) { b.replace(kIntro + 0x90, 4, "a/b\0", 4); }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"cache folder past the table", [](std::string& b) { b[kIntro + 56] = 4; }, IeCacheResult::Ok,
         IeCacheResult::Ok, 21},
        {"cache folder name climbing out", [](std::string& b) { b.replace(0x4c + 12 + 4, 8, "../../..", 8); },
         IeCacheResult::Ok, IeCacheResult::Ok, 16},
    };
    const std::string original = test::TempDir::read(kWineContainer / "index.dat");
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::string bytes = original;
        damage.change(bytes);
        const MemoryByteSource file(bytes);
        IeCacheIndex index;
        EXPECT_EQ(ParseIeCacheIndex(file, index), damage.index);
        EXPECT_EQ(index.hashTable, damage.hashTable);
        std::size_t responses = 0;
        for (const ReadRecord& read : ReadAll(file, index, kWineContainer)) {
            if (read.response != IeCacheResult::Ok)
                continue;
            ++responses;
            EXPECT_EQ(read.cached.body.at(0).file.parent_path().parent_path(), kWineContainer);
        }
        EXPECT_EQ(responses, damage.responses);
    }
}

// Counts the bytes a reader asks for.
class CountingByteSource : public ByteSource {
public:
    explicit CountingByteSource(const ByteSource& inner) : inner_(inner) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    bool Read(std::uint64_t offset, std::size_t length, std::string& out) const override
    {
        read += length;
        return inner_.Read(offset, length, out);
    }
    mutable std::uint64_t read = 0;

private:
    const ByteSource& inner_;
};

// An index of size bytes with the Wine fixture's header and no folders,
// whose every block from the first record on is made by block(offset).
std::string IndexOfBlocks(std::size_t size, const std::function<std::string(std::uint32_t)>& block)
{
    std::string bytes = test::TempDir::read(kWineContainer / "index.dat").substr(0, 0x4000);
    Put32(bytes, 0x1c, std::uint32_t(size));
    Put32(bytes, 0x20, 0x4000);
    Put32(bytes, 0x48, 0);
    for (std::uint32_t offset = 0x4000; offset < size; offset += 128) {
        std::string b = block(offset);
        b.resize(128, '\0');
        bytes += b;
    }
    return bytes;
}

// Each block of the index is read as part of one HASH and one URL record at
// most, whatever the records claim: the walk reads about twice the index.
TEST(IeUrlCacheTest, ReadsEachBlockOnceWhateverTheRecordsClaim)
{
    constexpr std::size_t kSize = 2u << 20;
    const auto record = [](const char* sign, std::uint32_t blocks, std::uint32_t next) {
        std::string b(16, '\0');
        b.replace(0, 4, sign);
        Put32(b, 4, blocks);
        Put32(b, 8, next);
        return b;
    };
    const struct {
        const char* name;
        std::string bytes;
        std::size_t records;
        IeCacheResult hashTable;
    } rows[] = {
        {"Wine's index", test::TempDir::read(kWineContainer / "index.dat"), 22, IeCacheResult::Ok},
        {"Internet Explorer's index", test::TempDir::read(kRealIndex), 7, IeCacheResult::Ok},
        // Every block a HASH record to the end of the file, chained to the next block.
        {"HASH records to the end",
         IndexOfBlocks(kSize,
                       [&](std::uint32_t at) {
                           return record("HASH", std::uint32_t((kSize - at) / 128), at + 128 < kSize ? at + 128 : 0);
                       }),
         0, IeCacheResult::BadHashTable},
        // One HASH record naming every block after it, each a URL record of 1 MiB.
        {"URL records over each other",
         IndexOfBlocks(kSize,
                       [&](std::uint32_t at) {
                           if (at >= 0x4000 + 64 * 128)
                               return record("URL ", (1u << 20) / 128, 0);
                           std::string items;
                           if (at == 0x4000)
                               items = record("HASH", 64, 0);
                           for (std::uint32_t i = items.size() / 8; i < 16; ++i) {
                               std::string item(8, '\0');
                               const std::uint32_t target = 0x4000 + 64 * 128 + ((at - 0x4000) / 8 + i) * 128;
                               Put32(item, 0, 0x100);
                               Put32(item, 4, target);
                               items += item;
                           }
                           return items;
                       }),
         1, IeCacheResult::Ok},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const MemoryByteSource bytes(row.bytes);
        const CountingByteSource file(bytes);
        IeCacheIndex index;
        ASSERT_EQ(ParseIeCacheIndex(file, index), IeCacheResult::Ok);
        EXPECT_EQ(index.hashTable, row.hashTable);
        EXPECT_EQ(index.records.size(), row.records);
        for (const std::uint32_t offset : index.records) {
            IeCacheRecord read;
            ParseIeCacheRecord(file, offset, read);
        }
        EXPECT_LE(file.read, 2 * row.bytes.size() + 0x4000) << "read " << file.read << " of " << row.bytes.size();
    }
}

TEST(IeUrlCacheTest, FindsTheCachesOfEveryWinePrefixInOrder)
{
    const test::TempDir home;
    test::IeCacheParts cache;
    cache.entries = {{"http://h/a.swf", "a[0]", 0, test::IeResponseHead({"HTTP/1.1 200 OK"}), "FWS"}};
    const std::string modern = "AppData/Local/Microsoft/Windows/INetCache/Content.IE5";
    const std::string vista = "AppData/Local/Microsoft/Windows/Temporary Internet Files/Content.IE5";
    const std::string xp = "Local Settings/Temporary Internet Files/Content.IE5";
    for (const std::string& folder :
         {".wine/drive_c/users/Jane Doe/" + modern, ".wine/drive_c/users/Jane Doe/" + xp,
          ".local/share/wineprefixes/b/drive_c/users/x/" + vista,
          ".local/share/wineprefixes/a/drive_c/users/y/" + modern, ".local/share/wineprefixes/a/drive_c/users/x/" + xp})
        test::WriteIeCache(home.path() / folder, cache);
    // Not caches: an index of another kind, a folder without one.
    home.write(".local/share/wineprefixes/a/drive_c/users/z/" + modern + "/index.dat", std::string(0x8000, 'x'));
    fs::create_directories(home.path() / ".local/share/wineprefixes/c/drive_c/users/w" / modern);

    std::vector<std::string> found;
    for (const fs::path& folder : WinePrefixIeCacheFolders(home.path()))
        found.push_back(fs::relative(folder, home.path()).string());
    EXPECT_EQ(found,
              (std::vector<std::string>{".wine/drive_c/users/Jane Doe/" + modern, ".wine/drive_c/users/Jane Doe/" + xp,
                                        ".local/share/wineprefixes/a/drive_c/users/x/" + xp,
                                        ".local/share/wineprefixes/a/drive_c/users/y/" + modern,
                                        ".local/share/wineprefixes/b/drive_c/users/x/" + vista}));
}

}  // namespace
}  // namespace tessaro
