#pragma once

#include <QList>
#include <QPoint>
#include <QTableView>

namespace tessaro {

// A report-style list over a table model: one check box per row (on the
// caption column, as the model gives it), grid lines, whole-row single
// selection, headers that do not react to clicks and rows in the model's
// order.
class TListView : public QTableView {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // Widths in screen pixels, column by column.
    void SetColumnWidths(const QList<int>& widths);

    int RowCount() const { return model() != nullptr ? model()->rowCount() : 0; }

signals:
    // For every change of a row's selected state: the row losing the
    // selection first, then the row gaining it.
    void SelectItem(int row, bool selected);
    void MouseDown(Qt::MouseButton button, QPoint globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool removing_ = false;
};

}  // namespace tessaro
