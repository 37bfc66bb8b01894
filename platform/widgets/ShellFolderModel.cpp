#include "platform/widgets/ShellFolderModel.h"

#include "platform/files/ShellDrives.h"

#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QIcon>

#include <algorithm>
#include <vector>

namespace tessaro {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;

enum ListState { kUnlisted = 0, kRequested = 1, kListed = 2 };

QStandardItem* MakeNode(const QString& name, const QString& path, const QIcon& icon)
{
    auto* item = new QStandardItem(icon, name);
    item->setEditable(false);
    item->setToolTip(path);
    item->setData(path, kPathRole);
    item->setData(kUnlisted, kStateRole);
    return item;
}

QIcon DriveIcon(const QFileIconProvider& icons, ShellDrive::Kind kind)
{
    switch (kind) {
        case ShellDrive::Kind::Root:
            return icons.icon(QAbstractFileIconProvider::Drive);
        case ShellDrive::Kind::Home:
            return QIcon::fromTheme(QStringLiteral("user-home"), icons.icon(QAbstractFileIconProvider::Folder));
        case ShellDrive::Kind::Volume:
            break;
    }
    return QIcon::fromTheme(QStringLiteral("drive-removable-media"), icons.icon(QAbstractFileIconProvider::Drive));
}

}  // namespace

ShellFolderModel::ShellFolderModel(QObject* parent) : QStandardItemModel(parent)
{
    files_ = new QFileSystemModel(this);
    files_->setOption(QFileSystemModel::DontWatchForChanges);
    files_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    files_->setRootPath(QStringLiteral("/"));
    connect(files_, &QFileSystemModel::directoryLoaded, this, &ShellFolderModel::FolderLoaded);

    const QFileIconProvider icons;
    QStandardItem* root = MakeNode(RootName(), RootName(), icons.icon(QAbstractFileIconProvider::Computer));
    root->setData(kListed, kStateRole);
    for (const ShellDrive& drive : CurrentShellDrives()) {
        root->appendRow(MakeNode(QString::fromStdString(drive.name), QString::fromStdString(drive.path),
                                 DriveIcon(icons, drive.kind)));
    }
    appendRow(root);
}

QString ShellFolderModel::RootName()
{
    return QStringLiteral("Computer");
}

QModelIndex ShellFolderModel::RootIndex() const
{
    return index(0, 0);
}

QString ShellFolderModel::PathOf(const QModelIndex& index) const
{
    return index.isValid() ? index.data(kPathRole).toString() : QString();
}

bool ShellFolderModel::IsListed(const QModelIndex& index) const
{
    return index.isValid() && index.data(kStateRole).toInt() == kListed;
}

QModelIndex ShellFolderModel::ChildWithPath(const QModelIndex& parent, const QString& path) const
{
    for (int row = 0; row < rowCount(parent); ++row) {
        const QModelIndex child = index(row, 0, parent);
        if (PathOf(child) == path)
            return child;
    }
    return {};
}

bool ShellFolderModel::hasChildren(const QModelIndex& parent) const
{
    // Until a folder is listed we cannot tell, so it offers to expand.
    if (parent.isValid() && !IsListed(parent))
        return true;
    return QStandardItemModel::hasChildren(parent);
}

bool ShellFolderModel::canFetchMore(const QModelIndex& parent) const
{
    return parent.isValid() && parent.data(kStateRole).toInt() == kUnlisted;
}

void ShellFolderModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    setData(parent, kRequested, kStateRole);
    const QString path = PathOf(parent);
    if (loaded_.contains(path)) {
        FillFromListing(parent);
        return;
    }
    waiting_[path].append(QPersistentModelIndex(parent));
    const QModelIndex folder = files_->index(path);
    if (!folder.isValid()) {
        FolderLoaded(path);  // gone since; it shows no subfolders
        return;
    }
    // Already under way when another node of the same folder asked first.
    if (files_->canFetchMore(folder))
        files_->fetchMore(folder);
}

void ShellFolderModel::FolderLoaded(const QString& path)
{
    loaded_.insert(path);
    const QList<QPersistentModelIndex> nodes = waiting_.take(path);
    for (const QPersistentModelIndex& node : nodes) {
        if (node.isValid())
            FillFromListing(node);
    }
}

void ShellFolderModel::FillFromListing(const QModelIndex& parent)
{
    QStandardItem* node = itemFromIndex(parent);
    const QModelIndex folder = files_->index(PathOf(parent));
    struct Entry {
        QString name;
        QString path;
        QIcon icon;
    };
    std::vector<Entry> entries;
    for (int row = 0; folder.isValid() && row < files_->rowCount(folder); ++row) {
        const QModelIndex child = files_->index(row, 0, folder);
        if (files_->isDir(child))
            entries.push_back({files_->fileName(child), files_->filePath(child), files_->fileIcon(child)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    QList<QStandardItem*> children;
    for (const Entry& entry : entries)
        children.append(MakeNode(entry.name, entry.path, entry.icon));
    if (!children.isEmpty())
        node->appendRows(children);
    node->setData(kListed, kStateRole);
    emit Listed(parent);
}

}  // namespace tessaro
