#pragma once

#include "download/DownloadSequence.h"
#include "download/SaveWithNeeds.h"
#include "platform/core/Job.h"
#include "scan/MovieModel.h"
#include "scan/MovieReadingRun.h"
#include "scan/MovieStore.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessaro {

struct DownloadOutcome;
struct TPageScanResult;

// The page "Internet Flash Movies" without its widgets: the open-tab list of
// the address strip, the scan of the page's snapshots, the reading of the
// movies found and the downloads of the checked rows. It owns the page's
// movie model and every job of the page. The window hands it what its
// widgets give (a snapshot, the page's address, a chosen folder) and shows
// what the signals say. Its destructor cancels and joins its jobs.
class TWebPageController : public QObject {
    Q_OBJECT
public:
    // windowBusy: whether the window runs a command (a transfer or the cache
    // listing); the reading then keeps quiet and its take-off waits.
    // readsAtOnce: movies the reading fetches and reads at once, at most
    // TMovieReaderPool::kMaxReadsAtOnce.
    explicit TWebPageController(std::function<bool()> windowBusy, QObject* parent = nullptr,
                                int readsAtOnce = TMovieReaderPool::kMaxReadsAtOnce);
    ~TWebPageController() override;

    TMovieModel* Movies() const { return movies_; }
    // Rows appended later are checked only while the page is in view.
    void SetInView(bool inView) { inView_ = inView; }

    // --- Address strip
    // Starts reading the open-tab list; AddressListRead gives what it holds.
    // Throws when the list cannot be read at all (no home folder).
    void RefreshAddressList();
    bool AddressListRunning() const { return addressListJob_ != nullptr; }
    // The GO command: whether the browser is to open the address (the status
    // then says so, and what was read of the last page is forgotten).
    bool OpenAddress(const QString& address);

    // --- Thorough scan: Edit > "Thorough scan", remembered between runs.
    bool ThoroughScan() const { return thorough_; }
    // remember: kept for the next run (the menu's choice; a one-off run
    // leaves the user's choice alone).
    void SetThoroughScan(bool on, bool remember = true);

    // --- Page scan
    // The page completed; its snapshot is being taken.
    void PageCompleted();
    // The snapshot of a completed page failed: the rows stay, the status says why.
    void PageSnapshotFailed(const QString& why);
    // Elements were added to the page: whether to take a snapshot of it now.
    // One that waits for the page scan comes as GrowthToScan.
    bool GrowthWanted();
    // Scans a snapshot off the window's thread, replacing a scan under way:
    // a page scan replaces the rows, a growth scan appends to them; cut: the
    // snapshot left part of the page out. pageAddress: the page in view.
    void StartPageScan(const QByteArray& json, bool grow, bool cut, const QString& pageAddress);
    void CancelPageScan();
    bool PageScanRunning() const { return pageScanJob_ != nullptr; }

    // --- Lists
    // A page scan's rows replace the list's, each "New" and unchecked.
    void ShowFoundMovies(TMovieRows rows);
    // Appends the rows not listed yet, checked only while the page is in
    // view, up to the page's cap; whether one was left out at the cap.
    bool AppendFoundMovies(QList<TMovieRow> rows);
    // Clear list: the reads have no list to append to any more.
    void ClearList();
    // The row picked in the list: PreviewMovie plays it.
    void SelectRow(int row);

    // --- Movies inside movies
    void StartReadingMovies(const QString& baseAddress, const QString& pageAddress,
                            const TPlayerBases& playerBases = {});
    // forgetMovies: the next scan fetches every movie again, and the rows
    // keep no bytes of theirs.
    void StopReadingMovies(bool forgetMovies = false);
    bool MovieReadingRunning() const { return reading_ != nullptr; }
    // What the reading kept of the page's movies; null once forgotten.
    const TMovieStore* KeptMovies() const { return store_.get(); }

    // --- Downloads
    // Downloads the checked rows into saveFolder, one after another.
    void StartDownloads(const std::string& saveFolder);
    // Downloads one address into target, outside the sequence: no row is marked.
    void StartDownloadOf(const std::string& url, const std::string& target);
    // Ends the running download or save; rows not yet done stay as they are.
    void StopDownloads();
    // A download or a save with everything it needs.
    bool DownloadRunning() const { return downloadJob_ != nullptr || saveJob_ != nullptr; }

    // --- Save With Everything It Needs
    // Saves the checked rows and every file they need into folder, one job;
    // cached: the cache page's copies by case-folded address. False when no
    // web row is checked.
    bool StartSaveWithNeeds(const QString& folder, QHash<QString, QString> cached);
    bool SaveRunning() const { return saveJob_ != nullptr; }
    // Where the cache page's copies are, by case-folded address: a needed
    // file one of them holds is found.
    void SetCachedCopies(std::function<QHash<QString, QString>()> copies) { cachedCopies_ = std::move(copies); }
    // The player asked for location (an address or a local path) while the
    // movie of the row picked last played; recorded with that row's needs,
    // answered or not.
    void PlayerAsked(const QString& location, bool failed);

    // --- The window's end
    // Asks every job to end without waiting: the window's jobs wind down side by side.
    void CancelJobs();
    // Exit: every read ends and the list lets its rows go.
    void Close();

signals:
    void StatusText(const QString& text);
    void Progress(int percent);
    // Progress 0, "Done", and the window is no longer busy.
    void StatusReset();
    // A download starts: the window is busy until StatusReset.
    void DownloadStarted();
    void TransferRunningChanged(bool running);
    void ErrorToShow(const std::exception_ptr& error);
    // The open tabs' addresses the address strip lists.
    void AddressListRead(const QStringList& addresses);
    // The list got rows to preview: the player may start.
    void RowsToPreview();
    void PreviewMovie(const QUrl& address, const TKeptBytes& kept);
    // A page scan listed its rows: the window checks every row of the
    // page in view (Select All), whichever page that is.
    void PageRowsListed();
    // Elements added while the page scan ran are to be scanned now.
    void GrowthToScan();

private:
    // Status texts are made as bytes of ASCII here; the signal carries them as text.
    void Say(const std::string& text) { emit StatusText(QString::fromStdString(text)); }
    void AddressListEnded(const JobEnd<QStringList>& end);
    void PageScanFinished(const TPageScanResult& result, bool grow, const QString& pageAddress);
    void GrowthScanFinished(const TPageScanResult& result, const QString& pageAddress);
    // The rows of a rescan of the page read last: what the reading found of them.
    void ApplyKept(TMovieRows& movies, const QString& baseAddress) const;
    void MovieReadingReport(std::uint64_t id, const TMovieReadingRun::TReport& report);
    void MovieReadingFinished(std::uint64_t id);
    // Takes the guesses whose addresses answered with no movie off the list,
    // unless a transfer runs (its rows keep their places until it ends);
    // the number taken off, or nothing when that waits for the transfer.
    std::optional<int> TakeOffGuessesWithoutMovie(std::uint64_t id);
    // The reading speaks only while the window runs no command.
    bool Quiet() const { return windowBusy_ && windowBusy_(); }
    void PickNextDownload();
    void StartDownload(const std::string& statusPrefix);
    void DownloadFinished(const JobEnd<DownloadOutcome>& end);
    void SaveFinished(const JobEnd<TSaveOutcome>& end);
    // The needs of the movie at address as the reading knows them: its own
    // names, its loaded movies' in turn, the player's asks of its row.
    QList<TNeededFile> KnownNeeds(const QString& address, const QHash<QString, QString>& cached) const;
    void UpdateNeeds(const QStringList& addresses);

    std::function<bool()> windowBusy_;
    TMovieModel* movies_;
    bool inView_ = true;
    bool thorough_ = true;
    bool closed_ = false;

    Job addressListJob_;
    // Set when "Address :" asks while a read runs: the list is read again.
    bool addressListAgain_ = false;

    // The scan of the last snapshot, one at a time.
    Job pageScanJob_;
    // A page scan waits for its snapshot; a growth seen meanwhile is scanned after it.
    bool pageScanPending_ = false;
    bool growAfterPageScan_ = false;
    // The page scan under way is this one; a scan asked for while it runs
    // waits here, the newest replacing an older one.
    std::uint64_t pageScanRun_ = 0;
    struct TWaitingPageScan {
        QByteArray json;
        bool grow = false;
        bool cut = false;
        QString pageAddress;
    };
    std::optional<TWaitingPageScan> waitingPageScan_;

    // The movies fetched after the last page scan, the run reading them, and
    // the readers every run shares.
    std::shared_ptr<TMovieStore> store_;
    QString storeBase_;
    // Where each row's movie resolves its loads, and the page they came from.
    TPlayerBases playerBases_;
    QString pageAddress_;
    // What the player asked for while a row's movie played, by the row's
    // case-folded address; and what the last saves found of needed files.
    QHash<QString, QList<TNeededFile>> playerAsks_;
    QHash<QString, TNeedState> savedStates_;
    QString previewed_;  // the address of the row picked last
    std::function<QHash<QString, QString>()> cachedCopies_;
    std::shared_ptr<TMovieReaderPool> readers_;
    std::unique_ptr<TMovieReadingRun> reading_;
    // The run a rescan of the same page joined: it reads on, unheard.
    std::unique_ptr<TMovieReadingRun> joinedReading_;
    std::uint64_t readingId_ = 0;
    bool readingListFull_ = false;  // the run under way left names out
    // Guesses the run under way found to have no movie, taken off at its end.
    QSet<QString> guessesWithoutMovie_;

    // The rows one transfer command works through, each tried once.
    DownloadSequence downloads_;
    std::string saveFolder_;
    PickedDownload current_;
    Job downloadJob_;
    // Set by Stop Transfer: the command takes no further row.
    bool downloadsStopped_ = false;
    Job saveJob_;
};

}  // namespace tessaro
