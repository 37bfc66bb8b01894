#include "find/FindOutput.h"

#include <QJsonDocument>

#include <algorithm>
#include <string>
#include <utility>

namespace tessaro {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

TFindOutput::TFindOutput(std::FILE* out, std::FILE* progress, bool progressIsTerminal, int inputs)
    : out_(out), progress_(progress), terminal_(progressIsTerminal), inputs_(inputs)
{
}

void TFindOutput::Line(const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out_);
    // A job collecting lines sees each as it is made.
    std::fflush(out_);
}

void TFindOutput::Movie(const QJsonObject& record, const QString& localCopy)
{
    if (holding_)
        held_.append({record, localCopy});
    else
        Line(record);
    ++movies_;
    ++inputMovies_;
    if (terminal_)
        DrawBar();
}

QList<TFindOutput::THeldMovie> TFindOutput::TakeHeld()
{
    holding_ = false;
    return std::exchange(held_, {});
}

void TFindOutput::Error(const QString& input, const QString& why)
{
    QJsonObject line{{QStringLiteral("error"), why}};
    if (!input.isEmpty())
        line.insert(QStringLiteral("input"), input);
    Line(line);
    ++errors_;
    ++inputErrors_;
}

void TFindOutput::InputDone(const QString& input)
{
    ++done_;
    if (terminal_) {
        DrawBar();
    } else {
        const std::string line = "tessaro-find: " + input.toStdString() + ": " + std::to_string(inputMovies_) +
                                 (inputMovies_ == 1 ? " movie" : " movies") +
                                 (inputErrors_ > 0 ? ", " + std::to_string(inputErrors_) + " failed" : "") + "\n";
        std::fputs(line.c_str(), progress_);
        std::fflush(progress_);
    }
    inputMovies_ = 0;
    inputErrors_ = 0;
}

void TFindOutput::DrawBar()
{
    const int total = std::max(inputs_, 1);
    const int filled = std::min(done_, total) * kBarWidth / total;
    const std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                            std::to_string(done_) + "/" + std::to_string(inputs_) + " inputs, " +
                            std::to_string(movies_) + " movies, " + std::to_string(errors_) + " failed";
    std::fputs(bar.c_str(), progress_);
    std::fflush(progress_);
}

void TFindOutput::Finish()
{
    if (terminal_) {
        std::fputs("\n", progress_);
        std::fflush(progress_);
    }
}

}  // namespace tessaro
