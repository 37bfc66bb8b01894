#pragma once

#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "dialogs/BrowseFolderDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <string>
#include <vector>

namespace tessaro::test {

// Answers the window's modal windows while a command waits in their event
// loop: the folder chooser with chosenFolder (or Cancel), a message box with
// OK, noting its text.
class ModalAnswers {
public:
    struct Warning {
        QString text;
        QString title;
        QMessageBox::Icon icon;
    };

    // Gives the window its folder chooser and starts answering.
    void AnswerModalsOf(TMainFrm* window)
    {
        dialog = new TBrowseFolderDialog(window);
        window->SetBrowseFolderDialog(dialog);
        QObject::connect(&modalWatch, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* chooser = qobject_cast<TBrowseFolderDialog*>(modal)) {
                ++dialogsShown;
                if (acceptFolder) {
                    chooser->ChosenFolder = chosenFolder;
                    chooser->accept();
                } else {
                    chooser->reject();
                }
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                warnings.push_back({box->text(), box->windowTitle(), box->icon()});
                box->accept();
            }
        });
        modalWatch.start(10);
    }
    void StopAnswering() { modalWatch.stop(); }

    TBrowseFolderDialog* dialog = nullptr;
    QTimer modalWatch;
    std::string chosenFolder;
    bool acceptFolder = true;
    int dialogsShown = 0;
    std::vector<Warning> warnings;
};

// A shown window of its own home whose folder chooser answers; its end
// waits for the window's workers while modal windows are still answered.
class ChooserWindow : public ShownWindow, protected ModalAnswers {
protected:
    void OpenWithChooser(const std::string& folder)
    {
        UseOwnHome();
        MakeWindow();
        chosenFolder = folder;
        AnswerModalsOf(window.get());
        ShowWindow();
    }
    void CloseWithChooser()
    {
        EXPECT_TRUE(WaitUntil([&] { return Idle(); }, kWorkersEndMs));
        StopAnswering();
        CloseWindow();
    }
};

}  // namespace tessaro::test
