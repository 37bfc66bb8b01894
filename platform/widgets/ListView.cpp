#include "platform/widgets/ListView.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <set>

namespace tessaro {

TListView::TListView(QWidget* parent) : QTableWidget(parent)
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

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (clearing_)
                    return;  // removing rows is not a selection by the user
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

void TListView::SetColumns(const QList<QPair<QString, int>>& columns)
{
    setColumnCount(static_cast<int>(columns.size()));
    QStringList captions;
    for (const auto& column : columns)
        captions << column.first;
    setHorizontalHeaderLabels(captions);
    for (int i = 0; i < columns.size(); ++i)
        setColumnWidth(i, columns[i].second);
}

int TListView::AddRow(const QString& caption, const QStringList& subItems)
{
    const int row = rowCount();
    insertRow(row);
    auto* first = new QTableWidgetItem(caption);
    first->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    first->setCheckState(Qt::Unchecked);
    setItem(row, 0, first);
    for (int i = 0; i < subItems.size() && i + 1 < columnCount(); ++i) {
        auto* item = new QTableWidgetItem(subItems[i]);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(row, i + 1, item);
    }
    return row;
}

void TListView::Clear()
{
    clearing_ = true;
    clearSelection();
    setRowCount(0);
    clearing_ = false;
}

bool TListView::Checked(int row) const
{
    const QTableWidgetItem* first = item(row, 0);
    return first != nullptr && first->checkState() == Qt::Checked;
}

void TListView::SetChecked(int row, bool checked)
{
    if (QTableWidgetItem* first = item(row, 0))
        first->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QString TListView::Text(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void TListView::SetText(int row, int column, const QString& text)
{
    if (row < 0 || row >= rowCount())
        return;
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
        return;
    }
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, cell);
}

void TListView::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event->button(), event->globalPosition().toPoint());
    QTableWidget::mousePressEvent(event);
}

QString TListView::ToolTip(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->toolTip() : QString();
}

void TListView::SetToolTip(int row, int column, const QString& text)
{
    if (QTableWidgetItem* cell = item(row, column))
        cell->setToolTip(text);
}

}  // namespace tessaro
