#pragma once

#include <QStringList>

#include "platform/core/WorkerThread.h"
#include "platform/windowlist/ShellWindows.h"

namespace tessaro {

// Reads the open-tab list (ShellWindows) off the UI thread: a session file
// may be tens of MiB. Created running; the addresses are read in the end
// handler. A list that cannot be read leaves Addresses() empty and the reason
// in FatalException().
class TShellWindowsThread : public TThread {
public:
    TShellWindowsThread(QObject* receiver, BrowserFolders folders);

    // Every tab's address in ShellWindows order, unread ones empty.
    const QStringList& Addresses() const { return addresses_; }

protected:
    ~TShellWindowsThread() override = default;
    void Execute() override;

private:
    const BrowserFolders folders_;
    QStringList addresses_;
};

}  // namespace tessaro
