#include "app/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

#include <stdexcept>
#include <utility>

namespace tessaro {

void ShowErrorReport(const std::exception& error)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessaro"), QString::fromUtf8(error.what()), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.exec();
}

void ShowErrorReport(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& e) {
        ShowErrorReport(e);
    } catch (...) {
        ShowErrorReport(std::runtime_error("Unknown error"));
    }
}

bool CallReportingErrors(const std::function<bool()>& call)
{
    try {
        return call();
    } catch (...) {
        ShowErrorReport(std::current_exception());
        return true;
    }
}

}  // namespace tessaro
