#pragma once

#include "scan/MovieNeeds.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessaro {

// Rows of one page, its frames and the movies read from it, together.
inline constexpr qsizetype kMaxPageRows = 10000;
// UTF-16 units of one row's address; a longer one is no movie's address,
// and would make rows cost what a hostile page likes.
inline constexpr qsizetype kMaxRowAddress = 8 * 1024;

// Status texts of a web row that the lists write; a download writes the
// others (download/DownloadSequence.h).
inline const QString kStatusNew = QStringLiteral("New");
inline const QString kStatusPreview = QStringLiteral("Preview");

// A movie's bytes as read after the scan, shared with the store that read
// them: the preview and the download of its row use them instead of asking
// the server again.
using TKeptBytes = std::shared_ptr<const std::string>;

enum class TFoundIn {
    Page,   // the page's markup or text, its frames
    Movie,  // a movie read after the scan named it
    Cache,  // a browser's cache holds a copy
};

// One found movie: everything the program knows of it, in one place. A web
// row is known by its address, and made by WebMovieRow, which parses it; a
// cache row is known by its copy's file.
struct TMovieRow {
    // A web row's absolute address, the text the page gave: what is shown,
    // saved as and matched by (ignoring case). Empty for a cache row.
    QString address;
    // The same address as HttpAddress() parses it, once, when the row is
    // made: what is fetched and played.
    QUrl url;
    TFoundIn foundIn = TFoundIn::Page;
    // Only text named it (a script string, flashvars, a noscript fallback):
    // a guess, which may name nothing that exists.
    bool guess = false;
    bool checked = false;
    QString status = kStatusNew;
    QString statusReason;  // why the last transfer of the row ended as it did
    QString details;       // what reading the movie told of it
    TKeptBytes kept;
    // The files the movie loads: named by it or by the movies it loads, or
    // asked for by the player while it played.
    QList<TNeededFile> needs;

    // A cache row's texts as the walk gave them.
    QString cacheNumber;  // how many movies the walk had found with this one
    QString fileName;     // the file-name part of the copy's path
    QString size;         // the entry's size in bytes
    QString localPath;    // the copy: what is played and copied
    QUrl cachedFrom;      // the address the cache kept it for, when it knows
    // A cache row recorded in a web archive: the archive's file, where the
    // files the movie loads are looked for first.
    QString sourceArchive;

    // Where the movie is: the address, or a cache row's copy.
    QUrl Url() const { return address.isEmpty() ? QUrl::fromLocalFile(localPath) : url; }
};

// A web row for an absolute address, its url parsed from it.
TMovieRow WebMovieRow(const QString& address, TFoundIn foundIn = TFoundIn::Page);

// The rows of one list, in the order they came, with a lookup of web rows by
// address ignoring case (case folding, as QString compares without case).
// A plain value: a scan off the window's thread fills its own copy.
class TMovieRows {
public:
    qsizetype Size() const { return rows_.size(); }
    bool IsEmpty() const { return rows_.isEmpty(); }
    const TMovieRow& At(qsizetype index) const { return rows_.at(index); }
    // For anything but the address, which is the row's key.
    TMovieRow& Edit(qsizetype index) { return rows_[index]; }
    QList<TMovieRow>::const_iterator begin() const { return rows_.cbegin(); }
    QList<TMovieRow>::const_iterator end() const { return rows_.cend(); }

    // Where the web row equal to address ignoring case stands.
    std::optional<qsizetype> Find(const QString& address) const;
    // Appends a row unless it is a web row whose address a row holds already
    // (ignoring case: the spelling listed first stays); whether it was.
    bool Append(TMovieRow row);
    // Takes off the rows pred holds for; how many went.
    qsizetype RemoveIf(const std::function<bool(const TMovieRow&)>& pred);
    // Takes off count rows from the given place on.
    void Remove(qsizetype from, qsizetype count);

    const QList<TMovieRow>& List() const { return rows_; }
    QStringList Addresses() const;
    // Web rows for the addresses, in order, each once ignoring case.
    static TMovieRows OfAddresses(const QStringList& addresses, TFoundIn foundIn = TFoundIn::Page);

private:
    void Reindex() const;

    QList<TMovieRow> rows_;
    // Web rows' case-folded addresses to their places; made again at the
    // first lookup after rows were taken off, so that taking off many runs
    // of rows costs one pass.
    mutable QHash<QString, qsizetype> folded_;
    mutable bool stale_ = false;
};

}  // namespace tessaro
