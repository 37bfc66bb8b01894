// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "cache/CacheCopyThread.h"
#include "dialogs/BrowseFolderDlg.h"
#include "download/HttpGetThread.h"
#include "scan/MovieStore.h"
#include "platform/widgets/ListView.h"

#include <QMessageBox>
#include <QTableWidgetItem>

namespace tessaro {

namespace {

// Columns of the web list.
constexpr int kWebFlash = 1;
constexpr int kWebStatus = 2;
// Columns of the cache list.
constexpr int kCacheLocalPath = 3;

// The web list as the download sequence reads and marks it.
class WebListRows : public DownloadRows {
public:
    explicit WebListRows(TListView* list) : list_(list) {}

    int RowCount() const override { return list_->RowCount(); }
    bool Checked(int row) const override { return list_->Checked(row); }
    std::string Address(int row) const override { return list_->Text(row, kWebFlash).toStdString(); }
    std::string Status(int row) const override { return list_->Text(row, kWebStatus).toStdString(); }
    void SetStatus(int row, const std::string& status) override
    {
        list_->SetText(row, kWebStatus, QString::fromStdString(status));
    }

private:
    TListView* list_;
};

bool AnyRowChecked(const TListView* list)
{
    for (int row = 0; row < list->RowCount(); ++row)
        if (list->Checked(row))
            return true;
    return false;
}

}  // namespace

void TMainFrm::LbSpeedButton3Click()
{
    // A worker of an earlier command may still run even when something else
    // cleared Busy; a second command would then write the same files.
    if (Busy || HttpThread != nullptr || CopyThread != nullptr)
        return;

    const int page = ActivePage();
    TListView* list = page == kWebPage ? ListView1 : page == kCachePage ? ListView2 : nullptr;
    if (list == nullptr || !AnyRowChecked(list)) {
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
    for (int row = 0; row < ListView2->RowCount(); ++row)
        if (ListView2->Checked(row))
            CopyList->append(ListView2->Text(row, kCacheLocalPath));
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
    WebListRows rows(ListView1);
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
    TMovieStore::Bytes kept = MovieStore ? MovieStore->MovieBytes(QString::fromStdString(CurrentUrl)) : nullptr;
    HttpThread = Job::Start(
        this,
        THttpGetThread(
            CurrentUrl, CurrentTarget, [this](int percent) { SetProgress(percent); }, HttpLimits{}, std::move(kept)),
        [this](const JobEnd<DownloadOutcome>& end) { DownloadFinished(end); });
    UpdateStopTransfer();
}

void TMainFrm::DownloadFinished(const JobEnd<DownloadOutcome>& end)
{
    const DownloadOutcome outcome = end.value;
    const std::exception_ptr failure = end.error;
    HttpThread = Job();

    WebListRows rows(ListView1);
    const PickedDownload finished{CurrentRow, CurrentUrl, CurrentTarget};
    DownloadSequence::MarkFinished(rows, finished, outcome.Saved);
    // Why a row failed is kept on its status cell for the user to hover over.
    if (finished.Row >= 0 && finished.Row < rows.RowCount() && rows.Address(finished.Row) == finished.Url) {
        if (QTableWidgetItem* cell = ListView1->item(finished.Row, kWebStatus))
            cell->setToolTip(QString::fromStdString(outcome.Reason));
    }

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
