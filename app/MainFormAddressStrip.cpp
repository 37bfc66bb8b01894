// The address strip: the list of open browser tabs and the GO command.

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"

#include <QComboBox>

namespace tessaro {

void TMainFrm::RefreshAddressList()
{
    webPage_->RefreshAddressList();
}

void TMainFrm::AddressListRead(const QStringList& addresses)
{
    UrlComBox->clear();
    UrlComBox->addItems(addresses);
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
    if (webPage_->OpenAddress(address))
        WebBrowser1->Navigate(address);
}

void TMainFrm::UrlComBoxKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        LbSpeedButton6Click();
}

}  // namespace tessaro
