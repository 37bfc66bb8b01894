// The page scan through the real web engine: a test site served on two
// loopback ports (two origins), loaded into the main window's browser.

#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "scan/DocumentSnapshot.h"
#include "scan/FoundMovies.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <string>

namespace tessaro {
namespace {

using test::LoopbackHttpServer;
using test::WaitUntil;

constexpr int kWaitMs = 20000;
const std::string kHtml = "text/html";

std::string Page(const std::string& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

// The top site (its own origin) with a same-origin frame, and a second
// origin holding a cross-origin frame, its nested frame, and a frame back on
// the first origin inside that.
class PageScan : public test::ShownWindow {
protected:
    void SetUp() override
    {
        UseOwnHome();
        ServeSite();
        MakeWindow();
        // These pages check the described scanners alone.
        Control<QAction>("ThoroughScan1")->trigger();
        ASSERT_FALSE(Control<QAction>("ThoroughScan1")->isChecked());
        window->resize(900, 700);
        ShowWindow(Activation::ShowOnly);
    }

    std::string A(const std::string& path) const { return site.origin() + path; }
    std::string B(const std::string& path) const { return other.origin() + path; }

    void ServeSite()
    {
        site.route("/site/top.html", Page(R"(
<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" width="20" height="20"
        codebase="http://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab#version=6,0,0,0">
  <param name="movie" value="movies/top-object.swf"><param name="quality" value="high">
</object>
<object classid="clsid:166B1BCA-3F9C-11CF-8075-444553540000" codebase="http://download.macromedia.com/pub/shockwave/cabs/director/sw.cab">
  <param name="src" value="director.dcr">
</object>
<embed src="movies/top-embed.swf" type="application/x-shockwave-flash">
<embed src="player.php?file=clip.swf">
<script>var intro = "/root/top-script.swf"; var again = "Movies/TOP-EMBED.SWF"; var pic = "logo.png";</script>
<iframe src="same/same.html"></iframe>
<iframe src=")" + B("/cross/cross.html") + R"("></iframe>
<a id="next" href="next.html">next</a>)"),
                   kHtml);
        site.route("/site/same/same.html",
                   Page(R"(<embed src="same-embed.swf"><script>var up = "../up.swf";</script>)"), kHtml);
        site.route("/site/back.html", Page(R"(<embed src="back.swf">)"), kHtml);
        site.route("/site/next.html", Page(R"(<embed src="next.swf"><a id="empty" href="empty.html">x</a>)"), kHtml);
        site.route("/site/empty.html", Page("<p>Nothing to see</p><script>var s = 'a.swf';</script>"), kHtml);
        site.route("/site/late.html", Page(R"(<embed src="first.swf"><script>
window.addEventListener('load', () => setTimeout(() => {
  const f = document.createElement('iframe'); f.src = 'late-frame.html'; document.body.appendChild(f);
}, 200));</script>)"),
                   kHtml);
        site.route("/site/late-frame.html", Page(R"(<embed src="late.swf">)"), kHtml);
        // The frame's page holds up every message it gets, and with it the
        // collector's request to report.
        site.route("/site/hang.html", Page(R"(<iframe src=")" + B("/hang-frame.html") + R"("></iframe>)"), kHtml);
        other.route("/hang-frame.html", Page(R"(<script>
window.addEventListener('message', () => { const end = Date.now() + 3000; while (Date.now() < end) {} }, true);
</script>)"),
                    kHtml);

        other.route("/cross/cross.html", Page(R"(
<object type="application/x-shockwave-flash" data="cross-data.swf" codebase="http://fpdownload.macromedia.com/get/flashplayer"></object>
<embed src="cross-embed.swf">
<iframe src="nested/nested.html"></iframe>)"),
                    kHtml);
        other.route(
            "/cross/nested/nested.html",
            Page(R"(<script>loadMovie("n.swf?x=1");</script><iframe src=")" + A("/site/back.html") + R"("></iframe>)"),
            kHtml);
    }

    void Open(const std::string& address)
    {
        Control<TWebBrowser>("WebBrowser1")->Navigate(QString::fromStdString(address));
    }

    QStringList Rows(int column) const
    {
        QStringList texts;
        for (int row = 0; row < Control<TListView>("ListView1")->RowCount(); ++row)
            texts.append(Cell(Control<TListView>("ListView1"), row, column));
        return texts;
    }

    QStringList Addresses() const { return Rows(1); }

    bool ListIs(const QStringList& expected) const
    {
        return Addresses() == expected && Status() == QLatin1String("Done");
    }

    QString Status() const { return Control<TStatusBar>("StatusBar1")->PanelText(0); }

    QStringList TopSiteMovies() const
    {
        return {
            QString::fromStdString(A("/site/movies/top-object.swf")),
            QString::fromStdString(A("/site/movies/top-embed.swf")),
            QString::fromStdString(A("/site/player.php?file=clip.swf")),
            QString::fromStdString(A("/root/top-script.swf")),
            QString::fromStdString(A("/site/same/same-embed.swf")),
            QString::fromStdString(A("/site/up.swf")),
            QString::fromStdString(B("/cross/cross-data.swf")),
            QString::fromStdString(B("/cross/cross-embed.swf")),
            QString::fromStdString(B("/cross/nested/n.swf?x=1")),
            QString::fromStdString(A("/site/back.swf")),
        };
    }

    void ClickInPage(const QString& id)
    {
        Control<TWebBrowser>("WebBrowser1")
            ->page()
            ->runJavaScript(QStringLiteral("document.getElementById('%1').click()").arg(id));
    }

    LoopbackHttpServer site;
    LoopbackHttpServer other;
};

TEST_F(PageScan, ListsEveryFramesMoviesDepthFirstAsNewCheckedRows)
{
    Open(A("/site/top.html"));
    ASSERT_TRUE(WaitUntil([&] { return ListIs(TopSiteMovies()); }, kWaitMs)) << Addresses().join('\n').toStdString();

    QStringList numbers;
    for (int i = 1; i <= TopSiteMovies().size(); ++i)
        numbers.append(QString::number(i));
    EXPECT_EQ(Rows(0), numbers);
    EXPECT_EQ(Rows(2), QStringList(TopSiteMovies().size(), QStringLiteral("New")));
    for (int row = 0; row < Control<TListView>("ListView1")->RowCount(); ++row)
        EXPECT_TRUE(Checked(Control<TListView>("ListView1"), row)) << row;
    EXPECT_EQ(WebMovies()->Found().Addresses(), TopSiteMovies());
}

TEST_F(PageScan, FollowingLinksRescansAndReplacesTheList)
{
    Open(A("/site/top.html"));
    ASSERT_TRUE(WaitUntil([&] { return ListIs(TopSiteMovies()); }, kWaitMs)) << Addresses().join('\n').toStdString();
    // As a transfer and the user would leave them.
    WebMovies()->SetStatus(0, QStringLiteral("Saved"));
    WebMovies()->SetChecked(0, false);
    window->SetStatusText("Openning Page ");

    ClickInPage(QStringLiteral("next"));
    const QStringList next{QString::fromStdString(A("/site/next.swf"))};
    ASSERT_TRUE(WaitUntil([&] { return ListIs(next); }, kWaitMs)) << Addresses().join('\n').toStdString();
    EXPECT_EQ(Rows(0), QStringList{"1"});
    EXPECT_EQ(Rows(2), QStringList{"New"});
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), 0));

    // A page without references empties the list and still says "Done".
    window->SetStatusText("Openning Page ");
    ClickInPage(QStringLiteral("empty"));
    ASSERT_TRUE(WaitUntil([&] { return ListIs({}); }, kWaitMs)) << Addresses().join('\n').toStdString();
    EXPECT_TRUE(WebMovies()->Found().IsEmpty());
}

TEST_F(PageScan, AFrameFinishingAfterThePageRescansIt)
{
    Open(A("/site/late.html"));
    const QStringList both{QString::fromStdString(A("/site/first.swf")), QString::fromStdString(A("/site/late.swf"))};
    ASSERT_TRUE(WaitUntil([&] { return ListIs(both); }, kWaitMs)) << Addresses().join('\n').toStdString();
}

TEST_F(PageScan, WithTheCachePageActiveTheCacheRowsAreChecked)
{
    Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
    ASSERT_TRUE(WaitUntil([&] { return !window->IsBusy(); }, 10000));
    window->CachePage()->Movies()->ClearList();
    AddCacheRow("1", "m.swf", "10", "/c/m.swf");
    AddCacheRow("2", "n.swf", "20", "/c/n.swf");

    Open(A("/site/top.html"));
    ASSERT_TRUE(WaitUntil([&] { return ListIs(TopSiteMovies()); }, kWaitMs)) << Addresses().join('\n').toStdString();
    for (int row = 0; row < Control<TListView>("ListView1")->RowCount(); ++row)
        EXPECT_FALSE(Checked(Control<TListView>("ListView1"), row)) << row;
    for (int row = 0; row < Control<TListView>("ListView2")->RowCount(); ++row)
        EXPECT_TRUE(Checked(Control<TListView>("ListView2"), row)) << row;
}

// The reason goes to the status bar: a box would come at every frame the
// page completes.
TEST_F(PageScan, ASnapshotThatTimesOutIsReportedInTheStatusBarAndTheRowsStay)
{
    Open(A("/site/next.html"));
    const QStringList next{QString::fromStdString(A("/site/next.swf"))};
    ASSERT_TRUE(WaitUntil([&] { return ListIs(next); }, kWaitMs)) << Addresses().join('\n').toStdString();

    QString reported;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            reported = box->text();
            box->accept();
        }
    });
    closer.start();
    Control<TWebBrowser>("WebBrowser1")->Document()->SetSnapshotTimeout(800, 5000);
    window->SetStatusText("Openning Page ");
    Open(A("/site/hang.html"));
    ASSERT_TRUE(WaitUntil([&] { return Status().contains("in time"); }, kWaitMs)) << Status().toStdString();
    EXPECT_EQ(Addresses(), next);
    EXPECT_EQ(reported, QString());
}

// One past the page's cap: the first 10000 are listed, and the status bar
// says the list is full.
TEST_F(PageScan, MoviesPastThePagesCapAreLeftOutAndSaid)
{
    std::string script = "<script>var movies = [";
    for (qsizetype i = 0; i <= kMaxPageRows; ++i)
        script += "\"m" + std::to_string(i) + ".swf\",";
    site.route("/site/many.html", Page(script + "];</script>"), kHtml);
    Open(A("/site/many.html"));
    ASSERT_TRUE(WaitUntil(
        [&] { return Control<TListView>("ListView1")->RowCount() > 0 && Status().startsWith("List full"); }, kWaitMs))
        << Status().toStdString();
    EXPECT_EQ(Status(), "List full: only the first 10000 movies are listed");
    EXPECT_EQ(Control<TListView>("ListView1")->RowCount(), kMaxPageRows);
    EXPECT_EQ(Addresses().last().toStdString(), A("/site/m9999.swf"));
}

// A message box shown while the test runs: its text is kept and it is closed.
class BoxWatch {
public:
    BoxWatch()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.append(box->text());
                box->accept();
            }
        });
        timer_.start();
    }
    QStringList texts;

private:
    QTimer timer_;
};

// A line of /proc/self/status, in KiB.
long StatusKiB(const char* key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

TEST_F(PageScan, FramesNestedPastTheDepthBoundAreLeftOutWithoutAMessage)
{
    // Past the bound and past 64, where a message box came at every scan.
    constexpr int kLevels = 70;
    auto level = [&](int i) { return (i % 2 ? B("/deep/") : A("/deep/")) + std::to_string(i); };
    QStringList expected;
    for (int i = 0; i < kLevels; ++i) {
        (i % 2 ? other : site)
            .route("/deep/" + std::to_string(i) + ".html",
                   Page("<embed src=\"m" + std::to_string(i) + ".swf\">" +
                        (i + 1 < kLevels ? "<iframe src=\"" + level(i + 1) + ".html\"></iframe>" : "")),
                   kHtml);
        if (i <= kMaxSnapshotFrameDepth)
            expected.append(QString::fromStdString(level(i) + ".swf").replace("/deep/", "/deep/m"));
    }
    BoxWatch boxes;
    Open(level(0) + ".html");
    auto deepestLoaded = [&] {
        for (const test::HttpRequest& request : other.requests()) {
            if (request.target == "/deep/" + std::to_string(kLevels - 1) + ".html")
                return true;
        }
        return false;
    };
    ASSERT_TRUE(WaitUntil(deepestLoaded, kWaitMs));
    // The scans the deepest frames' completion brings.
    WaitUntil([] { return false; }, 1500);
    ASSERT_TRUE(WaitUntil([&] { return ListIs(expected); }, kWaitMs)) << Addresses().join('\n').toStdString();
    EXPECT_EQ(boxes.texts, QStringList());
}

// 100 MB of script text, the reference past the bound on script text. The
// scan ends with what lies within it, the program's memory grows far less
// than the page holds, and the window's timers keep firing.
TEST_F(PageScan, ScriptTextFarPastItsBoundIsLeftOutAndTheWindowAnswers)
{
    site.route("/site/huge.html", Page(R"(<embed src="e.swf"><script>var first = "first.swf";
const mb = 'x'.repeat(1 << 20);
for (let i = 0; i < 100; ++i) {
  const s = document.createElement('script'); s.type = 'text/plain'; s.text = mb; document.body.appendChild(s);
}
const last = document.createElement('script'); last.type = 'text/plain'; const q = String.fromCharCode(34);
last.text = 'var late = ' + q + 'late.swf' + q + ';';
document.body.appendChild(last);
</script>)"),
               kHtml);
    const QStringList expected{QString::fromStdString(A("/site/e.swf")), QString::fromStdString(A("/site/first.swf"))};
    BoxWatch boxes;

    // The peak is counted from here.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    ASSERT_TRUE(clear.open(QIODevice::WriteOnly));
    clear.write("5");
    clear.close();
    const long before = StatusKiB("VmRSS:");

    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    ticker.start();
    Open(A("/site/huge.html"));
    // What lies past the bound is said to be left out.
    ASSERT_TRUE(WaitUntil(
        [&] { return Addresses() == expected && Status().startsWith("Done: part of the page was too large"); },
        kWaitMs))
        << Addresses().join('\n').toStdString() << Status().toStdString();
    ticker.stop();
    const long growthMiB = (StatusKiB("VmHWM:") - before) / 1024;
    RecordProperty("peak_growth_mib", std::to_string(growthMiB));
    RecordProperty("longest_timer_gap_ms", std::to_string(longestGap));
    std::cout << "peak growth " << growthMiB << " MiB, longest timer gap " << longestGap << " ms\n";
    EXPECT_LT(growthMiB, 400);
    // A liveness bound, far above a frame and far below the seconds the
    // whole text took to go through the window's thread.
    EXPECT_LT(longestGap, 3000);
    EXPECT_EQ(boxes.texts, QStringList());
}

}  // namespace
}  // namespace tessaro
