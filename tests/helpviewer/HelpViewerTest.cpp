#include "helpviewer/HtmlHelpApi.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

using test::WaitUntil;

// The viewer library as the program meets it: opened from the runtime folder,
// entered through its one exported function, on the real help.chm.
class HelpViewer : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        library = dlopen((test::RuntimeDir() / "libtessarohelp.so").c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (library != nullptr)
            entry = reinterpret_cast<HtmlHelpEntry>(dlsym(library, kHtmlHelpEntryName));
    }

    void SetUp() override
    {
        ASSERT_NE(library, nullptr) << dlerror();
        ASSERT_NE(entry, nullptr);
    }

    void TearDown() override
    {
        entry(0, nullptr, HH_CLOSE_ALL, 0);
        QApplication::processEvents();
    }

    static QList<QWidget*> HelpWindows()
    {
        QList<QWidget*> found;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("HelpWindow") && widget->isVisible())
                found.append(widget);
        return found;
    }

    QWidget* Show(const std::string& file)
    {
        const HelpWindowHandle handle = entry(0, file.c_str(), HH_DISPLAY_TOC, 0);
        if (handle == 0)
            return nullptr;
        QWidget* window = QWidget::find(static_cast<WId>(handle));
        if (window != nullptr)
            WaitUntil([&] { return window->isVisible(); }, 5000);
        return window;
    }

    static QStringList Outline(QTreeWidget* tree)
    {
        QStringList lines;
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
            int depth = 0;
            for (QTreeWidgetItem* p = (*it)->parent(); p != nullptr; p = p->parent())
                ++depth;
            lines << QString(depth * 2, QLatin1Char(' ')) + (*it)->text(0);
        }
        return lines;
    }

    static QTreeWidgetItem* ItemNamed(QTreeWidget* tree, const QString& name)
    {
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it)
            if ((*it)->text(0) == name)
                return *it;
        return nullptr;
    }

    // Clicks the link whose text is `text` the way the user would.
    static bool ClickLink(QTextBrowser* page, const QString& text)
    {
        QTextCursor cursor = page->document()->find(text);
        if (cursor.isNull())
            return false;
        cursor.setPosition(cursor.selectionStart() + 1);
        page->setTextCursor(cursor);
        page->ensureCursorVisible();
        const QPoint at = page->cursorRect(cursor).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, page->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, page->viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(page->viewport(), &press);
        QApplication::sendEvent(page->viewport(), &release);
        return true;
    }

    const std::string helpFile = (test::RuntimeDir() / "help.chm").string();
    static inline void* library = nullptr;
    static inline HtmlHelpEntry entry = nullptr;
};

TEST_F(HelpViewer, OpensHelpFileWithItsContentsAndFirstPage)
{
    QWidget* window = Show(helpFile);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessaro Help"));

    auto* contents = window->findChild<QTreeWidget*>(QStringLiteral("Contents"));
    auto* page = window->findChild<QTextBrowser*>(QStringLiteral("Page"));
    ASSERT_NE(contents, nullptr);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Outline(contents), (QStringList{
                                     QStringLiteral("Welcome to Tessaro"),
                                     QStringLiteral("  Finding movies in a web page"),
                                     QStringLiteral("  The cache page"),
                                     QStringLiteral("    Where the caches are read from"),
                                     QStringLiteral("  Previewing a movie"),
                                     QStringLiteral("  Saving movies"),
                                     QStringLiteral("    Row status: what \"Failed\" means"),
                                     QStringLiteral("    Everything a movie needs"),
                                     QStringLiteral("  Finding movies from the command line"),
                                 }));

    EXPECT_EQ(page->source().path(), QStringLiteral("/index.html"));
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("finds Flash movies")));
    ASSERT_NE(contents->currentItem(), nullptr);
    EXPECT_EQ(contents->currentItem()->text(0), QStringLiteral("Welcome to Tessaro"));
}

TEST_F(HelpViewer, ContentsEntriesAndLinksOpenPagesInsideTheFile)
{
    QWidget* window = Show(helpFile);
    ASSERT_NE(window, nullptr);
    auto* contents = window->findChild<QTreeWidget*>(QStringLiteral("Contents"));
    auto* page = window->findChild<QTextBrowser*>(QStringLiteral("Page"));

    contents->setCurrentItem(ItemNamed(contents, QStringLiteral("Saving movies")));
    EXPECT_EQ(page->source().path(), QStringLiteral("/saving.html"));
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Downloading from the web page")));

    // A link on that page leads to another page of the file, and the tree follows.
    ASSERT_TRUE(ClickLink(page, QStringLiteral("Row status")));
    ASSERT_TRUE(WaitUntil([&] { return page->source().path() == QLatin1String("/status.html"); }, 5000))
        << page->source().toString().toStdString();
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Nothing is written into the folder")));
    EXPECT_EQ(contents->currentItem()->text(0), QStringLiteral("Row status: what \"Failed\" means"));

    page->backward();
    EXPECT_EQ(page->source().path(), QStringLiteral("/saving.html"));

    page->setSource(QUrl(QStringLiteral("chm:/no-such-page.html")));
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("not in this help file")));
}

// A help file as other authors write them: a project that names neither its
// contents file nor a first page, and a sitemap in loose HTML (any case,
// unquoted values, an entity, a heading without a page, a list never closed).
TEST_F(HelpViewer, ReadsLooselyWrittenContentsOfAnUnnamedContentsFile)
{
    const QString compiler = QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
    if (compiler.isEmpty())
        GTEST_SKIP() << "chmcmd is not installed";
    test::TempDir project;
    project.write("t.hhp", "[OPTIONS]\nCompiled file=loose.chm\nTitle=Loose\n\n[FILES]\na.html\nb.html\nloose.hhc\n");
    project.write("a.html", "<html><body><h1>Alpha</h1><a href=\"b.html#part\">on to beta</a></body></html>");
    project.write("b.html", "<html><body><h1>Beta</h1><p><a name=\"part\">Part</a></p></body></html>");
    project.write("loose.hhc",
                  "<html><body>\n<ul>\n"
                  " <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Guide &amp; tips\">"
                  "<param name=\"Local\" value=\"a.html\"></object>\n"
                  " <ul>\n"
                  "  <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Heading only\"></object>\n"
                  "  <UL>\n"
                  "   <LI><OBJECT type='text/sitemap'><PARAM NAME=Name VALUE=\"Second\">"
                  "<param name=\"Local\" value=\"b.html#part\"></OBJECT>\n"
                  "  </UL>\n"
                  " </ul>\n"
                  " <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Last\">"
                  "<param name=\"Local\" value=\"b.html\"></object>\n"
                  "</body></html>\n");
    QProcess compile;
    compile.setWorkingDirectory(QString::fromStdString(project.path().string()));
    compile.start(compiler, {QStringLiteral("--verbosity"), QStringLiteral("0"), QStringLiteral("t.hhp")});
    ASSERT_TRUE(compile.waitForFinished(30000));
    ASSERT_TRUE(std::filesystem::exists(project.path() / "loose.chm"));

    QWidget* window = Show((project.path() / "loose.chm").string());
    ASSERT_NE(window, nullptr);
    auto* contents = window->findChild<QTreeWidget*>(QStringLiteral("Contents"));
    auto* page = window->findChild<QTextBrowser*>(QStringLiteral("Page"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Loose"));
    EXPECT_EQ(Outline(contents), (QStringList{QStringLiteral("Guide & tips"), QStringLiteral("  Heading only"),
                                              QStringLiteral("    Second"), QStringLiteral("Last")}));

    // With no first page named, the first entry with a page is shown.
    EXPECT_EQ(page->source().path(), QStringLiteral("/a.html"));
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Alpha")));

    // A heading without a page leaves the page as it was.
    contents->setCurrentItem(ItemNamed(contents, QStringLiteral("Heading only")));
    EXPECT_EQ(page->source().path(), QStringLiteral("/a.html"));

    contents->setCurrentItem(ItemNamed(contents, QStringLiteral("Second")));
    EXPECT_EQ(page->source().path(), QStringLiteral("/b.html"));
    EXPECT_EQ(page->source().fragment(), QStringLiteral("part"));
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Beta")));
}

TEST_F(HelpViewer, OneWindowPerFileAndCloseAllClosesEveryOne)
{
    test::TempDir folder;
    const std::filesystem::path other = folder.path() / "other.chm";
    std::filesystem::copy_file(helpFile, other);

    QPointer<QWidget> first = Show(helpFile);
    QPointer<QWidget> again = Show(helpFile);
    QPointer<QWidget> second = Show(other.string());
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first, again);
    ASSERT_FALSE(second.isNull());
    EXPECT_NE(first, second);
    EXPECT_EQ(HelpWindows().size(), 2);

    EXPECT_EQ(entry(0, nullptr, HH_CLOSE_ALL, 0), 0u);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(HelpWindows().isEmpty());
}

TEST_F(HelpViewer, WindowClosedByTheUserIsOpenedAfresh)
{
    QPointer<QWidget> first = Show(helpFile);
    ASSERT_FALSE(first.isNull());
    first->close();
    ASSERT_TRUE(WaitUntil([&] { return first.isNull(); }, 5000));

    QPointer<QWidget> second = Show(helpFile);
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(HelpWindows().size(), 1);
}

TEST_F(HelpViewer, UnreadableFileIsSaidInTheWindow)
{
    test::TempDir folder;
    const std::string missing = (folder.path() / "missing.chm").string();
    const std::string notChm = folder.write("plain.chm", "this is not a compiled help file").string();

    for (const std::string& file : {missing, notChm}) {
        QWidget* window = Show(file);
        ASSERT_NE(window, nullptr) << file;
        auto* page = window->findChild<QTextBrowser*>(QStringLiteral("Page"));
        EXPECT_TRUE(page->toPlainText().startsWith(QStringLiteral("Cannot open the help file"))) << file;
        EXPECT_EQ(window->findChild<QTreeWidget*>(QStringLiteral("Contents"))->topLevelItemCount(), 0);
    }
}

TEST_F(HelpViewer, NoFileOrUnknownCommandOpensNothing)
{
    EXPECT_EQ(entry(0, nullptr, HH_DISPLAY_TOC, 0), 0u);
    EXPECT_EQ(entry(0, "", HH_DISPLAY_TOC, 0), 0u);
    EXPECT_EQ(entry(0, helpFile.c_str(), 0x0002, 0), 0u);
    EXPECT_TRUE(HelpWindows().isEmpty());
}

TEST_F(HelpViewer, WindowBelongsToTheCallersWindow)
{
    auto owner = std::make_unique<QWidget>();
    owner->show();
    const HelpWindowHandle handle =
        entry(static_cast<HelpWindowHandle>(owner->winId()), helpFile.c_str(), HH_DISPLAY_TOC, 0);
    QPointer<QWidget> window = QWidget::find(static_cast<WId>(handle));
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->parentWidget(), owner.get());

    owner.reset();
    EXPECT_TRUE(window.isNull());
}

}  // namespace
}  // namespace tessaro
