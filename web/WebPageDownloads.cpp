// The transfer command on the web page: the checked rows are downloaded
// into the chosen folder, one after another.

#include "download/HttpGetThread.h"
#include "platform/http/HttpRequest.h"
#include "web/WebPageController.h"

namespace tessaro {

namespace {

// The web movies as the download sequence reads and marks them.
class WebMovieRows : public DownloadRows {
public:
    explicit WebMovieRows(TMovieModel* movies) : movies_(movies) {}

    int RowCount() const override { return movies_->RowCount(); }
    bool Checked(int row) const override { return movies_->Row(row).checked; }
    QString Address(int row) const override { return movies_->Row(row).address; }
    QUrl Url(int row) const override { return movies_->Row(row).url; }
    std::string Status(int row) const override { return movies_->Row(row).status.toStdString(); }
    void SetStatus(int row, const std::string& status) override
    {
        movies_->SetStatus(row, QString::fromStdString(status));
    }

private:
    TMovieModel* movies_;
};

}  // namespace

void TWebPageController::StartDownloads(const std::string& saveFolder)
{
    saveFolder_ = saveFolder;
    downloadsStopped_ = false;
    downloads_.Begin();
    PickNextDownload();
    if (!current_.Target.empty())
        StartDownload("Downloading ");
}

void TWebPageController::StartDownloadOf(const std::string& url, const std::string& target)
{
    downloadsStopped_ = false;
    // No row is marked at its end.
    const QString address = QString::fromStdString(url);
    current_ = PickedDownload{-1, address, HttpAddress(address), target};
    StartDownload("Downloading ");
}

void TWebPageController::StopDownloads()
{
    saveJob_.Cancel();
    if (downloadJob_ == nullptr)
        return;
    // The job ends on its own thread; its end clears Busy and marks the row,
    // as for any other end.
    downloadsStopped_ = true;
    downloadJob_.Cancel();
}

void TWebPageController::PickNextDownload()
{
    WebMovieRows rows(movies_);
    current_ = downloads_.PickNext(rows, saveFolder_);
}

void TWebPageController::StartDownload(const std::string& statusPrefix)
{
    Say(statusPrefix + current_.Address.toStdString());
    emit DownloadStarted();
    // A movie read after the scan is saved from its kept bytes, not fetched again.
    const int row = current_.Row;
    TKeptBytes kept = row >= 0 && row < movies_->RowCount() ? movies_->Row(row).kept : nullptr;
    downloadJob_ = Job::Start(this,
                              THttpGetThread(
                                  current_.Url, current_.Target, [this](int percent) { emit Progress(percent); },
                                  HttpLimits{}, std::move(kept)),
                              [this](const JobEnd<DownloadOutcome>& end) { DownloadFinished(end); });
    emit TransferRunningChanged(true);
}

void TWebPageController::DownloadFinished(const JobEnd<DownloadOutcome>& end)
{
    const DownloadOutcome outcome = end.value;
    const std::exception_ptr failure = end.error;
    downloadJob_ = Job();

    WebMovieRows rows(movies_);
    const PickedDownload finished = std::exchange(current_, PickedDownload{});
    DownloadSequence::MarkFinished(rows, finished, outcome.Saved);
    // Why a row failed is kept with its status for the user to hover over.
    if (finished.Row >= 0 && finished.Row < rows.RowCount() && rows.Address(finished.Row) == finished.Address)
        movies_->SetStatusReason(finished.Row, QString::fromStdString(outcome.Reason));

    emit StatusReset();
    emit TransferRunningChanged(false);
    if (failure)
        emit ErrorToShow(failure);
    if (downloadsStopped_) {
        Say(THttpGetThread::kStoppedReason);
        return;
    }
    PickNextDownload();
    if (!current_.Target.empty())
        StartDownload("downloading ");
}

}  // namespace tessaro
