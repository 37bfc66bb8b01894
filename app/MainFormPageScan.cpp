// The scan of a loaded page for Flash movies: the browser's snapshots go to
// the web page's controller, and what it says goes to the window's controls.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "app/ReportingSlot.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "platform/player/FlashControl.h"

#include <QAction>

namespace tessaro {

void TMainFrm::WireWebPage()
{
    TWebPageController* page = webPage_.get();
    WireStatusOf(page);
    connect(page, &TWebPageController::DownloadStarted, this, [this] { Busy = true; });
    connect(page, &TWebPageController::AddressListRead, this,
            [this](const QStringList& addresses) { AddressListRead(addresses); });
    connect(page, &TWebPageController::PreviewMovie, this, [this](const QUrl& address, const TKeptBytes& kept) {
        ShockwaveFlash1->SetMovie(address, kept, WebBrowser1->LocationURL());
    });
    page->SetCachedCopies([this] { return cachePage_ ? cachePage_->CachedCopies() : QHash<QString, QString>(); });
    // What a web movie asks for while it plays is what it needs.
    connect(ShockwaveFlash1, &TShockwaveFlash::MovieAsked, page, [this, page](const QString& location, bool failed) {
        if (ActivePage() == kWebPage)
            page->PlayerAsked(location, failed);
    });
    connect(page, &TWebPageController::PageRowsListed, this, [this] { CheckAllRows(true); });
    connect(page, &TWebPageController::GrowthToScan, this, ReportingSlot([this] { WebBrowser1ElementsAdded(); }));
    connect(WebBrowser1, &TWebBrowser::DocumentComplete, this,
            ReportingSlot([this] { WebBrowser1DocumentComplete(); }));
    connect(WebBrowser1, &TWebBrowser::ElementsAdded, this, ReportingSlot([this] { WebBrowser1ElementsAdded(); }));
}

void TMainFrm::LoadScanSettings()
{
    const bool thorough = webPage_->ThoroughScan();
    ThoroughScan1->setChecked(thorough);
    WebBrowser1->SetFlashPlayerPresented(thorough);
    WebBrowser1->Document()->SetReadsScriptFiles(thorough);
}

void TMainFrm::ThoroughScan1Click(bool checked)
{
    webPage_->SetThoroughScan(checked);
    // Pages loaded from now on see a Flash player, or none, and have their
    // script files read, or not.
    WebBrowser1->SetFlashPlayerPresented(checked);
    WebBrowser1->Document()->SetReadsScriptFiles(checked);
}

void TMainFrm::WebBrowser1DocumentComplete()
{
    // The snapshot comes back through the event loop, so the window stays
    // live while the page's frames answer. Every run scans from the top
    // document; a newer notification replaces a pending one.
    webPage_->PageCompleted();
    ScanPageSnapshot(false);
}

void TMainFrm::WebBrowser1ElementsAdded()
{
    // New movies are appended as rows; the rows already there keep their
    // status and check marks.
    if (webPage_->GrowthWanted())
        ScanPageSnapshot(true);
}

void TMainFrm::ScanPageSnapshot(bool grow)
{
    WebBrowser1->Document()->TakeSnapshot([this, grow](const TDocumentSnapshot& snapshot) {
        const QString page = WebBrowser1->LocationURL();
        if (snapshot.ok)
            webPage_->StartPageScan(snapshot.json, grow, snapshot.cut, page);
        else if (!grow)
            webPage_->PageSnapshotFailed(snapshot.error);
        // A growth that cannot be read adds nothing; the page's rows stand
        // and the user is not interrupted.
    });
}

}  // namespace tessaro
