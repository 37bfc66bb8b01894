#pragma once

#include "platform/core/Job.h"
#include "platform/windowlist/ShellWindows.h"

#include <QStringList>

namespace tessaro {

// Reads the open-tab list (ShellWindows) as a job, off the UI thread: a
// session file may be tens of MiB. Gives every tab's address in ShellWindows
// order, unread ones empty; a list that cannot be read throws, and the job's
// end carries the reason.
struct TShellWindowsThread {
    QStringList operator()(JobControl& job) const;

    BrowserFolders folders;
};

}  // namespace tessaro
