#include "support/TestEnvironment.h"

#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

// The sanitizer set-up hides what Qt and the system keep for the life of the
// process, never a leak of ours: the probe leaks an object made in a slot, a
// stack full of Qt frames, and the report must name it.
TEST(SanitizerSetUp, ALeakOfOursMadeInASlotIsReported)
{
#ifndef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "not a sanitizer build";
#endif
    QProcess probe;
    probe.setProgram(QString::fromStdString((test::RuntimeDir() / "tessaro_leak_probe").string()));
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start();
    ASSERT_TRUE(probe.waitForFinished(60000)) << "the probe never ended";
    const std::string report = probe.readAll().toStdString();
    EXPECT_NE(probe.exitCode(), 0) << report;
    EXPECT_NE(report.find("LeakSanitizer: detected memory leaks"), std::string::npos) << report;
    EXPECT_NE(report.find("LeakAnObjectInASlot"), std::string::npos) << report;
}

}  // namespace
}  // namespace tessaro
