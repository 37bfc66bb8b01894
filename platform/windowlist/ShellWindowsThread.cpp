#include "platform/windowlist/ShellWindowsThread.h"

namespace tessaro {

QStringList TShellWindowsThread::operator()(JobControl& job) const
{
    const ShellWindows windows(folders, job.CancelFlag());
    QStringList addresses;
    for (int i = 0; i < windows.Count(); ++i)
        addresses << windows.LocationURL(i);
    return addresses;
}

}  // namespace tessaro
