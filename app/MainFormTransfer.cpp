// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
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
    if (Busy || HttpThread != nullptr || cachePage_->Copying())
        return;

    const int page = ActivePage();
    const TMovieModel* movies = page == kWebPage ? WebMovies : page == kCachePage ? cachePage_->Movies() : nullptr;
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

    cachePage_->CopyCheckedRows(SaveFolder);
}

void TMainFrm::StopTransfer1Click()
{
    if (HttpThread == nullptr && !cachePage_->Copying())
        return;
    // The job ends on its own thread; its end clears Busy and marks the row,
    // as for any other end.
    transferStopped_ = true;
    HttpThread.Cancel();
    cachePage_->StopCopy();
}

void TMainFrm::UpdateStopTransfer()
{
    StopTransfer1->setEnabled(HttpThread != nullptr || cachePage_->Copying());
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
                            THttpGetThread(HttpAddress(QString::fromStdString(CurrentUrl)), CurrentTarget,
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
