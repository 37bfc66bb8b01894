#include "scan/MovieModel.h"

#include <QSet>

#include <iterator>

namespace tessaro {

namespace {

const char* const kWebCaptions[] = {"Index", "Flash", "Status"};
const char* const kCacheCaptions[] = {"Index", "Flash", "Size", "Local Path"};
static_assert(std::size(kWebCaptions) == TMovieModel::kWebColumnCount);
static_assert(std::size(kCacheCaptions) == TMovieModel::kCacheColumnCount);

QVariant TextOrNothing(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

// The Flash cell's tooltip: what reading the movie told, then what it needs.
QString MovieToolTip(const TMovieRow& row)
{
    const QString needs = NeedsLine(row.needs);
    if (needs.isEmpty() || row.details.isEmpty())
        return row.details + needs;
    return row.details + QLatin1Char('\n') + needs;
}

}  // namespace

TMovieModel::TMovieModel(TKind kind, QObject* parent) : QAbstractTableModel(parent), kind_(kind)
{
}

int TMovieModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(found_.Size() - firstShown_);
}

int TMovieModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return kind_ == TKind::Web ? int(kWebColumnCount) : int(kCacheColumnCount);
}

QVariant TMovieModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TMovieRow& row = Row(index.row());
    const int column = index.column();
    if (role == Qt::CheckStateRole)
        return column == 0 ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    if (kind_ == TKind::Web) {
        if (role == Qt::DisplayRole) {
            switch (column) {
                case kWebIndex:
                    return QString::number(index.row() + 1);
                case kWebFlash:
                    return row.address;
                case kWebStatus:
                    return row.status;
            }
        }
        if (role == Qt::ToolTipRole)
            return TextOrNothing(column == kWebFlash    ? MovieToolTip(row)
                                 : column == kWebStatus ? row.statusReason
                                                        : QString());
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (column) {
            case kCacheIndex:
                return row.cacheNumber;
            case kCacheFlash:
                return row.fileName;
            case kCacheSize:
                return row.size;
            case kCacheLocalPath:
                return row.localPath;
        }
    }
    if (role == Qt::ToolTipRole && column == kCacheFlash)
        return TextOrNothing(MovieToolTip(row));
    return {};
}

QVariant TMovieModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kind_ == TKind::Web ? kWebCaptions[section] : kCacheCaptions[section]);
}

Qt::ItemFlags TMovieModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == 0 ? flags | Qt::ItemIsUserCheckable : flags;
}

bool TMovieModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0 ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    SetChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

int TMovieModel::RowOf(const QString& address) const
{
    const std::optional<qsizetype> at = found_.Find(address);
    return at && *at >= firstShown_ ? static_cast<int>(*at - firstShown_) : -1;
}

bool TMovieModel::AnyChecked() const
{
    for (qsizetype i = firstShown_; i < found_.Size(); ++i)
        if (found_.At(i).checked)
            return true;
    return false;
}

void TMovieModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= RowCount() || Row(row).checked == checked)
        return;
    found_.Edit(firstShown_ + row).checked = checked;
    ChangeRow(row, 0, Qt::CheckStateRole);
    emit CheckChanged(row, checked);
}

void TMovieModel::CheckAll(bool checked)
{
    for (int row = 0; row < RowCount(); ++row)
        SetChecked(row, checked);
}

void TMovieModel::SetStatus(int row, const QString& status)
{
    if (row < 0 || row >= RowCount() || Row(row).status == status)
        return;
    found_.Edit(firstShown_ + row).status = status;
    ChangeRow(row, kWebStatus, Qt::DisplayRole);
}

void TMovieModel::SetStatusReason(int row, const QString& reason)
{
    if (row < 0 || row >= RowCount())
        return;
    found_.Edit(firstShown_ + row).statusReason = reason;
    ChangeRow(row, kWebStatus, Qt::ToolTipRole);
}

void TMovieModel::SetRead(int row, const QString& details, TKeptBytes kept)
{
    if (row < 0 || row >= RowCount())
        return;
    TMovieRow& changed = found_.Edit(firstShown_ + row);
    changed.details = details;
    changed.kept = std::move(kept);
    ChangeRow(row, kWebFlash, Qt::ToolTipRole);
}

void TMovieModel::SetNeeds(int row, QList<TNeededFile> needs)
{
    if (row < 0 || row >= RowCount())
        return;
    found_.Edit(firstShown_ + row).needs = std::move(needs);
    ChangeRow(row, kind_ == TKind::Web ? int(kWebFlash) : int(kCacheFlash), Qt::ToolTipRole);
}

void TMovieModel::ForgetKept()
{
    for (qsizetype i = 0; i < found_.Size(); ++i)
        found_.Edit(i).kept.reset();
}

void TMovieModel::Replace(TMovieRows rows)
{
    beginResetModel();
    found_ = std::move(rows);
    firstShown_ = 0;
    endResetModel();
}

TMovieModel::TAppended TMovieModel::Append(const QList<TMovieRow>& rows)
{
    // The views learn the count before the rows come: they are sorted out first.
    TAppended appended;
    QList<const TMovieRow*> taken;
    QSet<QString> folded;
    for (const TMovieRow& row : rows) {
        if (!row.address.isEmpty()) {
            const QString key = row.address.toCaseFolded();
            if (found_.Find(row.address) || folded.contains(key))
                continue;
            if (found_.Size() + taken.size() >= kMaxPageRows) {
                appended.full = true;
                break;
            }
            folded.insert(key);
        }
        taken.append(&row);
    }
    if (taken.isEmpty())
        return appended;
    const int first = RowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(taken.size()) - 1);
    for (const TMovieRow* row : taken)
        found_.Append(*row);
    endInsertRows();
    appended.count = taken.size();
    return appended;
}

void TMovieModel::ClearList()
{
    if (RowCount() == 0)
        return;
    beginRemoveRows(QModelIndex(), 0, RowCount() - 1);
    if (kind_ == TKind::Web) {
        firstShown_ = found_.Size();
    } else {
        found_ = TMovieRows();
        firstShown_ = 0;
    }
    endRemoveRows();
}

qsizetype TMovieModel::Remove(const std::function<bool(const TMovieRow&)>& pred)
{
    qsizetype removed = 0;
    int firstRenumbered = -1;
    // Rows go a run at a time from the last, so that every other row keeps
    // its selection; a run stays on one side of the first listed row, as
    // rows off the list are no view's business.
    for (qsizetype end = found_.Size(); end > 0;) {
        if (!pred(found_.At(end - 1))) {
            --end;
            continue;
        }
        const qsizetype floor = end > firstShown_ ? firstShown_ : 0;
        qsizetype start = end - 1;
        while (start > floor && pred(found_.At(start - 1)))
            --start;
        if (start >= firstShown_) {
            beginRemoveRows(QModelIndex(), static_cast<int>(start - firstShown_),
                            static_cast<int>(end - 1 - firstShown_));
            found_.Remove(start, end - start);
            endRemoveRows();
            firstRenumbered = static_cast<int>(start - firstShown_);
        } else {
            found_.Remove(start, end - start);
            firstShown_ -= end - start;
        }
        removed += end - start;
        end = start;
    }
    if (kind_ == TKind::Web && firstRenumbered >= 0 && firstRenumbered < RowCount())
        emit dataChanged(index(firstRenumbered, kWebIndex), index(RowCount() - 1, kWebIndex), {Qt::DisplayRole});
    return removed;
}

void TMovieModel::TakeGuessesFrom(const TMovieRows& scanned, qsizetype count)
{
    for (qsizetype i = 0; i < count && i < scanned.Size(); ++i) {
        if (scanned.At(i).guess)
            continue;
        if (const std::optional<qsizetype> at = found_.Find(scanned.At(i).address))
            found_.Edit(*at).guess = false;
    }
}

void TMovieModel::ChangeRow(int row, int column, int role)
{
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {role});
}

}  // namespace tessaro
