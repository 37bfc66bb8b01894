// The cache page of the main window over a real cache folder (added as the
// user adds one): from switching to the page to its first row and to the
// end of the listing, and the longest time the window's event loop did not
// turn meanwhile (a 1 ms timer's longest gap). Warm runs: the folder's
// files are in the page cache after the first.
//
//   tessaro_cache_window_bench DIR [runs]     DIR: a Chromium Cache_Data folder

#include "Spread.h"
#include "app/MirkMainForm.h"
#include "cache/AddedCacheFolders.h"
#include "platform/player/PlayerScheme.h"
#include "platform/widgets/DesignScale.h"
#include "platform/widgets/ListView.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace tessaro;

constexpr int kWebPage = 0;
constexpr int kCachePage = 1;
constexpr int kWaitMs = 120000;

struct Run {
    double firstRowMs = -1;
    double lastRowMs = 0;
    double longestGapMs = 0;
    int rows = 0;
};

Run ListCache(TMainFrm& window)
{
    window.CachePage()->Movies()->ClearList();
    window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(kWebPage);
    Run run;
    QElapsedTimer clock;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    double lastTick = 0;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        run.longestGapMs = std::max(run.longestGapMs, now - lastTick);
        lastTick = now;
        if (run.firstRowMs < 0 && window.findChild<TListView*>(QStringLiteral("ListView2"))->RowCount() > 0)
            run.firstRowMs = now;
    });
    clock.start();
    ticks.start();
    window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(kCachePage);
    if (!test::WaitUntil([&] { return !window.CachePage()->Listing(); }, kWaitMs))
        std::fprintf(stderr, "the listing did not end\n");
    run.lastRowMs = double(clock.nsecsElapsed()) / 1e6;
    ticks.stop();
    run.rows = window.findChild<TListView*>(QStringLiteral("ListView2"))->RowCount();
    return run;
}

double Median(const std::vector<double>& values)
{
    return bench::SpreadOf(values).median;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CACHE_FOLDER [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    test::PrepareTestEnvironment();
    test::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CACHE_HOME", (home.path() / ".cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);
    RegisterPlayerScheme();  // before the application object, as the program does
    QApplication app(argc, argv);
    SetDesignScale(1.0);
    if (!AddCacheFolder(std::filesystem::absolute(argv[1]))) {
        std::fprintf(stderr, "cannot add %s\n", argv[1]);
        return 1;
    }

    TMainFrm window;
    window.resize(900, 700);
    window.show();
    window.activateWindow();
    // The window's first activation ends its start; the page is switched after it, as a user would.
    test::WaitUntil([&] { return window.isActiveWindow() && !window.IsBusy(); }, kWaitMs);
    std::vector<double> first, last, gaps;
    for (int i = 0; i <= runs; ++i) {
        const Run run = ListCache(window);
        std::printf("%s: %d rows, first row %.1f ms, last %.1f ms, longest wait of the window %.1f ms\n",
                    i == 0 ? "first run" : ("warm run " + std::to_string(i)).c_str(), run.rows, run.firstRowMs,
                    run.lastRowMs, run.longestGapMs);
        if (i == 0)
            continue;
        first.push_back(run.firstRowMs);
        last.push_back(run.lastRowMs);
        gaps.push_back(run.longestGapMs);
    }
    std::printf("warm, median of %d: first row %.1f ms, listing %.1f ms, longest wait %.1f ms (max %.1f)\n", runs,
                Median(first), Median(last), Median(gaps), *std::max_element(gaps.begin(), gaps.end()));
    SetDesignScale(0.0);
    return 0;
}
