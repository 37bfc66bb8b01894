#pragma once

#include "cache/CachePageController.h"
#include "platform/core/Job.h"
#include "scan/MovieModel.h"
#include "web/WebPageController.h"

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
    // Busy: a command runs, so closing is refused and the cache list waits.
    bool IsBusy() const { return Busy; }
    void SetBusy(bool busy) { Busy = busy; }

    // The web page's state and jobs: the address strip, the page scan, the
    // movie reading and the downloads.
    TWebPageController* WebPage() const { return webPage_.get(); }

    // --- Lists (MainFormLists.cpp)
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
    void AddressListRead(const QStringList& addresses);
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

    // --- Cache page (MainFormCacheScan.cpp): the controller holds its state
    // and rules; the window shows what it says.
    TCachePageController* CachePage() const { return cachePage_.get(); }
    void StartCacheScan();

    // --- Cache folders from elsewhere (MainFormCacheFolders.cpp)
    void AddCacheFolder1Click();
    void RemoveCacheFolders1Click();

    // --- Transfer (MainFormTransfer.cpp)
    // The page whose checked rows go, once the user chose the folder; -1
    // when nothing is to be done (busy, nothing checked, no folder).
    int ChooseTransferFolder();
    void LbSpeedButton3Click();
    // "Save With Everything It Needs...": the active page's checked rows and
    // every file their movies load, under <folder>/<host>/<path>.
    void SaveWithNeeds1Click();
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

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Busy = false;
    // What the window works on between commands.
    std::string SaveFolder;
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
    QAction* SaveWithNeeds1 = nullptr;
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
    QAction* SaveWithNeeds2 = nullptr;

    TBrowseFolderDialog* BrowseFolderDialog = nullptr;

    void BuildControls();
    QWidget* BuildPreview(QWidget* parent);
    QWidget* BuildWebPage();
    QWidget* BuildCachePage();
    void WireControls();
    void BuildMenus();
    void BuildPopupMenu();
    void WireMenus();
    void WireHoverColours(TLbSpeedButton* button);
    // Connects the web page's controller to the status bar, the actions,
    // the address strip and the player (MainFormPageScan.cpp).
    void WireWebPage();
    // The snapshot of the page in view, scanned by the web page's controller.
    void ScanPageSnapshot(bool grow);

    std::unique_ptr<TWebPageController> webPage_;
    void WireCachePage();
    // What both page controllers say the same way: status, progress, the
    // transfer's state, rows to preview and errors.
    template <class Controller>
    void WireStatusOf(Controller* page);

    std::unique_ptr<TCachePageController> cachePage_;
    bool activatedOnce_ = false;
    bool closed_ = false;
};

}  // namespace tessaro
