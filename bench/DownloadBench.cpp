// Time and peak memory of the download worker fetching a large body over
// loopback, next to the curl command line fetching the same body in the same
// run. Each fetch runs in a child process of its own so its peak resident
// size is its own (the server keeps the body in this process).
//
//   tessaro_download_bench [megabytes] [rounds]

#include "download/HttpGetThread.h"
#include "platform/http/HttpClient.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/LoopbackHttpServer.h"
#include "support/SwfBytes.h"
#include "support/TempDir.h"

namespace {

using namespace tessaro;

// Child: one download with the worker, the way the window runs it.
int RunWorker(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    QCoreApplication app(argc, argv);
    RouteHttpToLoopback(std::atoi(argv[4]));
    long progressCalls = 0;
    bool saved = false;
    auto worker = MakeWorker<THttpGetThread>(&app, argv[2], argv[3], [&](int) { ++progressCalls; });
    worker->OnTerminate = [&](TThread* sender) {
        saved = static_cast<THttpGetThread*>(sender)->Outcome().Saved;
        QCoreApplication::quit();
    };
    QTimer::singleShot(600'000, &app, [] { QCoreApplication::exit(3); });
    const int code = app.exec();
    std::fprintf(stderr, "worker: %ld progress calls\n", progressCalls);
    return code != 0 ? code : saved ? 0 : 1;
}

struct Measure {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

Measure RunChild(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Measure measure;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakKiB = usage.ru_maxrss;
    measure.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measure;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--worker")
        return RunWorker(argc, argv);

    const long megabytes = argc > 1 ? std::atol(argv[1]) : 50;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::size_t size = static_cast<std::size_t>(megabytes) * 1024 * 1024;

    // The server runs in a child of its own, so the body it holds is not
    // counted in the fetchers' peak (a forked child starts out with its
    // parent's resident pages).
    int portPipe[2];
    if (pipe(portPipe) != 0)
        return 1;
    const pid_t serverPid = fork();
    if (serverPid == 0) {
        close(portPipe[0]);
        test::LoopbackHttpServer server;
        test::HttpResponse response;
        response.body.resize(size);
        for (std::size_t i = 0; i < size; ++i)
            response.body[i] = static_cast<char>((i * 2654435761u) >> 24);
        // An uncompressed movie header declaring the whole body, so the worker keeps it.
        response.body.replace(0, 8, test::FwsMovie(8, size));
        response.headers.emplace_back("Content-Type", "application/x-shockwave-flash");
        server.route("/big.swf", response);
        const int port = server.port();
        if (write(portPipe[1], &port, sizeof port) != sizeof port)
            _exit(1);
        pause();  // until the bench ends it
        _exit(0);
    }
    close(portPipe[1]);
    int port = 0;
    if (read(portPipe[0], &port, sizeof port) != sizeof port)
        return 1;
    struct ServerGuard {
        pid_t pid;
        ~ServerGuard()
        {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    } serverGuard{serverPid};

    test::TempDir folder;
    const std::string url = "http://movies.example/big.swf";
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    std::vector<double> workerTimes, curlTimes;
    long workerPeak = 0, curlPeak = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::string workerTarget = folder.folder() + "worker.swf";
        const std::string curlTarget = folder.folder() + "curl.swf";
        const Measure worker = RunChild({self, "--worker", url, workerTarget, std::to_string(port)});
        const Measure curl = RunChild({"curl", "-s", "-f", "--connect-to", "::127.0.0.1:" + std::to_string(port), "-A",
                                       "HTTPGET", "-o", curlTarget, url});
        if (worker.status != 0 || curl.status != 0 || std::filesystem::file_size(workerTarget) != size ||
            std::filesystem::file_size(curlTarget) != size) {
            std::fprintf(stderr, "round %d failed: worker %d, curl %d\n", round, worker.status, curl.status);
            return 1;
        }
        workerTimes.push_back(worker.seconds);
        curlTimes.push_back(curl.seconds);
        workerPeak = std::max(workerPeak, worker.peakKiB);
        curlPeak = std::max(curlPeak, curl.peakKiB);
        std::printf("round %d: worker %.3f s %ld KiB, curl %.3f s %ld KiB\n", round + 1, worker.seconds, worker.peakKiB,
                    curl.seconds, curl.peakKiB);
    }
    const double workerTime = Median(workerTimes);
    const double curlTime = Median(curlTimes);
    std::printf("%ld MB body, median of %d: worker %.3f s (%.1f MB/s), curl %.3f s (%.1f MB/s), time ratio %.2f\n",
                megabytes, rounds, workerTime, megabytes / workerTime, curlTime, megabytes / curlTime,
                workerTime / curlTime);
    std::printf("peak resident: worker %ld KiB, curl %ld KiB, ratio %.2f\n", workerPeak, curlPeak,
                static_cast<double>(workerPeak) / static_cast<double>(curlPeak));
    return 0;
}
