#include "download/HttpGetThread.h"

#include "download/FileWriteBuffer.h"
#include "formats/swf/MovieCheck.h"
#include "platform/core/AsciiText.h"
#include "platform/files/AtomicFile.h"
#include "platform/http/HttpClient.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace tessaro {

namespace {

// Below this many bytes an unknown-length download shows less than half.
constexpr double kUnknownLengthHalfway = 256.0 * 1024.0;

}  // namespace

THttpGetThread::THttpGetThread(QUrl Url, std::string FileName, ProgressHandler SetProgress, HttpLimits Limits,
                               std::shared_ptr<const std::string> KeptMovie)
    : Url(std::move(Url)),
      FileName(std::move(FileName)),
      Limits(Limits),
      KeptMovie(std::move(KeptMovie)),
      SetProgress(std::move(SetProgress))
{
}

THttpGetThread::~THttpGetThread() = default;
THttpGetThread::THttpGetThread(THttpGetThread&&) noexcept = default;

int THttpGetThread::ProgressPercent(std::uint64_t totalRead, std::int64_t contentLength)
{
    const double read = static_cast<double>(totalRead);
    double percent;
    if (contentLength > 0) {
        // Rounds to nearest with halves going to the even neighbour, the
        // default floating-point mode.
        percent = std::nearbyint(read * 100.0 / static_cast<double>(contentLength) + 0.5);
    } else {
        percent = std::min(99.0, std::floor(100.0 * read / (read + kUnknownLengthHalfway)));
    }
    return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

DownloadOutcome THttpGetThread::operator()(JobControl& job)
{
    job_ = &job;
    try {
        if (KeptMovie) {
            SaveKeptMovie();
        } else {
            OpenRequest();
            QueryContentLength();
            ReceiveToFile();
        }
    } catch (const std::exception& error) {
        Fail(error.what());
    } catch (...) {
        Fail("unexpected failure");
    }
    CloseHandles();
    // A stopped exchange fails in the client's words ("cancelled"); the user
    // is told what happened instead.
    if (StopRequested() && !outcome_.Saved)
        outcome_.Reason = kStoppedReason;
    job_ = nullptr;
    return outcome_;
}

void THttpGetThread::Fail(std::string reason)
{
    if (outcome_.Reason.empty())
        outcome_.Reason = std::move(reason);
    outcome_.Saved = false;
}

void THttpGetThread::OpenRequest()
{
    HttpRequest request;
    request.address = Url;
    request.limits = Limits;
    request.limits.maxBodyBytes = kMaxDownloadBytes;
    request.cancel = job_->CancelFlag();
    RequestHandle = std::make_unique<HttpExchange>(request);
    Sent = RequestHandle->Send();
}

void THttpGetThread::QueryContentLength()
{
    std::string text;
    if (!RequestHandle || !Sent || !RequestHandle->QueryContentLength(text))
        return;
    std::int64_t value = 0;
    if (ParseWholeNumber(text, value) && value >= 0) {
        ContentLength = value;
        HasContentLength = true;
    }
}

bool THttpGetThread::ReceiveBody(FileWriteBuffer& out, MovieCheck& check)
{
    char buffer[1025];
    for (;;) {
        if (StopRequested()) {
            Fail(kStoppedReason);
            return false;
        }
        if (!RequestHandle->Read(buffer, sizeof buffer, BytesRead)) {
            Fail("the transfer broke off after " + std::to_string(TotalRead) + " bytes: " + RequestHandle->ErrorText());
            return false;
        }
        if (BytesRead == 0)
            return true;
        // An error page or an oversized body is refused at its first bytes.
        const MovieCheckResult verdict = check.Feed(std::string_view(buffer, BytesRead));
        if (verdict == MovieCheckResult::NotAMovie || verdict == MovieCheckResult::TooLarge)
            return IsCompleteMovie(check);
        if (!out.Write(buffer, BytesRead)) {
            Fail(OutFile->Error());
            return false;
        }
        TotalRead += BytesRead;
        UpdateProgress();
    }
}

void THttpGetThread::ReceiveToFile()
{
    if (!RequestHandle || !Sent) {
        const QString where = Url.host().isEmpty() ? Url.toString() : Url.host();
        Fail("no answer from " + where.toStdString() + ": " +
             (RequestHandle ? RequestHandle->ErrorText() : std::string("no request")));
        CloseHandles();
        return;
    }
    const long status = RequestHandle->StatusCode();
    if (status < 200 || status > 299) {
        Fail("the server answered " + std::to_string(status));
        CloseHandles();
        return;
    }

    OutFile = std::make_unique<AtomicFile>(FileName);
    if (FileName.empty() || !OutFile->Open()) {
        Fail(FileName.empty() ? std::string("no target file name") : OutFile->Error());
        OutFile.reset();
        CloseHandles();
        return;
    }

    TotalRead = 0;
    FileWriteBuffer out(*OutFile);
    MovieCheck check(kMaxDownloadBytes);
    bool complete = ReceiveBody(out, check);

    if (TotalRead > 0)
        UpdateProgress(true);
    if (complete && !out.Flush()) {
        Fail(OutFile->Error());
        complete = false;
    }
    if (complete && HasContentLength && TotalRead != static_cast<std::uint64_t>(ContentLength)) {
        Fail("received " + std::to_string(TotalRead) + " of " + std::to_string(ContentLength) + " bytes");
        complete = false;
    }
    complete = complete && IsCompleteMovie(check);
    // A stop that came after the last block still keeps the older file.
    if (complete && StopRequested()) {
        Fail(kStoppedReason);
        complete = false;
    }
    if (complete && OutFile->Commit()) {
        outcome_.Saved = true;
        outcome_.Reason.clear();
    } else {
        if (complete)
            Fail(OutFile->Error());
        OutFile->Discard();
    }
    OutFile.reset();
    CloseHandles();
}

void THttpGetThread::SaveKeptMovie()
{
    MovieCheck check(kMaxDownloadBytes);
    check.Feed(*KeptMovie);
    if (check.End() != MovieCheckResult::Complete) {
        Fail(check.Reason());
        return;
    }
    AtomicFile out(FileName);
    bool written = !FileName.empty() && out.Open();
    for (std::size_t at = 0; written && at < KeptMovie->size(); at += kKeptPieceBytes)
        written =
            !StopRequested() && out.Write(KeptMovie->data() + at, std::min(kKeptPieceBytes, KeptMovie->size() - at));
    if (!written || StopRequested() || !out.Commit()) {
        Fail(FileName.empty() ? std::string("no target file name") : out.Error());
        out.Discard();
        return;
    }
    TotalRead = KeptMovie->size();
    HasContentLength = true;
    ContentLength = static_cast<std::int64_t>(TotalRead);
    UpdateProgress(true);
    outcome_.Saved = true;
    outcome_.Reason.clear();
}

bool THttpGetThread::IsCompleteMovie(MovieCheck& check)
{
    const MovieCheckResult verdict = check.End();
    if (verdict == MovieCheckResult::Complete)
        return true;
    std::string reason = check.Reason();
    std::string contentType;
    if (verdict == MovieCheckResult::NotAMovie && RequestHandle->QueryHeader("Content-Type", contentType)) {
        contentType = contentType.substr(0, contentType.find(';'));
        while (!contentType.empty() && contentType.back() == ' ')
            contentType.pop_back();
        if (!contentType.empty())
            reason += " (" + contentType + ")";
    }
    Fail(reason);
    return false;
}

void THttpGetThread::CloseHandles()
{
    RequestHandle.reset();
}

void THttpGetThread::UpdateProgress(bool last)
{
    const int percent = ProgressPercent(TotalRead, HasContentLength ? ContentLength : 0);
    if (percent == shownPercent_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && shownPercent_ >= 0 && now - percentShownAt_ < kProgressInterval)
        return;
    shownPercent_ = percent;
    percentShownAt_ = now;
    job_->Report([progress = SetProgress, percent] {
        if (progress)
            progress(percent);
    });
}

}  // namespace tessaro
