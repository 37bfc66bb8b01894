#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "platform/player/FlashControl.h"
#include "platform/widgets/ListView.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QTabWidget>

#include <cstdlib>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

using test::MinimalMovie;
using test::WaitUntil;

// Ruffle's WebAssembly is fetched and compiled for the first movie.
constexpr int kPlayWaitMs = 60000;

// Selecting a row in the real window plays its movie in the panel at the left.
class Preview : public test::ShownWindow {
protected:
    bool WaitForMetadata()
    {
        return WaitUntil([&] { return Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata().has_value(); },
                         kPlayWaitMs);
    }
};

TEST_F(Preview, SelectingAWebRowPlaysItsMovie)
{
    test::LoopbackHttpServer server;
    server.route("/flash/intro.swf", MinimalMovie({0, 0, 255}, 550, 400, 7), "application/x-shockwave-flash");
    const QString address = QString::fromStdString(server.origin() + "/flash/intro.swf");
    ASSERT_TRUE(ShowLoopbackPage(server.port()));
    ShowMovies({address});

    Control<TListView>("ListView1")->selectRow(0);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), address);
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->width, 550);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->height, 400);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->swfVersion, 7);
    EXPECT_EQ(Cell(Control<TListView>("ListView1"), 0, TMovieModel::kWebStatus), QStringLiteral("Preview"));
}

TEST_F(Preview, AMovieReadAfterTheScanPlaysFromTheBytesKeptForIt)
{
    test::LoopbackHttpServer server;
    server.route("/flash/kept.swf", MinimalMovie({255, 0, 0}, 320, 240, 8), "application/x-shockwave-flash");
    const QString address = QString::fromStdString(server.origin() + "/flash/kept.swf");
    ASSERT_TRUE(ShowLoopbackPage(server.port()));
    ShowMovies({address});
    window->WebPage()->StartReadingMovies(QString::fromStdString(server.origin() + "/"),
                                          Control<TWebBrowser>("WebBrowser1")->LocationURL());
    ASSERT_TRUE(WaitUntil([&] { return !window->WebPage()->MovieReadingRunning(); }, kPlayWaitMs));

    Control<TListView>("ListView1")->selectRow(0);
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->width, 320);
    int fetches = 0;
    for (const test::HttpRequest& request : server.requests())
        fetches += request.target == "/flash/kept.swf" ? 1 : 0;
    EXPECT_EQ(fetches, 1) << "read once after the scan, then played from what that gave";
}

TEST_F(Preview, SelectingACacheRowPlaysItsMovie)
{
    Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
    ASSERT_TRUE(WaitUntil([&] { return !window->IsBusy(); }, 30000));
    const auto file = home.write("Content/0a1b2c3d/banner[1].swf", MinimalMovie({0, 255, 0}, 468, 60, 6));
    AddCacheRow(QString::number(Control<TListView>("ListView2")->RowCount() + 1), QStringLiteral("banner[1].swf"),
                QStringLiteral("66"), QString::fromStdString(file.string()));

    Control<TListView>("ListView2")->selectRow(Control<TListView>("ListView2")->RowCount() - 1);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Movie(), QString::fromStdString(file.string()));
    ASSERT_TRUE(WaitForMetadata());
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->width, 468);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->height, 60);
    EXPECT_EQ(Control<TShockwaveFlash>("ShockwaveFlash1")->Metadata()->swfVersion, 6);
}

}  // namespace
}  // namespace tessaro
