#include "download/DownloadSequence.h"

#include "download/DownloadTarget.h"

namespace tessaro {

PickedDownload DownloadSequence::PickNext(DownloadRows& rows, const std::string& saveFolder)
{
    for (int row = 0; row < rows.RowCount(); ++row) {
        if (!rows.Checked(row) || rows.Status(row) == kStatusSaved)
            continue;
        // Addresses are unique within the list, so they name rows across a
        // rebuild of the list where indices would not.
        const QString address = rows.Address(row);
        if (tried_.contains(address))
            continue;
        tried_.insert(address);
        const std::string target = DownloadTargetName(address.toStdString(), saveFolder);
        if (target.empty()) {
            rows.SetStatus(row, kStatusFailed);
            continue;
        }
        return PickedDownload{row, address, rows.Url(row), target};
    }
    return {};
}

void DownloadSequence::MarkFinished(DownloadRows& rows, const PickedDownload& finished, bool saved)
{
    if (finished.Row < 0 || finished.Row >= rows.RowCount() || rows.Address(finished.Row) != finished.Address)
        return;
    rows.SetStatus(finished.Row, saved ? kStatusSaved : kStatusFailed);
}

}  // namespace tessaro
