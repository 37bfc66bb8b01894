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
    WireStatusOf(page);
    connect(page, &TCachePageController::PlayMovie, this,
            ReportingSlot([this](const QString& localPath) { ShockwaveFlash1->SetMovie(localPath); }));
}

void TMainFrm::StartCacheScan()
{
    cachePage_->StartListing();
}

}  // namespace tessaro
