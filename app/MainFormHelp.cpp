// Help contents, home page and about box.

#include "app/MirkMainForm.h"

namespace tessaro {

void TMainFrm::Content1Click()
{
}

void TMainFrm::WebPage1Click()
{
}

void TMainFrm::About1Click()
{
}

bool TMainFrm::ApplicationHelp(int, long)
{
    return false;
}

void TMainFrm::InstallHelpHook()
{
}

}  // namespace tessaro
