// Everything a movie needs, through the real window: the thorough scan of a
// loopback page of real loaders lists every movie they load, and a loader
// saved with everything it needs plays again from a plain file server.

#include "download/SaveWithNeeds.h"

#include "ModalAnswers.h"
#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/player/FlashControl.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using test::HttpResponse;
using test::LoopbackHttpServer;
using test::TempDir;
using test::WaitUntil;
using B = test::TMovieBuilder;

// Ruffle's WebAssembly is fetched and compiled for the first movie.
constexpr int kPlayWaitMs = 60000;
constexpr int kWaitMs = 60000;

HttpResponse FileAnswer(const std::filesystem::path& file)
{
    if (!std::filesystem::is_regular_file(file))
        return {404, "Not Found", {{"Content-Type", "text/html"}}, "<html>no such file</html>"};
    const bool movie = file.extension() == ".swf";
    return {200, "OK", {{"Content-Type", movie ? "application/x-shockwave-flash" : "text/plain"}}, TempDir::read(file)};
}

HttpResponse PageAnswer(const std::string& body)
{
    return {200, "OK", {{"Content-Type", "text/html"}}, "<!DOCTYPE html><html><body>" + body + "</body></html>"};
}

// loadMovieNum(url, level) and loadVariablesNum(url, 0): ActionGetURL2 with a
// level as target, the top bit of the flags for variables.
std::string LoadMovieNum(const std::string& url, int level)
{
    return B::PushStrings({url, "_level" + std::to_string(level)}) + B::Action(0x9a, std::string(1, '\0'));
}
std::string LoadVariablesNum(const std::string& url)
{
    return B::PushStrings({url, "_level0"}) + B::Action(0x9a, "\x80");
}
std::string ActionMovie(const std::string& actions)
{
    B movie(8);
    movie.Stage(100 * 20, 100 * 20).Frames(2 << 8, 1).FileAttributes(false);
    return movie.Tag(12, actions + '\0', true).ShowFrame().Build();
}

class SaveWithNeeds : public test::ChooserWindow {
protected:
    void SetUp() override { OpenWithChooser(target.folder()); }
    void TearDown() override { CloseWithChooser(); }

    void Open(const std::string& address)
    {
        Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(address));
    }
    QString Status() const { return Control<TStatusBar>("StatusBar1")->PanelText(0); }
    bool ReadingDone() const
    {
        return !window->WebPage()->PageScanRunning() && !window->WebPage()->MovieReadingRunning() &&
               Status() == QLatin1String("Done");
    }
    QSet<QString> Rows() const
    {
        QSet<QString> rows;
        for (int row = 0; row < Control<TListView>("ListView1")->RowCount(); ++row)
            rows.insert(Cell(Control<TListView>("ListView1"), row, TMovieModel::kWebFlash));
        return rows;
    }

    TempDir target;
};

// Each loader of the emulator's test suite on one page, its loads resolving
// in its own folder (base "."): the rows hold every movie the suite says
// they load.
TEST_F(SaveWithNeeds, TheThoroughScanOfAPageOfRealLoadersListsEveryMovieTheyLoad)
{
    const std::filesystem::path root = test::FixturesDir() / "ruffle-loaders";
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(TempDir::read(root / "expected.json")))
            .object()["expected"]
            .toObject();
    std::string embeds;
    for (auto folder = expected.begin(); folder != expected.end(); ++folder)
        embeds += "<embed src=\"" + folder.key().toStdString() + "/test.swf\" base=\".\" width=\"1\" height=\"1\">\n";
    LoopbackHttpServer site;
    site.route("/r/index.html", PageAnswer(embeds));
    site.setFallback([&root](const test::HttpRequest& request) {
        const std::string path = request.target.substr(0, request.target.find('?'));
        if (path.rfind("/r/", 0) != 0 || path.find("..") != std::string::npos)
            return FileAnswer({});
        return FileAnswer(root / "movies" / path.substr(3));
    });

    QStringList loaded;
    for (auto folder = expected.begin(); folder != expected.end(); ++folder)
        for (const QJsonValue& movie : folder.value().toArray())
            loaded.append(QString::fromStdString(site.origin()) + "/r/" + folder.key() + '/' + movie.toString());
    Open(site.origin() + "/r/index.html");
    // A movie loaded with a query is the file all the same.
    const auto files = [&] {
        QSet<QString> rows;
        for (const QString& row : Rows())
            rows.insert(QUrl(row).adjusted(QUrl::RemoveQuery | QUrl::NormalizePathSegments).toString());
        return rows;
    };
    const auto listed = [&] {
        const QSet<QString> rows = files();
        return std::count_if(loaded.begin(), loaded.end(), [&](const QString& movie) { return rows.contains(movie); });
    };
    WaitUntil([&] { return listed() == loaded.size() && ReadingDone(); }, kWaitMs);
    const QSet<QString> rows = files();
    for (const QString& movie : loaded)
        EXPECT_TRUE(rows.contains(movie)) << movie.toStdString();
    EXPECT_EQ(listed(), 150);
}

// A loader whose levels live in a subfolder, one of which loads a text file:
// saved with everything it needs, the folder served as plain files plays
// again, and the player asks for nothing the save left out.
TEST_F(SaveWithNeeds, ASavedLoaderPlaysAgainFromAPlainFileServerWithNoFileMissing)
{
    LoopbackHttpServer site;
    site.route("/site/game/index.html", PageAnswer("<embed src=\"test.swf\" width=\"100\" height=\"100\">"));
    const std::string loader = ActionMovie(LoadMovieNum("levels/level1.swf", 1));
    const std::string level1 = ActionMovie(LoadMovieNum("levels/level2.swf", 2) + LoadVariablesNum("data/words.txt"));
    const std::string level2 = ActionMovie({});
    const std::map<std::string, std::string> files = {{"/site/game/test.swf", loader},
                                                      {"/site/game/levels/level1.swf", level1},
                                                      {"/site/game/levels/level2.swf", level2},
                                                      {"/site/game/data/words.txt", "word=flash"}};
    for (const auto& [path, bytes] : files)
        site.route(path, {200, "OK", {{"Content-Type", "application/octet-stream"}}, bytes});

    Open(site.origin() + "/site/game/index.html");
    ASSERT_TRUE(WaitUntil([&] { return Rows().size() == 3 && ReadingDone(); }, kWaitMs)) << Status().toStdString();
    const QString loaderAddress = QString::fromStdString(site.origin() + "/site/game/test.swf");
    const int loaderRow = window->WebPage()->Movies()->RowOf(loaderAddress);
    ASSERT_GE(loaderRow, 0);
    EXPECT_TRUE(Cell(Control<TListView>("ListView1"), loaderRow, TMovieModel::kWebFlash, Qt::ToolTipRole)
                    .endsWith(QLatin1String("\nNeeds 3 files, 0 missing")));

    window->WebPage()->Movies()->CheckAll(false);
    window->WebPage()->Movies()->SetChecked(loaderRow, true);
    Control<QAction>("SaveWithNeeds1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Idle() && Status().startsWith(QLatin1String("Saved")); }, kWaitMs))
        << Status().toStdString();
    EXPECT_EQ(Status(), QStringLiteral("Saved 4 files, 0 missing"));
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), loaderRow, TMovieModel::kWebStatus), QStringLiteral("Saved"));
    const std::filesystem::path saved = target.path() / ("127.0.0.1_" + std::to_string(site.port()));
    for (const auto& [path, bytes] : files)
        EXPECT_EQ(TempDir::read(saved / path.substr(1)), bytes) << path;
    EXPECT_EQ(QByteArray::fromStdString(TempDir::read(target.path() / kManifestName)).count('\n'), 4);

    // The saved host folder as the only thing a plain server has.
    LoopbackHttpServer replay;
    std::mutex mutex;
    std::vector<std::string> missing;
    QSet<QString> answered;
    replay.setFallback([&](const test::HttpRequest& request) {
        const std::string path = request.target.substr(0, request.target.find('?'));
        if (path == "/site/game/index.html")
            return PageAnswer("<embed src=\"test.swf\" width=\"100\" height=\"100\">");
        HttpResponse answer = FileAnswer(path.find("..") == std::string::npos ? saved / path.substr(1) : saved);
        const std::lock_guard lock(mutex);
        if (answer.status == 404 && path != "/favicon.ico")
            missing.push_back(path);
        if (answer.status == 200)
            answered.insert(QString::fromStdString(path));
        return answer;
    });
    // Without the reading, every later request for the levels is the player's.
    Control<QAction>("ThoroughScan1")->trigger();
    ASSERT_FALSE(Control<QAction>("ThoroughScan1")->isChecked());
    Open(replay.origin() + "/site/game/index.html");
    ASSERT_TRUE(WaitUntil([&] { return Rows().size() == 1 && Status() == QLatin1String("Done"); }, kWaitMs));
    Control<TListView>("ListView1")->clearSelection();
    Control<TListView>("ListView1")->selectRow(0);
    ASSERT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(),
              QString::fromStdString(replay.origin() + "/site/game/test.swf"));
    const QSet<QString> played = {"/site/game/test.swf", "/site/game/levels/level1.swf", "/site/game/levels/level2.swf",
                                  "/site/game/data/words.txt"};
    const bool allPlayed = WaitUntil(
        [&] {
            const std::lock_guard lock(mutex);
            return answered.contains(played);
        },
        kPlayWaitMs);
    {
        const std::lock_guard lock(mutex);
        EXPECT_TRUE(allPlayed) << "answered: " << QStringList(answered.begin(), answered.end()).join(' ').toStdString();
    }
    // What the player asked for is what the row needs.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Cell(Control<TListView>("ListView1"), 0, TMovieModel::kWebFlash, Qt::ToolTipRole) ==
                   QLatin1String("Needs 3 files, 0 missing");
        },
        10000));
    const std::lock_guard lock(mutex);
    EXPECT_TRUE(missing.empty()) << missing.front();
}

}  // namespace
}  // namespace tessaro
