#include "support/SanitizerOptions.h"
#include "support/TestEnvironment.h"
#include "platform/gui/PlayerScheme.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    tessaro::test::PrepareTestEnvironment();
    tessaro::RegisterPlayerScheme();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
