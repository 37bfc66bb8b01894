// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "dialogs/BrowseFolderDlg.h"
#include "scan/MovieModel.h"

#include <QMessageBox>

namespace tessaro {

int TMainFrm::ChooseTransferFolder()
{
    // A worker of an earlier command may still run even when something else
    // cleared Busy; a second command would then write the same files.
    if (Busy || webPage_->DownloadRunning() || cachePage_->Copying())
        return -1;

    const int page = ActivePage();
    const TMovieModel* movies = page == kWebPage     ? webPage_->Movies()
                                : page == kCachePage ? cachePage_->Movies()
                                                     : nullptr;
    if (movies == nullptr || !movies->AnyChecked()) {
        QMessageBox::warning(this, QString(), QStringLiteral("You should select flash movie(s) at first! "));
        return -1;
    }

    if (BrowseFolderDialog == nullptr || BrowseFolderDialog->exec() != QDialog::Accepted)
        return -1;
    SaveFolder = BrowseFolderDialog->ChosenFolder;
    return SaveFolder.empty() ? -1 : page;
}

void TMainFrm::LbSpeedButton3Click()
{
    const int page = ChooseTransferFolder();
    if (page == kWebPage)
        webPage_->StartDownloads(SaveFolder);
    else if (page == kCachePage)
        cachePage_->CopyCheckedRows(SaveFolder);
}

void TMainFrm::SaveWithNeeds1Click()
{
    const int page = ChooseTransferFolder();
    const QString folder = QString::fromStdString(SaveFolder);
    // A needed file the cache page holds is taken from there before the web is asked.
    if (page == kWebPage)
        webPage_->StartSaveWithNeeds(folder, cachePage_->CachedCopies());
    else if (page == kCachePage)
        cachePage_->StartSaveWithNeeds(folder);
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
