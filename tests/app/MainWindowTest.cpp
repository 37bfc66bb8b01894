#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/player/FlashControl.h"
#include "platform/widgets/LbSpeedButton.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTabWidget>
#include <QWindow>

#include <cstdlib>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

using test::WaitUntil;

// A window as the user meets it: shown and activated, with a home folder of
// its own so the cache scan finds no real browser caches.
class MainWindow : public test::ShownWindow {
protected:
    QString Status() const { return Control<TStatusBar>("StatusBar1")->PanelText(0); }

    void SwitchTo(int page) { Control<QTabWidget>("PageControl1")->setCurrentIndex(page); }

    void AddCacheRows(int count)
    {
        for (int i = 0; i < count; ++i)
            AddCacheRow(QString::number(i + 1), QStringLiteral("m%1.swf").arg(i), QStringLiteral("10"),
                        QStringLiteral("/c/m%1.swf").arg(i));
    }
};

TEST_F(MainWindow, StartsIdleOnTheWebPageWithEmptyLists)
{
    EXPECT_EQ(window->windowTitle(), "Tessaro v1.0.0");
    EXPECT_EQ(Status(), "Done");
    EXPECT_EQ(Control<QProgressBar>("ProgressBar")->value(), 0);
    EXPECT_EQ(Control<TListView>("ListView1")->RowCount(), 0);
    EXPECT_EQ(Control<TListView>("ListView2")->RowCount(), 0);
    EXPECT_EQ(window->ActivePage(), kWebPage);
    EXPECT_FALSE(window->IsBusy());
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton3")->Caption(), "Download  Flash");
    EXPECT_TRUE(Control<QAction>("Download1")->isEnabled());
    EXPECT_TRUE(Control<QAction>("Download2")->isEnabled());
    EXPECT_FALSE(Control<QAction>("CopyFlash1")->isEnabled());
    EXPECT_FALSE(Control<QAction>("CopyFlash2")->isEnabled());
    EXPECT_FALSE(window->WebPage()->DownloadRunning());
    EXPECT_TRUE(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie().isEmpty());
    EXPECT_EQ(Control<QTabWidget>("PageControl1")->tabText(0), "Internet Flash Movies");
    EXPECT_EQ(Control<QTabWidget>("PageControl1")->tabText(1), "   IE Cache Files    ");
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton6")->Caption(), "  GO!");
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton5")->Caption(), "Address :");
}

TEST_F(MainWindow, EveryControlAndMenuEntryCarriesItsName)
{
    for (const char* name : {"StatusBar1",     "Panel1",    "LbSpeedButton1",  "LbSpeedButton2", "LbSpeedButton3",
                             "Panel2",         "Panel7",    "ShockwaveFlash1", "Panel9",         "Panel3",
                             "PageControl1",   "TabSheet1", "Panel4",          "LbSpeedButton5", "UrlComBox",
                             "LbSpeedButton6", "Panel5",    "ListView1",       "Panel6",         "WebBrowser1",
                             "TabSheet2",      "Panel8",    "ListView2",       "ProgressBar",    "PopupMenu1"})
        EXPECT_NE(window->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;

    const std::pair<const char*, const char*> entries[] = {{"Download1", "&Download Flash"},
                                                           {"CopyFlash1", "&Copy Flash To..."},
                                                           {"Exit1", "E&xit"},
                                                           {"SelectAll1", "&Select All"},
                                                           {"DeselectAll1", "&Deselect all"},
                                                           {"ClearList1", "&Clear list"},
                                                           {"Content1", "&Content"},
                                                           {"WebPage1", "&Home page"},
                                                           {"About1", "&About..."},
                                                           {"SelectAll2", "Select All"},
                                                           {"DeselectAll2", "Deselect All"},
                                                           {"Clear1", "Clear List"},
                                                           {"Download2", "Download Flash"},
                                                           {"CopyFlash2", "Copy Flash To"},
                                                           {"AddCacheFolder1", "Add Cache Folder..."},
                                                           {"RemoveCacheFolders1", "Remove Cache Folders"}};
    for (const auto& [name, caption] : entries) {
        const auto* action = window->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), QString::fromLatin1(caption)) << name;
        EXPECT_TRUE(action->shortcut().isEmpty()) << name;
    }
}

TEST_F(MainWindow, WideningMovesTheButtonsAndWidensTheAddressBox)
{
    // Showing the window is its first resize: the design positions hold.
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton1")->x(), 480);
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton6")->x(), 582);
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->width(), 473);

    const int before1 = Control<TLbSpeedButton>("LbSpeedButton1")->x();
    const int before2 = Control<TLbSpeedButton>("LbSpeedButton2")->x();
    const int before3 = Control<TLbSpeedButton>("LbSpeedButton3")->x();
    const int before6 = Control<TLbSpeedButton>("LbSpeedButton6")->x();
    const int before5 = Control<TLbSpeedButton>("LbSpeedButton5")->x();
    const int comboWidth = Control<QComboBox>("UrlComBox")->width();
    window->resize(window->width() + 100, window->height());
    ASSERT_TRUE(WaitUntil([&] { return Control<TLbSpeedButton>("LbSpeedButton1")->x() != before1; }, 2000));

    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton1")->x(), before1 + 100);
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton2")->x(), before2 + 100);
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton3")->x(), before3 + 100);
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton6")->x(), before6 + 100);
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton5")->x(), before5);
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->width(), comboWidth + 100);

    window->resize(window->width() - 100, window->height());
    ASSERT_TRUE(WaitUntil([&] { return Control<TLbSpeedButton>("LbSpeedButton1")->x() == before1; }, 2000));
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->width(), comboWidth);
}

TEST_F(MainWindow, ProgressBarCoversTheSecondStatusPanel)
{
    Control<TStatusBar>("StatusBar1")->resize(892, 21);
    window->StatusBar1Resize();
    EXPECT_EQ(Control<TStatusBar>("StatusBar1")->PanelWidth(0), 642);
    const QRect panel0 = Control<TStatusBar>("StatusBar1")->PanelRect(0);
    const QRect bar = Control<QProgressBar>("ProgressBar")->geometry();
    EXPECT_EQ(bar.left(), 642 + panel0.left());
    EXPECT_EQ(bar.width(), 150);
    EXPECT_EQ(bar.top(), panel0.top());
    EXPECT_EQ(bar.height(), panel0.height());
    EXPECT_EQ(Control<QProgressBar>("ProgressBar")->minimum(), 0);
    EXPECT_EQ(Control<QProgressBar>("ProgressBar")->maximum(), 100);
}

TEST_F(MainWindow, StatusOperations)
{
    window->SetStatusText("Copying To: /tmp/a.swf");
    window->SetProgress(34);
    window->SetBusy(true);
    EXPECT_EQ(Status(), "Copying To: /tmp/a.swf");
    EXPECT_EQ(Control<QProgressBar>("ProgressBar")->value(), 34);
    window->ResetStatus();
    EXPECT_EQ(Status(), "Done");
    EXPECT_EQ(Control<QProgressBar>("ProgressBar")->value(), 0);
    EXPECT_FALSE(window->IsBusy());
}

TEST_F(MainWindow, PageSwitchRenamesTheButtonAndScansTheCacheOnlyWhileItsListIsEmpty)
{
    window->SetStatusText("something else");
    SwitchTo(kCachePage);
    EXPECT_TRUE(window->IsBusy());
    EXPECT_EQ(Status(), "Done");
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton3")->Caption(), "Copy Flash To");
    EXPECT_FALSE(Control<QAction>("Download1")->isEnabled());
    EXPECT_FALSE(Control<QAction>("Download2")->isEnabled());
    EXPECT_TRUE(Control<QAction>("CopyFlash1")->isEnabled());
    EXPECT_TRUE(Control<QAction>("CopyFlash2")->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !window->IsBusy(); }, 10000));

    SwitchTo(kWebPage);
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton3")->Caption(), "Download Flash");
    EXPECT_TRUE(Control<QAction>("Download1")->isEnabled());
    EXPECT_FALSE(Control<QAction>("CopyFlash1")->isEnabled());

    AddCacheRows(2);
    SwitchTo(kCachePage);
    EXPECT_FALSE(window->IsBusy()) << "a list with rows is not scanned again";
    EXPECT_EQ(Control<TListView>("ListView2")->RowCount(), 2);
}

TEST_F(MainWindow, NoCacheScanStartsWhileATransferRuns)
{
    window->SetBusy(true);  // as the transfer command leaves it
    SwitchTo(kCachePage);
    EXPECT_FALSE(window->CachePage()->Listing());
    EXPECT_EQ(Control<TLbSpeedButton>("LbSpeedButton3")->Caption(), "Copy Flash To");
    window->SetBusy(false);
    SwitchTo(kWebPage);
    SwitchTo(kCachePage);
    EXPECT_TRUE(window->CachePage()->Listing()) << "the next switch starts it";
}

TEST_F(MainWindow, CloseIsRefusedWhileBusyAndAllowedAfter)
{
    ShowMovies({"http://h/a.swf"});
    AddCacheRows(1);
    window->SetBusy(true);
    Control<QAction>("Exit1")->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(WebMovies()->Found().Size(), 1);

    window->SetBusy(false);
    Control<QAction>("Exit1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); }, 2000));
    EXPECT_TRUE(WebMovies()->Found().IsEmpty() && window->CachePage()->Movies()->Found().IsEmpty())
        << "FormClose releases the lists";
}

TEST_F(MainWindow, LaterActivationsDoNotClearBusy)
{
    window->SetBusy(true);
    window->FormActivate();
    EXPECT_TRUE(window->IsBusy());
    window->SetBusy(false);
}

TEST_F(MainWindow, HoverTurnsCaptionsBlueAndLeavingTurnsThemBlack)
{
    for (TLbSpeedButton* button : {Control<TLbSpeedButton>("LbSpeedButton1"), Control<TLbSpeedButton>("LbSpeedButton2"),
                                   Control<TLbSpeedButton>("LbSpeedButton3"), Control<TLbSpeedButton>("LbSpeedButton5"),
                                   Control<TLbSpeedButton>("LbSpeedButton6")}) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(button, &enter);
        EXPECT_EQ(button->CaptionColor(), QColor(0, 0, 255)) << button->objectName().toStdString();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        EXPECT_EQ(button->CaptionColor(), QColor(0, 0, 0)) << button->objectName().toStdString();
    }
}

TEST_F(MainWindow, FoundMoviesBecomeNumberedNewRows)
{
    ShowMovies({"http://h/a.swf", "http://h/b.swf", "http://h/c.swf"});
    ASSERT_EQ(Control<TListView>("ListView1")->RowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Cell(Control<TListView>("ListView1"), row, 0), QString::number(row + 1));
        EXPECT_EQ(Cell(Control<TListView>("ListView1"), row, 2), "New");
        EXPECT_FALSE(Checked(Control<TListView>("ListView1"), row));
    }
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 1, 1), "http://h/b.swf");

    ShowMovies({"http://h/z.swf"});
    ASSERT_EQ(Control<TListView>("ListView1")->RowCount(), 1);
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 0, 0), "1");
}

TEST_F(MainWindow, ListCommandsActOnTheActivePageOnly)
{
    ShowMovies({"http://h/a.swf", "http://h/b.swf"});
    AddCacheRows(2);

    Control<TLbSpeedButton>("LbSpeedButton1")->click();
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), 0) && Checked(Control<TListView>("ListView1"), 1));
    EXPECT_FALSE(Checked(Control<TListView>("ListView2"), 0) || Checked(Control<TListView>("ListView2"), 1));

    SwitchTo(kCachePage);
    Control<QAction>("SelectAll2")->trigger();
    EXPECT_TRUE(Checked(Control<TListView>("ListView2"), 0) && Checked(Control<TListView>("ListView2"), 1));
    Control<QAction>("DeselectAll1")->trigger();
    EXPECT_FALSE(Checked(Control<TListView>("ListView2"), 0) || Checked(Control<TListView>("ListView2"), 1));
    EXPECT_TRUE(Checked(Control<TListView>("ListView1"), 0)) << "web rows are left as they were";

    Control<QAction>("Clear1")->trigger();
    EXPECT_EQ(Control<TListView>("ListView2")->RowCount(), 0);
    EXPECT_EQ(Control<TListView>("ListView1")->RowCount(), 2);

    SwitchTo(kWebPage);
    Control<QAction>("ClearList1")->trigger();
    EXPECT_EQ(Control<TListView>("ListView1")->RowCount(), 0);
    EXPECT_EQ(WebMovies()->Found().Size(), 2) << "clearing the list keeps the scan's result";

    window->CheckAllRows(true);  // on empty lists: nothing happens
    window->ClearActiveList();
}

TEST_F(MainWindow, SelectingWebRowsPlaysThemAndMarksThemPreview)
{
    ShowMovies({"http://h/a.swf", "http://h/b.swf", "http://h/c.swf"});
    WebMovies()->SetStatus(2, "Saved");

    Control<TListView>("ListView1")->selectRow(0);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), "http://h/a.swf");
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 0, 2), "Preview");

    Control<TListView>("ListView1")->selectRow(1);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), "http://h/b.swf")
        << "the row gaining the selection plays last";
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 0, 2), "Preview");
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 1, 2), "Preview");

    Control<TListView>("ListView1")->selectRow(2);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), "http://h/c.swf");
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 2, 2), "Saved");

    window->ClearActiveList();
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), "http://h/c.swf")
        << "clearing does not stop the preview";
}

TEST_F(MainWindow, SelectingACacheRowPlaysItsLocalPathAndChangesNothing)
{
    SwitchTo(kCachePage);
    ASSERT_TRUE(WaitUntil([&] { return !window->IsBusy(); }, 10000));
    AddCacheRows(2);
    Control<TListView>("ListView2")->selectRow(1);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), "/c/m1.swf");
    EXPECT_EQ(Cell(Control<TListView>("ListView2"), 1, 1), "m1.swf");
    EXPECT_EQ(Cell(Control<TListView>("ListView2"), 1, 2), "10");
}

TEST_F(MainWindow, RightButtonOverEitherListOpensThePopupMenu)
{
    for (TListView* list : {Control<TListView>("ListView1"), Control<TListView>("ListView2")}) {
        Control<QMenu>("PopupMenu1")->hide();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &press);
        EXPECT_TRUE(Control<QMenu>("PopupMenu1")->isVisible()) << list->objectName().toStdString();
        Control<QMenu>("PopupMenu1")->hide();
        QMouseEvent left(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &left);
        EXPECT_FALSE(Control<QMenu>("PopupMenu1")->isVisible());
    }
}

}  // namespace
}  // namespace tessaro
