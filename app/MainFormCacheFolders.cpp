// Cache folders from elsewhere: a mounted Windows disk, a copied profile or
// one cache folder, searched by the cache scan after the user's own caches.

#include "app/MirkMainForm.h"
#include "cache/AddedCacheFolders.h"
#include "dialogs/BrowseFolderDlg.h"

#include <QLabel>

namespace tessaro {

void TMainFrm::AddCacheFolder1Click()
{
    if (BrowseFolderDialog == nullptr)
        return;
    // The chooser is the transfer's too: its choice and caption are given back.
    const std::string saveChoice = BrowseFolderDialog->ChosenFolder;
    const QString caption = BrowseFolderDialog->Label2->text();
    BrowseFolderDialog->ChosenFolder.clear();
    BrowseFolderDialog->Label2->setText(QStringLiteral("Choose a Folder Holding Browser Caches"));
    BrowseFolderDialog->Label2->adjustSize();
    const bool accepted = BrowseFolderDialog->exec() == QDialog::Accepted;
    const std::string folder = BrowseFolderDialog->ChosenFolder;
    BrowseFolderDialog->ChosenFolder = saveChoice;
    BrowseFolderDialog->Label2->setText(caption);
    BrowseFolderDialog->Label2->adjustSize();
    if (!accepted || folder.empty())
        return;
    if (AddCacheFolder(folder))
        ListCacheAgain();
}

void TMainFrm::RemoveCacheFolders1Click()
{
    if (AddedCacheFolders().empty())
        return;
    RemoveCacheFolders();
    ListCacheAgain();
}

void TMainFrm::ListCacheAgain()
{
    if (Busy) {
        // A listing under way is made again once it ends; a transfer keeps its rows.
        if (CacheScanThread != nullptr)
            cacheListAgain_ = true;
        return;
    }
    CacheMovies->ClearList();
    if (ActivePage() == kCachePage) {
        Busy = true;
        StartCacheScan();
        SetStatusText("Done");
    }
}

}  // namespace tessaro
