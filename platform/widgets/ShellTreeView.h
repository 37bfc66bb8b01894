#pragma once

#include <QString>
#include <QTreeView>

namespace tessaro {

class ShellFolderModel;

// The folder tree of the folder chooser: a virtual root "Computer" whose
// children stand for the drives (the root folder, the home folder, mounted
// volumes), folders only below them. A folder's subfolders are listed in the
// background the first time it is expanded and not refreshed afterwards.
class TShellTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TShellTreeView(QWidget* parent = nullptr);
    ~TShellTreeView() override;

    // The selected node's folder: an absolute path for a drive or folder,
    // "Computer" (no leading "/") for the virtual root, empty for none.
    QString SelectedPath() const;

    // Selects the node of an absolute folder path below one of the drives,
    // expanding the way down as its folders get listed. The selection comes
    // later when folders on the way still have to be listed; a path that
    // cannot be reached leaves the selection as it is.
    void SelectPath(const QString& path);

    static QString RootName();

signals:
    // The selected node changed.
    void Change();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ContinuePendingSelection();

    ShellFolderModel* model_ = nullptr;
    QString pendingPath_;
};

}  // namespace tessaro
