#include "help/HtmlHlp.h"

#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

// Each test begins a fresh run of the program: the start values, and the
// release of whatever the previous test loaded. The viewer is the real one
// built next to the test program; without a widget application it opens no
// windows, so its answers here are 0.
class HtmlHelpAccess : public testing::Test {
protected:
    void SetUp() override
    {
        ReleaseHtmlHelp();
        InitHtmlHelp();
        loadsBefore = SharedLibraryLoadCalls();
    }

    void TearDown() override { ReleaseHtmlHelp(); }

    int Loads() const { return SharedLibraryLoadCalls() - loadsBefore; }

    const std::string helpFile = (test::RuntimeDir() / "help.chm").string();
    int loadsBefore = 0;
};

TEST_F(HtmlHelpAccess, FindsTheViewerNextToTheProgramAndLoadsItOnce)
{
    EXPECT_EQ(ViewerLibraryName, "libtessarohelp.so");
    HtmlHelp(0, helpFile.c_str(), HH_DISPLAY_TOC, 0);
    HtmlHelp(0, helpFile.c_str(), HH_DISPLAY_TOC, 0);
    HtmlHelp(0, nullptr, HH_CLOSE_ALL, 0);

    EXPECT_EQ(Loads(), 1);
    EXPECT_TRUE(ViewerLoadTried);
    EXPECT_NE(ViewerLibrary, nullptr);
    EXPECT_NE(ViewerEntry, nullptr);
}

TEST_F(HtmlHelpAccess, MissingViewerIsTriedOnceAndAnswersZero)
{
    test::TempDir empty;
    ViewerLibraryName = (empty.path() / "libtessarohelp.so").string();

    EXPECT_EQ(HtmlHelp(0, helpFile.c_str(), HH_DISPLAY_TOC, 0), 0u);
    EXPECT_EQ(HtmlHelp(0, helpFile.c_str(), HH_DISPLAY_TOC, 0), 0u);
    EXPECT_EQ(HtmlHelp(0, nullptr, HH_CLOSE_ALL, 0), 0u);

    EXPECT_EQ(Loads(), 1);
    EXPECT_TRUE(ViewerLoadTried);
    EXPECT_EQ(ViewerLibrary, nullptr);
    EXPECT_EQ(ViewerEntry, nullptr);
}

TEST_F(HtmlHelpAccess, LibraryWithoutTheEntryPointStaysLoadedButAnswersZero)
{
    ViewerLibraryName = "libz.so.1";  // found by the system's search, no HtmlHelpA in it

    EXPECT_EQ(HtmlHelp(0, helpFile.c_str(), HH_DISPLAY_TOC, 0), 0u);
    EXPECT_EQ(HtmlHelp(0, helpFile.c_str(), HH_DISPLAY_TOC, 0), 0u);

    EXPECT_EQ(Loads(), 1);
    EXPECT_NE(ViewerLibrary, nullptr);
    EXPECT_EQ(ViewerEntry, nullptr);
}

TEST_F(HtmlHelpAccess, CloseAllBeforeAnyHelpLoadsNothing)
{
    EXPECT_EQ(HtmlHelp(0, nullptr, HH_CLOSE_ALL, 0), 0u);
    EXPECT_EQ(HtmlHelp(0, helpFile.c_str(), HH_CLOSE_ALL, 0), 0u);

    EXPECT_EQ(Loads(), 0);
    EXPECT_FALSE(ViewerLoadTried);
    EXPECT_EQ(ViewerLibrary, nullptr);
}

TEST_F(HtmlHelpAccess, AnyOtherCommandLoadsTheViewer)
{
    // Only close-all is spared the load; what a command means is the viewer's affair.
    EXPECT_EQ(HtmlHelp(0, helpFile.c_str(), 0x0002, 0), 0u);
    EXPECT_EQ(Loads(), 1);
    EXPECT_NE(ViewerEntry, nullptr);
}

TEST_F(HtmlHelpAccess, ProgramEndReleasesTheViewerAndForgetsItsName)
{
    LoadHtmlHelp();
    ASSERT_NE(ViewerLibrary, nullptr);

    ReleaseHtmlHelp();

    EXPECT_EQ(ViewerLibrary, nullptr);
    EXPECT_EQ(ViewerEntry, nullptr);
    EXPECT_TRUE(ViewerLibraryName.empty());
}

}  // namespace
}  // namespace tessaro
