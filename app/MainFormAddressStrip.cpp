// The address strip: the list of open browser tabs and the GO command.

#include <QComboBox>

#include "app/MirkMainForm.h"

namespace tessaro {

void TMainFrm::RefreshAddressList()
{
}

void TMainFrm::LbSpeedButton5Click()
{
    RefreshAddressList();
}

void TMainFrm::LbSpeedButton6Click()
{
}

void TMainFrm::UrlComBoxKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        LbSpeedButton6Click();
}

}  // namespace tessaro
