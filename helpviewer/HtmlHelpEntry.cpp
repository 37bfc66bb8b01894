// The viewer library's one entry point, looked up by name by the program.

#include "helpviewer/HelpWindow.h"
#include "helpviewer/HtmlHelpApi.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <vector>

namespace tessaro {

namespace {

// Every help window this library opened and that still exists.
std::vector<QPointer<HelpWindow>>& OpenWindows()
{
    static std::vector<QPointer<HelpWindow>> windows;
    return windows;
}

HelpWindowHandle ShowContents(HelpWindowHandle caller, const char* file)
{
    if (file == nullptr || *file == '\0')
        return 0;
    const QString path = QFileInfo(QFile::decodeName(file)).absoluteFilePath();

    auto& windows = OpenWindows();
    std::erase_if(windows, [](const QPointer<HelpWindow>& w) { return w.isNull(); });
    // One window per help file: asking again brings it forward.
    for (const QPointer<HelpWindow>& window : windows) {
        if (window->HelpFile() == path) {
            window->showNormal();
            window->raise();
            window->activateWindow();
            return window->winId();
        }
    }

    // Owned by the caller's window, so it goes when that window goes.
    QWidget* owner = caller != 0 ? QWidget::find(static_cast<WId>(caller)) : nullptr;
    auto* window = new HelpWindow(path, owner != nullptr ? owner->window() : nullptr);
    windows.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
    return window->winId();
}

void CloseAllWindows()
{
    auto& windows = OpenWindows();
    // Deleted now, not later: the caller may be shutting down.
    std::vector<QPointer<HelpWindow>> closing;
    closing.swap(windows);
    for (const QPointer<HelpWindow>& window : closing)
        delete window.data();
}

}  // namespace

}  // namespace tessaro

extern "C" __attribute__((visibility("default"))) tessaro::HelpWindowHandle HtmlHelpA(tessaro::HelpWindowHandle window,
                                                                                      const char* file,
                                                                                      std::uint32_t command,
                                                                                      std::uint32_t /*data*/)
{
    // Windows need a widget application and its thread.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return 0;
    try {
        switch (command) {
            case tessaro::HH_DISPLAY_TOC:
                return tessaro::ShowContents(window, file);
            case tessaro::HH_CLOSE_ALL:
                tessaro::CloseAllWindows();
                return 0;
            default:
                return 0;
        }
    } catch (...) {
        // Nothing may cross back into the caller.
        return 0;
    }
}
