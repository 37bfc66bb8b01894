// The page scan in the main window, from GO to the last row listed, on a
// generated page of 500 movies: half found by the described scanners (embeds
// and double-quoted script strings), half only by the thorough scan (Flash
// objects without the vendor's codebase, single-quoted strings, flashvars,
// embeds a detection script writes). Also with "Thorough scan" off, which
// lists the first half.

#include "Spread.h"
#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/player/PlayerScheme.h"
#include "platform/widgets/DesignScale.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace tessaro;

constexpr int kDescribed = 250;  // half embeds, half double-quoted strings
constexpr int kThorough = 250;   // objects, flashvars, single quotes, written embeds
constexpr int kRuns = 5;
constexpr int kWaitMs = 120000;

std::string GeneratedPage()
{
    std::string body;
    std::string described = "<script>\n";
    std::string single = "<script>\n";
    for (int i = 0; i < kDescribed / 2; ++i) {
        const std::string n = std::to_string(i);
        body += "<embed src=\"emb/" + n + ".swf\" width=\"1\" height=\"1\">\n";
        described += "var d" + n + " = \"scr/" + n + ".swf\";\n";
    }
    const int objects = (kThorough + 3) / 4, flashvars = kThorough / 4, quoted = (kThorough + 2) / 4;
    const int written = kThorough - objects - flashvars - quoted;
    for (int i = 0; i < objects; ++i) {
        const std::string n = std::to_string(i);
        body += "<object type=\"application/x-shockwave-flash\" data=\"obj/" + n + ".swf\" width=\"1\" height=\"1\">";
        if (i < flashvars)
            body += "<param name=\"flashvars\" value=\"movie=fv/" + n + ".swf\">";
        body += "</object>\n";
    }
    for (int i = 0; i < quoted; ++i)
        single += "var s" + std::to_string(i) + " = 'sq/" + std::to_string(i) + ".swf';\n";
    // Some embeds are written by a detection script, as pages of the time did.
    body +=
        "<div id=\"late\"></div><script>\nif (navigator.plugins['Shockwave Flash']) {\n  var h = '';\n"
        "  for (var i = 0; i < " +
        std::to_string(written) +
        "; ++i)\n"
        "    h += '<embed type=\"application/x-shockwave-flash\" src=\"get.php?id=' + i + '\">';\n"
        "  document.getElementById('late').innerHTML = h;\n}\n</script>\n";
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + described + "</script>\n" +
           single + "</script>\n</body></html>";
}

double Median(const std::vector<double>& values)
{
    return bench::SpreadOf(values).median;
}

}  // namespace

int main(int argc, char** argv)
{
    test::PrepareTestEnvironment();
    test::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    RegisterPlayerScheme();  // before the application object, as the program does
    QApplication app(argc, argv);
    SetDesignScale(1.0);

    const std::string page = GeneratedPage();
    test::LoopbackHttpServer server;
    server.setFallback([&](const test::HttpRequest& request) {
        test::HttpResponse response;
        if (request.target.rfind("/page.html", 0) == 0) {
            response.headers = {{"Content-Type", "text/html"}};
            response.body = page;
        } else {
            response.status = 404;
            response.reason = "Not Found";
        }
        return response;
    });

    TMainFrm window;
    window.resize(900, 700);
    window.show();
    for (const bool thorough : {true, false}) {
        if (window.findChild<QAction*>(QStringLiteral("ThoroughScan1"))->isChecked() != thorough)
            window.findChild<QAction*>(QStringLiteral("ThoroughScan1"))->trigger();
        std::vector<double> ms;
        int rows = 0;
        for (int run = 0; run < kRuns; ++run) {
            window.WebPage()->Movies()->ClearList();
            window.SetStatusText("");
            const std::string address =
                server.origin() + "/page.html?run=" + std::to_string(run) + (thorough ? "t" : "d");
            QElapsedTimer timer;
            timer.start();
            window.findChild<TWebBrowser*>(QStringLiteral("WebBrowser1"))->Navigate(QString::fromStdString(address));
            const int expected = thorough ? kDescribed + kThorough : kDescribed;
            if (!test::WaitUntil(
                    [&] { return window.findChild<TListView*>(QStringLiteral("ListView1"))->RowCount() >= expected; },
                    kWaitMs)) {
                std::fprintf(stderr, "only %d of %d rows listed\n",
                             window.findChild<TListView*>(QStringLiteral("ListView1"))->RowCount(), expected);
                return 1;
            }
            ms.push_back(timer.nsecsElapsed() / 1e6);
            rows = window.findChild<TListView*>(QStringLiteral("ListView1"))->RowCount();
            std::printf("%s run %d: %d rows in %.1f ms\n", thorough ? "thorough" : "described", run + 1, rows,
                        ms.back());
        }
        std::printf("%s: %d rows, median %.1f ms from GO to the last row (min %.1f, max %.1f)\n",
                    thorough ? "thorough" : "described", rows, Median(ms), *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()));
    }
    test::WaitUntil([&] { return !window.WebPage()->MovieReadingRunning(); }, kWaitMs);
    SetDesignScale(0.0);
    return 0;
}
