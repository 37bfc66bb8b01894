// Start of the program next to a minimal window with one web view, run
// interleaved in one run, each start in a child process of its own:
//   - start to window shown (the first exposure of the window),
//   - the memory of the whole process tree (the child and every web engine
//     process under it) a few seconds after the window shows, as the sum of
//     proportional set sizes (PSS), and the number of processes.
// Then the preview: a control shown with no player started, the time from
// setting the first movie to its metadata, and from the second.
//
//   tessaro_start_bench [rounds]

#include "Spread.h"
#include "app/MirkMainForm.h"
#include "app/TessaroApplication.h"
#include "platform/player/FlashControl.h"
#include "platform/player/PlayerScheme.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace tessaro;

// How long after the window shows the tree's memory is read, and how long the
// child lives after that.
constexpr int kRestMs = 3000;
constexpr int kLingerMs = 1500;
// A child that never shows its window or never plays is given up.
constexpr int kChildWaitMs = 60000;

// Writes "shown" on the pipe once the window is first exposed.
class ShownReporter : public QObject {
public:
    explicit ShownReporter(int fd) : fd_(fd) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !sent_ && static_cast<QWindow*>(watched)->isExposed()) {
            sent_ = true;
            if (write(fd_, "s", 1) != 1)
                std::_Exit(4);
            QTimer::singleShot(kRestMs + kLingerMs, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    int fd_;
    bool sent_ = false;
};

void WatchShown(QWidget& window, ShownReporter& reporter)
{
    window.winId();  // makes the native window to watch
    window.windowHandle()->installEventFilter(&reporter);
    window.show();
}

int RunMinimal(int argc, char** argv, int fd)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    QMainWindow window;
    auto* view = new QWebEngineView(&window);
    window.setCentralWidget(view);
    window.resize(800, 600);
    view->setHtml(QStringLiteral("<html><body></body></html>"));
    ShownReporter reporter(fd);
    WatchShown(window, reporter);
    return app.exec();
}

int RunTessaro(int argc, char** argv, int fd)
{
    test::PrepareTestEnvironment();
    RegisterPlayerScheme();
    TessaroApplication app(argc, argv);
    TMainFrm window;
    ShownReporter reporter(fd);
    WatchShown(window, reporter);
    return app.exec();
}

// Prints "<first ms> <second ms>": movie set to metadata read, on a control
// whose player had not started, then the next movie.
int RunPreview(int argc, char** argv)
{
    test::PrepareTestEnvironment();
    RegisterPlayerScheme();
    QApplication app(argc, argv);
    test::TempDir dir;
    const auto red = dir.write("red.swf", test::MinimalMovie({255, 0, 0}, 200, 100));
    const auto blue = dir.write("blue.swf", test::MinimalMovie({0, 0, 255}, 320, 240));
    TShockwaveFlash flash;
    flash.resize(400, 300);
    flash.show();
    test::WaitUntil([] { return false; }, 500);
    qint64 times[2] = {-1, -1};
    int index = 0;
    for (const auto& movie : {red, blue}) {
        QElapsedTimer clock;
        clock.start();
        flash.SetMovie(QString::fromStdString(movie.string()));
        if (!test::WaitUntil([&] { return flash.Metadata().has_value(); }, kChildWaitMs))
            return 1;
        times[index++] = clock.elapsed();
    }
    std::printf("%lld %lld\n", static_cast<long long>(times[0]), static_cast<long long>(times[1]));
    return 0;
}

std::vector<int> ChildrenOf(int pid)
{
    std::vector<int> children;
    std::ifstream file("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    int child = 0;
    while (file >> child)
        children.push_back(child);
    return children;
}

long PssKiB(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (file >> key) {
        if (key == "Pss:") {
            file >> value;
            return value;
        }
        file.ignore(1 << 16, '\n');
    }
    return 0;
}

struct Tree {
    long pssKiB = 0;
    int processes = 0;
};

Tree TreeOf(int pid)
{
    Tree tree{PssKiB(pid), 1};
    for (const int child : ChildrenOf(pid)) {
        const Tree sub = TreeOf(child);
        tree.pssKiB += sub.pssKiB;
        tree.processes += sub.processes;
    }
    return tree;
}

struct StartMeasure {
    double shownMs = -1;
    Tree tree;
    bool ok = false;
};

StartMeasure RunStart(const std::string& self, const char* mode)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(self.c_str(), self.c_str(), mode, fd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    StartMeasure measure;
    char byte = 0;
    if (read(fds[0], &byte, 1) == 1) {
        measure.shownMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(kRestMs));
        measure.tree = TreeOf(pid);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    measure.ok = measure.shownMs >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measure;
}

using bench::Spread;
using bench::SpreadOf;

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--minimal")
        return RunMinimal(argc, argv, std::atoi(argv[2]));
    if (argc > 2 && std::string(argv[1]) == "--tessaro")
        return RunTessaro(argc, argv, std::atoi(argv[2]));
    if (argc > 1 && std::string(argv[1]) == "--preview")
        return RunPreview(argc, argv);

    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    std::vector<double> shownRatios, memoryRatios;
    for (int round = 0; round < rounds; ++round) {
        // The order inside a pair alternates, so neither always runs second.
        const bool minimalFirst = round % 2 == 0;
        StartMeasure minimal, tessaro;
        if (minimalFirst)
            minimal = RunStart(self, "--minimal");
        tessaro = RunStart(self, "--tessaro");
        if (!minimalFirst)
            minimal = RunStart(self, "--minimal");
        if (!minimal.ok || !tessaro.ok) {
            std::fprintf(stderr, "round %d failed\n", round + 1);
            return 1;
        }
        std::printf(
            "round %d: shown minimal %.0f ms, Tessaro %.0f ms; tree minimal %ld MiB (%d processes), "
            "Tessaro %ld MiB (%d processes)\n",
            round + 1, minimal.shownMs, tessaro.shownMs, minimal.tree.pssKiB / 1024, minimal.tree.processes,
            tessaro.tree.pssKiB / 1024, tessaro.tree.processes);
        shownRatios.push_back(tessaro.shownMs / minimal.shownMs);
        memoryRatios.push_back(static_cast<double>(tessaro.tree.pssKiB) / static_cast<double>(minimal.tree.pssKiB));
    }
    const Spread shown = SpreadOf(shownRatios);
    const Spread memory = SpreadOf(memoryRatios);
    std::printf("start to window shown, Tessaro / minimal: min %.2f median %.2f max %.2f\n", shown.min, shown.median,
                shown.max);
    std::printf("process-tree PSS %d ms after shown, Tessaro / minimal: min %.2f median %.2f max %.2f\n", kRestMs,
                memory.min, memory.median, memory.max);

    std::vector<double> firsts, seconds;
    for (int round = 0; round < rounds; ++round) {
        const std::string command = "'" + self + "' --preview";
        FILE* child = popen(command.c_str(), "r");
        long long first = -1, second = -1;
        if (child == nullptr || std::fscanf(child, "%lld %lld", &first, &second) != 2 || pclose(child) != 0) {
            std::fprintf(stderr, "preview round %d failed\n", round + 1);
            return 1;
        }
        firsts.push_back(static_cast<double>(first));
        seconds.push_back(static_cast<double>(second));
    }
    const Spread first = SpreadOf(firsts);
    const Spread second = SpreadOf(seconds);
    std::printf(
        "preview, player not started: first movie min %.0f median %.0f max %.0f ms; second min %.0f median "
        "%.0f max %.0f ms\n",
        first.min, first.median, first.max, second.min, second.median, second.max);
    return 0;
}
