#pragma once

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/widgets/DesignScale.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace tessaro::test {

// The main window as the user meets it: a home folder of its own (so no real
// browser's tabs or caches are read, and its settings start afresh), the
// design scale at 1, shown and, unless a test says otherwise, activated. A test that needs more set up
// first calls the steps itself. Its end waits for every worker the window
// started and fails the test if one never ends.
class ShownWindow : public testing::Test {
protected:
    enum class Activation { Activate, ShowOnly };

    // Long enough for a download or a cache listing of the fixtures.
    static constexpr int kWorkersEndMs = 20000;

    void SetUp() override
    {
        UseOwnHome();
        OpenWindow();
    }

    void TearDown() override { CloseWindow(); }

    void UseOwnHome()
    {
        setenv("HOME", home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);
        SetDesignScale(1.0);
    }

    void MakeWindow() { window = std::make_unique<TMainFrm>(); }

    // Shows the window and waits for its start: activated if asked, and the
    // open-tab list read into the address strip.
    void ShowWindow(Activation activation = Activation::Activate)
    {
        window->show();
        if (activation == Activation::Activate) {
            window->activateWindow();
            ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }, 5000));
        }
        ASSERT_TRUE(WaitUntil([&] { return !window->WebPage()->AddressListRunning(); }, kWorkersEndMs));
    }

    void OpenWindow(Activation activation = Activation::Activate)
    {
        MakeWindow();
        ShowWindow(activation);
    }

    // No command runs and no worker of the window is left.
    bool Idle() const
    {
        return !window->IsBusy() && !window->WebPage()->DownloadRunning() && !window->CachePage()->Copying() &&
               !window->CachePage()->Listing() && !window->WebPage()->AddressListRunning();
    }

    void CloseWindow()
    {
        if (window) {
            EXPECT_TRUE(WaitUntil([&] { return Idle(); }, kWorkersEndMs)) << "a worker of the window never ended";
            window.reset();
        }
        SetDesignScale(0.0);
    }

    // Loads an empty page of a loopback server and waits for its scan, so
    // rows a test shows afterwards belong to a page on loopback: the
    // program's own fetches for them may reach loopback, as for a page on the
    // user's own network.
    bool ShowLoopbackPage(int port)
    {
        const QString page = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        window->SetStatusText("");
        Control<TWebBrowser>("WebBrowser1")->Navigate(page);
        return WaitUntil(
            [&] {
                return Control<TWebBrowser>("WebBrowser1")->LocationURL() == page &&
                       !window->WebPage()->PageScanRunning() &&
                       Control<TStatusBar>("StatusBar1")->PanelText(0) == QStringLiteral("Done");
            },
            kWorkersEndMs);
    }

    // A control of the window by its name, as the user and e2e/ meet it.
    template <class T>
    T* Control(const char* name) const
    {
        auto* control = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << "no control " << name;
        return control;
    }

    // A cell of a list as the view shows it (and a screen reader reads it).
    static QString Cell(const TListView* list, int row, int column, int role = Qt::DisplayRole)
    {
        return list->model()->index(row, column).data(role).toString();
    }
    static bool Checked(const TListView* list, int row)
    {
        return list->model()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    }

    // The web list as a page scan leaves it, before it checks the rows.
    void ShowMovies(const QStringList& addresses)
    {
        window->WebPage()->ShowFoundMovies(TMovieRows::OfAddresses(addresses));
    }
    TMovieModel* WebMovies() const { return window->WebPage()->Movies(); }

    // A row as the cache listing appends it.
    void AddCacheRow(const QString& number, const QString& name, const QString& size, const QString& localPath)
    {
        TMovieRow row;
        row.foundIn = TFoundIn::Cache;
        row.cacheNumber = number;
        row.fileName = name;
        row.size = size;
        row.localPath = localPath;
        window->CachePage()->Movies()->Append({row});
    }

    TempDir home;
    std::unique_ptr<TMainFrm> window;
};

}  // namespace tessaro::test
