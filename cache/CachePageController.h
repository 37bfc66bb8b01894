#pragma once

#include "download/SaveWithNeeds.h"
#include "platform/cachewalk/UrlCache.h"
#include "platform/core/Job.h"
#include "scan/MovieModel.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <filesystem>
#include <string>

namespace tessaro {

struct TCacheCopyResult;

// The cache page: the list of cached movies, the walk that fills it, the
// folders added to that walk and the copy of checked rows into a folder.
// It holds no widget; the window hands it what the user did and shows what
// its signals say. `busy` arguments are the window's Busy as it stands: the
// rules of the page depend on it, but it stays the window's, set from
// BusyChanged and StatusReset.
class TCachePageController : public QObject {
    Q_OBJECT
public:
    explicit TCachePageController(QObject* parent = nullptr);
    // Stops and joins the walk and the copy.
    ~TCachePageController() override;

    // The rows ListView2 shows.
    TMovieModel* Movies() const { return movies_; }

    // What the walk reads; unset: the user's caches, then the added folders.
    void SetCacheOpener(UrlCacheOpener opener) { opener_ = std::move(opener); }

    // The page came into view or went. In view with an empty list and
    // nothing busy, the caches are listed.
    void SetPageShown(bool shown, bool busy);
    // Starts the walk; its rows are appended as found.
    void StartListing();
    bool Listing() const { return walk_ != nullptr; }

    // Empties the list so it is listed again: at once when the page is
    // shown, else at the next switch to it. While the caches are being
    // listed, when that ends; nothing while a transfer runs.
    void ListAgain(bool busy);
    // "Add Cache Folder...": the folder the user chose, kept and listed.
    void AddFolder(const std::filesystem::path& folder, bool busy);
    // "Remove Cache Folders": nothing when none was added.
    void RemoveFolders(bool busy);

    // Copies the Local Path of every checked row, in row order, into folder.
    void CopyCheckedRows(const std::string& folder);
    // Copies files into folder; the list is kept as CopyList().
    void StartCopy(const std::string& folder, const QStringList& files);
    // Asks the copy or the save to end; its end comes as for any other.
    void StopCopy()
    {
        copy_.Cancel();
        save_.Cancel();
    }
    // A copy, or a save with everything the movies need.
    bool Copying() const { return copy_ != nullptr || save_ != nullptr; }

    // Saves the checked rows and every file they need that the cache page
    // holds into folder; false when no row is checked.
    bool StartSaveWithNeeds(const QString& folder);
    // The copies of the movies listed, by the case-folded address they were
    // cached for.
    QHash<QString, QString> CachedCopies() const;
    // The paths the last copy was handed.
    const QStringList& CopyList() const { return copyList_; }

    // A row was picked: its cached file is played.
    void SelectRow(int row);

    // The window closes: the rows and the copy list go.
    void ForgetRows();
    // The window's end asks every job of both pages to end before it joins
    // any, so they wind down side by side.
    void CancelJobs();
    void StopJobs();

signals:
    void BusyChanged(bool busy);
    void StatusText(const QString& text);
    void Progress(int percent);
    // Progress 0, "Done" and Busy cleared: the end of a copy.
    void StatusReset();
    // A copy started or ended: Stop Transfer follows it.
    void TransferRunningChanged(bool running);
    // The listing ended with rows: the player may start now.
    void RowsToPreview();
    void PlayMovie(const QString& localPath);
    // What a copy threw, for the error report.
    void ErrorToShow(const std::exception_ptr& error);

private:
    void ListNow();
    void CacheScanFinished(const std::exception_ptr& error);
    void CopyFinished(const JobEnd<TCacheCopyResult>& end);
    void SaveFinished(const JobEnd<TSaveOutcome>& end);

    TMovieModel* movies_;
    UrlCacheOpener opener_;
    Job walk_;
    Job copy_;
    Job save_;
    QStringList copyList_;
    bool shown_ = false;
    // Set when the added folders change while the caches are listed.
    bool listAgain_ = false;
};

}  // namespace tessaro
