// Cache folders from elsewhere: a mounted Windows disk, a copied profile or
// one cache folder, searched by the cache scan after the user's own caches.

#include "app/MirkMainForm.h"
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
    cachePage_->AddFolder(folder, Busy);
}

void TMainFrm::RemoveCacheFolders1Click()
{
    cachePage_->RemoveFolders(Busy);
}

}  // namespace tessaro
