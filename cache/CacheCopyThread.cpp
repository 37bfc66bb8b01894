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

std::string CopyFailureText(std::int32_t failed, std::int32_t total)
{
    if (failed <= 0)
        return {};
    return std::to_string(failed) + " of " + std::to_string(total) + (total == 1 ? " file" : " files") +
           " could not be copied";
}

TCacheCopyThread::TCacheCopyThread(const std::string& destFolder, const QStringList& sourceFiles,
                                   TCacheCopyReports reports)
    : reports_(std::move(reports))
{
    FreeOnTerminate = true;
    FileList.reserve(static_cast<std::size_t>(sourceFiles.size()));
    for (const QString& file : sourceFiles)
        FileList.push_back(file.toStdString());
    DestFolder = destFolder;
    CopiedCount = 0;
    TotalCount = static_cast<std::int32_t>(FileList.size());
    Start();
}

TCacheCopyThread::~TCacheCopyThread()
{
    WaitFor();
}

std::string TCacheCopyThread::MakeTargetName(const std::string& source) const
{
    const std::size_t slash = source.rfind('/');
    return DestFolder + (slash == std::string::npos ? source : source.substr(slash + 1));
}

void TCacheCopyThread::Execute()
{
    for (std::int32_t i = 0; i < TotalCount; ++i) {
        SourceFile = FileList[static_cast<std::size_t>(i)];
        TargetFile = MakeTargetName(SourceFile);
        bool copied = false;
        try {
            copied = CopyFileReplacing(SourceFile, TargetFile) == FileCopyResult::Copied;
        } catch (...) {
            // A copy that throws is a failed copy like any other; the run goes on.
        }
        if (!copied)
            ++FailedCount;
        ++CopiedCount;
        ReportProgress();
    }
}

void TCacheCopyThread::ReportProgress()
{
    const int percent = CopyPercent(CopiedCount, TotalCount);
    const std::string text = "Copying To: " + TargetFile;
    Queue([reports = reports_, percent, text] {
        if (reports.SetProgress)
            reports.SetProgress(percent);
        if (reports.SetStatusText)
            reports.SetStatusText(text);
    });
}

}  // namespace tessaro
