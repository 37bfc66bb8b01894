// The address strip: the list of open browser tabs and the GO command.

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/windowlist/ShellWindowsThread.h"
#include "scan/AddressList.h"

#include <QComboBox>

#include <optional>
#include <string>

namespace tessaro {

void TMainFrm::RefreshAddressList()
{
    // Without a home folder nothing can be listed: refused at once. The
    // session files are read by a worker; the combo box changes only once
    // they are read.
    BrowserFolders folders = BrowserFolders::OfCurrentUser();
    if (AddressListThread != nullptr) {
        addressListAgain_ = true;  // what it reads may already be out of date
        return;
    }
    AddressListThread = Job::Start(this, TShellWindowsThread{std::move(folders)},
                                   [this](const JobEnd<QStringList>& end) { AddressListRead(end); });
}

void TMainFrm::AddressListRead(const JobEnd<QStringList>& end)
{
    const Job read = std::move(AddressListThread);
    if (addressListAgain_) {
        addressListAgain_ = false;
        CallReportingErrors([this] {
            RefreshAddressList();
            return true;
        });
        return;
    }
    if (end.error) {
        ShowErrorReport(end.error);  // the combo box stays as it was
        return;
    }
    UrlComBox->clear();
    for (const QString& address : end.value) {
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
    StopReadingMovies(true);
    SetStatusText(*status);
    WebBrowser1->Navigate(address);
}

void TMainFrm::UrlComBoxKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        LbSpeedButton6Click();
}

}  // namespace tessaro
