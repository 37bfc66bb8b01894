#include "platform/widgets/StatusBar.h"

#include "platform/widgets/DesignScale.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace tessaro {

namespace {
// Gap between panels and the bevel inside each panel, in screen pixels.
constexpr int kGap = 2;
constexpr int kBevel = 1;
}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TStatusBar::SetPanelCount(int count)
{
    panels_.resize(static_cast<size_t>(count));
    update();
}

int TStatusBar::PanelWidth(int index) const
{
    return panels_.at(static_cast<size_t>(index)).width;
}

void TStatusBar::SetPanelWidth(int index, int width)
{
    panels_.at(static_cast<size_t>(index)).width = width;
    update();
}

QString TStatusBar::PanelText(int index) const
{
    return panels_.at(static_cast<size_t>(index)).text;
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    panels_.at(static_cast<size_t>(index)).text = text;
    if (index == 0)
        setAccessibleDescription(text);
    update();
}

QRect TStatusBar::PanelRect(int index) const
{
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += panels_.at(static_cast<size_t>(i)).width;
    const bool last = index == PanelCount() - 1;
    const int right = last ? width() : left + PanelWidth(index) - kGap;
    return QRect(QPoint(left, kGap), QPoint(right - 1, height() - 1));
}

QSize TStatusBar::sizeHint() const
{
    return {Scaled(892), Scaled(21)};
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect r = PanelRect(i);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect textRect = r.adjusted(kBevel + 2, kBevel, -kBevel - 2, -kBevel);
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                         fontMetrics().elidedText(PanelText(i), Qt::ElideRight, textRect.width()));
    }
}

void TStatusBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit Resized();
}

}  // namespace tessaro
