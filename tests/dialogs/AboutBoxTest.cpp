#include "dialogs/AboutDlg.h"
#include "platform/widgets/DesignScale.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using test::WaitUntil;

class AboutBox : public testing::Test {
protected:
    void SetUp() override { SetDesignScale(1.0); }
    void TearDown() override { SetDesignScale(0.0); }
};

TEST_F(AboutBox, HoldsItsCaptionsPictureAndDefaultButton)
{
    TAboutBox box;
    EXPECT_EQ(box.objectName(), QStringLiteral("AboutBox"));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(box.size(), QSize(422, 249));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());  // a fixed dialog border

    EXPECT_EQ(box.Label5->text(), QStringLiteral("Tessaro ver 1.0.0"));
    EXPECT_EQ(box.Label5->geometry(), QRect(84, 24, 250, 25));
    EXPECT_EQ(box.Label5->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_FALSE(box.Label6->text().isEmpty());
    EXPECT_EQ(box.Label6->geometry(), QRect(10, 85, 399, 19));
    // The notice fits its one line.
    EXPECT_LE(box.Label6->fontMetrics().horizontalAdvance(box.Label6->text()), box.Label6->width());

    ASSERT_FALSE(box.Image1->pixmap().isNull());
    EXPECT_EQ(box.Image1->pixmap().size(), QSize(64, 64));
    const QImage picture = box.Image1->pixmap().toImage();
    EXPECT_NE(picture.pixelColor(16, 16), picture.pixelColor(48, 48));  // drawn, not blank

    EXPECT_EQ(box.OKButton->text(), QStringLiteral("OK"));
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.OKButton->geometry(), QRect(169, 214, 92, 30));
}

TEST_F(AboutBox, IsCentredOnTheScreenNotOnItsOwner)
{
    QWidget owner;
    owner.setGeometry(0, 0, 200, 150);
    owner.show();

    TAboutBox box(&owner);
    box.show();
    ASSERT_TRUE(WaitUntil([&] { return box.isVisible(); }, 5000));

    const QPoint centre = box.screen()->availableGeometry().center();
    const QPoint boxCentre = box.frameGeometry().center();
    EXPECT_LE((boxCentre - centre).manhattanLength(), 2)
        << boxCentre.x() << "," << boxCentre.y() << " vs " << centre.x() << "," << centre.y();
}

TEST_F(AboutBox, EnterClosesItWithOk)
{
    TAboutBox box;
    bool pressed = false;
    QTimer::singleShot(0, &box, [&] {
        WaitUntil([&] { return QApplication::activeModalWidget() == &box; }, 5000);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(QApplication::activeModalWidget(), &enter);
        pressed = true;
    });
    // Should Enter not close it, the box is rejected after a while so the test ends.
    QTimer::singleShot(5000, &box, &QDialog::reject);

    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_TRUE(pressed);
}

}  // namespace
}  // namespace tessaro
