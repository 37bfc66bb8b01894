#pragma once

#include <QPoint>
#include <QStringList>
#include <QTableWidget>

namespace tessaro {

// A report-style list: one check box per row (on the caption column), grid
// lines, whole-row single selection, headers that do not react to clicks and
// rows that stay in the order they were added.
class TListView : public QTableWidget {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);

    // Columns as (caption, width in screen pixels).
    void SetColumns(const QList<QPair<QString, int>>& columns);

    int RowCount() const { return rowCount(); }
    // Appends a row, unchecked; the caption is column 0, sub-items follow.
    int AddRow(const QString& caption, const QStringList& subItems);
    void Clear();

    bool Checked(int row) const;
    void SetChecked(int row, bool checked);
    QString Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    QString ToolTip(int row, int column) const;
    void SetToolTip(int row, int column, const QString& text);

signals:
    // For every change of a row's selected state: the row losing the
    // selection first, then the row gaining it.
    void SelectItem(int row, bool selected);
    void MouseDown(Qt::MouseButton button, QPoint globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool clearing_ = false;
};

}  // namespace tessaro
