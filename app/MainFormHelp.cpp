// Help contents, home page and about box.

#include "app/MirkMainForm.h"
#include "app/ReportingSlot.h"
#include "dialogs/AboutDlg.h"
#include "help/HelpFile.h"
#include "help/HtmlHlp.h"
#include "platform/widgets/DesktopServices.h"

#include <QKeySequence>
#include <QShortcut>

namespace tessaro {

namespace {

// The project's own page; example.org is reserved, so the address can never
// lead a user to somebody else's site.
constexpr const char* kHomePage = "http://tessaro.example.org/";

}  // namespace

void TMainFrm::Content1Click()
{
    ApplicationHelp(0, 0);
}

void TMainFrm::WebPage1Click()
{
    OpenWithDesktop(kHomePage);
}

void TMainFrm::About1Click()
{
    // A fresh box each time, owned by the application rather than the window.
    TAboutBox AboutBox;
    AboutBox.exec();
}

// Returns the "call help" flag: always false, so nothing else handles the
// request after this hook. Only the contents request (0, 0) shows anything.
bool TMainFrm::ApplicationHelp(int command, long data)
{
    if (command == 0 && data == 0)
        HtmlHelp(static_cast<HelpWindowHandle>(winId()), HelpFile().c_str(), HH_DISPLAY_TOC, 0);
    return false;
}

void TMainFrm::InstallHelpHook()
{
    // F1 asks for the help contents from anywhere in the window.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    help->setObjectName(QStringLiteral("HelpShortcut"));
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, ReportingSlot([this] { ApplicationHelp(0, 0); }));
}

}  // namespace tessaro
