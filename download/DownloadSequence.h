#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include <string>

namespace tessaro {

// Status texts a download writes into its row.
inline constexpr const char* kStatusSaved = "Saved";
inline constexpr const char* kStatusFailed = "Failed";

// The web movie list as the transfer command sees it: rows with a check box,
// an address and a status text. The web page adapts its movie model to this.
class DownloadRows {
public:
    virtual ~DownloadRows() = default;
    virtual int RowCount() const = 0;
    virtual bool Checked(int row) const = 0;
    // The address as the row holds it: what names the row and its file.
    virtual QString Address(int row) const = 0;
    // The same address parsed, as the row made it once: what is fetched.
    virtual QUrl Url(int row) const = 0;
    virtual std::string Status(int row) const = 0;
    virtual void SetStatus(int row, const std::string& status) = 0;
};

struct PickedDownload {
    int Row = -1;
    QString Address;  // the row's text, which its row is found by again
    QUrl Url;
    std::string Target;
};

// The rows one transfer command downloads, one after another. The list is
// read afresh at every step, so a row checked meanwhile is taken when its turn
// comes and a row unchecked before its turn is left out. Each row is tried at
// most once per command: a failed row is marked "Failed", stays checked and
// the sequence goes on.
class DownloadSequence {
public:
    // A new command: every pending row may be tried again.
    void Begin() { tried_.clear(); }

    // The first checked row that is neither "Saved" nor tried yet by this
    // command. A row whose address gives no target file is marked "Failed"
    // on the way and passed over. Nothing left gives Row -1.
    PickedDownload PickNext(DownloadRows& rows, const std::string& saveFolder);

    // Marks the row of a finished download "Saved" or "Failed", but only
    // while it still holds the address that was downloaded: the list may have
    // been cleared or rebuilt during the download.
    static void MarkFinished(DownloadRows& rows, const PickedDownload& finished, bool saved);

private:
    QSet<QString> tried_;
};

}  // namespace tessaro
