#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

namespace tessaro {

// A status bar of fixed-width text panels, laid from the left, the last one
// taking what is left. Other controls (the progress bar) may be laid over a
// panel by asking for its rectangle.
class TStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanelCount(int count);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);

    // The panel's rectangle in the bar's coordinates, inside its bevel.
    QRect PanelRect(int index) const;

    QSize sizeHint() const override;

signals:
    void Resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Panel {
        int width = 0;
        QString text;
    };
    std::vector<Panel> panels_;
};

}  // namespace tessaro
