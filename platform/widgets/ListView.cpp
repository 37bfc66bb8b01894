#include "platform/widgets/ListView.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <set>

namespace tessaro {

TListView::TListView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
}

void TListView::setModel(QAbstractItemModel* model)
{
    if (model == this->model())
        return;
    if (this->model() != nullptr)
        disconnect(this->model(), nullptr, this, nullptr);
    // Rows the model takes away are no selection by the user: the flag is
    // set before the selection hears of a removal and cleared after.
    if (model != nullptr)
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { removing_ = true; });
    QTableView::setModel(model);
    if (model == nullptr)
        return;
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { removing_ = false; });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (removing_)
                    return;
                std::set<int> lost;
                for (const QModelIndex& index : deselected.indexes())
                    lost.insert(index.row());
                std::set<int> gained;
                for (const QModelIndex& index : selected.indexes())
                    gained.insert(index.row());
                for (int row : lost)
                    emit SelectItem(row, false);
                for (int row : gained)
                    emit SelectItem(row, true);
            });
}

void TListView::SetColumnWidths(const QList<int>& widths)
{
    for (int i = 0; i < widths.size(); ++i)
        setColumnWidth(i, widths[i]);
}

void TListView::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event->button(), event->globalPosition().toPoint());
    QTableView::mousePressEvent(event);
}

}  // namespace tessaro
