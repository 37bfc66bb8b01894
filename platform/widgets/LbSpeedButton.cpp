#include "platform/widgets/LbSpeedButton.h"

#include <QEnterEvent>

namespace tessaro {

TLbSpeedButton::TLbSpeedButton(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::NoFocus);
}

void TLbSpeedButton::SetCaption(const QString& caption)
{
    setText(caption);
    setAccessibleName(caption.trimmed());
}

void TLbSpeedButton::SetCaptionColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::ButtonText, color);
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

QColor TLbSpeedButton::CaptionColor() const
{
    return palette().color(QPalette::ButtonText);
}

void TLbSpeedButton::SetImageRight(bool right)
{
    setLayoutDirection(right ? Qt::RightToLeft : Qt::LeftToRight);
}

void TLbSpeedButton::enterEvent(QEnterEvent* event)
{
    QToolButton::enterEvent(event);
    emit MouseEnter();
}

void TLbSpeedButton::leaveEvent(QEvent* event)
{
    QToolButton::leaveEvent(event);
    emit MouseExit();
}

}  // namespace tessaro
