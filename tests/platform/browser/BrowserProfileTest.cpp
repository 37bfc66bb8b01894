// The embedded browser and local files: a local page reads nothing beyond
// itself, and Navigate opens no local file however it is written.

#include "platform/browser/WebBrowser.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QUrl>

#include <gtest/gtest.h>
#include <string>

namespace tessaro {
namespace {

using test::WaitUntil;

constexpr int kWaitMs = 20000;

TEST(BrowserProfile, ALocalPageReadsNoOtherFileAndNoRemoteAddress)
{
    test::TempDir dir;
    test::LoopbackHttpServer site;
    site.route("/remote.txt", "REMOTE-CONTENT", "text/plain");
    dir.write("secret.txt", "LOCAL-SECRET");
    // Each read reports what it got, or "refused"; the title carries them all.
    const auto page = dir.write("page.html", R"(<!DOCTYPE html><html><body><script>
const results = {};
function report(name, value) {
  results[name] = value;
  // In a fixed order: the reads end in any order.
  if (Object.keys(results).length === 4) document.title = JSON.stringify(results, Object.keys(results).sort());
}
function viaXhr(name, url) {
  try {
    const x = new XMLHttpRequest();
    x.open('GET', url);
    x.onload = () => report(name, x.responseText);
    x.onerror = () => report(name, 'refused');
    x.send();
  } catch (e) { report(name, 'refused'); }
}
function viaFetch(name, url) {
  fetch(url).then(r => r.text()).then(t => report(name, t), () => report(name, 'refused'));
}
viaFetch('fetchFile', 'secret.txt');
viaXhr('xhrFile', 'secret.txt');
viaFetch('fetchRemote', ')" + site.origin() + R"(/remote.txt');
viaXhr('xhrRemote', ')" + site.origin() + R"(/remote.txt');
</script></body></html>)");

    TWebBrowser browser;
    // Reached some other way than Navigate (which refuses it).
    browser.load(QUrl::fromLocalFile(QString::fromStdString(page.string())));
    ASSERT_TRUE(WaitUntil([&] { return browser.title().startsWith(QLatin1Char('{')); }, kWaitMs));
    const std::string results = browser.title().toStdString();
    EXPECT_EQ(results, R"({"fetchFile":"refused","fetchRemote":"refused","xhrFile":"refused","xhrRemote":"refused"})");
}

TEST(BrowserProfile, NavigateOpensNoLocalFile)
{
    test::TempDir dir;
    const auto page = dir.write("page.html", "<html><body>local</body></html>");
    test::LoopbackHttpServer site;
    site.route("/page.html", "<html><body>web</body></html>", "text/html");

    TWebBrowser browser;
    int started = 0;
    int finished = 0;
    QObject::connect(&browser, &QWebEngineView::loadStarted, [&] { ++started; });
    QObject::connect(&browser, &QWebEngineView::loadFinished, [&] { ++finished; });
    for (const std::string& text : {page.string(), "  " + page.string(), "file://" + page.string(),
                                    "FILE:" + page.string(), std::string("~/page.html")})
        EXPECT_NO_THROW(browser.Navigate(QString::fromStdString(text))) << text;
    // Loads start in order: the web page is the first and only one.
    browser.Navigate(QString::fromStdString(site.origin() + "/page.html"));
    ASSERT_TRUE(WaitUntil([&] { return finished > 0; }, kWaitMs));
    EXPECT_EQ(browser.url().toString().toStdString(), site.origin() + "/page.html");
    EXPECT_EQ(started, 1);
}

}  // namespace
}  // namespace tessaro
