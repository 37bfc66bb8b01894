// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "cache/CacheCopyThread.h"
#include "dialogs/BrowseFolderDlg.h"
#include "scan/MovieModel.h"

#include <QMessageBox>

namespace tessaro {

void TMainFrm::LbSpeedButton3Click()
{
    // A worker of an earlier command may still run even when something else
    // cleared Busy; a second command would then write the same files.
    if (Busy || webPage_->DownloadRunning() || CopyThread != nullptr)
        return;

    const int page = ActivePage();
    const TMovieModel* movies = page == kWebPage ? webPage_->Movies() : page == kCachePage ? CacheMovies : nullptr;
    if (movies == nullptr || !movies->AnyChecked()) {
        QMessageBox::warning(this, QString(), QStringLiteral("You should select flash movie(s) at first! "));
        return;
    }

    if (BrowseFolderDialog == nullptr || BrowseFolderDialog->exec() != QDialog::Accepted)
        return;
    SaveFolder = BrowseFolderDialog->ChosenFolder;
    if (SaveFolder.empty())
        return;

    if (page == kWebPage) {
        webPage_->StartDownloads(SaveFolder);
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
    // The job ends on its own thread; its end clears Busy and marks the row,
    // as for any other end.
    webPage_->StopDownloads();
    CopyThread.Cancel();
}

void TMainFrm::UpdateStopTransfer()
{
    StopTransfer1->setEnabled(webPage_->DownloadRunning() || CopyThread != nullptr);
}

}  // namespace tessaro
