// A program with a leak of its own: an object made in a slot, reached through
// Qt's event loop and signal dispatch, and never freed. LeakReportTest runs it
// in a sanitizer build, where the leak must be reported in spite of the
// suppressions every test program uses.

#include "support/SanitizerOptions.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

namespace {

__attribute__((noinline)) void LeakAnObjectInASlot()
{
    auto* forgotten = new QObject();
    forgotten->setObjectName(QStringLiteral("forgotten"));
    QCoreApplication::quit();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &LeakAnObjectInASlot);
    timer.start(0);
    return app.exec();
}
