// The transfer command: downloads the checked web rows or copies the checked
// cache rows into a folder the user picks.

#include "app/MirkMainForm.h"

namespace tessaro {

void TMainFrm::LbSpeedButton3Click()
{
}

void TMainFrm::PickNextDownload()
{
}

std::string TMainFrm::DownloadTargetName(const std::string&) const
{
    return {};
}

void TMainFrm::StartDownload(const std::string&)
{
}

void TMainFrm::DownloadFinished(TThread*)
{
}

}  // namespace tessaro
