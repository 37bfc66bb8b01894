// The address strip: the list of open browser tabs and the GO command.

#include <QComboBox>

#include <optional>
#include <string>

#include "app/MirkMainForm.h"
#include "platform/windowlist/ShellWindows.h"
#include "platform/browser/WebBrowser.h"
#include "scan/AddressList.h"

namespace tessaro {

void TMainFrm::RefreshAddressList()
{
    // Reading the list may throw; the combo box is only cleared once it is read.
    const ShellWindows windows;
    const int count = windows.Count();
    UrlComBox->clear();
    for (int i = 0; i < count; ++i) {
        const QString address = windows.LocationURL(i);
        if (IsListedWindowAddress(address.toStdString()))
            UrlComBox->addItem(address);
    }
    UrlComBox->setCurrentIndex(UrlComBox->count() - 1);
    UrlComBox->setEditText(UrlComBox->count() > 0 ? UrlComBox->itemText(UrlComBox->count() - 1) : QString());
}

void TMainFrm::LbSpeedButton5Click()
{
    RefreshAddressList();
}

void TMainFrm::LbSpeedButton6Click()
{
    if (Busy)
        return;
    const QString address = UrlComBox->currentText();
    const std::optional<std::string> status = OpeningStatusText(address.toStdString());
    if (!status)
        return;
    SetStatusText(*status);
    WebBrowser1->Navigate(address);
}

void TMainFrm::UrlComBoxKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        LbSpeedButton6Click();
}

}  // namespace tessaro
