// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "cache/CacheCopyThread.h"
#include "dialogs/BrowseFolderDlg.h"
#include "download/HttpGetThread.h"
#include "scan/MovieModel.h"

#include <QMessageBox>

namespace tessaro {

namespace {

// The web movies as the download sequence reads and marks them.
class WebMovieRows : public DownloadRows {
public:
    explicit WebMovieRows(TMovieModel* movies) : movies_(movies) {}

    int RowCount() const override { return movies_->RowCount(); }
    bool Checked(int row) const override { return movies_->Row(row).checked; }
    std::string Address(int row) const override { return movies_->Row(row).address.toStdString(); }
    std::string Status(int row) const override { return movies_->Row(row).status.toStdString(); }
    void SetStatus(int row, const std::string& status) override
    {
        movies_->SetStatus(row, QString::fromStdString(status));
    }

private:
    TMovieModel* movies_;
};

}  // namespace

void TMainFrm::LbSpeedButton3Click()
{
    // A worker of an earlier command may still run even when something else
    // cleared Busy; a second command would then write the same files.
    if (Busy || HttpThread != nullptr || CopyThread != nullptr)
        return;

    const int page = ActivePage();
    const TMovieModel* movies = page == kWebPage ? WebMovies : page == kCachePage ? CacheMovies : nullptr;
    if (movies == nullptr || !movies->AnyChecked()) {
        QMessageBox::warning(this, QString(), QStringLiteral("You should select flash movie(s) at first! "));
        return;
    }

    if (BrowseFolderDialog == nullptr || BrowseFolderDialog->exec() != QDialog::Accepted)
        return;
    SaveFolder = BrowseFolderDialog->ChosenFolder;
    if (SaveFolder.empty())
        return;

    transferStopped_ = false;
    if (page == kWebPage) {
        Downloads.Begin();
        PickNextDownload();
        if (!CurrentUrl.empty() && !CurrentTarget.empty())
            StartDownload("Downloading ");
        return;
    }

    CopyList->clear();
    for (int row = 0; row < CacheMovies->RowCount(); ++row)
        if (CacheMovies->Row(row).checked)
            CopyList->append(CacheMovies->Row(row).localPath);
    StartCopy();
}

void TMainFrm::StartCopy()
{
    Busy = true;
    TCacheCopyReports reports;
    reports.SetProgress = [this](int percent) { SetProgress(percent); };
    reports.SetStatusText = [this](const std::string& text) { SetStatusText(text); };
    CopyThread = Job::Start(this, TCacheCopyThread(SaveFolder, *CopyList, std::move(reports)),
                            [this](const JobEnd<TCacheCopyResult>& end) { CopyFinished(end); });
    UpdateStopTransfer();
}

void TMainFrm::CopyFinished(const JobEnd<TCacheCopyResult>& end)
{
    const Job copy = std::move(CopyThread);
    ResetStatus();
    if (const std::string text = end.value.EndStatusText(); !text.empty())
        SetStatusText(text);
    UpdateStopTransfer();
    if (end.error)
        ShowErrorReport(end.error);
}

void TMainFrm::StopTransfer1Click()
{
    if (HttpThread == nullptr && CopyThread == nullptr)
        return;
    // The job ends on its own thread; its end clears Busy and marks the row,
    // as for any other end.
    transferStopped_ = true;
    HttpThread.Cancel();
    CopyThread.Cancel();
}

void TMainFrm::UpdateStopTransfer()
{
    StopTransfer1->setEnabled(HttpThread != nullptr || CopyThread != nullptr);
}

void TMainFrm::PickNextDownload()
{
    WebMovieRows rows(WebMovies);
    const PickedDownload next = Downloads.PickNext(rows, SaveFolder);
    CurrentRow = next.Row;
    CurrentUrl = next.Url;
    CurrentTarget = next.Target;
}

void TMainFrm::StartDownload(const std::string& statusPrefix)
{
    SetStatusText(statusPrefix + CurrentUrl);
    Busy = true;
    // A movie read after the scan is saved from its kept bytes, not fetched again.
    TKeptBytes kept = CurrentRow >= 0 && CurrentRow < WebMovies->RowCount() ? WebMovies->Row(CurrentRow).kept : nullptr;
    HttpThread = Job::Start(this,
                            THttpGetThread(
                                HttpAddress(QString::fromStdString(CurrentUrl)), CurrentTarget,
                                [this](int percent) { SetProgress(percent); }, HttpLimits{}, std::move(kept)),
                            [this](const JobEnd<DownloadOutcome>& end) { DownloadFinished(end); });
    UpdateStopTransfer();
}

void TMainFrm::DownloadFinished(const JobEnd<DownloadOutcome>& end)
{
    const DownloadOutcome outcome = end.value;
    const std::exception_ptr failure = end.error;
    HttpThread = Job();

    WebMovieRows rows(WebMovies);
    const PickedDownload finished{CurrentRow, CurrentUrl, CurrentTarget};
    DownloadSequence::MarkFinished(rows, finished, outcome.Saved);
    // Why a row failed is kept with its status for the user to hover over.
    if (finished.Row >= 0 && finished.Row < rows.RowCount() && rows.Address(finished.Row) == finished.Url)
        WebMovies->SetStatusReason(finished.Row, QString::fromStdString(outcome.Reason));

    ResetStatus();
    UpdateStopTransfer();
    if (failure)
        ShowErrorReport(failure);
    if (transferStopped_) {
        CurrentRow = -1;
        CurrentUrl.clear();
        CurrentTarget.clear();
        SetStatusText(THttpGetThread::kStoppedReason);
        return;
    }
    PickNextDownload();
    if (!CurrentUrl.empty() && !CurrentTarget.empty())
        StartDownload("downloading ");
}

}  // namespace tessaro
