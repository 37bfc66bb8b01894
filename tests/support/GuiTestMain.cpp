#include "support/SanitizerOptions.h"
#include "support/TestEnvironment.h"
#ifdef TESSARO_TEST_PLAYER_SCHEME
#include "platform/player/PlayerScheme.h"
#endif

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    tessaro::test::PrepareTestEnvironment();
#ifdef TESSARO_TEST_PLAYER_SCHEME
    tessaro::RegisterPlayerScheme();  // before the application object, as the program does
#endif
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
