#include "platform/player/FlashControl.h"

#include "platform/player/PlayerScheme.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using test::MinimalMovie;
using test::TRgb;
using test::WaitUntil;
using B = test::TMovieBuilder;

// Fetching and compiling Ruffle's WebAssembly dominates the first movie; two
// test programs running at once on two cores make it slower still.
constexpr int kPlayWaitMs = 60000;

// The servers of the web movies are on loopback, and so is the page the
// tests find them on: their fetches may reach loopback.
const QString kLoopbackPage = QStringLiteral("http://127.0.0.1/index.html");

constexpr TRgb kRed{255, 0, 0};
constexpr TRgb kBlue{0, 0, 255};
constexpr TRgb kGreen{0, 200, 0};

// The share of an image's pixels within a small distance of a colour.
double ShareOfColour(const QImage& image, TRgb colour)
{
    if (image.isNull() || image.width() == 0 || image.height() == 0)
        return 0;
    long hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - colour.red) < 24 && std::abs(p.green() - colour.green) < 24 &&
                std::abs(p.blue() - colour.blue) < 24)
                ++hits;
        }
    return static_cast<double>(hits) / (static_cast<double>(image.width()) * image.height());
}

// Texts handed to the page as JavaScript string literals.
QString JsonString(const QString& text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// AVM1 actions, as a Flash 8 authoring tool writes them.
std::string Push(const std::string& text)
{
    return B::PushStrings({text});
}
const std::string kGetVariable = B::Action(0x1c, {});
const std::string kStringAdd = B::Action(0x21, {});
// loadVariablesNum(<url on the stack>, 0) and loadMovieNum(<url>, 1):
// ActionGetURL2 with a level as target; the top bit of the flags loads
// variables rather than a movie. No variables are sent.
std::string LoadVariablesNum(const std::string& url)
{
    return url + Push("_level0") + B::Action(0x9a, "\x80");
}
std::string LoadMovieNum(const std::string& url)
{
    return url + Push("_level1") + B::Action(0x9a, std::string(1, '\0'));
}

// A Flash 8 movie at 2 frames a second whose frames run these actions, one
// DoAction per frame; it loops like every movie without a stop.
std::string ActionMovie(TRgb background, const std::vector<std::string>& frames)
{
    B movie(8);
    movie.Stage(100 * 20, 100 * 20).Frames(2 << 8, static_cast<std::uint16_t>(frames.size()));
    movie.FileAttributes(false).Background(background);
    for (const std::string& actions : frames)
        movie.Tag(12, actions + '\0', true).ShowFrame();
    return movie.Build();
}

class FlashControl : public testing::Test {
protected:
    void SetUp() override
    {
        flash.resize(400, 200);
        flash.show();
    }

    // The metadata of the movie now set, or nothing when the wait ran out.
    bool WaitForMetadata()
    {
        return WaitUntil([&] { return flash.Metadata().has_value(); }, kPlayWaitMs);
    }

    // Most of the panel in that colour within the wait (the player paints its
    // first frame a moment after it read the header).
    bool WaitForColour(TRgb colour, double share = 0.9)
    {
        return WaitUntil([&] { return ShareOfColour(flash.grab().toImage(), colour) >= share; }, 10000);
    }

    QWebEnginePage* Page() { return flash.findChild<QWebEngineView*>()->page(); }

    // Evaluates a script that leaves its answer in window.testAnswer, which
    // may come later (a promise), and waits for it. Each call reads its own
    // slot, so a poll of an earlier call that answers late changes nothing.
    QString Evaluate(const QString& script)
    {
        const QString slot = QStringLiteral("window.testAnswer%1").arg(++evaluations_);
        auto answer = std::make_shared<QString>();
        Page()->runJavaScript(QString(script).replace(QStringLiteral("window.testAnswer"), slot));
        WaitUntil(
            [&] {
                Page()->runJavaScript(QStringLiteral("%1 === undefined ? null : String(%1)").arg(slot),
                                      [answer](const QVariant& value) {
                                          if (!value.isNull())
                                              *answer = value.toString();
                                      });
                return !answer->isNull();
            },
            10000);
        return *answer;
    }

    bool MessageBoxShown() const
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible())
                return true;
        return false;
    }

    // The longest the UI thread went without running a 20 ms timer during the wait.
    int LongestStallMs(int waitMs)
    {
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ticker.start(20);
        WaitUntil([] { return false; }, waitMs);
        return static_cast<int>(std::max(longest, clock.elapsed() - last));
    }

    test::TempDir dir;
    TShockwaveFlash flash;
    int evaluations_ = 0;
};

TEST_F(FlashControl, PlaysALocalMovieThenAnotherInItsPlace)
{
    const auto red = dir.write("red.swf", MinimalMovie(kRed, 200, 100, 10));
    const auto blue = dir.write("blue movie[1].swf", MinimalMovie(kBlue, 320, 240, 9));

    QElapsedTimer clock;
    clock.start();
    flash.SetMovie(QString::fromStdString(red.string()));
    EXPECT_EQ(flash.Movie(), QString::fromStdString(red.string()));
    ASSERT_TRUE(WaitForMetadata());
    const qint64 firstMs = clock.elapsed();
    EXPECT_EQ(flash.Metadata()->width, 200);
    EXPECT_EQ(flash.Metadata()->height, 100);
    EXPECT_EQ(flash.Metadata()->swfVersion, 10);
    EXPECT_EQ(flash.Metadata()->backgroundColor.toUpper(), QStringLiteral("#FF0000"));
    // 200x100 shown all in 400x200 fills the panel.
    EXPECT_TRUE(WaitForColour(kRed));

    clock.restart();
    flash.SetMovie(QString::fromStdString(blue.string()));
    EXPECT_FALSE(flash.Metadata().has_value()) << "the metadata of the movie replaced";
    ASSERT_TRUE(WaitForMetadata());
    const qint64 secondMs = clock.elapsed();
    EXPECT_EQ(flash.Metadata()->width, 320);
    EXPECT_EQ(flash.Metadata()->height, 240);
    EXPECT_EQ(flash.Metadata()->swfVersion, 9);
    // Letterboxed: the middle is blue, no red is left anywhere.
    EXPECT_TRUE(WaitForColour(kBlue, 0.5));
    EXPECT_EQ(ShareOfColour(flash.grab().toImage(), kRed), 0.0);

    std::printf("[ timing ] movie to metadata: first %lld ms, second %lld ms\n", static_cast<long long>(firstMs),
                static_cast<long long>(secondMs));
    RecordProperty("first_movie_ms", static_cast<int>(firstMs));
    RecordProperty("second_movie_ms", static_cast<int>(secondMs));

    // The empty text shows nothing.
    flash.SetMovie(QString());
    EXPECT_TRUE(WaitUntil([&] { return ShareOfColour(flash.grab().toImage(), kBlue) < 0.01; }, 10000));
    EXPECT_FALSE(flash.Metadata().has_value());

    // The same player takes the next movie after that.
    flash.SetMovie(QString::fromStdString(red.string()));
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_TRUE(WaitForColour(kRed));
}

// The scheme answers kept bytes through a device over them, not a copy, and
// the device keeps them alive after their movie was replaced.
TEST(PlayerScheme, AnswersKeptBytesWithoutCopyingThem)
{
    auto kept = std::make_shared<const std::string>(MinimalMovie(kRed, 10, 10));
    const char* const where = kept->data();
    QObject owner;
    QIODevice* device = SharedBytesDevice(kept, &owner);
    QIODevice* again = SharedBytesDevice(kept, &owner);
    ASSERT_NE(qobject_cast<QBuffer*>(device), nullptr);
    EXPECT_EQ(qobject_cast<QBuffer*>(device)->data().constData(), where);
    EXPECT_EQ(qobject_cast<QBuffer*>(again)->data().constData(), where);
    const std::string expected = *kept;
    kept.reset();
    EXPECT_TRUE(device->isReadable());
    EXPECT_EQ(device->readAll().toStdString(), expected);
    EXPECT_EQ(again->readAll().toStdString(), expected);
}

TEST_F(FlashControl, PlaysAWebMovieFromAServerThatSendsNoCorsHeader)
{
    test::LoopbackHttpServer server;
    server.route("/movies/green.swf", MinimalMovie(kGreen, 160, 120, 8), "application/x-shockwave-flash");
    server.route("/movies/data/level.txt", "level one", "text/plain");
    server.route("/root.txt", "root", "text/plain");
    test::LoopbackHttpServer elsewhere;
    elsewhere.route("/x.txt", "x", "text/plain");

    flash.SetMovie(QString::fromStdString(server.origin() + "/movies/green.swf"), nullptr, kLoopbackPage);
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(flash.Metadata()->width, 160);
    EXPECT_EQ(flash.Metadata()->swfVersion, 8);
    EXPECT_TRUE(WaitForColour(kGreen, 0.5));

    // The movie's own loads: relative to it, root-relative and absolute on its
    // site come through the program; another site is not reached at all.
    const auto load = [&](const QString& reference) {
        return Evaluate(
            QStringLiteral("fetch(new URL(%1, document.querySelector('#player').ruffle().loadedConfig.base))"
                           ".then(r => r.text()).then(t => window.testAnswer = t,"
                           " e => window.testAnswer = 'failed')")
                .arg(QLatin1Char('"') + reference + QLatin1Char('"')));
    };
    EXPECT_EQ(load(QStringLiteral("data/level.txt")), QStringLiteral("level one"));
    EXPECT_EQ(load(QStringLiteral("/root.txt")), QStringLiteral("root"));
    EXPECT_EQ(load(QString::fromStdString(server.origin() + "/root.txt")), QStringLiteral("root"));
    EXPECT_EQ(load(QString::fromStdString(elsewhere.origin() + "/x.txt")), QStringLiteral("failed"));
    EXPECT_TRUE(elsewhere.requests().empty());
}

// What the page's own scripts (and so a movie's loads) can read while a web
// movie plays: its own origin, nothing else. Each address is tried with fetch
// and with XMLHttpRequest; the answer is "<fetch>|<xhr>".
TEST_F(FlashControl, ThePlayerPageReadsNothingButTheMoviesOwnOrigin)
{
    const std::string secret = "TESSARO-SECRET-4711";
    const auto secretFile = dir.write("secret.txt", "secret=" + secret);
    const auto localMovie = dir.write("local.swf", MinimalMovie(kRed, 200, 100));
    test::LoopbackHttpServer earlier;
    earlier.route("/e/blue.swf", MinimalMovie(kBlue, 100, 100), "application/x-shockwave-flash");
    earlier.route("/e/earlier.txt", "earlier", "text/plain");
    test::LoopbackHttpServer site;
    site.route("/movies/green.swf", MinimalMovie(kGreen, 160, 120, 8), "application/x-shockwave-flash");
    site.route("/movies/data/level.txt", "level one", "text/plain");
    test::LoopbackHttpServer other;
    other.route("/x.txt", "other", "text/plain");
    const auto redirect = [](const std::string& location) {
        test::HttpResponse response;
        response.status = 302;
        response.reason = "Found";
        response.headers = {{"Location", location}};
        return response;
    };
    site.route("/movies/hop", redirect("/movies/data/level.txt"));
    site.route("/movies/jump", redirect(other.origin() + "/x.txt"));

    const auto read = [&](const QString& address) {
        return Evaluate(QStringLiteral(R"((async () => {
  const url = %1;
  const viaFetch = await fetch(url).then(r => r.ok ? r.text() : 'refused', () => 'refused');
  const viaXhr = await new Promise(done => {
    try {
      const x = new XMLHttpRequest();
      x.open('GET', url);
      x.onload = () => done(x.status >= 200 && x.status < 300 ? x.responseText : 'refused');
      x.onerror = () => done('refused');
      x.send();
    } catch (e) { done('refused'); }
  });
  window.testAnswer = viaFetch + '|' + viaXhr;
})())")
                            .arg(JsonString(address)));
    };
    const auto movieUrl = [&] {
        return Evaluate(
            QStringLiteral("window.testAnswer = document.querySelector('#player').ruffle().loadedConfig.url"));
    };
    const auto relative = [&](const QString& movie, const char* reference) {
        return QUrl(movie).resolved(QUrl(QString::fromLatin1(reference))).toString();
    };

    // Two movies before: each reads its own bytes while it is shown.
    flash.SetMovie(QString::fromStdString(localMovie.string()));
    ASSERT_TRUE(WaitForMetadata());
    const QString localUrl = movieUrl();
    EXPECT_EQ(read(relative(localUrl, "secret.txt")), QStringLiteral("refused|refused")) << "beside the movie";
    flash.SetMovie(QString::fromStdString(earlier.origin() + "/e/blue.swf"), nullptr, kLoopbackPage);
    ASSERT_TRUE(WaitForMetadata());
    const QString earlierUrl = movieUrl();
    ASSERT_EQ(read(relative(earlierUrl, "earlier.txt")), QStringLiteral("earlier|earlier"));

    flash.SetMovie(QString::fromStdString(site.origin() + "/movies/green.swf"), nullptr, kLoopbackPage);
    ASSERT_TRUE(WaitForMetadata());
    const QString siteUrl = movieUrl();
    // The page's policy runs no inline script: the player's settings come from a file.
    EXPECT_EQ(Evaluate(QStringLiteral("window.testAnswer = window.RufflePlayer.config.openUrlMode")),
              QStringLiteral("deny"));
    const std::size_t earlierSeen = earlier.requests().size();
    EXPECT_EQ(read(relative(siteUrl, "data/level.txt")), QStringLiteral("level one|level one"));
    EXPECT_EQ(read(relative(siteUrl, "hop")), QStringLiteral("level one|level one")) << "redirect within the origin";

    const QString secretPath = QString::fromStdString(secretFile.string());
    for (const QString& address : {
             QUrl::fromLocalFile(secretPath).toString(),
             QStringLiteral("tessaro://local") + secretPath,
             relative(localUrl, "local.swf"),
             relative(localUrl, "secret.txt"),
             relative(earlierUrl, "earlier.txt"),
             QString::fromStdString(earlier.origin() + "/e/earlier.txt"),
             relative(siteUrl, "jump"),
             QString::fromStdString(other.origin() + "/x.txt"),
         })
        EXPECT_EQ(read(address), QStringLiteral("refused|refused")) << address.toStdString();

    EXPECT_TRUE(other.requests().empty());
    EXPECT_EQ(earlier.requests().size(), earlierSeen);
    for (const test::LoopbackHttpServer* server : {&earlier, &site, &other})
        for (const test::HttpRequest& request : server->requests()) {
            EXPECT_EQ(request.target.find(secret), std::string::npos) << request.target;
            for (const auto& [name, value] : request.headers)
                EXPECT_EQ(value.find(secret), std::string::npos) << name;
        }
}

// A hand-made AS2 movie that loads a local file as variables and sends what it
// got to its own site once a second; the site records every request. It also
// loads another movie of its site, which reports that it runs.
TEST_F(FlashControl, AMovieCannotSendALocalFileToItsOwnSite)
{
    const std::string secret = "TESSARO-SECRET-0815";
    const auto secretFile = dir.write("secret.txt", "secret=" + secret);
    const std::string path = secretFile.string();
    const std::string frame1 = LoadVariablesNum(Push("file://" + path)) +
                               LoadVariablesNum(Push("tessaro://local" + path)) + LoadVariablesNum(Push("own.txt")) +
                               LoadMovieNum(Push("child.swf"));
    const std::string frame2 = LoadVariablesNum(Push("leak?own=") + Push("own") + kGetVariable + kStringAdd +
                                                Push("&d=") + kStringAdd + Push("secret") + kGetVariable + kStringAdd);
    test::LoopbackHttpServer site;
    site.route("/movies/leaky.swf", ActionMovie(kGreen, {frame1, frame2}), "application/x-shockwave-flash");
    site.route("/movies/own.txt", "own=yes", "text/plain");
    site.route("/movies/child.swf", ActionMovie(kBlue, {LoadVariablesNum(Push("child-runs.txt"))}),
               "application/x-shockwave-flash");
    const auto leaksWithOwnLoad = [&] {
        int count = 0;
        for (const test::HttpRequest& request : site.requests())
            if (request.target.rfind("/movies/leak?own=yes&d=", 0) == 0)
                ++count;
        return count;
    };

    flash.SetMovie(QString::fromStdString(site.origin() + "/movies/leaky.swf"), nullptr, kLoopbackPage);
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(flash.Metadata()->swfVersion, 8);
    // The movie's own loads arrive and carry what it read from its own site;
    // by the third report every load it started has long ended.
    ASSERT_TRUE(WaitUntil([&] { return leaksWithOwnLoad() >= 3; }, kPlayWaitMs));
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (const test::HttpRequest& request : site.requests())
                if (request.target == "/movies/child-runs.txt")
                    return true;
            return false;
        },
        kPlayWaitMs));
    for (const test::HttpRequest& request : site.requests()) {
        EXPECT_EQ(request.target.find(secret), std::string::npos) << request.target;
        for (const auto& [name, value] : request.headers)
            EXPECT_EQ(value.find(secret), std::string::npos) << name;
    }
}

TEST_F(FlashControl, WhatCannotBePlayedEndsQuietlyAndTheNextMovieStillPlays)
{
    const auto notAMovie = dir.write("page.swf", "<html><body>404 Not Found</body></html>");
    const auto good = dir.write("good.swf", MinimalMovie(kRed, 100, 50));
    int failures = 0;
    QObject::connect(PlayerSchemeHandler(), &TPlayerSchemeHandler::Served, &flash, [&](const QUrl& url, bool failed) {
        if (failed && url.host() != QLatin1String("player"))
            ++failures;
    });

    for (const std::string& movie :
         {(dir.path() / "missing.swf").string(), std::string("http://127.0.0.1:1/gone.swf")}) {
        const int before = failures;
        flash.SetMovie(QString::fromStdString(movie));
        EXPECT_TRUE(WaitUntil([&] { return failures > before; }, kPlayWaitMs)) << movie;
    }
    flash.SetMovie(QString::fromStdString(notAMovie.string()));
    EXPECT_LT(LongestStallMs(1500), 500);
    EXPECT_FALSE(flash.Metadata().has_value());
    EXPECT_FALSE(MessageBoxShown());

    flash.SetMovie(QString::fromStdString(good.string()));
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(flash.Metadata()->width, 100);
    EXPECT_FALSE(MessageBoxShown());
}

TEST_F(FlashControl, ASlowAddressNeverHoldsTheWindow)
{
    test::LoopbackHttpServer server;
    test::HttpResponse slow;
    slow.body = MinimalMovie(kBlue, 64, 64);
    slow.headers = {{"Content-Type", "application/x-shockwave-flash"}};
    slow.delayMs = 3000;
    server.route("/slow.swf", slow);

    flash.SetMovie(QString::fromStdString(server.origin() + "/slow.swf"), nullptr, kLoopbackPage);
    // The request is under way during the whole measurement.
    ASSERT_TRUE(WaitUntil([&] { return !server.requests().empty(); }, kPlayWaitMs));
    EXPECT_LT(LongestStallMs(1500), 500);
    EXPECT_FALSE(flash.Metadata().has_value());
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(flash.Metadata()->width, 64);
}

// Selecting a row deselects another, which sets that row's movie again just
// before the new one: the movie replaced while its bytes are on the way must
// not take the next one down with it.
TEST_F(FlashControl, AMovieReplacedWhileOnItsWayLeavesTheNextPlaying)
{
    test::LoopbackHttpServer server;
    test::HttpResponse slow;
    slow.body = MinimalMovie(kBlue, 64, 64);
    slow.headers = {{"Content-Type", "application/x-shockwave-flash"}};
    slow.delayMs = 1500;
    server.route("/slow.swf", slow);
    const auto red = dir.write("red.swf", MinimalMovie(kRed, 200, 100));

    flash.SetMovie(QString::fromStdString(server.origin() + "/slow.swf"), nullptr, kLoopbackPage);
    ASSERT_TRUE(WaitUntil([&] { return !server.requests().empty(); }, kPlayWaitMs));
    flash.SetMovie(QString::fromStdString(red.string()));
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(flash.Metadata()->width, 200);
    EXPECT_TRUE(WaitForColour(kRed));
}

TEST_F(FlashControl, ThePlayerStartsWhenFirstNeededAndMakesItselfReadyBeforeTheFirstMovie)
{
    bool wasmServed = false;
    QObject::connect(PlayerSchemeHandler(), &TPlayerSchemeHandler::Served, &flash, [&](const QUrl& url, bool failed) {
        if (url.path().endsWith(QLatin1String(".wasm")) && !failed)
            wasmServed = true;
    });
    // A control that was shown and given the empty text has no web view
    // (and so no renderer) and fetched nothing.
    flash.SetMovie(QString());
    WaitUntil([] { return false; }, 500);
    EXPECT_EQ(flash.findChild<QWebEngineView*>(), nullptr);
    EXPECT_FALSE(wasmServed);

    flash.Prepare();
    flash.Prepare();
    EXPECT_EQ(flash.findChildren<QWebEngineView*>().size(), 1);
    // Nothing shows while it makes itself ready.
    EXPECT_TRUE(WaitUntil([&] { return wasmServed; }, kPlayWaitMs));
    WaitUntil([] { return false; }, 1000);
    EXPECT_FALSE(flash.Metadata().has_value());
    EXPECT_LT(ShareOfColour(flash.grab().toImage(), TRgb{0, 0, 0}), 0.5);

    const auto red = dir.write("red.swf", MinimalMovie(kRed, 200, 100));
    QElapsedTimer clock;
    clock.start();
    flash.SetMovie(QString::fromStdString(red.string()));
    ASSERT_TRUE(WaitForMetadata());
    std::printf("[ timing ] movie to metadata, player ready: %lld ms\n", static_cast<long long>(clock.elapsed()));
    EXPECT_EQ(flash.Metadata()->backgroundColor.toUpper(), QStringLiteral("#FF0000"));
    EXPECT_TRUE(WaitForColour(kRed));
}

TEST_F(FlashControl, ARendererThatDiedIsReplacedAndTheMoviePlaysAgain)
{
    const auto red = dir.write("red.swf", MinimalMovie(kRed, 200, 100));
    flash.SetMovie(QString::fromStdString(red.string()));
    ASSERT_TRUE(WaitForMetadata());

    const qint64 renderer = Page()->renderProcessPid();
    ASSERT_GT(renderer, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(renderer), SIGKILL), 0);
    ASSERT_TRUE(WaitUntil([&] { return !flash.Metadata().has_value(); }, 10000));
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_NE(Page()->renderProcessPid(), renderer);
    EXPECT_EQ(flash.Metadata()->width, 200);
    EXPECT_TRUE(WaitForColour(kRed));
}

}  // namespace
}  // namespace tessaro
