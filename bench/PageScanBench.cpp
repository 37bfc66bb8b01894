// The page scan on a large generated page: 5,000 elements (objects, embeds,
// scripts) and 1 MB of script text, served on loopback. Measures the time to
// take the snapshot through the web engine, and the C++ side: reading the
// snapshot into the document tree and scanning it.

#include "Spread.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "scan/DocumentSnapshot.h"
#include "scan/ScanDocument.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tessaro;

constexpr int kObjects = 2000;
constexpr int kEmbeds = 2000;
constexpr int kScripts = 1000;
constexpr size_t kScriptBytes = 1024 * 1024;
constexpr int kRuns = 7;

std::string GeneratedPage(size_t* scriptBytes)
{
    std::string body;
    for (int i = 0; i < kObjects; ++i) {
        // Half of them Flash objects naming the vendor, half something else.
        if (i % 2 == 0)
            body +=
                "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" "
                "codebase=\"http://download.macromedia.com/pub/swflash.cab\"><param name=\"movie\" value=\"obj/" +
                std::to_string(i) + ".swf\"><param name=\"quality\" value=\"high\"></object>\n";
        else
            body += "<object type=\"text/plain\" codebase=\"other/" + std::to_string(i) + "\"></object>\n";
    }
    for (int i = 0; i < kEmbeds; ++i)
        // With the Flash type the engine fetches nothing for them (no plugin).
        body += "<embed type=\"application/x-shockwave-flash\" src=\"emb/" + std::to_string(i) +
                (i % 3 == 0 ? ".swf" : ".spl") + "\">\n";
    *scriptBytes = 0;
    const size_t perScript = kScriptBytes / kScripts;
    for (int i = 0; i < kScripts; ++i) {
        std::string text;
        for (int j = 0; text.size() < perScript; ++j)
            text += "var v" + std::to_string(j) + " = \"scr/" + std::to_string(i) + "_" + std::to_string(j) +
                    (j % 5 == 0 ? ".swf?q=1" : ".png") + "\"; // filler text\n";
        *scriptBytes += text.size();
        body += "<script>" + text + "</script>\n";
    }
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

double Median(const std::vector<double>& values)
{
    return bench::SpreadOf(values).median;
}

}  // namespace

int main(int argc, char** argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);

    size_t scriptBytes = 0;
    const std::string page = GeneratedPage(&scriptBytes);
    test::LoopbackHttpServer server;
    server.route("/big.html", page, "text/html");

    TWebBrowser browser;
    browser.Document()->SetSnapshotTimeout(60000, 30000);
    bool loaded = false;
    QObject::connect(&browser, &TWebBrowser::DocumentComplete, [&] { loaded = true; });
    browser.Navigate(QString::fromStdString(server.origin() + "/big.html"));
    if (!test::WaitUntil([&] { return loaded; }, 60000)) {
        std::fprintf(stderr, "the page did not load (%zu requests served)\n", server.requests().size());
        return 1;
    }

    std::vector<double> snapshotMs, readMs, scanMs;
    QByteArray json;
    int found = 0;
    for (int run = 0; run < kRuns; ++run) {
        std::optional<TDocumentSnapshot> snapshot;
        QElapsedTimer timer;
        timer.start();
        browser.Document()->TakeSnapshot([&](const TDocumentSnapshot& s) { snapshot = s; });
        if (!test::WaitUntil([&] { return snapshot.has_value(); }, 60000) || !snapshot->ok) {
            std::fprintf(stderr, "no snapshot: %s\n", snapshot ? qPrintable(snapshot->error) : "time-out");
            return 1;
        }
        snapshotMs.push_back(timer.nsecsElapsed() / 1e6);
        std::printf("run %d: snapshot %.1f ms\n", run + 1, snapshotMs.back());
        json = snapshot->json;

        timer.restart();
        const THtmlDocument document = DocumentFromSnapshot(json);
        readMs.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        TMovieRows movies;
        TFoundMovies adder(movies);
        ScanDocument(&document, adder);
        scanMs.push_back(timer.nsecsElapsed() / 1e6);
        found = static_cast<int>(movies.Size());
    }

    std::printf("page: %zu bytes, %d objects, %d embeds, %d scripts with %zu bytes of text\n", page.size(), kObjects,
                kEmbeds, kScripts, scriptBytes);
    std::printf("snapshot JSON: %lld bytes; movies found: %d\n", static_cast<long long>(json.size()), found);
    std::printf("median of %d runs: snapshot %.1f ms, read into tree %.1f ms, scan %.1f ms\n", kRuns,
                Median(snapshotMs), Median(readMs), Median(scanMs));
    std::printf("snapshot min/max %.1f/%.1f ms\n", *std::min_element(snapshotMs.begin(), snapshotMs.end()),
                *std::max_element(snapshotMs.begin(), snapshotMs.end()));
    return 0;
}
