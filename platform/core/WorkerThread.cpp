#include "platform/core/WorkerThread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>

namespace tessaro {

// What reports in flight share with their worker: they may outlive it, and
// reach it only while owner is set, which TerminateAndJoin clears.
struct TThread::Link {
    std::mutex mutex;
    std::condition_variable wake;
    TThread* owner = nullptr;
    std::uint64_t syncCallsPosted = 0;  // written by the body only
    std::uint64_t syncCallsOver = 0;
};

// The posted half of a Synchronize call. Whether it ran or was dropped unrun
// (its receiver destroyed), its end wakes the waiting body, as Qt's own
// blocking calls do.
struct TThread::SyncCall {
    std::shared_ptr<Link> link;
    std::function<void()> fn;

    SyncCall(std::shared_ptr<Link> link, std::function<void()> fn) : link(std::move(link)), fn(std::move(fn)) {}
    SyncCall(const SyncCall&) = delete;
    SyncCall& operator=(const SyncCall&) = delete;
    ~SyncCall()
    {
        std::lock_guard lock(link->mutex);
        ++link->syncCallsOver;
        link->wake.notify_all();
    }
};

TThread::TThread(QObject* receiver) : receiver_(receiver), link_(std::make_shared<Link>())
{
    if (receiver_ == nullptr)
        throw std::invalid_argument("a worker needs an object to report to");
    link_->owner = this;
}

TThread::~TThread()
{
    TerminateAndJoin();
}

void TThread::TerminateAndJoin()
{
    {
        std::lock_guard lock(link_->mutex);
        link_->owner = nullptr;
        terminated_ = true;
        stopRequested_ = true;
        link_->wake.notify_all();
    }
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();  // deleted from its own body: nothing is left to wait for
        else
            thread_.join();
    }
}

void WorkerDeleter::operator()(TThread* worker) const
{
    if (worker == nullptr)
        return;
    worker->TerminateAndJoin();
    delete worker;
}

void TThread::Start()
{
    if (started_)
        return;
    started_ = true;
    thread_ = std::thread([this] { Run(); });
}

void TThread::WaitFor()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TThread::Run()
{
    try {
        Execute();
    } catch (...) {
        fatalException_ = std::current_exception();
    }
    finished_ = true;
    QMetaObject::invokeMethod(
        receiver_,
        [link = link_] {
            TThread* owner = nullptr;
            {
                std::lock_guard lock(link->mutex);
                owner = link->owner;
            }
            if (owner != nullptr)
                owner->DeliverTerminate();
        },
        Qt::QueuedConnection);
}

void TThread::DeliverTerminate()
{
    if (thread_.joinable())
        thread_.join();  // the body has returned; only the thread's exit is left
    // The handler may destroy this worker: nothing below touches it after.
    const bool freeSelf = FreeOnTerminate;
    if (OnTerminate) {
        const TerminateHandler handler = OnTerminate;
        handler(this);
    }
    if (freeSelf)
        delete this;
}

void TThread::Synchronize(const std::function<void()>& fn)
{
    if (QThread::currentThread() == receiver_->thread()) {
        fn();
        return;
    }
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(link_->mutex);
        ticket = ++link_->syncCallsPosted;
    }
    auto call = std::make_shared<SyncCall>(link_, fn);
    QMetaObject::invokeMethod(
        receiver_,
        [call] {
            bool alive = false;
            {
                std::lock_guard lock(call->link->mutex);
                alive = call->link->owner != nullptr;
            }
            if (alive)
                call->fn();
        },
        Qt::QueuedConnection);
    call.reset();  // only the posted call holds it now
    std::unique_lock lock(link_->mutex);
    link_->wake.wait(lock, [&] { return link_->syncCallsOver >= ticket || link_->owner == nullptr; });
}

void TThread::Queue(std::function<void()> fn)
{
    QMetaObject::invokeMethod(
        receiver_,
        [link = link_, fn = std::move(fn)] {
            bool alive = false;
            {
                std::lock_guard lock(link->mutex);
                alive = link->owner != nullptr;
            }
            if (alive)
                fn();
        },
        Qt::QueuedConnection);
}

}  // namespace tessaro
