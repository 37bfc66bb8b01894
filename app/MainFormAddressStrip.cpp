// The address strip: the list of open browser tabs and the GO command.

#include <QComboBox>

#include <optional>
#include <string>

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "platform/windowlist/ShellWindowsThread.h"
#include "platform/browser/WebBrowser.h"
#include "scan/AddressList.h"

namespace tessaro {

void TMainFrm::RefreshAddressList()
{
    // Without a home folder nothing can be listed: refused at once. The
    // session files are read by a worker; the combo box changes only once
    // they are read.
    BrowserFolders folders = BrowserFolders::OfCurrentUser();
    if (AddressListThread) {
        addressListAgain_ = true;  // what it reads may already be out of date
        return;
    }
    AddressListThread = MakeWorker<TShellWindowsThread>(this, std::move(folders));
    AddressListThread->OnTerminate = [this](TThread*) { AddressListRead(); };
}

void TMainFrm::AddressListRead()
{
    // Frees the worker when this returns.
    const WorkerHandle<TShellWindowsThread> worker = std::move(AddressListThread);
    if (!worker)
        return;
    if (addressListAgain_) {
        addressListAgain_ = false;
        CallReportingErrors([this] {
            RefreshAddressList();
            return true;
        });
        return;
    }
    if (const std::exception_ptr error = worker->FatalException()) {
        ShowErrorReport(error);  // the combo box stays as it was
        return;
    }
    UrlComBox->clear();
    for (const QString& address : worker->Addresses()) {
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
