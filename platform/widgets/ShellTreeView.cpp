#include "platform/widgets/ShellTreeView.h"

#include "platform/widgets/DesignScale.h"
#include "platform/widgets/ShellFolderModel.h"

#include <QItemSelectionModel>
#include <QMouseEvent>

namespace tessaro {

namespace {

// Whether path is folder or lies below it.
bool IsWithin(const QString& path, const QString& folder)
{
    if (path == folder)
        return true;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

}  // namespace

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent)
{
    model_ = new ShellFolderModel(this);
    setModel(model_);
    setHeaderHidden(true);
    setRootIsDecorated(false);  // "Computer" stands alone, without a branch mark
    setIndentation(Scaled(19));
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    expand(model_->RootIndex());

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit Change(); });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (model_->canFetchMore(index))
            model_->fetchMore(index);
    });
    // Queued: a listing that is already at hand arrives while the way down is
    // still being walked.
    connect(
        model_, &ShellFolderModel::Listed, this, [this] { ContinuePendingSelection(); }, Qt::QueuedConnection);
}

TShellTreeView::~TShellTreeView() = default;

QString TShellTreeView::RootName()
{
    return ShellFolderModel::RootName();
}

QString TShellTreeView::SelectedPath() const
{
    return model_->PathOf(currentIndex());
}

void TShellTreeView::SelectPath(const QString& path)
{
    if (path == RootName()) {
        pendingPath_.clear();
        setCurrentIndex(model_->RootIndex());
        return;
    }
    pendingPath_ = path;
    while (pendingPath_.size() > 1 && pendingPath_.endsWith(QLatin1Char('/')))
        pendingPath_.chop(1);
    ContinuePendingSelection();
}

void TShellTreeView::ContinuePendingSelection()
{
    if (pendingPath_.isEmpty())
        return;
    // The drive that holds the path most closely: the home folder before "/".
    QModelIndex node;
    const QModelIndex root = model_->RootIndex();
    for (int row = 0; row < model_->rowCount(root); ++row) {
        const QModelIndex drive = model_->index(row, 0, root);
        const QString drivePath = model_->PathOf(drive);
        if (IsWithin(pendingPath_, drivePath) && (!node.isValid() || drivePath.size() > model_->PathOf(node).size()))
            node = drive;
    }
    while (node.isValid() && model_->PathOf(node) != pendingPath_) {
        if (!model_->IsListed(node)) {
            expand(node);
            if (model_->canFetchMore(node))
                model_->fetchMore(node);
            if (!model_->IsListed(node))
                return;  // comes back here once the folder is listed
        }
        QModelIndex next;
        for (int row = 0; row < model_->rowCount(node) && !next.isValid(); ++row) {
            const QModelIndex child = model_->index(row, 0, node);
            if (IsWithin(pendingPath_, model_->PathOf(child)))
                next = child;
        }
        if (!next.isValid())
            break;
        expand(node);
        node = next;
    }
    if (node.isValid() && model_->PathOf(node) == pendingPath_) {
        setCurrentIndex(node);
        scrollTo(node);
    }
    pendingPath_.clear();
}

void TShellTreeView::mousePressEvent(QMouseEvent* event)
{
    // A right click selects the node under the mouse, as a left click would.
    if (event->button() == Qt::RightButton) {
        const QModelIndex node = indexAt(event->position().toPoint());
        if (node.isValid())
            setCurrentIndex(node);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

}  // namespace tessaro
