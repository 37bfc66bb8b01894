// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "dialogs/BrowseFolderDlg.h"
#include "scan/MovieModel.h"

#include <QMessageBox>

namespace tessaro {

void TMainFrm::LbSpeedButton3Click()
{
    // A worker of an earlier command may still run even when something else
    // cleared Busy; a second command would then write the same files.
    if (Busy || webPage_->DownloadRunning() || cachePage_->Copying())
        return;

    const int page = ActivePage();
    const TMovieModel* movies = page == kWebPage     ? webPage_->Movies()
                                : page == kCachePage ? cachePage_->Movies()
                                                     : nullptr;
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

    cachePage_->CopyCheckedRows(SaveFolder);
}

void TMainFrm::StopTransfer1Click()
{
    // The job ends on its own thread; its end clears Busy and marks the row,
    // as for any other end.
    webPage_->StopDownloads();
    cachePage_->StopCopy();
}

void TMainFrm::UpdateStopTransfer()
{
    StopTransfer1->setEnabled(webPage_->DownloadRunning() || cachePage_->Copying());
}

}  // namespace tessaro
