#include "support/SanitizerOptions.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// Workers hand their reports to the UI thread through the event loop, so even
// tests without widgets need an application object.
int main(int argc, char** argv)
{
    tessaro::test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
