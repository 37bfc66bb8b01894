#include "cache/CacheCopyThread.h"

#include <cmath>

#include "platform/files/FileCopy.h"

namespace tessaro {

int CopyPercent(std::int32_t copied, std::int32_t total)
{
    if (total <= 0)
        return 0;
    // The product stays a 32-bit integer; the rest is done in extended
    // precision and rounded the default way, ties to even.
    const std::int32_t product = copied * 100;
    const long double value = static_cast<long double>(product) / total + 0.5L;
    return static_cast<int>(std::nearbyint(value));
}

std::string CopyStoppedText(std::int32_t copied, std::int32_t total)
{
    return "Stopped by the user: " + std::to_string(copied) + " of " + std::to_string(total) +
           (total == 1 ? " file" : " files") + " copied";
}

std::string CopyFailureText(std::int32_t failed, std::int32_t total)
{
    if (failed <= 0)
        return {};
    return std::to_string(failed) + " of " + std::to_string(total) + (total == 1 ? " file" : " files") +
           " could not be copied";
}

namespace {

std::vector<std::string> StdStrings(const QStringList& list)
{
    std::vector<std::string> strings;
    strings.reserve(static_cast<std::size_t>(list.size()));
    for (const QString& text : list)
        strings.push_back(text.toStdString());
    return strings;
}

}  // namespace

TCacheCopyThread::TCacheCopyThread(QObject* receiver, const std::string& destFolder, const QStringList& sourceFiles,
                                   TCacheCopyReports reports)
    : TThread(receiver),
      fileList_(StdStrings(sourceFiles)),
      destFolder_(destFolder),
      totalCount_(static_cast<std::int32_t>(fileList_.size())),
      reports_(std::move(reports))
{
    Start();
}

std::string TCacheCopyThread::MakeTargetName(const std::string& source) const
{
    const std::size_t slash = source.rfind('/');
    return destFolder_ + (slash == std::string::npos ? source : source.substr(slash + 1));
}

void TCacheCopyThread::Execute()
{
    const auto keepGoing = [this] { return !StopRequested(); };
    for (std::int32_t i = 0; i < totalCount_; ++i) {
        if (StopRequested()) {
            stopped_ = true;
            break;
        }
        const std::string& sourceFile = fileList_[static_cast<std::size_t>(i)];
        targetFile_ = MakeTargetName(sourceFile);
        FileCopyResult result = FileCopyResult::WriteFailed;
        try {
            result = CopyFileReplacing(sourceFile, targetFile_, keepGoing);
        } catch (...) {
            // A copy that throws is a failed copy like any other; the run goes on.
        }
        if (result == FileCopyResult::Stopped) {
            stopped_ = true;
            break;
        }
        if (result != FileCopyResult::Copied)
            ++failedCount_;
        ++copiedCount_;
        ReportProgress();
    }
}

void TCacheCopyThread::ReportProgress()
{
    const int percent = CopyPercent(copiedCount_, totalCount_);
    const std::string text = "Copying To: " + targetFile_;
    Queue([reports = reports_, percent, text] {
        if (reports.SetProgress)
            reports.SetProgress(percent);
        if (reports.SetStatusText)
            reports.SetStatusText(text);
    });
}

}  // namespace tessaro
