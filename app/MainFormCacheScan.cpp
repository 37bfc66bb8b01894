// The cache page: the window shows what its controller says, and hands it
// the page switches and the window's Busy.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "app/ReportingSlot.h"
#include "platform/player/FlashControl.h"

namespace tessaro {

void TMainFrm::WireCachePage()
{
    TCachePageController* page = cachePage_.get();
    connect(page, &TCachePageController::BusyChanged, this, [this](bool busy) { Busy = busy; });
    connect(page, &TCachePageController::StatusText, this,
            [this](const QString& text) { SetStatusText(text.toStdString()); });
    connect(page, &TCachePageController::Progress, this, [this](int percent) { SetProgress(percent); });
    connect(page, &TCachePageController::StatusReset, this, [this] { ResetStatus(); });
    connect(page, &TCachePageController::TransferRunningChanged, this, [this] { UpdateStopTransfer(); });
    // Rows to preview: the player starts before the first is picked.
    connect(page, &TCachePageController::RowsToPreview, this, ReportingSlot([this] { ShockwaveFlash1->Prepare(); }));
    connect(page, &TCachePageController::PlayMovie, this,
            ReportingSlot([this](const QString& localPath) { ShockwaveFlash1->SetMovie(localPath); }));
    connect(page, &TCachePageController::ErrorToShow, this,
            [](const std::exception_ptr& error) { ShowErrorReport(error); });
}

void TMainFrm::StartCacheScan()
{
    cachePage_->StartListing();
}

}  // namespace tessaro
