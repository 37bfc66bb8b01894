#pragma once

#include <QHash>
#include <QList>
#include <QPersistentModelIndex>
#include <QSet>
#include <QStandardItemModel>

class QFileSystemModel;

namespace tessaro {

// The nodes of the folder tree: "Computer", the drives under it, and the
// folders below them. Subfolders are listed in the background by a
// QFileSystemModel the first time a node is expanded; the node then takes a
// copy of them, sorted by name, and keeps it (there is no refresh).
class ShellFolderModel : public QStandardItemModel {
    Q_OBJECT
public:
    explicit ShellFolderModel(QObject* parent = nullptr);

    // The virtual root's name, which is also its path.
    static QString RootName();
    QModelIndex RootIndex() const;
    // The node's folder path; the virtual root's name for the root.
    QString PathOf(const QModelIndex& index) const;
    bool IsListed(const QModelIndex& index) const;
    // The child of parent whose folder is path, or an invalid index.
    QModelIndex ChildWithPath(const QModelIndex& parent, const QString& path) const;

    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // The subfolders of parent are now in the tree.
    void Listed(const QModelIndex& parent);

private:
    void FolderLoaded(const QString& path);
    void FillFromListing(const QModelIndex& parent);

    QFileSystemModel* files_ = nullptr;
    QSet<QString> loaded_;
    QHash<QString, QList<QPersistentModelIndex>> waiting_;
};

}  // namespace tessaro
