#include "platform/core/Job.h"

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessaro {
namespace {

using test::WaitUntil;

// Spins without the event loop, so nothing queued is delivered meanwhile.
bool SpinUntil(const std::atomic<bool>& flag)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!flag && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return flag;
}

TEST(Job, ReportsArriveInOrderOnTheOwnersThreadAndTheReplyAfterThem)
{
    QObject owner;
    std::vector<int> seen;
    bool onOwnersThread = true;
    std::optional<JobEnd<int>> end;
    std::size_t seenAtReply = 0;
    Job job = Job::Start(
        &owner,
        [&seen, &onOwnersThread](JobControl& control) {
            for (int i = 0; i < 500; ++i) {
                control.Report([&seen, &onOwnersThread, i] {
                    onOwnersThread = onOwnersThread && QThread::currentThread() == qApp->thread();
                    seen.push_back(i);
                });
            }
            return 42;
        },
        [&](const JobEnd<int>& ended) {
            seenAtReply = seen.size();
            end = ended;
        });
    ASSERT_TRUE(WaitUntil([&] { return end.has_value(); }, 10000));
    EXPECT_FALSE(job.Running());
    EXPECT_EQ(end->value, 42);
    EXPECT_EQ(end->error, nullptr);
    EXPECT_EQ(seenAtReply, 500u);
    EXPECT_TRUE(onOwnersThread);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
}

// What the task throws comes with the reply; the reply may end the handle
// that started it, as every owner's end handler does.
TEST(Job, TheReplyCarriesWhatTheTaskThrewAndMayEndItsOwnHandle)
{
    QObject owner;
    std::string what;
    Job job;
    job = Job::Start(
        &owner, [](JobControl&) { throw std::runtime_error("disk gone"); },
        [&](const JobEnd<void>& end) {
            const Job ended = std::move(job);
            try {
                std::rethrow_exception(end.error);
            } catch (const std::exception& error) {
                what = error.what();
            }
        });
    ASSERT_TRUE(WaitUntil([&] { return !what.empty(); }, 10000));
    EXPECT_EQ(what, "disk gone");
    EXPECT_TRUE(job == nullptr);
}

// Cancel asks and lets the task's last words through; the flag is the one a
// client's own wait watches.
TEST(Job, ACancelledTaskEndsAtItsNextCheckAndStillReplies)
{
    QObject owner;
    std::atomic<bool> started{false};
    bool reported = false;
    bool replied = false;
    Job job = Job::Start(
        &owner,
        [&started](JobControl& control) {
            started = true;
            const std::atomic<bool>* flag = control.CancelFlag();
            for (int i = 0; i < 10'000 && !*flag; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return control.Cancelled();
        },
        [&](const JobEnd<bool>& end) {
            reported = end.value;
            replied = true;
        });
    ASSERT_TRUE(SpinUntil(started));
    job.Cancel();
    ASSERT_TRUE(WaitUntil([&] { return replied; }, 1000));
    EXPECT_TRUE(reported) << "the task saw the cancel";
}

// However the job or its owner goes, the end returns within the task's next
// check, the task sees it was cancelled, and nothing more is delivered.
TEST(Job, AStoppedJobOrAGoneOwnerDeliversNothingMore)
{
    enum class Gone { StopWhileTheTaskLoops, StopAfterTheTaskReturned, OwnerWithReportsQueued, OwnerBeforeTheJob };
    const std::pair<const char*, Gone> rows[] = {
        {"stopped while the task loops until cancelled", Gone::StopWhileTheTaskLoops},
        {"stopped with the reports and the reply queued", Gone::StopAfterTheTaskReturned},
        {"owner gone with the reports and the reply queued", Gone::OwnerWithReportsQueued},
        {"owner gone while the task still reports", Gone::OwnerBeforeTheJob},
    };
    for (const auto& [name, gone] : rows) {
        SCOPED_TRACE(name);
        auto owner = std::make_unique<QObject>();
        std::atomic<bool> reporting{false};
        std::atomic<bool> returned{false};
        std::atomic<bool> sawCancel{false};
        bool delivered = false;
        Job job = Job::Start(
            owner.get(),
            [&](JobControl& control) {
                control.Report([&] { delivered = true; });
                reporting = true;
                const bool loops = gone == Gone::StopWhileTheTaskLoops || gone == Gone::OwnerBeforeTheJob;
                for (int i = 0; loops && !control.Cancelled() && i < 10'000; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    control.Report([&] { delivered = true; });
                }
                sawCancel = control.Cancelled();
                returned = true;
            },
            [&](const JobEnd<void>&) { delivered = true; });
        ASSERT_TRUE(SpinUntil(reporting));
        if (gone == Gone::StopAfterTheTaskReturned || gone == Gone::OwnerWithReportsQueued) {
            ASSERT_TRUE(SpinUntil(returned));
        }
        if (gone == Gone::OwnerWithReportsQueued || gone == Gone::OwnerBeforeTheJob) {
            owner.reset();
            QCoreApplication::processEvents();
        }
        const auto before = std::chrono::steady_clock::now();
        job.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
        EXPECT_TRUE(job == nullptr);
        QCoreApplication::processEvents();
        EXPECT_FALSE(delivered);
        EXPECT_TRUE(returned);
        EXPECT_EQ(sawCancel.load(), gone == Gone::StopWhileTheTaskLoops || gone == Gone::OwnerBeforeTheJob);
    }
}

// A handle given a new job stops the one it held: the first task has
// returned by the time the assignment does, and only the second replies.
TEST(Job, ANewJobInTheSameHandleStopsTheOneBefore)
{
    QObject owner;
    std::atomic<bool> firstRunning{false};
    std::atomic<bool> firstReturned{false};
    std::vector<int> replies;
    Job job = Job::Start(
        &owner,
        [&](JobControl& control) {
            firstRunning = true;
            for (int i = 0; !control.Cancelled() && i < 10'000; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            firstReturned = true;
        },
        [&](const JobEnd<void>&) { replies.push_back(1); });
    ASSERT_TRUE(SpinUntil(firstRunning));
    job = Job::Start(
        &owner, [](JobControl&) {}, [&](const JobEnd<void>&) { replies.push_back(2); });
    EXPECT_TRUE(firstReturned);
    ASSERT_TRUE(WaitUntil([&] { return !replies.empty(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(replies, std::vector<int>{2});
}

TEST(ReportChannel, ClosedOrDefaultLinesCarryNothing)
{
    QObject owner;
    int calls = 0;
    const ReportChannel none;
    none.Post([&] { ++calls; });
    EXPECT_FALSE(none.IsOpen());

    const ReportChannel line(&owner);
    const ReportChannel copy = line;
    copy.Post([&] { ++calls; });
    line.Close();  // closes the copy too, with its call queued
    copy.Post([&] { ++calls; });
    QCoreApplication::processEvents();
    EXPECT_FALSE(copy.IsOpen());
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tessaro
