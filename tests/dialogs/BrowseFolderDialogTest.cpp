#include "dialogs/BrowseFolderDlg.h"
#include "platform/widgets/ShellTreeView.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WaitUntil;

// Shows the dialog modally, runs `whileShown` inside its event loop, and
// returns exec()'s result; a dialog still open after ten seconds is rejected.
int ShowAndDo(TBrowseFolderDialog& dialog, const std::function<void()>& whileShown)
{
    QTimer::singleShot(0, &dialog, whileShown);
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); });
    return dialog.exec();
}

int ShowAndPress(TBrowseFolderDialog& dialog, QPushButton* button)
{
    return ShowAndDo(dialog, [button] { button->click(); });
}

// Selects a folder through the tree and waits for its folders to be listed.
void Select(TBrowseFolderDialog& dialog, const QString& path)
{
    dialog.ShellTreeView1->SelectPath(path);
    ASSERT_TRUE(WaitUntil([&] { return dialog.ShellTreeView1->SelectedPath() == path; }, 10000)) << path.toStdString();
}

QString Path(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

TEST(BrowseFolderDialog, OkTurnsTheSelectedPathIntoAFolderEndingInSlash)
{
    struct Row {
        const char* name;
        QString edit;
        std::string expected;
    };
    const Row rows[] = {
        {"root folder keeps its one slash", QStringLiteral("/"), "/"},
        {"folder gets a final slash", QStringLiteral("/tmp/x"), "/tmp/x/"},
        {"a final slash is not doubled", QStringLiteral("/tmp/x/"), "/tmp/x/"},
        {"virtual root keeps the earlier choice", QStringLiteral("Computer"), "/tmp/x/"},
        {"nothing selected keeps the earlier choice", QString(), "/tmp/x/"},
        {"blanks are part of the name", QStringLiteral("/tmp/my movies"), "/tmp/my movies/"},
    };
    TBrowseFolderDialog dialog;
    EXPECT_EQ(dialog.ChosenFolder, "");
    for (const Row& row : rows) {
        dialog.Edit1->setText(row.edit);
        dialog.Button1Click();
        EXPECT_EQ(dialog.ChosenFolder, row.expected) << row.name;
    }
}

TEST(BrowseFolderDialog, ChoosingFoldersInTheTree)
{
    TempDir dir;
    fs::create_directories(dir.path() / "x");
    const QString x = Path(dir.path() / "x");
    TBrowseFolderDialog dialog;

    // The virtual root on the first showing leaves the choice empty.
    Select(dialog, TShellTreeView::RootName());
    EXPECT_EQ(dialog.Edit1->text(), QStringLiteral("Computer"));
    EXPECT_EQ(ShowAndPress(dialog, dialog.Button1), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenFolder, "");

    Select(dialog, QStringLiteral("/"));
    EXPECT_EQ(dialog.Edit1->text(), QStringLiteral("/"));
    EXPECT_EQ(ShowAndPress(dialog, dialog.Button1), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenFolder, "/");

    Select(dialog, x);
    EXPECT_EQ(dialog.Edit1->text(), x);
    EXPECT_EQ(ShowAndPress(dialog, dialog.Button1), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenFolder, x.toStdString() + "/");

    Select(dialog, TShellTreeView::RootName());
    EXPECT_EQ(ShowAndPress(dialog, dialog.Button1), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenFolder, x.toStdString() + "/");
}

TEST(BrowseFolderDialog, CancelAndTheCloseBoxKeepTheEarlierChoice)
{
    TempDir dir;
    fs::create_directories(dir.path() / "x");
    TBrowseFolderDialog dialog;
    Select(dialog, QStringLiteral("/"));
    ASSERT_EQ(ShowAndPress(dialog, dialog.Button1), QDialog::Accepted);

    Select(dialog, Path(dir.path() / "x"));
    EXPECT_EQ(ShowAndPress(dialog, dialog.Button2), QDialog::Rejected);
    EXPECT_EQ(dialog.ChosenFolder, "/");
    EXPECT_EQ(ShowAndDo(dialog, [&dialog] { dialog.close(); }), QDialog::Rejected);
    EXPECT_EQ(dialog.ChosenFolder, "/");
}

TEST(BrowseFolderDialog, ASecondShowingShowsTheSameSelectionAndPath)
{
    TempDir dir;
    fs::create_directories(dir.path() / "x" / "y");
    const QString y = Path(dir.path() / "x" / "y");
    TBrowseFolderDialog dialog;
    Select(dialog, y);
    ASSERT_EQ(ShowAndPress(dialog, dialog.Button1), QDialog::Accepted);
    EXPECT_TRUE(dialog.isHidden());

    QString shownPath;
    QString shownText;
    ShowAndDo(dialog, [&] {
        shownPath = dialog.ShellTreeView1->SelectedPath();
        shownText = dialog.Edit1->text();
        dialog.Button2->click();
    });
    EXPECT_EQ(shownPath, y);
    EXPECT_EQ(shownText, y);
    EXPECT_EQ(dialog.ChosenFolder, y.toStdString() + "/");
}

TEST(BrowseFolderDialog, ThePathBoxCannotBeTypedInto)
{
    TBrowseFolderDialog dialog;
    Select(dialog, QStringLiteral("/"));
    ShowAndDo(dialog, [&dialog] {
        dialog.Edit1->setFocus();
        for (const int key : {Qt::Key_Backspace, Qt::Key_A, Qt::Key_Delete}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_A ? QStringLiteral("a") : QString());
            QApplication::sendEvent(dialog.Edit1, &press);
        }
        dialog.Button2->click();
    });
    EXPECT_TRUE(dialog.Edit1->isReadOnly());
    EXPECT_EQ(dialog.Edit1->text(), QStringLiteral("/"));
}

TEST(BrowseFolderDialog, TheTreeListsFoldersOnlyByNameWithoutHiddenOnes)
{
    TempDir dir;
    for (const char* folder : {"b-folder", "A-folder", "c-folder/inner", ".hidden"})
        fs::create_directories(dir.path() / folder);
    dir.write("movie.swf", "FWS");
    TBrowseFolderDialog dialog;
    Select(dialog, Path(dir.path() / "A-folder"));

    const QModelIndex parent = dialog.ShellTreeView1->currentIndex().parent();
    QStringList names;
    for (int row = 0; row < parent.model()->rowCount(parent); ++row)
        names << parent.model()->index(row, 0, parent).data().toString();
    EXPECT_EQ(names, (QStringList{"A-folder", "b-folder", "c-folder"}));
}

TEST(BrowseFolderDialog, TheVirtualRootHoldsTheRootAndHomeFolders)
{
    TBrowseFolderDialog dialog;
    Select(dialog, TShellTreeView::RootName());
    const QModelIndex root = dialog.ShellTreeView1->currentIndex();
    EXPECT_EQ(root.data().toString(), QStringLiteral("Computer"));
    QStringList paths;
    for (int row = 0; row < root.model()->rowCount(root); ++row)
        paths << root.model()->index(row, 0, root).data(Qt::ToolTipRole).toString();
    ASSERT_FALSE(paths.isEmpty());
    EXPECT_EQ(paths.first(), QStringLiteral("/"));
    if (QDir::homePath() != QStringLiteral("/")) {
        EXPECT_TRUE(paths.contains(QDir::homePath()));
    }
}

TEST(BrowseFolderDialog, ARightClickSelectsTheNodeUnderTheMouse)
{
    TBrowseFolderDialog dialog;
    Select(dialog, TShellTreeView::RootName());
    dialog.show();
    TShellTreeView* tree = dialog.ShellTreeView1;
    const QModelIndex rootFolder = tree->model()->index(0, 0, tree->currentIndex());
    ASSERT_TRUE(WaitUntil([&] { return tree->visualRect(rootFolder).isValid(); }, 5000));

    const QPointF at = tree->visualRect(rootFolder).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, tree->viewport()->mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &press);
    EXPECT_EQ(tree->SelectedPath(), QStringLiteral("/"));
    EXPECT_EQ(dialog.Edit1->text(), QStringLiteral("/"));
    dialog.hide();
}

}  // namespace
}  // namespace tessaro
