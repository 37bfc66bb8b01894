#include "cache/CacheCopyThread.h"

#include "platform/files/FileCopy.h"

#include <cmath>

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

TCacheCopyThread::TCacheCopyThread(const std::string& destFolder, const QStringList& sourceFiles,
                                   TCacheCopyReports reports)
    : fileList_(StdStrings(sourceFiles)), destFolder_(destFolder), reports_(std::move(reports))
{
}

std::string TCacheCopyThread::MakeTargetName(const std::string& source) const
{
    const std::size_t slash = source.rfind('/');
    return destFolder_ + (slash == std::string::npos ? source : source.substr(slash + 1));
}

TCacheCopyResult TCacheCopyThread::operator()(JobControl& job) const
{
    TCacheCopyResult run;
    run.totalCount = static_cast<std::int32_t>(fileList_.size());
    const auto keepGoing = [&job] { return !job.Cancelled(); };
    for (const std::string& sourceFile : fileList_) {
        if (job.Cancelled()) {
            run.stopped = true;
            break;
        }
        const std::string targetFile = MakeTargetName(sourceFile);
        FileCopyResult result = FileCopyResult::WriteFailed;
        try {
            result = CopyFileReplacing(sourceFile, targetFile, keepGoing);
        } catch (...) {
            // A copy that throws is a failed copy like any other; the run goes on.
        }
        if (result == FileCopyResult::Stopped) {
            run.stopped = true;
            break;
        }
        if (result != FileCopyResult::Copied)
            ++run.failedCount;
        ++run.copiedCount;
        job.Report([reports = reports_, percent = CopyPercent(run.copiedCount, run.totalCount),
                    text = "Copying To: " + targetFile] {
            if (reports.SetProgress)
                reports.SetProgress(percent);
            if (reports.SetStatusText)
                reports.SetStatusText(text);
        });
    }
    return run;
}

}  // namespace tessaro
