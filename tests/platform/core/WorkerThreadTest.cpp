#include "platform/core/WorkerThread.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "support/TestEnvironment.h"

namespace tessaro {
namespace {

using test::WaitUntil;

class LambdaWorker : public TThread {
public:
    explicit LambdaWorker(std::function<void(LambdaWorker&)> body) : body_(std::move(body)) {}
    using TThread::Queue;
    using TThread::Synchronize;

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

TEST(WorkerThread, BodyThatReturnsAtOnceStillReachesItsEndHandler)
{
    for (int round = 0; round < 50; ++round) {
        bool ended = false;
        LambdaWorker worker([](LambdaWorker&) {});
        worker.Start();
        worker.WaitFor();  // the body is over before anyone looks
        worker.OnTerminate = [&](TThread*) { ended = true; };
        ASSERT_TRUE(WaitUntil([&] { return ended; }, 5000)) << "round " << round;
    }
}

TEST(WorkerThread, QueuedReportsArriveInOrderAndBeforeTheEnd)
{
    std::vector<int> seen;
    bool ended = false;
    LambdaWorker worker([&](LambdaWorker& self) {
        for (int i = 0; i < 500; ++i)
            self.Queue([&seen, i] { seen.push_back(i); });
    });
    worker.OnTerminate = [&](TThread*) {
        EXPECT_EQ(seen.size(), 500u);
        ended = true;
    };
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 10000));
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(seen[static_cast<size_t>(i)], i);
}

TEST(WorkerThread, SynchronizeRunsOnTheUiThreadAndWaits)
{
    const auto uiThread = std::this_thread::get_id();
    std::vector<int> order;
    bool ended = false;
    LambdaWorker worker([&](LambdaWorker& self) {
        self.Synchronize([&] {
            EXPECT_EQ(std::this_thread::get_id(), uiThread);
            order.push_back(1);
        });
        order.push_back(2);  // only after the UI thread ran the call
    });
    worker.OnTerminate = [&](TThread*) { ended = true; };
    worker.Start();
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
    LambdaWorker worker([](LambdaWorker&) {});
    worker.OnTerminate = [&](TThread*) { which = 1; };
    worker.Start();
    worker.WaitFor();
    worker.OnTerminate = [&](TThread*) { which = 2; };
    ASSERT_TRUE(WaitUntil([&] { return which != 0; }, 5000));
    EXPECT_EQ(which, 2);
}

TEST(WorkerThread, BodyFailureIsSwallowedAndTheEndStillComes)
{
    bool ended = false;
    LambdaWorker worker([](LambdaWorker&) { throw std::runtime_error("disk gone"); });
    worker.OnTerminate = [&](TThread*) { ended = true; };
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return ended; }, 5000));
    EXPECT_TRUE(worker.Finished());
    EXPECT_TRUE(worker.FatalException() != nullptr);
}

TEST(WorkerThread, ReportsOfADeletedWorkerAreDropped)
{
    bool reported = false;
    {
        LambdaWorker worker([&](LambdaWorker& self) { self.Queue([&] { reported = true; }); });
        worker.Start();
        worker.WaitFor();
    }  // gone before the UI thread ran anything
    QCoreApplication::processEvents();
    EXPECT_FALSE(reported);
}

}  // namespace
}  // namespace tessaro
