#include "dialogs/AboutDlg.h"

#include "platform/core/ProgramVersion.h"
#include "platform/widgets/DesignScale.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

namespace tessaro {

namespace {

QFont DesignFont(const QString& family, int height, QFont::StyleHint hint)
{
    QFont font(family);
    font.setStyleHint(hint);
    font.setPixelSize(Scaled(height));
    return font;
}

// The product picture: four mosaic tiles, the name's tesserae, with a play
// mark over them.
QPixmap ProductPicture(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const double gap = size / 16.0;
    const double tile = (size - 3 * gap) / 2;
    const QColor colours[] = {QColor(0xc0, 0x39, 0x2b), QColor(0xe6, 0x7e, 0x22), QColor(0xf1, 0xc4, 0x0f),
                              QColor(0x8e, 0x44, 0xad)};
    for (int i = 0; i < 4; ++i) {
        const int column = i % 2;
        const int row = i / 2;
        const QRectF box(gap + column * (tile + gap), gap + row * (tile + gap), tile, tile);
        painter.setPen(QPen(colours[i].darker(140), size / 48.0));
        painter.setBrush(colours[i]);
        painter.drawRoundedRect(box, tile / 6, tile / 6);
    }

    QPainterPath play;
    play.moveTo(size * 0.38, size * 0.28);
    play.lineTo(size * 0.76, size * 0.5);
    play.lineTo(size * 0.38, size * 0.72);
    play.closeSubpath();
    painter.setPen(QPen(QColor(0x40, 0x10, 0x08), size / 32.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(play);
    return picture;
}

QLabel* MakeLabel(const char* name, QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    // A dialog border: fixed size, a close box and nothing else.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(Scaled(422), Scaled(249));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 14, QFont::SansSerif));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Scaled(24), Scaled(16), Scaled(64), Scaled(64));
    Image1->setPixmap(ProductPicture(Scaled(64)));
    Image1->setAccessibleName(QStringLiteral("Tessaro"));

    Label5 = MakeLabel("Label5", this, QStringLiteral("Tessaro ver ") + QString::fromLatin1(kProgramVersion), 84, 24,
                       250, 25);
    Label5->setFont(DesignFont(QStringLiteral("Impact"), 23, QFont::Decorative));

    Label6 =
        MakeLabel("Label6", this, QStringLiteral("Saves Flash movies found in web pages and caches."), 10, 85, 399, 19);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(Scaled(169), Scaled(214), Scaled(92), Scaled(30));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the screen, whatever window opened it.
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

}  // namespace tessaro
