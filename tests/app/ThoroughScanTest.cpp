// The thorough page scan through the real web engine, on pages built the
// ways Flash-era sites embedded their movies (several on the real SWFObject
// 2.2), served from a loopback server. Every page is scanned with "Thorough
// scan" on (the described rows first, then the further ones) and off
// (exactly the described rows).

#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "scan/FoundMovies.h"
#include "scan/MovieStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QAction>
#include <QMenu>
#include <QProgressBar>
#include <QTabWidget>
#include <QWebEnginePage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

namespace tessaro {
namespace {

using test::LoopbackHttpServer;
using test::WaitUntil;

constexpr int kWaitMs = 20000;
const std::string kHtml = "text/html";
const std::string kScript = "text/javascript";
// What the collector keeps of one external script file, in characters; how
// many files it reads for one document; how much of a noscript element's
// markup it parses; how long after completion it watches for additions.
constexpr std::size_t kLoadedScriptText = 1024 * 1024;
constexpr int kReadScriptFiles = 64;
constexpr std::size_t kParsedNoscriptText = 256 * 1024;
constexpr int kGrowthWatchMs = 10000;
const QString kFlashClassId = QStringLiteral("clsid:D27CDB6E-AE6D-11cf-96B8-444553540000");

std::string Page(const std::string& head, const std::string& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + head + "</head><body>" + body + "</body></html>";
}

std::string SwfObjectLibrary()
{
    const auto file = test::SourceDir() / "node_modules" / "swfobject" / "index.js";
    const std::string text = test::TempDir::read(file);
    if (text.empty())
        ADD_FAILURE() << "SWFObject 2.2 is missing: run npm ci in the source tree (" << file << ")";
    return text;
}

// One page: the rows with the thorough scan on (described ones first) and
// off. A page may grow after it completed: then the first rows come before
// the growth is set off, and the rest after.
struct ScanRow {
    const char* name;
    std::string path;
    QStringList on;
    QStringList off;
    int beforeGrowth = -1;  // rows listed before the page grows; -1: it does not
};

test::HttpResponse MovieAnswer(std::string movie)
{
    return {200, "OK", {{"Content-Type", "application/x-shockwave-flash"}}, std::move(movie)};
}

// A loader movie: its code loads name into level 1.
std::string LoaderOf(const std::string& name)
{
    return test::TMovieBuilder().Tag(12, test::TMovieBuilder::GetUrl(name, "_level1") + std::string(1, '\0')).Build();
}

// The movies of the script files the collector reads: all but the last.
QStringList ManyScriptMovies()
{
    QStringList movies;
    for (int i = 0; i < kReadScriptFiles; ++i)
        movies.append(QStringLiteral("/t/m%1.swf").arg(i));  // against the page, not the file
    return movies;
}

void PrintTo(const ScanRow& row, std::ostream* os)
{
    *os << row.name;
}

class ThoroughScan : public test::ShownWindow, public testing::WithParamInterface<std::tuple<ScanRow, bool>> {
protected:
    void SetUp() override
    {
        UseOwnHome();
        Serve();
        MakeWindow();
        window->resize(900, 700);
        ShowWindow(Activation::ShowOnly);
    }

    void Serve()
    {
        // Every movie the pages name exists: only a guess with no movie
        // behind it is taken off the list.
        site.setFallback([](const test::HttpRequest& request) {
            const std::string path = request.target.substr(0, request.target.find('?'));
            if (path.ends_with(".swf") || path.ends_with(".php"))
                return MovieAnswer(test::TMovieBuilder().Build());
            return test::HttpResponse{404, "Not Found", {}, ""};
        });
        site.route("/lib/swfobject.js", SwfObjectLibrary(), kScript);
        // Dynamic publishing: the movie's address is put together when the
        // script runs.
        site.route("/t/dynamic-inline.html", Page(R"(<script src="../lib/swfobject.js"></script>)", R"(
<div id="intro">Get the Flash player</div>
<script>
var dir = "movies/", name = "dyn" + "amic";
swfobject.embedSWF(dir + name + ".swf", "intro", "300", "120", "9.0.0");
</script>)"),
                   kHtml);
        site.route("/t/dynamic-external.html",
                   Page(R"(<script src="../lib/swfobject.js"></script>
<script src="publish.js"></script>)",
                        R"(<div id="box">Get the Flash player</div>)"),
                   kHtml);
        site.route("/t/publish.js", R"(
var folder = 'clips/';
swfobject.embedSWF(folder + ['ext', 'ernal'].join('') + '.swf', 'box', '300', '120', '8.0.0',
                   false, {}, {quality: 'high'});
)",
                   kScript);
        // Static publishing: the outer object for the ActiveX control, the
        // inner one for the plugin, each naming its own movie here.
        site.route("/t/static.html", Page(R"(<script src="../lib/swfobject.js"></script>)", R"(
<object id="stat" classid=")" + kFlashClassId.toStdString() + R"(" width="300" height="120">
  <param name="movie" value="static/outer.swf" />
  <!--[if !IE]>-->
  <object type="application/x-shockwave-flash" data="static/inner.swf" width="300" height="120">
  <!--<![endif]-->
    <p>Get the Flash player</p>
  <!--[if !IE]>-->
  </object>
  <!--<![endif]-->
</object>
<script>swfobject.registerObject("stat", "9.0.0");</script>)"),
                   kHtml);
        // The writer of SWFObject 1.5: reads the plugin's version from its
        // description and writes an embed with flashvars.
        site.route("/t/writer15.html", Page("", R"(
<div id="slot">Get the Flash player</div>
<script>
function playerMajor() {
  if (navigator.plugins && navigator.mimeTypes && navigator.mimeTypes.length) {
    var x = navigator.plugins['Shockwave Flash'];
    if (x && x.description)
      return parseInt(x.description.replace(/([a-zA-Z]|\s)+/, '').replace(/(\s+r|\s+b[0-9]+)/, '.').split('.')[0], 10);
  }
  return 0;
}
function SWFObject(swf, id, w, h, ver) { this.swf = swf; this.ver = ver; this.vars = []; }
SWFObject.prototype.addVariable = function (k, v) { this.vars.push(k + '=' + encodeURIComponent(v)); };
SWFObject.prototype.write = function (id) {
  if (playerMajor() < this.ver) return;
  document.getElementById(id).innerHTML = '<embed type=\'application/x-shockwave-flash\' src=\'' + this.swf +
      '\' flashvars=\'' + this.vars.join('&') + '\' width=\'300\' height=\'120\'>';
};
var so = new SWFObject('v15/' + 'player' + '.swf', 'm', 300, 120, 8);
so.addVariable('file', 'v15/song-' + 1 + '.swf');
so.write('slot');
</script>)"),
                   kHtml);
        // A run-content script: a version check, then object and embed by
        // document.write, the extension added to the movie's name.
        site.route("/t/runcontent.html", Page("", R"(
<script>
function DetectFlashVer(major) {
  var p = navigator.plugins && navigator.plugins.namedItem('Shockwave Flash');
  var t = navigator.mimeTypes && navigator.mimeTypes.item(0);
  if (!p || !t || t.enabledPlugin !== p) return false;
  return parseInt(p.description.split(' ')[2], 10) >= major;
}
function AC_AddExtension(src, ext) { return src.indexOf('?') != -1 ? src.replace(/\?/, ext + '?') : src + ext; }
function AC_FL_RunContent() {
  var a = {};
  for (var i = 0; i + 1 < arguments.length; i += 2) a[arguments[i]] = arguments[i + 1];
  var movie = AC_AddExtension(a.movie, '.swf');
  document.write('<object classid="clsid:d27cdb6e-ae6d-11cf-96b8-444553540000" codebase="' + a.codebase +
      '" width="' + a.width + '" height="' + a.height + '"><param name="movie" value="' + movie +
      '" /><embed src="' + movie + '" type="application/x-shockwave-flash" width="' + a.width +
      '" height="' + a.height + '"></embed></object>');
}
if (DetectFlashVer(8))
  AC_FL_RunContent('codebase', 'http://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab#version=8,0,0,0',
                   'width', '300', 'height', '120', 'movie', 'run/banner?cb=7');
else
  document.write('Get the Flash player');
</script>)"),
                   kHtml);
        // Flash Satay: no classid, no codebase; a small container movie that
        // loads the real one.
        site.route("/t/satay.html", Page("", R"(
<object type="application/x-shockwave-flash" data="satay/c.swf?path=satay/movie.swf" width="300" height="120">
  <param name="movie" value="satay/c.swf?path=satay/movie.swf" />
  <img src="noflash.gif" alt="">
</object>)"),
                   kHtml);
        site.route("/t/noscript.html",
                   Page("", R"(
<script>document.write('<p>Scripts run here</p>');</script>
<noscript>
  <object classid=")" + kFlashClassId.toStdString() +
                                R"(" width="1" height="1">
    <param name="movie" value="fallback/object.swf">
    <embed src="fallback/embed.swf" width="1" height="1"></embed>
  </object>
  <embed type="application/x-shockwave-flash" src="fallback/getmovie.php?id=12">
</noscript>)"),
                   kHtml);
        site.route("/t/flashvars.html", Page("", R"(
<object type="application/x-shockwave-flash" data="players/flvplayer.swf" width="300" height="120">
  <param name="FlashVars" value="movie=clips/intro.swf&amp;autoplay=1&amp;skin=skins%2Fdark.swf&amp;title=intro">
</object>
<embed type="application/x-shockwave-flash" src="getmovie.php?id=12" width="1" height="1">)"),
                   kHtml);
        // The page adds an embed when told to, after it completed.
        site.route("/t/late.html", Page("", R"(
<embed src="late/first.swf" width="1" height="1">
<script>
function addLate() {
  setTimeout(function () {
    var e = document.createElement('embed');
    e.type = 'application/x-shockwave-flash';
    e.src = 'late/' + 'second' + '.php?id=2';
    document.body.appendChild(e);
  }, 300);
}
</script>)"),
                   kHtml);
        site.route("/t/base.html",
                   Page(R"(<base href="/assets/flash/">)",
                        R"(
<object classid=")" + kFlashClassId.toStdString() +
                            R"(" codebase="http://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab">
  <param name="movie" value="../menu.swf">
</object>
<embed src="intro.swf">
<object type="application/x-shockwave-flash" data="banner.swf"></object>
<script>var root = "/root.swf", here = 'here.swf';</script>)"),
                   kHtml);
        site.route("/t/escaped.html", Page(R"(<script src="strings.js"></script>)", R"(
<script>
var a = "flash\/intro.swf";
var b = 'flash\x2Fsingle.swf';
var c = "\u0066lash/unicode.swf";
var d = "flash/spaced\u0020name.swf";
// the author's comment: don't load "old.swf" here
</script>)"),
                   kHtml);
        // Only its text names these movies: they play on a click.
        site.route("/t/strings.js", R"(
var later = 'media\/on-click.swf';
function onClick() { load("media/dbl.swf" + "?v=" + Date.now()); }
)",
                   kScript);
        // A loader movie whose code loads the real one from its own site.
        site.route("/t/loader.html", Page("", R"(<embed src="loader.swf" width="10" height="10">)"), kHtml);
        site.route("/t/loader.swf", MovieAnswer(LoaderOf("main.swf")));
        site.route("/t/main.swf", MovieAnswer(test::TMovieBuilder().Build()));
        // One script file more than the collector reads for one document.
        std::string many;
        for (int i = 0; i <= kReadScriptFiles; ++i) {
            many += "<script src=\"many/" + std::to_string(i) + ".js\"></script>";
            site.route("/t/many/" + std::to_string(i) + ".js", "var m = 'm" + std::to_string(i) + ".swf';", kScript);
        }
        site.route("/t/many.html", Page(many, ""), kHtml);
        // A fallback past the part of a noscript element that is parsed.
        site.route("/t/deep-noscript.html",
                   Page("", "<noscript><embed src=\"near.swf\"><p>" + std::string(kParsedNoscriptText, 'x') +
                                "</p><embed src=\"far.swf\"></noscript>"),
                   kHtml);
        // A frame that shows a movie in place of a page, beside one that holds a page.
        site.route("/t/frameset.html",
                   "<!DOCTYPE html><html><frameset cols=\"50%,50%\"><frame src=\"frames/intro.swf\">"
                   "<frame src=\"frames/menu.html\"></frameset></html>",
                   kHtml);
        site.route("/t/frames/intro.swf", MovieAnswer(test::TMovieBuilder().Build()));
        site.route("/t/frames/menu.html", Page("", R"(<embed src="menu.swf">)"), kHtml);
        // Movies a page only links to, and one an object without a type plays by its name.
        site.route("/t/linked.html", Page("", R"(
<object data="plain/untyped.swf" width="1" height="1"></object>
<object data="plain/picture.svg" width="1" height="1"></object>
<a href="games/full.swf?level=2">Play full screen</a> <a href="about.html">About</a>
<img src="map.gif" usemap="#m"><map name="m"><area href="map/area.swf" shape="rect" coords="0,0,1,1"></map>)"),
                   kHtml);
        // A loader whose element sets the base its loads resolve against.
        site.route("/t/based.html", Page("", R"(<embed src="based/loader.swf" base="media/">)"), kHtml);
        site.route("/t/based/loader.swf", MovieAnswer(LoaderOf("clip.swf")));
        site.route("/t/media/clip.swf", MovieAnswer(test::TMovieBuilder().Build()));
        // Past the bound on what is kept of one external file.
        site.route("/t/long.html", Page(R"(<script src="long.js"></script>)", ""), kHtml);
        site.route("/t/long.js",
                   "var early = 'cut/before.swf';\n/*" + std::string(kLoadedScriptText, 'x') +
                       "*/\nvar late = 'cut/after.swf';\n",
                   kScript);
    }

    QStringList At(const QStringList& paths) const
    {
        QStringList addresses;
        for (const QString& path : paths)
            addresses.append(QString::fromStdString(site.origin()) + path);
        return addresses;
    }

    QStringList Rows(int column) const
    {
        QStringList texts;
        for (int row = 0; row < Control<TListView>("ListView1")->RowCount(); ++row)
            texts.append(Cell(Control<TListView>("ListView1"), row, column));
        return texts;
    }

    bool Listed(const QStringList& expected) const
    {
        return Rows(1) == expected && Control<TStatusBar>("StatusBar1")->PanelText(0) == QLatin1String("Done");
    }

    int Requests(const std::string& path) const
    {
        int count = 0;
        for (const test::HttpRequest& request : site.requests())
            count += request.target == path ? 1 : 0;
        return count;
    }

    LoopbackHttpServer site;
};

TEST_P(ThoroughScan, ListsTheDescribedRowsFirstThenTheFurtherOnes)
{
    const auto& [page, thorough] = GetParam();
    if (!thorough)
        Control<QAction>("ThoroughScan1")->trigger();
    ASSERT_EQ(Control<QAction>("ThoroughScan1")->isChecked(), thorough);

    const QStringList expected = At(thorough ? page.on : page.off);
    const bool grows = thorough && page.beforeGrowth >= 0;
    const QStringList first = grows ? expected.mid(0, page.beforeGrowth) : expected;
    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + page.path));
    ASSERT_TRUE(WaitUntil([&] { return Listed(first); }, kWaitMs)) << Rows(1).join('\n').toStdString();
    for (int row = 0; row < Control<TListView>("ListView1")->RowCount(); ++row)
        EXPECT_TRUE(Checked(Control<TListView>("ListView1"), row)) << row;
    // External script files are read as the browser holds them, not again.
    EXPECT_LE(Requests("/t/strings.js"), 1);
    EXPECT_LE(Requests("/t/publish.js"), 1);
    // Without the thorough scan no movie is read after the scan.
    if (!thorough) {
        EXPECT_FALSE(window->WebPage()->MovieReadingRunning());
    }
    if (!grows)
        return;

    // What a transfer and the user left on the rows stays when more come.
    WebMovies()->SetStatus(0, QStringLiteral("Saved"));
    WebMovies()->SetChecked(0, false);
    Control<TWebBrowser>("WebBrowser1")->page()->runJavaScript(QStringLiteral("addLate()"));
    ASSERT_TRUE(WaitUntil([&] { return Listed(expected); }, kWaitMs)) << Rows(1).join('\n').toStdString();
    EXPECT_EQ(Rows(0).last(), QString::number(expected.size()));
    EXPECT_EQ(Rows(2).first(), QStringLiteral("Saved"));
    EXPECT_FALSE(Checked(Control<TListView>("ListView1"), 0));
    EXPECT_EQ(Rows(2).last(), QStringLiteral("New"));
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), Control<TListView>("ListView1")->RowCount() - 1));
}

INSTANTIATE_TEST_SUITE_P(
    FlashEraPages, ThoroughScan,
    testing::Combine(
        testing::Values(
            // Described: the bare ".swf" the address is put together with.
            ScanRow{
                "DynamicPublishingInline", "/t/dynamic-inline.html", {"/t/.swf", "/t/movies/dynamic.swf"}, {"/t/.swf"}},
            ScanRow{"DynamicPublishingFromAnExternalFile", "/t/dynamic-external.html", {"/t/clips/external.swf"}, {}},
            ScanRow{"StaticPublishing", "/t/static.html", {"/t/static/outer.swf", "/t/static/inner.swf"}, {}},
            // Described: the embed the writer wrote.
            ScanRow{"Writer15", "/t/writer15.html", {"/t/v15/player.swf", "/t/v15/song-1.swf"}, {}},
            // Described: the object naming the vendor and its embed, written
            // only when a player is there.
            ScanRow{"RunContentWrite", "/t/runcontent.html", {"/t/run/banner.swf?cb=7"}, {}},
            ScanRow{"Satay", "/t/satay.html", {"/t/satay/c.swf?path=satay/movie.swf", "/t/satay/movie.swf"}, {}},
            ScanRow{"Noscript",
                    "/t/noscript.html",
                    {"/t/fallback/object.swf", "/t/fallback/embed.swf", "/t/fallback/getmovie.php?id=12"},
                    {}},
            ScanRow{"FlashVars",
                    "/t/flashvars.html",
                    {"/t/players/flvplayer.swf", "/t/clips/intro.swf", "/t/skins/dark.swf", "/t/getmovie.php?id=12"},
                    {}},
            ScanRow{"LateInsertion",
                    "/t/late.html",
                    {"/t/late/first.swf", "/t/late/second.php?id=2"},
                    {"/t/late/first.swf"},
                    1},
            // Described, against the base: object, embed, script.
            ScanRow{"BaseHref",
                    "/t/base.html",
                    {"/assets/menu.swf", "/assets/flash/intro.swf", "/root.swf", "/assets/flash/banner.swf",
                     "/assets/flash/here.swf"},
                    {"/assets/menu.swf", "/assets/flash/intro.swf", "/root.swf"}},
            // Described: double-quoted strings with escapes undone, and a
            // quoted name inside a comment; then single quotes and the
            // external file's strings.
            ScanRow{"EscapedStrings",
                    "/t/escaped.html",
                    {"/t/flash/intro.swf", "/t/flash/unicode.swf", "/t/flash/spaced%20name.swf", "/t/old.swf",
                     "/t/media/on-click.swf", "/t/media/dbl.swf", "/t/flash/single.swf"},
                    {"/t/flash/intro.swf", "/t/flash/unicode.swf", "/t/flash/spaced%20name.swf", "/t/old.swf"}},
            // Movies inside movies are the thorough scan's too.
            ScanRow{"LoaderMovie", "/t/loader.html", {"/t/loader.swf", "/t/main.swf"}, {"/t/loader.swf"}},
            ScanRow{"LoaderMovieWithABase",
                    "/t/based.html",
                    {"/t/based/loader.swf", "/t/media/clip.swf"},
                    {"/t/based/loader.swf"}},
            ScanRow{"ExternalFileCutAtItsBound", "/t/long.html", {"/t/cut/before.swf"}, {}},
            ScanRow{"ScriptFilesPastTheirCount", "/t/many.html", ManyScriptMovies(), {}},
            ScanRow{"NoscriptPastItsBound", "/t/deep-noscript.html", {"/t/near.swf"}, {}},
            ScanRow{"LinkedMoviesAndAnUntypedObject",
                    "/t/linked.html",
                    {"/t/plain/untyped.swf", "/t/games/full.swf?level=2", "/t/map/area.swf"},
                    {}},
            // Described: the embed of the frame that holds a page.
            ScanRow{"FrameShowingAMovie",
                    "/t/frameset.html",
                    {"/t/frames/menu.swf", "/t/frames/intro.swf"},
                    {"/t/frames/menu.swf"}}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<ScanRow, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Thorough" : "Described");
    });

using ThoroughScanWatch = ThoroughScan;

TEST_F(ThoroughScanWatch, ElementsAddedPastTheWatchAreNotListed)
{
    site.route("/t/slow-growth.html",
               Page("", R"(
<embed src="grow/first.swf">
<script>
function add(name, ms) {
  setTimeout(function () {
    var e = document.createElement('embed');
    e.type = 'application/x-shockwave-flash';
    e.src = 'grow/' + name + '.php';
    document.body.appendChild(e);
  }, ms);
}
add('soon', 500);
add('too-late', )" + std::to_string(kGrowthWatchMs + 1500) +
                            R"();
</script>)"),
               kHtml);
    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/slow-growth.html"));
    const QStringList listed = At({"/t/grow/first.swf", "/t/grow/soon.php"});
    ASSERT_TRUE(WaitUntil([&] { return Listed(listed); }, kWaitMs)) << Rows(1).join('\n').toStdString();

    int embeds = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            Control<TWebBrowser>("WebBrowser1")
                ->page()
                ->runJavaScript(QStringLiteral("document.embeds.length"),
                                [&](const QVariant& value) { embeds = value.toInt(); });
            return embeds == 3;
        },
        kGrowthWatchMs + kWaitMs))
        << "the page never added its last embed";
    // Long enough for an announcement of it to arrive, were there one.
    WaitUntil([] { return false; }, 1000);
    EXPECT_EQ(Rows(1), listed);
}

using ThoroughScanReading = ThoroughScan;

TEST_F(ThoroughScanReading, StatusCountsTheMoviesReadAndEachRowCarriesItsDetails)
{
    site.route("/t/slow.html", Page("", R"(<embed src="slow-loader.swf" width="10" height="10">)"), kHtml);
    site.route("/t/slow-loader.swf", MovieAnswer(LoaderOf("slow-main.swf")));
    test::HttpResponse slowMain = MovieAnswer(test::TMovieBuilder().Build());
    slowMain.delayMs = 1500;  // long enough to see the count between the two
    site.route("/t/slow-main.swf", slowMain);

    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/slow.html"));
    bool countSeen = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (Control<TStatusBar>("StatusBar1")->PanelText(0) == QLatin1String("Reading movies 1 of 2"))
                countSeen = countSeen || Control<QProgressBar>("ProgressBar")->value() == 50;
            return Listed(At({"/t/slow-loader.swf", "/t/slow-main.swf"})) && !window->WebPage()->MovieReadingRunning();
        },
        kWaitMs))
        << Rows(1).join('\n').toStdString();
    EXPECT_TRUE(countSeen) << "the status said how many movies were read, and the bar showed it";
    EXPECT_EQ(Control<QProgressBar>("ProgressBar")->value(), 0);
    for (int row = 0; row < 2; ++row) {
        const QString details = Cell(Control<TListView>("ListView1"), row, TMovieModel::kWebFlash, Qt::ToolTipRole);
        EXPECT_TRUE(details.startsWith(QLatin1String("Flash version ")) && details.contains(QLatin1String("Stage")))
            << row << ": " << details.toStdString();
    }
}

// The default names of Flash-era scripts, resolved against a page where
// nothing answers to them: rows only text named go once their reading ends,
// rows of markup and described rows stay whatever their answer.
TEST_F(ThoroughScanReading, GuessesWhoseAddressHasNoMovieAreTakenOffAndCounted)
{
    site.route("/t/guesses.html", Page("", R"(
<embed src="gone/markup.swf">
<noscript><embed src="gone/fallback.swf"></noscript>
<script>
var described = "gone/described.swf";
var sm = 'sm2/soundmanager2.swf', page = 'sm2/page.swf', present = 'sm2/present.swf';
</script>)"),
               kHtml);
    site.route("/t/sm2/page.swf", "<p>Not a movie</p>", kHtml);
    site.route("/t/sm2/present.swf", MovieAnswer(test::TMovieBuilder().Build()));
    site.setFallback([](const test::HttpRequest&) { return test::HttpResponse{404, "Not Found", {}, ""}; });

    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/guesses.html"));
    const QStringList kept = At({"/t/gone/markup.swf", "/t/gone/described.swf", "/t/sm2/present.swf"});
    ASSERT_TRUE(WaitUntil([&] { return Rows(1) == kept && !window->WebPage()->MovieReadingRunning(); }, kWaitMs))
        << Rows(1).join('\n').toStdString();
    EXPECT_EQ(Control<TStatusBar>("StatusBar1")->PanelText(0),
              QStringLiteral("Done: 3 guessed addresses had no movie"));
    EXPECT_EQ(Rows(0), QStringList({"1", "2", "3"}));
    EXPECT_EQ(WebMovies()->Found().Addresses(), kept);
    EXPECT_EQ(Requests("/t/sm2/soundmanager2.swf"), 1) << "each guess is asked once";

    // A rescan of the page (as a frame completing makes) lists them no more.
    window->SetStatusText("");
    window->WebBrowser1DocumentComplete();
    ASSERT_TRUE(WaitUntil([&] { return Listed(kept) && !window->WebPage()->MovieReadingRunning(); }, kWaitMs))
        << Rows(1).join('\n').toStdString() << "\n"
        << Control<TStatusBar>("StatusBar1")->PanelText(0).toStdString();
    EXPECT_EQ(Requests("/t/sm2/soundmanager2.swf"), 1);
}

// The reading of a loader's movie ends while a slow download runs: the
// status bar and the bar are the download's until it ends.
TEST_F(ThoroughScanReading, ItsEndDuringADownloadLeavesTheDownloadsStatus)
{
    site.route("/t/busy.html", Page("", R"(<embed src="busy-loader.swf" width="10" height="10">)"), kHtml);
    site.route("/t/busy-loader.swf", MovieAnswer(LoaderOf("busy-main.swf")));
    // The reading's fetch waits, then the download's drips.
    const auto asked = std::make_shared<std::atomic<int>>(0);
    site.setFallback([asked](const test::HttpRequest& request) {
        if (request.target != "/t/busy-main.swf")
            return test::HttpResponse{404, "Not Found", {}, ""};
        test::HttpResponse answer = MovieAnswer(test::TMovieBuilder().Build());
        if ((*asked)++ == 0) {
            answer.delayMs = 1500;
        } else {
            answer.dripMs = 150;
            answer.dripBytes = 1;
        }
        return answer;
    });
    const QStringList rows = At({"/t/busy-loader.swf", "/t/busy-main.swf"});
    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/busy.html"));
    ASSERT_TRUE(WaitUntil([&] { return Rows(1) == rows && *asked == 1; }, kWaitMs)) << Rows(1).join(' ').toStdString();
    ASSERT_TRUE(window->WebPage()->MovieReadingRunning());

    // What the download command does once the folder is picked.
    test::TempDir target;
    WebMovies()->SetChecked(0, false);
    window->WebPage()->StartDownloads(target.folder());
    ASSERT_EQ(Control<TStatusBar>("StatusBar1")->PanelText(0), QStringLiteral("Downloading ") + rows[1]);
    const QString downloading = QStringLiteral("Downloading ") + rows[1];
    QStringList seen;
    int lastPercent = 0;
    bool fell = false;
    bool readingEnded = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!window->WebPage()->DownloadRunning())
                return true;
            if (seen.isEmpty() || seen.last() != Control<TStatusBar>("StatusBar1")->PanelText(0))
                seen.append(Control<TStatusBar>("StatusBar1")->PanelText(0));
            // Before, the bar may still show the reading's count.
            fell = fell || (readingEnded && Control<QProgressBar>("ProgressBar")->value() < lastPercent);
            lastPercent = Control<QProgressBar>("ProgressBar")->value();
            readingEnded = readingEnded || !window->WebPage()->MovieReadingRunning();
            return false;
        },
        kWaitMs));
    EXPECT_TRUE(readingEnded) << "the reading ended before the download";
    EXPECT_EQ(seen, QStringList{downloading});
    EXPECT_FALSE(fell) << "the bar went back while the download ran";
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 1, TMovieModel::kWebStatus), QStringLiteral("Saved"));
}

// Turning the thorough scan off forgets the bytes the reading kept, so a
// preview asks the server again; and pages loaded then have no script file read.
TEST_F(ThoroughScanReading, TurningItOffForgetsWhatItKeptAndReadsNoScriptFile)
{
    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/loader.html"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Listed(At({"/t/loader.swf", "/t/main.swf"})) && !window->WebPage()->MovieReadingRunning();
        },
        kWaitMs));
    ASSERT_NE(window->WebPage()->KeptMovies()->MovieBytes(At({"/t/loader.swf"}).first()), nullptr);
    const int asked = Requests("/t/loader.swf");

    Control<QAction>("ThoroughScan1")->trigger();
    ASSERT_FALSE(Control<QAction>("ThoroughScan1")->isChecked());
    EXPECT_EQ(window->WebPage()->KeptMovies(), nullptr);
    Control<TListView>("ListView1")->selectRow(0);
    EXPECT_TRUE(WaitUntil([&] { return Requests("/t/loader.swf") > asked; }, kWaitMs))
        << "the preview played what the reading had kept";

    // The external file's text is in a snapshot only while the scan is on.
    for (const bool thorough : {false, true}) {
        if (thorough)
            Control<QAction>("ThoroughScan1")->trigger();
        ASSERT_EQ(Control<QAction>("ThoroughScan1")->isChecked(), thorough);
        window->SetStatusText("");
        Control<TWebBrowser>("WebBrowser1")
            ->Navigate(QString::fromStdString(site.origin() + "/t/dynamic-external.html"));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return Control<TStatusBar>("StatusBar1")->PanelText(0) == QLatin1String("Done") &&
                       !window->WebPage()->PageScanRunning();
            },
            kWaitMs));
        QByteArray json;
        bool taken = false;
        Control<TWebBrowser>("WebBrowser1")->Document()->TakeSnapshot([&](const TDocumentSnapshot& snapshot) {
            taken = true;
            json = snapshot.json;
        });
        ASSERT_TRUE(WaitUntil([&] { return taken; }, kWaitMs));
        EXPECT_EQ(json.contains("var folder"), thorough) << json.toStdString();
    }
}

// Rows the reading appends are numbered after the rows shown and checked
// only while the web page is in view, as the other rows that come late.
TEST_F(ThoroughScanReading, RowsItAppendsAreNumberedAndCheckedAsOtherLateRows)
{
    site.route("/t/late-loaders.html", Page("", R"(
<embed src="first-loader.swf" width="10" height="10">
<script>
function addLate() {
  var e = document.createElement('embed');
  e.src = 'second-loader' + '.swf';  // no name for the scan to find in the text
  document.body.appendChild(e);
}
</script>)"),
               kHtml);
    test::HttpResponse firstLoader = MovieAnswer(LoaderOf("first-main.swf"));
    firstLoader.delayMs = 1500;  // time to show the cache page before it is read
    site.route("/t/first-loader.swf", firstLoader);
    site.route("/t/second-loader.swf", MovieAnswer(LoaderOf("second-main.swf")));

    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/late-loaders.html"));
    ASSERT_TRUE(WaitUntil(
        [&] { return Rows(1) == At({"/t/first-loader.swf"}) && window->WebPage()->MovieReadingRunning(); }, kWaitMs));
    Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Rows(1) == At({"/t/first-loader.swf", "/t/first-main.swf"}) &&
                   !window->WebPage()->MovieReadingRunning() && !window->IsBusy();
        },
        kWaitMs))
        << Rows(1).join(' ').toStdString();
    EXPECT_EQ(Rows(0), QStringList({"1", "2"}));
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), 0));
    EXPECT_FALSE(Checked(Control<TListView>("ListView1"), 1)) << "appended while the cache page was in view";

    Control<QTabWidget>("PageControl1")->setCurrentIndex(kWebPage);
    Control<QAction>("ClearList1")->trigger();
    ASSERT_EQ(Control<TListView>("ListView1")->RowCount(), 0);
    Control<TWebBrowser>("WebBrowser1")->page()->runJavaScript(QStringLiteral("addLate()"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Rows(1) == At({"/t/second-loader.swf", "/t/second-main.swf"}) &&
                   !window->WebPage()->MovieReadingRunning();
        },
        kWaitMs))
        << Rows(1).join(' ').toStdString();
    EXPECT_EQ(Rows(0), QStringList({"1", "2"}));
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), 0));
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), 1));
}

// A movie naming 256 movies that each name 256 more: the list stops at the
// page's bound and the status bar says so.
TEST_F(ThoroughScanReading, ATreeOfLoadersFillsTheListToItsBoundAndSaysSo)
{
    site.route("/t/tree.html", Page("<script>var movie = 'tree.swf';</script>", ""), kHtml);
    site.setFallback([](const test::HttpRequest& request) {
        if (!request.target.ends_with(".swf"))
            return test::HttpResponse{404, "Not Found", {}, ""};
        const std::string path = request.target.substr(request.target.rfind('/') + 1);
        std::string pushes;
        for (int i = 0; i < 256; ++i)
            pushes += '\0' + path.substr(0, path.size() - 4) + "-" + std::to_string(i) + ".swf" + '\0';
        test::TMovieBuilder movie;
        movie.Tag(12, test::TMovieBuilder::Action(0x96, pushes), true);
        return MovieAnswer(movie.Build());
    });

    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/tree.html"));
    const QString full = QStringLiteral("List full: only the first %1 movies are listed").arg(kMaxPageRows);
    ASSERT_TRUE(WaitUntil([&] { return Control<TStatusBar>("StatusBar1")->PanelText(0) == full; }, kWaitMs))
        << Control<TStatusBar>("StatusBar1")->PanelText(0).toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !window->WebPage()->MovieReadingRunning(); }, kWaitMs));
    EXPECT_EQ(Control<TListView>("ListView1")->RowCount(), kMaxPageRows);
    EXPECT_EQ(WebMovies()->Found().Size(), kMaxPageRows);
    EXPECT_EQ(Control<TStatusBar>("StatusBar1")->PanelText(0), full);
    EXPECT_LE(window->WebPage()->KeptMovies()->BytesKept(), TMovieStore::kMaxBytes);
}

// A server that holds every movie's answer: the window reads at most four
// at once, and File > Exit ends it within a second all the same.
TEST_F(ThoroughScanReading, ExitWhileEveryAnswerIsHeldEndsTheWindowAtOnce)
{
    std::string strings;
    for (int i = 0; i < 8; ++i)
        strings += "'held" + std::to_string(i) + ".swf', ";
    site.route("/t/held.html", Page("<script>var movies = [" + strings + "];</script>", ""), kHtml);
    // Shared with the server's threads, which may outlive a failed check.
    const auto release = std::make_shared<std::atomic<bool>>(false);
    const auto heldNow = std::make_shared<std::atomic<int>>(0);
    site.setFallback([release, heldNow](const test::HttpRequest& request) {
        if (request.target.ends_with(".swf")) {
            ++*heldNow;
            for (int waited = 0; !*release && waited < 30000; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            --*heldNow;
        }
        return test::HttpResponse{404, "Not Found", {}, ""};
    });
    const std::atomic<int>& held = *heldNow;
    struct Release {
        std::shared_ptr<std::atomic<bool>> flag;
        ~Release() { *flag = true; }
    } releaseAtEnd{release};

    Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(site.origin() + "/t/held.html"));
    ASSERT_TRUE(WaitUntil([&] { return held == TMovieReaderPool::kMaxReadsAtOnce; }, kWaitMs))
        << held << " held; rows: " << Rows(1).join(' ').toStdString();
    WaitUntil([] { return false; }, 300);  // time for a fifth fetch, were there one
    EXPECT_EQ(held, TMovieReaderPool::kMaxReadsAtOnce);

    Control<QAction>("Exit1")->trigger();
    EXPECT_FALSE(window->isVisible());
    const auto start = std::chrono::steady_clock::now();
    window.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1));
}

class ThoroughScanSetting : public test::ShownWindow {
protected:
    void SetUp() override { UseOwnHome(); }
};

TEST_F(ThoroughScanSetting, IsOnAtFirstAndRememberedBetweenRuns)
{
    for (const bool expected : {true, false, true}) {
        OpenWindow(Activation::ShowOnly);
        ASSERT_TRUE(Control<QMenu>("Edit1")->actions().contains(Control<QAction>("ThoroughScan1")));
        EXPECT_EQ(Control<QAction>("ThoroughScan1")->text(), QStringLiteral("Thorough scan"));
        EXPECT_TRUE(Control<QAction>("ThoroughScan1")->isCheckable());
        EXPECT_EQ(Control<QAction>("ThoroughScan1")->isChecked(), expected);
        Control<QAction>("ThoroughScan1")->trigger();
        CloseWindow();
    }
}

}  // namespace
}  // namespace tessaro
