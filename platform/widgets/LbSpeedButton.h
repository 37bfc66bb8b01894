#pragma once

#include <QColor>
#include <QToolButton>

namespace tessaro {

// A flat tool button with its image beside the caption that reports the
// pointer entering and leaving it.
class TLbSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TLbSpeedButton(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return text(); }
    void SetCaptionColor(const QColor& color);
    QColor CaptionColor() const;
    // The image stands left of the caption unless told otherwise.
    void SetImageRight(bool right);

signals:
    void MouseEnter();
    void MouseExit();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

}  // namespace tessaro
