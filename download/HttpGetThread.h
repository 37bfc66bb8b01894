#pragma once

#include "platform/core/Job.h"
#include "platform/http/HttpClient.h"

#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

class AtomicFile;
class FileWriteBuffer;
class MovieCheck;

// How one download ended, for the job's end. The job shows nothing itself.
struct DownloadOutcome {
    bool Saved = false;
    std::string Reason;  // why not saved; empty when saved
};

// Fetches one movie over HTTP(S) into one file. The body goes into a
// temporary file beside the target and replaces the target only when it came
// whole: a 2xx answer, no failed read or write, as many bytes as a given
// Content-Length promised, and a Flash movie complete by its own header, at
// most kMaxDownloadBytes long. An existing file is never replaced by an error
// page, an empty or a truncated file.
//
// It runs as a job and returns the outcome. The job's cancel ends it within
// the client's cancel check (HttpLimits::cancelled is the job's own flag,
// whatever the caller gave) or the next block written: the download fails
// with kStoppedReason and leaves no file.
class THttpGetThread {
public:
    // Takes whole-number percentages on the owner's thread: each differs from
    // the one before, they come at most every kProgressInterval, and the
    // figure the download ends at always comes. The job never waits for them.
    using ProgressHandler = std::function<void(int percent)>;
    static constexpr std::chrono::milliseconds kProgressInterval{50};

    // Url: an http or https address, sent as it stands (HttpAddress makes one
    // from the text of a row). Limits are the HTTP client's; tests shorten them. KeptMovie: the
    // movie's bytes when the program fetched it whole already (reading the
    // movies of a page): they are written under the same rules and the
    // server is not asked again.
    THttpGetThread(QUrl Url, std::string FileName, ProgressHandler SetProgress = {}, HttpLimits Limits = {},
                   std::shared_ptr<const std::string> KeptMovie = nullptr);
    ~THttpGetThread();
    THttpGetThread(THttpGetThread&&) noexcept;
    THttpGetThread& operator=(THttpGetThread&&) = delete;

    // Runs the download once.
    DownloadOutcome operator()(JobControl& job);

    static constexpr std::uint64_t kMaxDownloadBytes = std::uint64_t(512) << 20;
    static constexpr const char* kStoppedReason = "Stopped by the user";
    // Kept bytes are written in pieces of this size, the cancel looked at between them.
    static constexpr std::size_t kKeptPieceBytes = std::size_t(1) << 20;

    // The figure shown after a block: the rounded share of ContentLength, or,
    // without a usable length, a figure that grows with the bytes received
    // and stays below 100 until the end.
    static int ProgressPercent(std::uint64_t totalRead, std::int64_t contentLength);

private:
    bool StopRequested() const { return job_->Cancelled(); }
    void OpenRequest();
    void QueryContentLength();
    void ReceiveToFile();
    // Copies the body into out, checked as a movie on the way; whether it
    // arrived whole (a refused body ends it at once).
    bool ReceiveBody(FileWriteBuffer& out, MovieCheck& check);
    void SaveKeptMovie();
    void CloseHandles();
    // Hands the figure for TotalRead to the receiver when it changed and the
    // last one is kProgressInterval old, or at once when last is set.
    void UpdateProgress(bool last = false);
    void Fail(std::string reason);
    bool IsCompleteMovie(MovieCheck& check);

    QUrl Url;
    std::string FileName;
    // The target while it is written: a temporary file beside it.
    std::unique_ptr<AtomicFile> OutFile;
    bool HasContentLength = false;
    std::int64_t ContentLength = 0;
    HttpLimits Limits;
    std::shared_ptr<const std::string> KeptMovie;
    std::unique_ptr<HttpExchange> RequestHandle;
    bool Sent = false;
    std::size_t BytesRead = 0;
    std::uint64_t TotalRead = 0;

    ProgressHandler SetProgress;
    int shownPercent_ = -1;
    std::chrono::steady_clock::time_point percentShownAt_;
    DownloadOutcome outcome_;
    JobControl* job_ = nullptr;  // while it runs
};

}  // namespace tessaro
