#pragma once

#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/WorkerThread.h"

namespace tessaro {

// What the copy worker reports after each file. Both calls are carried out
// on the UI thread, in the order made; the worker never touches a widget.
struct TCacheCopyReports {
    std::function<void(int percent)> SetProgress;
    std::function<void(const std::string& text)> SetStatusText;
};

// Percent shown after `copied` of `total` files: (copied * 100) / total + 0.5,
// rounded half to even, so 1 of 4 gives 26 and 2 of 4 gives 50.
int CopyPercent(std::int32_t copied, std::int32_t total);

// The status text for the end of a run: empty when every file was copied,
// otherwise how many of how many files could not be copied.
std::string CopyFailureText(std::int32_t failed, std::int32_t total);

// The status text for a run stopped by the user after `copied` of `total`
// files had been copied.
std::string CopyStoppedText(std::int32_t copied, std::int32_t total);

// Copies cached movie files into the chosen folder, one after the other, in
// the order given. Created running; its owner holds it in a WorkerHandle.
// Stop() ends the run within one block of the file being copied; that file
// keeps its older target and leaves no temporary file.
//
// A file that could not be copied is skipped and counted in FailedCount(),
// and the run goes on; at its end EndStatusText() says how many failed, or
// how far a stopped run got, for the status bar in place of the bare "Done".
class TCacheCopyThread : public TThread {
public:
    // Takes copies of the folder and the list; the caller may clear or reuse
    // its list at once. Reports go to receiver.
    TCacheCopyThread(QObject* receiver, const std::string& destFolder, const QStringList& sourceFiles,
                     TCacheCopyReports reports);

    // The folder followed directly by the text after the last "/" of source.
    std::string MakeTargetName(const std::string& source) const;

    // Meaningful once the body has returned (in the end handler).
    std::int32_t FailedCount() const { return failedCount_; }
    // CopyStoppedText or CopyFailureText for this run.
    std::string EndStatusText() const
    {
        return stopped_ ? CopyStoppedText(copiedCount_ - failedCount_, totalCount_)
                        : CopyFailureText(failedCount_, totalCount_);
    }

protected:
    ~TCacheCopyThread() override = default;
    void Execute() override;

private:
    void ReportProgress();

    const std::vector<std::string> fileList_;
    const std::string destFolder_;
    const std::int32_t totalCount_;
    TCacheCopyReports reports_;
    // Written by the body only.
    std::string targetFile_;
    std::int32_t copiedCount_ = 0;
    // Files of copiedCount_ that could not be copied.
    std::int32_t failedCount_ = 0;
    // A stop ended the run before its last file was copied.
    bool stopped_ = false;
};

}  // namespace tessaro
