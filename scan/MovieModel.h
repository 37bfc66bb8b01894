#pragma once

#include "scan/MovieRows.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <functional>

namespace tessaro {

// The movies of one page of the window, the only place a found movie is
// kept: the list view shows its rows, and the transfer command, the preview
// and the movie reading read and mark them here. Lives on the window's
// thread; scans fill TMovieRows of their own and hand them over.
class TMovieModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class TKind { Web, Cache };
    enum TWebColumn { kWebIndex, kWebFlash, kWebStatus, kWebColumnCount };
    enum TCacheColumn { kCacheIndex, kCacheFlash, kCacheSize, kCacheLocalPath, kCacheColumnCount };

    explicit TMovieModel(TKind kind, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The check box of column 0 is the only thing the view changes.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The rows listed, row 0 the first shown. A web row's Index is its place
    // in the list, counted from 1.
    int RowCount() const { return rowCount(); }
    const TMovieRow& Row(int row) const { return found_.At(firstShown_ + row); }
    // The listed row of a web address, ignoring case; -1 when none is.
    int RowOf(const QString& address) const;

    bool AnyChecked() const;
    void SetChecked(int row, bool checked);
    void CheckAll(bool checked);
    void SetStatus(int row, const QString& status);
    void SetStatusReason(int row, const QString& reason);
    // What reading the row's movie gave: its details and, when they were
    // kept, its bytes.
    void SetRead(int row, const QString& details, TKeptBytes kept);
    // The files the row's movie needs, as known now.
    void SetNeeds(int row, QList<TNeededFile> needs);
    // The preview and the download ask the servers again.
    void ForgetKept();

    // What the page's scans found: the rows listed, after those that the
    // list command took off the list since. Those stay the page's: no later
    // scan lists them again, and they count against kMaxPageRows.
    const TMovieRows& Found() const { return found_; }
    // A page scan's rows replace every row.
    void Replace(TMovieRows rows);
    struct TAppended {
        qsizetype count = 0;
        bool full = false;  // a web row was left out: the page holds kMaxPageRows
    };
    // Appends, in one go, the rows that are not found yet: a web row whose
    // address the page holds ignoring case is left out, and web rows stop
    // at kMaxPageRows.
    TAppended Append(const QList<TMovieRow>& rows);
    // The list command: the list shows no row. The web page keeps what it
    // found; the cache list keeps nothing.
    void ClearList();
    // Takes the found rows pred holds for off the page and the list; how
    // many went. Rows after them are numbered again.
    qsizetype Remove(const std::function<bool(const TMovieRow&)>& pred);
    // The first count rows of scanned are the page's rows a scan was given:
    // those it found in markup are no guesses now.
    void TakeGuessesFrom(const TMovieRows& scanned, qsizetype count);

signals:
    void CheckChanged(int row, bool checked);

private:
    void ChangeRow(int row, int column, int role);

    const TKind kind_;
    TMovieRows found_;
    qsizetype firstShown_ = 0;
};

}  // namespace tessaro
