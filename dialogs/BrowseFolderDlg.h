#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaro {

class TShellTreeView;

// The modal folder chooser of the transfer command. One instance lives as
// long as the program, so the tree, the path box and ChosenFolder keep their
// state from one showing to the next. Show it with exec(), then read
// ChosenFolder: empty until a folder was chosen, else a path ending in "/".
class TBrowseFolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit TBrowseFolderDialog(QWidget* parent = nullptr);
    ~TBrowseFolderDialog() override;

    std::string ChosenFolder;

    void ShellTreeView1Change();
    void Button1Click();

    TShellTreeView* ShellTreeView1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
};

}  // namespace tessaro
