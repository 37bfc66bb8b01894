#pragma once

#include <QApplication>

namespace tessaro {

// The application object. An exception that escapes an event handler is
// shown by the general error report instead of ending the program.
class TessaroApplication : public QApplication {
    Q_OBJECT
public:
    TessaroApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tessaro
