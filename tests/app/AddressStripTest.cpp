#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/widgets/LbSpeedButton.h"
#include "platform/widgets/StatusBar.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <lz4.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::FixturesDir;
using test::LoopbackHttpServer;
using test::WaitUntil;

const char* const kChromiumAddresses[] = {
    "http://127.0.0.1:46379/page1.html",
    "http://127.0.0.1:46379/page3.html",
    "http://127.0.0.1:46379/page4.html",
};

std::string MozLz4(const std::string& json)
{
    std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(json.size()))), '\0');
    const int size =
        LZ4_compress_default(json.data(), block.data(), static_cast<int>(json.size()), static_cast<int>(block.size()));
    std::string file("mozLz40\0", 8);
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>((json.size() >> (8 * i)) & 0xff);
    return file + block.substr(0, static_cast<std::size_t>(size));
}

// A home folder where Firefox and Chromium run (their locks name this test's
// process) with the sessions they wrote, and the window built on it.
class AddressStrip : public test::ShownWindow {
protected:
    void SetUp() override
    {
        UseOwnHome();
        unsetenv("XDG_CONFIG_HOME");
        const std::string pid = std::to_string(::getpid());

        home.write(".mozilla/firefox/profiles.ini", "[Profile0]\nName=default\nIsRelative=1\nPath=t1.default\n");
        home.write(".mozilla/firefox/t1.default/sessionstore-backups/recovery.jsonlz4", MozLz4(R"({"windows":[{"tabs":[
                       {"entries":[{"url":"http://Old.Example/"},{"url":"http://Site.Example/Flash.HTM"}],"index":2},
                       {"entries":[{"url":"file:///home/user/local.html"}],"index":1},
                       {"entries":[{"url":"http://Site.Example/?u=FILE://x"}],"index":1},
                       {"entries":[],"index":1}
                     ]},{"tabs":[
                       {"entries":[{"url":"http://Site.Example/Flash.HTM"}],"index":1}
                     ]}]})"));
        fs::create_symlink("127.0.0.1:+" + pid, FirefoxLock());

        const fs::path chromium = home.path() / ".config/chromium";
        fs::create_directories(chromium / "Default/Sessions");
        fs::copy_file(FixturesDir() / "chromium/xvfb_session/Sessions/Session_13441176574020577",
                      chromium / "Default/Sessions/Session_13441176574020577");
        fs::create_symlink("test-host-" + pid, ChromiumLock());

        OpenWindow(Activation::ShowOnly);
    }

    fs::path FirefoxLock() const { return home.path() / ".mozilla/firefox/t1.default/lock"; }
    fs::path ChromiumLock() const { return home.path() / ".config/chromium/SingletonLock"; }

    QStringList Items() const
    {
        QStringList items;
        for (int i = 0; i < Control<QComboBox>("UrlComBox")->count(); ++i)
            items << Control<QComboBox>("UrlComBox")->itemText(i);
        return items;
    }

    QString Status() const { return Control<TStatusBar>("StatusBar1")->PanelText(0); }

    void PressKeyInAddress(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(Control<QComboBox>("UrlComBox")->lineEdit(), &press);
    }

    // "Address :" as the user clicks it, then the wait for the list.
    void ClickAddress()
    {
        window->LbSpeedButton5Click();
        ASSERT_TRUE(WaitUntil([&] { return !window->WebPage()->AddressListRunning(); }, kWorkersEndMs));
    }
};

TEST_F(AddressStrip, ListsTheTabsOfRunningBrowsersAndShowsTheLast)
{
    const QStringList firefox{"http://Site.Example/Flash.HTM", "http://Site.Example/Flash.HTM"};
    QStringList chromium;
    for (const char* address : kChromiumAddresses)
        chromium << address;
    EXPECT_EQ(Items(), firefox + chromium);
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->currentText(), kChromiumAddresses[2]);

    // Chromium quits: "Address :" lists Firefox's tabs only.
    fs::remove(ChromiumLock());
    Control<QComboBox>("UrlComBox")->setEditText(QStringLiteral("typed.example"));
    ClickAddress();
    EXPECT_EQ(Items(), firefox);
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->currentText(), firefox.last());

    // No browser runs: both the list and the typed text go.
    fs::remove(FirefoxLock());
    Control<QComboBox>("UrlComBox")->setEditText(QStringLiteral("typed.example"));
    ClickAddress();
    EXPECT_TRUE(Items().isEmpty());
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->currentText(), QString());
}

TEST_F(AddressStrip, ListThatCannotBeReadLeavesTheComboBoxAsItWas)
{
    const QStringList before = Items();
    ASSERT_EQ(before.size(), 5);
    Control<QComboBox>("UrlComBox")->setEditText(QStringLiteral("typed.example/Page"));
    setenv("HOME", (home.path() / "gone").c_str(), 1);
    EXPECT_THROW(window->LbSpeedButton5Click(), std::runtime_error);
    EXPECT_EQ(Items(), before);
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->currentText(), "typed.example/Page");
}

TEST_F(AddressStrip, GoOpensTheTypedAddressInTheEmbeddedBrowser)
{
    LoopbackHttpServer site;
    site.route("/Flash/Index.HTML", "<html><body>movies</body></html>", "text/html");
    const QString typed = QString::fromStdString(site.origin().substr(7)) + QStringLiteral("/Flash/Index.HTML");
    const int itemsBefore = Control<QComboBox>("UrlComBox")->count();
    Control<QComboBox>("UrlComBox")->setEditText(typed);

    window->LbSpeedButton6Click();
    EXPECT_EQ(Status(), QStringLiteral("Openning Page http:// ") + typed.toLower());
    ASSERT_TRUE(WaitUntil([&] { return !site.requests().empty(); }, 30000));
    EXPECT_EQ(site.requests().front().target, "/Flash/Index.HTML");
    ASSERT_TRUE(
        WaitUntil([&] { return Control<TWebBrowser>("WebBrowser1")->url().path() == "/Flash/Index.HTML"; }, 30000));
    EXPECT_EQ(Control<QComboBox>("UrlComBox")->count(), itemsBefore);
}

TEST_F(AddressStrip, AddressTheBrowserCannotLoadRaisesAnErrorAfterTheAnnouncement)
{
    const struct {
        const char* typed;
        const char* status;
    } cases[] = {
        {"%", "Openning Page http:// %"},
        {"HTTP://Bad Host/m.htm", "Openning Page http://bad host/m.htm"},
        {"http://", "Openning Page http://"},
        {"https://[::1/", "Openning Page http:// https://[::1/"},
    };
    for (const auto& c : cases) {
        Control<QComboBox>("UrlComBox")->setEditText(QString::fromUtf8(c.typed));
        EXPECT_THROW(window->LbSpeedButton6Click(), std::runtime_error) << c.typed;
        EXPECT_EQ(Status(), QString::fromUtf8(c.status));
    }
    EXPECT_TRUE(Control<TWebBrowser>("WebBrowser1")->url().isEmpty());
}

TEST_F(AddressStrip, EnterIsGoAndRefusalsAreSilent)
{
    LoopbackHttpServer site;
    site.route("/a.htm", "<html></html>", "text/html");
    const QString address = QString::fromStdString(site.origin()) + QStringLiteral("/a.htm");
    window->SetStatusText("Done");

    for (const QString& refused : {QString(), QStringLiteral("FILE:///tmp/a.htm"), address + "?f=File://x"}) {
        Control<QComboBox>("UrlComBox")->setEditText(refused);
        PressKeyInAddress(Qt::Key_Return);
        EXPECT_EQ(Status(), "Done") << refused.toStdString();
    }
    Control<QComboBox>("UrlComBox")->setEditText(address);
    window->SetBusy(true);
    PressKeyInAddress(Qt::Key_Enter);
    window->LbSpeedButton6Click();
    EXPECT_EQ(Status(), "Done");
    window->SetBusy(false);
    PressKeyInAddress(Qt::Key_Tab);
    EXPECT_EQ(Status(), "Done");
    EXPECT_TRUE(site.requests().empty());

    PressKeyInAddress(Qt::Key_Return);
    EXPECT_EQ(Status(), QStringLiteral("Openning Page ") + address.toLower());
    ASSERT_TRUE(WaitUntil([&] { return !site.requests().empty(); }, 30000));
    EXPECT_EQ(site.requests().front().target, "/a.htm");
}

// A handler that throws, run as the user runs it (a click): the error report
// says why, and the window is as it was.
TEST_F(AddressStrip, AHandlerThatThrowsShowsTheErrorReport)
{
    QStringList shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown << box->objectName() + QStringLiteral(": ") + box->text();
            box->accept();
        }
    });
    answer.start(10);

    const struct {
        const char* name;
        const char* typed;
        bool homeGone;
        TLbSpeedButton* button;
        QString report;
        QString status;
    } rows[] = {
        {"GO with an address the browser refuses", "%", false, Control<TLbSpeedButton>("LbSpeedButton6"),
         QStringLiteral("ErrorReport: Invalid address: %"), QStringLiteral("Openning Page http:// %")},
        {"Address : without a home folder", "typed.example", true, Control<TLbSpeedButton>("LbSpeedButton5"),
         QStringLiteral("ErrorReport: The open browser windows cannot be listed: no home folder."),
         QStringLiteral("Done")},
    };
    const QStringList items = Items();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        shown.clear();
        window->SetStatusText("Done");
        Control<QComboBox>("UrlComBox")->setEditText(QString::fromUtf8(row.typed));
        if (row.homeGone)
            setenv("HOME", (home.path() / "gone").c_str(), 1);
        row.button->click();  // returns once the report is answered
        UseOwnHome();
        EXPECT_EQ(shown.join(QLatin1Char('\n')).toStdString(), row.report.toStdString());
        EXPECT_EQ(Status(), row.status);
        EXPECT_EQ(Items(), items);
        EXPECT_FALSE(window->WebPage()->AddressListRunning());
    }
}

}  // namespace
}  // namespace tessaro
