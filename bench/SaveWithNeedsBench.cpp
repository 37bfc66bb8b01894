// "Save With Everything It Needs" on the 20 real loaders of the emulator's
// test suite that load the most movies, served from loopback, next to a plain
// fetch and write of the same files one after another in the same run.
//
//   tessaro_save_with_needs_bench [rounds]

#include "Spread.h"
#include "download/SaveWithNeeds.h"
#include "platform/http/HttpClient.h"
#include "platform/http/HttpRequest.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace tessaro;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The folders whose loaders load the most movies.
std::vector<std::string> BusiestLoaders(const std::filesystem::path& root, std::size_t count)
{
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(test::TempDir::read(root / "expected.json")))
            .object()["expected"]
            .toObject();
    std::vector<std::pair<qsizetype, std::string>> folders;
    for (auto folder = expected.begin(); folder != expected.end(); ++folder)
        folders.emplace_back(folder.value().toArray().size(), folder.key().toStdString());
    std::sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> busiest;
    for (std::size_t i = 0; i < std::min(count, folders.size()); ++i)
        busiest.push_back(folders[i].second);
    return busiest;
}

TSaveOutcome RunSave(const QString& folder, const QList<TSaveRoot>& roots, const QString& page)
{
    TSaveSources sources;
    sources.fetch = WebFileFetcher(page);
    QObject owner;
    bool ended = false;
    TSaveOutcome outcome;
    const Job job = Job::Start(&owner, TSaveWithNeeds(folder, roots, sources), [&](const JobEnd<TSaveOutcome>& end) {
        outcome = end.value;
        ended = true;
    });
    if (!test::WaitUntil([&] { return ended; }, 600000))
        std::abort();
    return outcome;
}

// The same files fetched whole and written, one after another.
double PlainFetchAndWrite(const QList<TSavedFile>& files, const std::filesystem::path& folder, const QString& page)
{
    PageNetwork network{HttpAddress(page)};
    const auto start = Clock::now();
    int index = 0;
    for (const TSavedFile& file : files) {
        HttpRequest request;
        request.address = HttpAddress(file.url);
        request.limits.reach = network.Reach();
        const HttpFetchResult result = FetchWholeBody(request, std::size_t(64) << 20);
        std::ofstream(folder / std::to_string(index++), std::ios::binary) << result.body;
    }
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::filesystem::path root = test::FixturesDir() / "ruffle-loaders";
    test::LoopbackHttpServer site;
    site.setFallback([&root](const test::HttpRequest& request) {
        const std::string path = request.target.substr(0, request.target.find('?'));
        const std::filesystem::path file = root / "movies" / path.substr(std::min<std::size_t>(3, path.size()));
        if (path.rfind("/r/", 0) != 0 || path.find("..") != std::string::npos ||
            !std::filesystem::is_regular_file(file))
            return test::HttpResponse{404, "Not Found", {}, ""};
        return test::HttpResponse{
            200, "OK", {{"Content-Type", "application/x-shockwave-flash"}}, test::TempDir::read(file)};
    });
    const QString page = QString::fromStdString(site.origin() + "/r/index.html");
    QList<TSaveRoot> roots;
    for (const std::string& folder : BusiestLoaders(root, 20)) {
        const QString address = QString::fromStdString(site.origin() + "/r/" + folder + "/test.swf");
        roots.append({address, HttpAddress(address), QString(), nullptr, QString(), {}});
    }

    std::vector<double> saves, plains, ratios;
    TSaveOutcome outcome;
    for (int round = 0; round < rounds; ++round) {
        const test::TempDir saved;
        const test::TempDir plain;
        const auto start = Clock::now();
        outcome = RunSave(QString::fromStdString(saved.folder()), roots, page);
        saves.push_back(Seconds(start));
        plains.push_back(PlainFetchAndWrite(outcome.files, plain.path(), page));
        ratios.push_back(saves.back() / plains.back());
    }
    const bench::Spread save = bench::SpreadOf(saves);
    const bench::Spread plain = bench::SpreadOf(plains);
    const bench::Spread ratio = bench::SpreadOf(ratios);
    std::printf("%lld loaders: %d files saved, %d missing, in %.1f ms (min %.1f, max %.1f)\n",
                static_cast<long long>(roots.size()), outcome.saved, outcome.missing, save.median * 1e3, save.min * 1e3,
                save.max * 1e3);
    std::printf("plain fetch and write of the same files: %.1f ms (min %.1f, max %.1f)\n", plain.median * 1e3,
                plain.min * 1e3, plain.max * 1e3);
    for (const TSavedFile& file : outcome.files)
        if (file.status != QLatin1String("saved"))
            std::printf("  %s %s: %s\n", qPrintable(file.status), qPrintable(file.url), qPrintable(file.reason));
    std::printf("ratio: min %.2f, median %.2f, max %.2f over %d rounds\n", ratio.min, ratio.median, ratio.max, rounds);
    return 0;
}
