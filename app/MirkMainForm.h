#pragma once

#include "cache/CachePageController.h"
#include "download/DownloadSequence.h"
#include "platform/core/Job.h"
#include "scan/MovieModel.h"
#include "scan/MovieReadingRun.h"

#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QFrame;
class QKeyEvent;
class QMenu;
class QProgressBar;
class QTabWidget;

namespace tessaro {

class TBrowseFolderDialog;
struct DownloadOutcome;
struct TPageScanResult;
class TLbSpeedButton;
class TListView;
class TShockwaveFlash;
class TStatusBar;
class TWebBrowser;

// Indices of PageControl1's pages.
constexpr int kWebPage = 0;
constexpr int kCachePage = 1;

// The main window. Its handlers are spread over the MainForm*.cpp files of
// this folder, one file per concern; the rules they apply live in scan/,
// cache/, download/ and help/. It owns the jobs it starts: they report to it,
// and its destructor cancels every one, then joins them.
class TMainFrm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainFrm(QWidget* parent = nullptr);
    ~TMainFrm() override;

    // The folder chooser the transfer command shows; created after the window.
    void SetBrowseFolderDialog(TBrowseFolderDialog* dialog) { BrowseFolderDialog = dialog; }

    // --- Status (MirkMainForm.cpp)
    void SetStatusText(const std::string& text);
    void SetProgress(int percent);
    void ResetStatus();
    bool Busy = false;

    // --- Lists (MainFormLists.cpp)
    // A page scan's rows replace the web list's, each "New" and unchecked.
    void ShowFoundMovies(TMovieRows rows);
    // Appends the rows not listed yet, checked as a scan checks its rows
    // (only while the web page is in view), up to the page's cap; whether
    // one was left out at the cap.
    bool AppendFoundMovies(QList<TMovieRow> rows);
    void CheckAllRows(bool value);
    void ClearActiveList();
    void ListView1SelectItem(int row, bool selected);
    void ListView2SelectItem(int row, bool selected);
    void ListView1MouseDown(Qt::MouseButton button);
    void ListView2MouseDown(Qt::MouseButton button);

    // --- Address strip (MainFormAddressStrip.cpp)
    // Starts reading the open-tab list; the combo box fills when it is read.
    // Throws when the list cannot be read at all (no home folder).
    void RefreshAddressList();
    void AddressListRead(const JobEnd<QStringList>& end);
    void LbSpeedButton5Click();
    void LbSpeedButton6Click();
    void UrlComBoxKeyDown(int key);

    // --- Page scan (MainFormPageScan.cpp)
    void WebBrowser1DocumentComplete();
    // Elements added after the page completed: new movies are appended as
    // rows; the rows already there keep their status and check marks.
    void WebBrowser1ElementsAdded();
    // The Edit menu's "Thorough scan", remembered between runs.
    void LoadScanSettings();
    void ThoroughScan1Click(bool checked);
    // The scan of the last snapshot, running off the window's thread, one
    // at a time.
    Job PageScanTask;
    // Scans a snapshot off the window's thread, replacing a scan under way:
    // a page scan replaces the rows, a growth scan appends to them; cut: the
    // snapshot left part of the page out.
    void StartPageScan(const QByteArray& json, bool grow, bool cut = false);
    void PageScanEnded(std::uint64_t run, bool grow, const JobEnd<TPageScanResult>& end);
    void PageScanFinished(const TPageScanResult& result, bool grow);
    void CancelPageScan();

    // --- Movies inside movies (MainFormMovieReading.cpp)
    void StartReadingMovies(const QString& baseAddress, const TPlayerBases& playerBases = {});
    // forgetMovies: the next scan fetches every movie again, and the rows
    // keep no bytes of theirs.
    void StopReadingMovies(bool forgetMovies = false);
    void MovieReadingReport(std::uint64_t id, const TMovieReadingRun::TReport& report);
    // Takes the guesses whose addresses answered with no movie off the list,
    // unless a transfer runs (its rows keep their places until it ends);
    // the number taken off, or nothing when that waits for the transfer.
    std::optional<int> TakeOffGuessesWithoutMovie(std::uint64_t id);

    // --- Cache page (MainFormCacheScan.cpp): the controller holds its state
    // and rules; the window shows what it says.
    TCachePageController* CachePage() const { return cachePage_.get(); }
    void StartCacheScan();

    // --- Cache folders from elsewhere (MainFormCacheFolders.cpp)
    void AddCacheFolder1Click();
    void RemoveCacheFolders1Click();

    // --- Transfer (MainFormTransfer.cpp)
    void LbSpeedButton3Click();
    void PickNextDownload();
    void StartDownload(const std::string& statusPrefix);
    void DownloadFinished(const JobEnd<DownloadOutcome>& end);
    // Ends the running download or copy; rows not yet done stay as they are.
    void StopTransfer1Click();
    // Stop Transfer is offered only while a download or a copy runs.
    void UpdateStopTransfer();

    // --- Help and about (MainFormHelp.cpp)
    void Content1Click();
    void WebPage1Click();
    void About1Click();
    bool ApplicationHelp(int command, long data);
    // Routes the application's help request (F1) to ApplicationHelp.
    void InstallHelpHook();

    // --- Window events (MirkMainForm.cpp)
    void FormCreate();
    void FormActivate();
    void FormResize();
    void StatusBar1Resize();
    void PageControl1Change();
    bool FormCloseQuery();
    void FormClose();
    void Exit1Click();

    int ActivePage() const;

    // What the window works on between commands.
    std::string CurrentTarget;
    std::string CurrentUrl;
    std::string SaveFolder;
    int CurrentRow = -1;
    // The movies of the web page, shown by ListView1.
    TMovieModel* WebMovies = nullptr;
    Job HttpThread;
    // The rows one transfer command works through, each tried once.
    DownloadSequence Downloads;
    Job AddressListThread;
    // The movies fetched after the last page scan, the run reading them, and
    // the readers every run shares.
    std::shared_ptr<TMovieStore> MovieStore;
    std::shared_ptr<TMovieReaderPool> MovieReaders;
    std::unique_ptr<TMovieReadingRun> MovieReading;
    QProgressBar* ProgressBar = nullptr;
    int LastWidth = 0;

    // Controls.
    TStatusBar* StatusBar1 = nullptr;
    QFrame* Panel1 = nullptr;
    TLbSpeedButton* LbSpeedButton1 = nullptr;
    TLbSpeedButton* LbSpeedButton2 = nullptr;
    TLbSpeedButton* LbSpeedButton3 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel7 = nullptr;
    TShockwaveFlash* ShockwaveFlash1 = nullptr;
    QFrame* Panel9 = nullptr;
    QFrame* Panel3 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QFrame* Panel4 = nullptr;
    TLbSpeedButton* LbSpeedButton5 = nullptr;
    QComboBox* UrlComBox = nullptr;
    TLbSpeedButton* LbSpeedButton6 = nullptr;
    QFrame* Panel5 = nullptr;
    TListView* ListView1 = nullptr;
    QFrame* Panel6 = nullptr;
    TWebBrowser* WebBrowser1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QFrame* Panel8 = nullptr;
    TListView* ListView2 = nullptr;

    // Menus.
    QMenu* File1 = nullptr;
    QAction* Download1 = nullptr;
    QAction* CopyFlash1 = nullptr;
    QAction* StopTransfer1 = nullptr;
    QAction* AddCacheFolder1 = nullptr;
    QAction* RemoveCacheFolders1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Edit1 = nullptr;
    QAction* SelectAll1 = nullptr;
    QAction* DeselectAll1 = nullptr;
    QAction* ClearList1 = nullptr;
    QAction* ThoroughScan1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Content1 = nullptr;
    QAction* WebPage1 = nullptr;
    QAction* About1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* SelectAll2 = nullptr;
    QAction* DeselectAll2 = nullptr;
    QAction* Clear1 = nullptr;
    QAction* Download2 = nullptr;
    QAction* CopyFlash2 = nullptr;

    TBrowseFolderDialog* BrowseFolderDialog = nullptr;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void WireHoverColours(TLbSpeedButton* button);
    void WireCachePage();

    std::unique_ptr<TCachePageController> cachePage_;

    // Set when "Address :" asks while a read runs: the list is read again.
    bool addressListAgain_ = false;
    std::uint64_t movieReadingId_ = 0;
    QString movieStoreBase_;
    bool movieListFull_ = false;  // the run under way left names out
    // Guesses the run under way found to have no movie, taken off at its end.
    QSet<QString> guessesWithoutMovie_;
    // The run a rescan of the same page joined: it reads on, unheard.
    std::unique_ptr<TMovieReadingRun> joinedMovieReading_;
    // A page scan waits for its snapshot; a growth seen meanwhile is scanned
    // after it.
    bool pageScanPending_ = false;
    bool growAfterPageScan_ = false;
    // The page scan under way is this one; a scan asked for while it runs
    // waits here, the newest replacing an older one.
    std::uint64_t pageScanRun_ = 0;
    struct TWaitingPageScan {
        QByteArray json;
        bool grow = false;
        bool cut = false;
    };
    std::optional<TWaitingPageScan> waitingPageScan_;
    bool activatedOnce_ = false;
    // Set by Stop Transfer: the command takes no further row.
    bool transferStopped_ = false;
    bool closed_ = false;
};

}  // namespace tessaro
