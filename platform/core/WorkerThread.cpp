#include "platform/core/WorkerThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <mutex>

namespace tessaro {

// Reports in flight may outlive a worker that was deleted without waiting for
// its end; they reach it through this link, which the destructor cuts.
struct TThread::Link {
    std::mutex mutex;
    TThread* owner = nullptr;
};

namespace {

bool OnUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace

void RunOnUiThread(std::function<void()> fn)
{
    // Events posted to one receiver are delivered in the order posted, which
    // is what keeps queued reports in order.
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

TThread::TThread() : link_(std::make_shared<Link>())
{
    link_->owner = this;
}

TThread::~TThread()
{
    {
        std::lock_guard lock(link_->mutex);
        link_->owner = nullptr;
    }
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
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
    std::shared_ptr<Link> link = link_;
    RunOnUiThread([link] {
        TThread* owner = nullptr;
        {
            std::lock_guard lock(link->mutex);
            owner = link->owner;
        }
        if (owner != nullptr)
            owner->DeliverTerminate();
    });
}

void TThread::DeliverTerminate()
{
    if (thread_.joinable())
        thread_.join();  // the body has returned; only the thread's exit is left
    if (OnTerminate)
        OnTerminate(this);
    if (FreeOnTerminate)
        delete this;
}

void TThread::Synchronize(const std::function<void()>& fn)
{
    if (OnUiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), fn, Qt::BlockingQueuedConnection);
}

void TThread::Queue(std::function<void()> fn)
{
    std::shared_ptr<Link> link = link_;
    RunOnUiThread([link, fn = std::move(fn)] {
        bool alive = false;
        {
            std::lock_guard lock(link->mutex);
            alive = link->owner != nullptr;
        }
        if (alive)
            fn();
    });
}

}  // namespace tessaro
