#include "platform/windowlist/ShellWindowsThread.h"

namespace tessaro {

TShellWindowsThread::TShellWindowsThread(QObject* receiver, BrowserFolders folders)
    : TThread(receiver), folders_(std::move(folders))
{
    Start();
}

void TShellWindowsThread::Execute()
{
    const ShellWindows windows(folders_);
    QStringList addresses;
    for (int i = 0; i < windows.Count(); ++i)
        addresses << windows.LocationURL(i);
    addresses_ = std::move(addresses);
}

}  // namespace tessaro
