#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "help/HelpFile.h"
#include "help/HtmlHlp.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <cstdlib>
#include <gtest/gtest.h>

// Qt's own entry to the shortcut map, the one its test library uses to let a
// key press reach the shortcuts before the focused widget.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace tessaro {
namespace {

using test::WaitUntil;

// Stands in for the user's web browser: the desktop hands it what it would open.
class AddressRecorder : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { opened.append(url); }

public:
    QList<QUrl> opened;
};

// The main window of a fresh run: the help unit at its start values and the
// help file and viewer library the build put next to the test program.
class HelpMenu : public test::ShownWindow {
protected:
    void SetUp() override
    {
        UseOwnHome();
        QApplication::setQuitOnLastWindowClosed(false);
        ReleaseHtmlHelp();
        InitHtmlHelp();
        SetHelpFile((test::RuntimeDir() / "help.chm").string());
        loadsBefore = SharedLibraryLoadCalls();
        OpenWindow();
    }

    void TearDown() override
    {
        CloseWindow();
        ReleaseHtmlHelp();
    }

    int Loads() const { return SharedLibraryLoadCalls() - loadsBefore; }

    // Windows on screen other than the main window: help windows, message boxes.
    QList<QWidget*> OtherWindows() const
    {
        QList<QWidget*> found;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget != window.get())
                found.append(widget);
        return found;
    }

    QList<QWidget*> HelpWindows() const
    {
        QList<QWidget*> found;
        for (QWidget* widget : OtherWindows())
            if (widget->objectName() == QLatin1String("HelpWindow"))
                found.append(widget);
        return found;
    }

    // Runs `action`; a modal box it opens is noted and closed so the test goes on.
    bool OpensModalBox(const std::function<void()>& action)
    {
        bool modal = false;
        QTimer::singleShot(200, window.get(), [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                modal = true;
                box->close();
            }
        });
        action();
        WaitUntil([] { return false; }, 300);
        return modal;
    }

    int loadsBefore = 0;
};

TEST_F(HelpMenu, ContentTwiceLoadsTheViewerOnceAndShowsOneHelpWindow)
{
    Control<QAction>("Content1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return HelpWindows().size() == 1; }, 5000));
    Control<QAction>("Content1")->trigger();
    WaitUntil([] { return false; }, 200);

    EXPECT_EQ(Loads(), 1);
    ASSERT_EQ(HelpWindows().size(), 1);
    auto* contents = HelpWindows().front()->findChild<QTreeWidget*>(QStringLiteral("Contents"));
    ASSERT_NE(contents, nullptr);
    EXPECT_GT(contents->topLevelItemCount(), 0);
}

TEST_F(HelpMenu, WithoutTheViewerContentShowsNothingAndIsNotRetried)
{
    test::TempDir nowhere;
    ViewerLibraryName = (nowhere.path() / "libtessarohelp.so").string();

    EXPECT_FALSE(OpensModalBox([&] { Control<QAction>("Content1")->trigger(); }));
    EXPECT_FALSE(OpensModalBox([&] { Control<QAction>("Content1")->trigger(); }));

    EXPECT_EQ(Loads(), 1);
    EXPECT_TRUE(OtherWindows().isEmpty());
}

TEST_F(HelpMenu, OnlyTheContentsRequestShowsHelp)
{
    struct Request {
        const char* name;
        int command;
        long data;
    };
    for (const Request& request :
         {Request{"context", 1, 0}, Request{"contents with data", 0, 7}, Request{"negative data", 0, -1},
          Request{"close-all", 0x12, 0}, Request{"key", 0x0101, 0}}) {
        EXPECT_FALSE(window->ApplicationHelp(request.command, request.data)) << request.name;
        EXPECT_FALSE(ViewerLoadTried) << request.name;
    }
    EXPECT_EQ(Loads(), 0);
    EXPECT_TRUE(HelpWindows().isEmpty());

    EXPECT_FALSE(window->ApplicationHelp(0, 0));
    EXPECT_TRUE(WaitUntil([&] { return HelpWindows().size() == 1; }, 5000));
}

TEST_F(HelpMenu, F1ShowsTheHelpContents)
{
    QWidget* focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : window.get();
    ASSERT_TRUE(qt_sendShortcutOverrideEvent(focus, 0, Qt::Key_F1, Qt::NoModifier, QString(), false, 1));
    EXPECT_TRUE(WaitUntil([&] { return HelpWindows().size() == 1; }, 5000));
    EXPECT_EQ(Loads(), 1);
}

TEST_F(HelpMenu, ClosingWithoutHelpLoadsNothing)
{
    ASSERT_TRUE(window->close());
    EXPECT_FALSE(ViewerLoadTried);
    EXPECT_EQ(Loads(), 0);
}

TEST_F(HelpMenu, ClosingAfterHelpClosesTheHelpWindow)
{
    Control<QAction>("Content1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return HelpWindows().size() == 1; }, 5000));
    QPointer<QWidget> help = HelpWindows().front();

    ASSERT_TRUE(window->close());

    EXPECT_TRUE(help.isNull());
    EXPECT_TRUE(HelpWindows().isEmpty());
    EXPECT_EQ(Loads(), 1);
}

TEST_F(HelpMenu, HomePageGoesToTheDesktopsBrowser)
{
    AddressRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "Open");
    Control<QAction>("WebPage1")->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.front(), QUrl(QStringLiteral("http://tessaro.example.org/")));
}

TEST_F(HelpMenu, AboutShowsACentredBoxThatEnterCloses)
{
    QString caption;
    QPoint offCentre(-1000, -1000);
    QTimer::singleShot(0, window.get(), [&] {
        WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr)
            return;
        caption = box->windowTitle();
        offCentre = box->frameGeometry().center() - box->screen()->availableGeometry().center();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
    });
    // Should Enter not close it, the box is closed here so the test ends.
    QTimer::singleShot(5000, window.get(), [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });

    Control<QAction>("About1")->trigger();

    EXPECT_EQ(caption, QStringLiteral("About"));
    EXPECT_LE(offCentre.manhattanLength(), 2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace tessaro

#include "HelpMenuTest.moc"
