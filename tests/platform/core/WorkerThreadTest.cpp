#include "platform/core/WorkerThread.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "support/TestEnvironment.h"

namespace tessaro {
namespace {

using test::WaitUntil;

class LambdaWorker : public TThread {
public:
    explicit LambdaWorker(std::function<void(LambdaWorker&)> body, QObject* receiver = qApp)
        : TThread(receiver), body_(std::move(body))
    {
    }
    using TThread::Queue;
    using TThread::Synchronize;
    using TThread::Terminated;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(LambdaWorker&)> body_;
};

// Counts live instances so a test can see a self-freeing worker go.
class CountedWorker : public LambdaWorker {
public:
    static inline std::atomic<int> alive{0};
    explicit CountedWorker(std::function<void(LambdaWorker&)> body) : LambdaWorker(std::move(body)) { ++alive; }
    ~CountedWorker() override { --alive; }
};

// A subclass with state of its own that the body writes last: its destructor
// sees whether the body had returned.
class StatefulWorker : public LambdaWorker {
public:
    explicit StatefulWorker(std::function<void(LambdaWorker&)> body, QObject* receiver)
        : LambdaWorker(std::move(body), receiver)
    {
    }
    ~StatefulWorker() override { *destroyedAfterBody = bodyDone; }

    std::atomic<bool> bodyDone{false};
    std::shared_ptr<bool> destroyedAfterBody = std::make_shared<bool>(false);
};

TEST(WorkerThread, BodyThatReturnsAtOnceStillReachesItsEndHandler)
{
    for (int round = 0; round < 50; ++round) {
        bool ended = false;
        auto worker = MakeWorker<LambdaWorker>([](LambdaWorker&) {});
        worker->Start();
        worker->WaitFor();  // the body is over before anyone looks
        worker->OnTerminate = [&](TThread*) { ended = true; };
        ASSERT_TRUE(WaitUntil([&] { return ended; }, 5000)) << "round " << round;
    }
}

TEST(WorkerThread, QueuedReportsArriveInOrderAndBeforeTheEnd)
{
    std::vector<int> seen;
    bool ended = false;
    auto worker = MakeWorker<LambdaWorker>([&](LambdaWorker& self) {
        for (int i = 0; i < 500; ++i)
            self.Queue([&seen, i] { seen.push_back(i); });
    });
    worker->OnTerminate = [&](TThread*) {
        EXPECT_EQ(seen.size(), 500u);
        ended = true;
    };
    worker->Start();
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 10000));
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(seen[static_cast<size_t>(i)], i);
}

TEST(WorkerThread, SynchronizeRunsOnTheUiThreadAndWaits)
{
    const auto uiThread = std::this_thread::get_id();
    std::vector<int> order;
    bool ended = false;
    auto worker = MakeWorker<LambdaWorker>([&](LambdaWorker& self) {
        self.Synchronize([&] {
            EXPECT_EQ(std::this_thread::get_id(), uiThread);
            order.push_back(1);
        });
        order.push_back(2);  // only after the UI thread ran the call
    });
    worker->OnTerminate = [&](TThread*) { ended = true; };
    worker->Start();
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 5000));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(WorkerThread, SelfFreeingWorkerIsFreedAfterItsHandler)
{
    bool aliveInHandler = false;
    bool ended = false;
    auto* worker = new CountedWorker([](LambdaWorker&) {});
    worker->FreeOnTerminate = true;
    worker->OnTerminate = [&](TThread*) {
        aliveInHandler = CountedWorker::alive == 1;
        ended = true;
    };
    worker->Start();
    ASSERT_TRUE(WaitUntil([&] { return ended && CountedWorker::alive == 0; }, 5000));
    EXPECT_TRUE(aliveInHandler);
}

TEST(WorkerThread, HandlerIsLookedUpAtDeliveryNotAtStart)
{
    int which = 0;
    auto worker = MakeWorker<LambdaWorker>([](LambdaWorker&) {});
    worker->OnTerminate = [&](TThread*) { which = 1; };
    worker->Start();
    worker->WaitFor();
    worker->OnTerminate = [&](TThread*) { which = 2; };
    ASSERT_TRUE(WaitUntil([&] { return which != 0; }, 5000));
    EXPECT_EQ(which, 2);
}

TEST(WorkerThread, BodyFailureIsSwallowedAndTheEndStillComes)
{
    bool ended = false;
    auto worker = MakeWorker<LambdaWorker>([](LambdaWorker&) { throw std::runtime_error("disk gone"); });
    worker->OnTerminate = [&](TThread*) { ended = true; };
    worker->Start();
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 5000));
    EXPECT_TRUE(worker->Finished());
    EXPECT_TRUE(worker->FatalException() != nullptr);
}

TEST(WorkerThread, ReportsOfADeletedWorkerAreDropped)
{
    bool reported = false;
    {
        auto worker = MakeWorker<LambdaWorker>([&](LambdaWorker& self) { self.Queue([&] { reported = true; }); });
        worker->Start();
        worker->WaitFor();
    }  // gone before the UI thread ran anything
    QCoreApplication::processEvents();
    EXPECT_FALSE(reported);
}

// However the owner or the receiver goes, the owner's end returns, the
// worker's own state outlives its body, and nothing more is delivered.
TEST(WorkerThread, AnEndedOwnerOrReceiverStopsEveryReport)
{
    enum class Gone { OwnerWhileBodySynchronizes, OwnerWhileBodyLoops, ReceiverWithReportsQueued };
    const std::pair<const char*, Gone> rows[] = {
        {"owner ends while the body waits in Synchronize", Gone::OwnerWhileBodySynchronizes},
        {"owner ends while the body loops until Terminated", Gone::OwnerWhileBodyLoops},
        {"receiver goes with reports and the end queued", Gone::ReceiverWithReportsQueued},
    };
    for (const auto& [name, gone] : rows) {
        SCOPED_TRACE(name);
        auto receiver = std::make_unique<QObject>();
        std::atomic<bool> bodyWaiting{false};
        std::atomic<bool> sawTerminated{false};
        bool delivered = false;
        auto worker = MakeWorker<StatefulWorker>(
            [&](LambdaWorker& self) {
                self.Queue([&] { delivered = true; });
                bodyWaiting = true;
                if (gone == Gone::OwnerWhileBodySynchronizes)
                    self.Synchronize([&] { delivered = true; });
                for (int i = 0; gone == Gone::OwnerWhileBodyLoops && !self.Terminated() && i < 10'000; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                sawTerminated = self.Terminated();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                static_cast<StatefulWorker&>(self).bodyDone = true;
            },
            receiver.get());
        worker->OnTerminate = [&](TThread*) { delivered = true; };
        const std::shared_ptr<bool> destroyedAfterBody = worker->destroyedAfterBody;
        worker->Start();
        // Not WaitUntil: the event loop would deliver the reports.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!bodyWaiting && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_TRUE(bodyWaiting);
        if (gone == Gone::ReceiverWithReportsQueued) {
            worker->WaitFor();
            receiver.reset();
            QCoreApplication::processEvents();
        }
        worker.reset();
        QCoreApplication::processEvents();
        EXPECT_FALSE(delivered);
        EXPECT_TRUE(*destroyedAfterBody);
        EXPECT_EQ(sawTerminated.load(), gone != Gone::ReceiverWithReportsQueued);
    }
}

}  // namespace
}  // namespace tessaro
