#include "app/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>
#include <stdexcept>

namespace tessaro {
namespace {

TEST(ErrorReport, AnEscapingErrorIsShownAndTheCallCountsAsHandled)
{
    QString shown;
    int polls = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++polls;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
        if (polls > 500)
            QApplication::exit(1);  // never hang: the box did not come
    });
    timer.start();

    const bool handled = CallReportingErrors([]() -> bool { throw std::runtime_error("Navigation failed"); });
    EXPECT_TRUE(handled);
    EXPECT_EQ(shown, "Navigation failed");

    // The program goes on: the next call runs as usual and shows nothing.
    shown.clear();
    EXPECT_FALSE(CallReportingErrors([] { return false; }));
    EXPECT_TRUE(shown.isEmpty());
}

}  // namespace
}  // namespace tessaro
