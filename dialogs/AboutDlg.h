#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tessaro {

// The about box: the product picture, name and version, a notice line and
// an OK button. It shows and closes; nothing is read back from it.
class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* owner = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace tessaro
