// Saving checked movies with everything they load, against a loopback
// server: where each file goes, which answers are saved, what the manifest
// says of each, and how far the loads are followed.

#include "download/SaveWithNeeds.h"

#include "download/SavedLayout.h"
#include "platform/http/HttpClient.h"
#include "platform/http/HttpRequest.h"
#include "scan/MovieReferences.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using test::HttpResponse;
using test::LoopbackHttpServer;
using test::TempDir;
using test::TMovieBuilder;
using test::WaitUntil;

// A movie whose code loads each name into a level of its own.
std::string LoaderOf(const std::vector<std::string>& names)
{
    std::string actions;
    for (std::size_t i = 0; i < names.size(); ++i)
        actions += TMovieBuilder::GetUrl(names[i], "_level" + std::to_string(i + 1));
    return TMovieBuilder().Tag(12, actions + std::string(1, '\0')).ShowFrame().Build();
}

HttpResponse Answer(int status, std::string body, const std::string& type = "application/x-shockwave-flash")
{
    return {status, status == 200 ? "OK" : "No", {{"Content-Type", type}}, std::move(body)};
}

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

TEST(SavedPlace, Table)
{
    struct Row {
        const char* name;
        QUrl url;
        std::string place;  // "-": none
    };
    const QString deep = QStringLiteral("http://h.example") + QStringLiteral("/d").repeated(kMaxSavedPathParts);
    const QString long256 = QStringLiteral("http://h.example/") + QString(256, QLatin1Char('n'));
    const std::vector<Row> rows = {
        {"host and path", HttpAddress(u"http://H.Example/r/001/test.swf"), "h.example/r/001/test.swf"},
        {"port named", HttpAddress(u"http://127.0.0.1:8080/r/test.swf"), "127.0.0.1_8080/r/test.swf"},
        {"query and fragment left out", HttpAddress(u"http://h.example/a.xml?v=2#top"), "h.example/a.xml"},
        {"escapes decoded", HttpAddress(u"http://h.example/my%20clip.swf"), "h.example/my clip.swf"},
        {"an escaped slash stays in its part", HttpAddress(u"http://h.example/a%2Fb.swf"), "h.example/a_b.swf"},
        {"an escaped dot-dot is one too", HttpAddress(u"http://h.example/%2e%2e/x.txt"), "h.example/x.txt"},
        {"a control character escaped", HttpAddress(u"http://h.example/a%01b.txt"), "h.example/a_b.txt"},
        {"dot segments as the player takes them", HttpAddress(u"http://h.example/g/./a/../../../../x.txt"),
         "h.example/x.txt"},
        {"a folder address", HttpAddress(u"http://h.example/games/"), "h.example/games/index.html"},
        {"the root", HttpAddress(u"http://h.example"), "h.example/index.html"},
        {"a local file", QUrl::fromLocalFile(QStringLiteral("/tmp/x/movie.swf")), "local/movie.swf"},
        {"no host", QUrl(QStringLiteral("http:///a.swf")), "-"},
        {"parts past the bound", HttpAddress(deep + QStringLiteral("/d")), "-"},
        {"parts at the bound", HttpAddress(deep),
         "h.example" + QStringLiteral("/d").repeated(kMaxSavedPathParts).toStdString()},
        {"a part past 255 bytes is cut", HttpAddress(long256), "h.example/" + std::string(255, 'n')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<QString> place = SavedPlace(row.url);
        if (row.place == "-")
            EXPECT_FALSE(place.has_value()) << place.value_or(QString()).toStdString();
        else
            EXPECT_EQ(place.value_or(QStringLiteral("(none)")).toStdString(), row.place);
    }

    // Different bytes for one place: numbered forms, up to the bound.
    TSavedLayout layout;
    EXPECT_EQ(layout.Claim("h/a.xml", "1"), "h/a.xml");
    EXPECT_EQ(layout.Claim("h/a.xml", "1"), "h/a.xml");
    EXPECT_EQ(layout.Claim("h/a.xml", "2"), "h/a.1.xml");
    EXPECT_EQ(layout.Claim("h/a.xml", "2"), "h/a.1.xml");
    EXPECT_EQ(layout.Claim("h.d/readme", "3"), "h.d/readme");
    EXPECT_EQ(layout.Claim("h.d/readme", "4"), "h.d/readme.1");
    for (int i = 3; i <= kMaxSavedNameTries + 1; ++i)
        EXPECT_TRUE(layout.Claim("h/a.xml", QString::number(100 + i)).has_value()) << i;
    EXPECT_FALSE(layout.Claim("h/a.xml", "one past").has_value());
}

class SaveWithNeeds : public testing::Test {
protected:
    void SetUp() override { RouteHttpToLoopback(server.port()); }
    void TearDown() override { RouteHttpToLoopback(0); }

    TSaveOutcome Save(QList<TSaveRoot> roots)
    {
        TSaveSources sources;
        // As for the movies of a page on loopback, which may reach loopback.
        sources.fetch = WebFileFetcher(QStringLiteral("http://127.0.0.1:%1/").arg(server.port()));
        sources.cached = cached;
        sources.archived = [this](const QString& address, const std::atomic<bool>&) -> TKeptBytes {
            const auto known = archived.find(address.toStdString());
            return known == archived.end() ? nullptr : std::make_shared<const std::string>(known->second);
        };
        bool ended = false;
        TSaveOutcome outcome;
        QObject owner;
        const Job job = Job::Start(&owner, TSaveWithNeeds(QString::fromStdString(folder.folder()), roots, sources),
                                   [&](const JobEnd<TSaveOutcome>& end) {
                                       outcome = end.value;
                                       ended = true;
                                   });
        EXPECT_TRUE(WaitUntil([&] { return ended; }, 20000));
        return outcome;
    }

    // The manifest's lines by their address.
    std::map<std::string, QJsonObject> Manifest(std::size_t* lines = nullptr) const
    {
        std::map<std::string, QJsonObject> byUrl;
        const QList<QByteArray> text =
            QByteArray::fromStdString(TempDir::read(folder.path() / kManifestName)).split('\n');
        std::size_t count = 0;
        for (const QByteArray& line : text) {
            if (line.isEmpty())
                continue;
            ++count;
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            byUrl[object.value("url").toString().toStdString()] = object;
        }
        if (lines != nullptr)
            *lines = count;
        return byUrl;
    }

    LoopbackHttpServer server;
    TempDir folder;
    QHash<QString, QString> cached;
    std::map<std::string, std::string> archived;  // what the rows' web archives recorded, by address
};

// A name as the program resolves it (dot segments are sent as written).
QUrl Resolved(const std::string& name)
{
    return HttpAddress(ResolvedAddress(QStringLiteral("http://site.example/g/test.swf"), QString::fromStdString(name)));
}

// One loader names every kind of file; each row is one of them as the
// server answers it, and what the save makes of it.
TEST_F(SaveWithNeeds, EachNeededFileIsSavedWhereItsAddressSaysOrNamedMissingOrFailed)
{
    struct Row {
        const char* name;
        std::string named;  // as the loader names it
        int status;         // 0: the server does not know it
        std::string body;
        std::string type;
        const char* file;  // relative to the folder; nullptr: not saved
        const char* status_;
        const char* foundBy = "movie";
    };
    const std::string child = TMovieBuilder().Build();
    const std::string cut = TMovieBuilder::DeclaringLength(TMovieBuilder().Build(), 4000);
    TempDir cache;
    cache.write("cached.swf", LoaderOf({}));
    archived["http://site.example/g/recorded.xml"] = "<recorded/>";
    cached.insert(QStringLiteral("http://site.example/g/from-cache.swf"),
                  QString::fromStdString((cache.path() / "cached.swf").string()));
    const std::vector<Row> rows = {
        {"a movie in a subfolder", "levels/level1.swf", 200, child, "application/x-shockwave-flash",
         "site.example/g/levels/level1.swf", "saved"},
        {"a data file", "data/words.xml", 200, "<words/>", "text/xml", "site.example/g/data/words.xml", "saved"},
        {"a picture from the root", "/img/map.png", 200, "png bytes", "image/png", "site.example/img/map.png", "saved"},
        {"the same place, other bytes", "data/words.xml?lang=fr", 200, "<mots/>", "text/xml",
         "site.example/g/data/words.1.xml", "saved"},
        {"gone", "levels/gone.swf", 404, "Not found", "text/html", nullptr, "missing"},
        {"an error page under a movie's name", "levels/oops.swf", 200, "<html>Sorry</html>", "text/html", nullptr,
         "failed"},
        {"a server error", "levels/broken.swf", 500, "", "text/plain", nullptr, "failed"},
        {"cut short", "levels/cut.swf", 200, cut, "application/x-shockwave-flash", nullptr, "failed"},
        {"no way up", "../../../../etc/passwd.txt", 200, "root", "text/plain", "site.example/etc/passwd.txt", "saved"},
        {"from the cache page, never the web", "from-cache.swf", 0, "", "", "site.example/g/from-cache.swf", "saved"},
        {"recorded in the row's web archive, asked first", "recorded.xml", 500, "<recorded/>", "text/plain",
         "site.example/g/recorded.xml", "saved"},
    };
    std::vector<std::string> names;
    std::map<std::string, HttpResponse> answers;  // by the request's target, its query in it
    for (const Row& row : rows) {
        names.push_back(row.named);
        if (row.status == 0)
            continue;
        const QUrl url = Resolved(row.named);
        answers[url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded).toStdString()] =
            Answer(row.status, row.body, row.type);
    }
    answers["/g/asked.json"] = Answer(200, "{}", "application/json");
    server.setFallback([&answers](const test::HttpRequest& request) {
        const auto known = answers.find(request.target);
        return known != answers.end() ? known->second : Answer(404, "", "text/html");
    });
    const std::string loader = LoaderOf(names);
    TSaveRoot root{QStringLiteral("http://site.example/g/test.swf"),
                   HttpAddress(u"http://site.example/g/test.swf"),
                   QString(),
                   std::make_shared<const std::string>(loader),
                   QString(),
                   {}};
    // What the player asked for while it played counts as much as the code.
    root.needs.append({QStringLiteral("http://site.example/g/asked.json"),
                       HttpAddress(u"http://site.example/g/asked.json"), TFoundBy::Player, TNeedState::Fetched});

    const TSaveOutcome outcome = Save({root});
    std::size_t lines = 0;
    const std::map<std::string, QJsonObject> manifest = Manifest(&lines);
    EXPECT_EQ(lines, rows.size() + 2);  // the loader, its names, the player's ask
    EXPECT_EQ(manifest.size(), lines) << "one line per address";

    const QJsonObject top = manifest.at("http://site.example/g/test.swf");
    EXPECT_EQ(top.value("file").toString(), "site.example/g/test.swf");
    EXPECT_TRUE(top.value("needed_by").isNull());
    EXPECT_EQ(top.value("found_by").toString(), "page");
    EXPECT_EQ(top.value("sha256").toString().toStdString(), Sha256(loader));
    EXPECT_EQ(manifest.at("http://site.example/g/asked.json").value("found_by").toString(), "player");

    int saved = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString address = Resolved(row.named).toString();
        ASSERT_TRUE(manifest.count(address.toStdString())) << address.toStdString();
        const QJsonObject line = manifest.at(address.toStdString());
        EXPECT_EQ(line.value("status").toString().toStdString(), row.status_);
        EXPECT_EQ(line.value("found_by").toString().toStdString(), row.foundBy);
        EXPECT_EQ(line.value("needed_by").toString(), "http://site.example/g/test.swf");
        if (row.file == nullptr) {
            EXPECT_TRUE(line.value("file").isNull());
            EXPECT_FALSE(line.value("reason").toString().isEmpty());
            continue;
        }
        ++saved;
        EXPECT_EQ(line.value("file").toString().toStdString(), row.file);
        const std::string bytes = TempDir::read(folder.path() / row.file);
        EXPECT_EQ(line.value("sha256").toString().toStdString(), Sha256(bytes));
        EXPECT_EQ(line.value("size").toInteger(), static_cast<qint64>(bytes.size()));
        if (row.status != 0) {
            EXPECT_EQ(bytes, row.body);
        }
    }
    EXPECT_EQ(outcome.saved, saved + 2);
    EXPECT_EQ(outcome.missing, static_cast<int>(rows.size()) - saved);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "etc")) << "nothing outside the host's folder";
}

// A chain of loaders: the checked movie, what it loads, theirs and theirs
// again are saved; a fourth level is not asked for.
TEST_F(SaveWithNeeds, FollowsLoadsThreeLevelsDown)
{
    for (int level = 1; level <= 4; ++level) {
        const std::string next = "m" + std::to_string(level + 1) + ".swf";
        server.route("/c/m" + std::to_string(level) + ".swf", Answer(200, LoaderOf({next})));
    }
    const TSaveOutcome outcome = Save({{QStringLiteral("http://chain.example/c/m0.swf"),
                                        HttpAddress(u"http://chain.example/c/m0.swf"),
                                        QString(),
                                        std::make_shared<const std::string>(LoaderOf({"m1.swf"})),
                                        QString(),
                                        {}}});
    const std::map<std::string, QJsonObject> manifest = Manifest();
    std::vector<std::string> listed;
    for (const auto& [url, line] : manifest)
        listed.push_back(url);
    EXPECT_EQ(listed, (std::vector<std::string>{"http://chain.example/c/m0.swf", "http://chain.example/c/m1.swf",
                                                "http://chain.example/c/m2.swf", "http://chain.example/c/m3.swf"}));
    EXPECT_EQ(outcome.saved, 4);
    for (const test::HttpRequest& request : server.requests())
        EXPECT_NE(request.target, "/c/m4.swf");
}

}  // namespace
}  // namespace tessaro
