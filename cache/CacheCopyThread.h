#pragma once

#include "platform/core/Job.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaro {

// What the copy job reports after each file. Both calls are carried out on
// the owner's thread, in the order made; the job never touches a widget.
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

// How a copy run ended.
struct TCacheCopyResult {
    std::int32_t totalCount = 0;
    // Files taken up, copied or not.
    std::int32_t copiedCount = 0;
    // Files of copiedCount that could not be copied.
    std::int32_t failedCount = 0;
    // A cancel ended the run before its last file was copied.
    bool stopped = false;

    // CopyStoppedText or CopyFailureText for this run.
    std::string EndStatusText() const
    {
        return stopped ? CopyStoppedText(copiedCount - failedCount, totalCount)
                       : CopyFailureText(failedCount, totalCount);
    }
};

// Copies cached movie files into the chosen folder, one after the other, in
// the order given, as a job. The job's cancel ends the run within one block
// of the file being copied; that file keeps its older target and leaves no
// temporary file.
//
// A file that could not be copied is skipped and counted, and the run goes
// on; at its end the result says how many failed, or how far a stopped run
// got, for the status bar in place of the bare "Done".
class TCacheCopyThread {
public:
    // Takes copies of the folder and the list; the caller may clear or reuse
    // its list at once.
    TCacheCopyThread(const std::string& destFolder, const QStringList& sourceFiles, TCacheCopyReports reports);

    // The folder followed directly by the text after the last "/" of source.
    std::string MakeTargetName(const std::string& source) const;

    TCacheCopyResult operator()(JobControl& job) const;

private:
    std::vector<std::string> fileList_;
    std::string destFolder_;
    TCacheCopyReports reports_;
};

}  // namespace tessaro
