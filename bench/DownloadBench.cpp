// Time and peak memory of the download worker fetching a large movie from
// nginx on loopback (started by the bench with its own configuration in a
// temporary folder), interleaved in one run with `curl -o` and with libcurl
// writing each callback in write(2)s of at most 1025 bytes (the floor of a
// reader that hands on 1025-byte blocks). Each fetch runs in a child process
// of its own so its peak resident size is its own. Prints each round and the
// min / median / max of the pair ratios.
//
//   tessaro_download_bench [megabytes] [rounds]

#include "Spread.h"
#include "download/HttpGetThread.h"
#include "platform/http/HttpClient.h"
#include "support/TempDir.h"
#include "support/TestMovies.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace tessaro;

// Child: one download as a job, the way the window runs it.
int RunWorker(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    QCoreApplication app(argc, argv);
    RouteHttpToLoopback(std::atoi(argv[4]));
    long progressCalls = 0;
    bool saved = false;
    const Job download = Job::Start(
        &app, THttpGetThread(HttpAddress(QString::fromUtf8(argv[2])), argv[3], [&](int) { ++progressCalls; }),
        [&](const JobEnd<DownloadOutcome>& end) {
            saved = end.value.Saved;
            QCoreApplication::quit();
        });
    QTimer::singleShot(600'000, &app, [] { QCoreApplication::exit(3); });
    const int code = app.exec();
    std::fprintf(stderr, "worker: %ld progress calls\n", progressCalls);
    return code != 0 ? code : saved ? 0 : 1;
}

// Child: libcurl writing each callback in write(2)s of at most 1025 bytes.
int RunFloor(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const int fd = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, argv[2]);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &fd);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t count, void* out) -> size_t {
            const int file = *static_cast<int*>(out);
            for (size_t done = 0; done < count;) {
                const ssize_t written = write(file, data + done, std::min<size_t>(1025, count - done));
                if (written <= 0)
                    return 0;
                done += static_cast<size_t>(written);
            }
            return count;
        });
    const CURLcode result = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    close(fd);
    return result == CURLE_OK ? 0 : 1;
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

using bench::Spread;
using bench::SpreadOf;

int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    close(fd);
    return ntohs(address.sin_port);
}

bool Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// nginx in the foreground, serving root on 127.0.0.1:port; ended with the bench.
struct Nginx {
    pid_t pid = -1;
    ~Nginx()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

bool StartNginx(Nginx& nginx, const std::string& folder, const std::string& root, int port)
{
    const std::string config = folder + "nginx.conf";
    std::ofstream(config) << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << folder
                          << "nginx.pid;\nerror_log " << folder << "error.log;\nevents {}\nhttp {\n  access_log off;\n"
                          << "  client_body_temp_path " << folder << ";\n  proxy_temp_path " << folder
                          << ";\n  fastcgi_temp_path " << folder << ";\n  uwsgi_temp_path " << folder
                          << ";\n  scgi_temp_path " << folder << ";\n  sendfile on;\n"
                          << "  default_type application/x-shockwave-flash;\n  server {\n    listen 127.0.0.1:" << port
                          << ";\n    root " << root << ";\n  }\n}\n";
    nginx.pid = fork();
    if (nginx.pid == 0) {
        execlp("nginx", "nginx", "-p", folder.c_str(), "-c", config.c_str(), static_cast<char*>(nullptr));
        execl("/usr/sbin/nginx", "nginx", "-p", folder.c_str(), "-c", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
        if (Accepts(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--worker")
        return RunWorker(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--floor")
        return RunFloor(argc, argv);

    const long megabytes = argc > 1 ? std::atol(argv[1]) : 50;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::size_t size = static_cast<std::size_t>(megabytes) * 1024 * 1024;

    test::TempDir folder;
    std::filesystem::create_directories(folder.path() / "www");
    std::filesystem::create_directories(folder.path() / "nginx");
    std::ofstream(folder.path() / "www" / "big.swf", std::ios::binary) << test::FwsMovie(size);
    const int port = FreeLoopbackPort();
    Nginx nginx;
    if (port == 0 ||
        !StartNginx(nginx, (folder.path() / "nginx").string() + "/", (folder.path() / "www").string(), port)) {
        std::fprintf(stderr, "nginx did not start (apt install nginx)\n");
        return 1;
    }

    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big.swf";
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const std::string target = folder.folder() + "out.swf";
    std::vector<double> curlRatios, floorRatios;
    long workerPeak = 0, curlPeak = 0;
    for (int round = 0; round < rounds; ++round) {
        // The order rotates, so none always runs first.
        Measure worker, curl, floor;
        for (int step = 0; step < 3; ++step) {
            const int which = (round + step) % 3;
            std::filesystem::remove(target);
            Measure& measure = which == 0 ? worker : which == 1 ? curl : floor;
            if (which == 0)
                measure = RunChild({self, "--worker", url, target, "0"});
            else if (which == 1)
                measure = RunChild({"curl", "-s", "-f", "-o", target, url});
            else
                measure = RunChild({self, "--floor", url, target});
            std::error_code error;
            if (measure.status != 0 || std::filesystem::file_size(target, error) != size) {
                std::fprintf(stderr, "round %d step %d failed: status %d\n", round + 1, which, measure.status);
                return 1;
            }
        }
        curlRatios.push_back(worker.seconds / curl.seconds);
        floorRatios.push_back(worker.seconds / floor.seconds);
        workerPeak = std::max(workerPeak, worker.peakKiB);
        curlPeak = std::max(curlPeak, curl.peakKiB);
        std::printf("round %d: worker %.3f s %ld KiB, curl -o %.3f s %ld KiB, 1025-byte writes %.3f s\n", round + 1,
                    worker.seconds, worker.peakKiB, curl.seconds, curl.peakKiB, floor.seconds);
    }
    const Spread toCurl = SpreadOf(curlRatios);
    const Spread toFloor = SpreadOf(floorRatios);
    std::printf(
        "%ld MiB body, %d rounds; worker / curl -o: min %.2f median %.2f max %.2f; "
        "worker / 1025-byte writes: min %.2f median %.2f max %.2f\n",
        megabytes, rounds, toCurl.min, toCurl.median, toCurl.max, toFloor.min, toFloor.median, toFloor.max);
    std::printf("peak resident: worker %ld KiB, curl %ld KiB\n", workerPeak, curlPeak);
    return 0;
}
