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

// Copies cached movie files into the chosen folder, one after the other, in
// the order given. Created running and freed after its end handler ran.
//
// The end handler (OnTerminate) is the window's ResetStatus. A file that
// could not be copied is skipped and counted in FailedCount, and the run goes
// on; the end handler should then put CopyFailureText(FailedCount, TotalCount)
// into the status bar after ResetStatus, in place of the bare "Done":
//
//     thread->OnTerminate = [this](TThread* sender) {
//         ResetStatus();
//         const auto* copy = static_cast<TCacheCopyThread*>(sender);
//         if (const std::string text = copy->EndStatusText(); !text.empty())
//             SetStatusText(text);
//     };
class TCacheCopyThread : public TThread {
public:
    // Takes copies of the folder and the list; the caller may clear or reuse
    // its list at once.
    TCacheCopyThread(const std::string& destFolder, const QStringList& sourceFiles, TCacheCopyReports reports);
    // Waits for the body, which must not run on a half-destroyed object. The
    // body never waits for the UI thread, so this cannot deadlock.
    ~TCacheCopyThread() override;

    // The folder followed directly by the text after the last "/" of source.
    std::string MakeTargetName(const std::string& source) const;

    // CopyFailureText for this run; meaningful once the body has returned.
    std::string EndStatusText() const { return CopyFailureText(FailedCount, TotalCount); }

    std::vector<std::string> FileList;
    std::string DestFolder;
    std::string SourceFile;
    std::string TargetFile;
    std::int32_t CopiedCount = 0;
    std::int32_t TotalCount = 0;
    // Files of CopiedCount that could not be copied; written by the body only.
    std::int32_t FailedCount = 0;

protected:
    void Execute() override;

private:
    void ReportProgress();

    TCacheCopyReports reports_;
};

}  // namespace tessaro
