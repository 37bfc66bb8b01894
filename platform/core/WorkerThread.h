#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QObject;

namespace tessaro {

// The base of the program's workers. The body runs on a thread of its own;
// everything it reports goes through Synchronize or Queue and is carried out
// on the thread of its receiver (the window, the UI thread). Reports are
// posted to the receiver, so Qt drops them when the receiver is gone, and they
// are dropped as well once the worker is being destroyed.
//
// The end handler is delivered on the receiver's thread after the body has
// returned and after every report the body queued; it is looked up at
// delivery, so a handler attached right after the start is never missed
// however short the run. The handler may destroy its worker (reset the
// WorkerHandle that owns it).
//
// Ownership: a worker is held by a WorkerHandle, whose destruction stops the
// reports, joins the thread and only then deletes the worker; or it frees
// itself after its end handler (FreeOnTerminate). Either way the thread has
// ended before any part of the worker is destroyed. The receiver must outlive
// the thread: its owner holds the handle (the window holds its workers).
//
// A worker "created running" calls Start() as the last step of its own
// constructor: a base constructor cannot start it, since the body would then
// run on an object that is still being built.
class TThread {
public:
    using TerminateHandler = std::function<void(TThread*)>;

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the body; later calls do nothing.
    void Start();

    // Blocks until the body has returned. Not for the receiver's thread while
    // the body may call Synchronize (it would wait for that thread forever).
    void WaitFor();

    // Asks the body to end at its next step. Unlike the owner's destruction,
    // what the body reports on its way out and the end handler still come.
    void Stop() { stopRequested_ = true; }

    bool Finished() const { return finished_; }
    // Whatever the body threw; the end handler shows it (the body itself
    // cannot, it has no window).
    std::exception_ptr FatalException() const { return fatalException_; }

    TerminateHandler OnTerminate;
    bool FreeOnTerminate = false;

protected:
    // receiver: the object the reports are for; must not be null.
    explicit TThread(QObject* receiver);
    // Runs after the thread ended (see Ownership above); a subclass never waits.
    virtual ~TThread();

    virtual void Execute() = 0;

    // True once the owner is destroying the worker: a long body stops at its
    // next step, since nothing it reports is delivered any more.
    bool Terminated() const { return terminated_; }
    // True once Stop() was called or the owner is destroying the worker.
    bool StopRequested() const { return stopRequested_; }
    // The same flag, for a wait that watches a flag of its own
    // (HttpLimits::cancelled); it lives as long as the worker.
    const std::atomic<bool>* StopFlag() const { return &stopRequested_; }

    // Runs fn on the receiver's thread and waits for it to return, or until
    // the worker is being destroyed (fn then does not run).
    void Synchronize(const std::function<void()>& fn);
    // Runs fn on the receiver's thread later, in the order of the calls; does
    // not wait.
    void Queue(std::function<void()> fn);

private:
    struct Link;
    struct SyncCall;
    friend struct WorkerDeleter;

    void Run();
    void DeliverTerminate();
    // Drops every report not yet delivered, wakes a waiting Synchronize and
    // joins the thread.
    void TerminateAndJoin();

    QObject* const receiver_;
    std::shared_ptr<Link> link_;
    std::thread thread_;
    bool started_ = false;
    std::atomic<bool> finished_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> stopRequested_{false};
    std::exception_ptr fatalException_;
};

// Ends the worker's thread, then deletes it.
struct WorkerDeleter {
    void operator()(TThread* worker) const;
};

// The owner's hold on a worker; see TThread.
template <class Worker>
using WorkerHandle = std::unique_ptr<Worker, WorkerDeleter>;

template <class Worker, class... Args>
WorkerHandle<Worker> MakeWorker(Args&&... args)
{
    return WorkerHandle<Worker>(new Worker(std::forward<Args>(args)...));
}

}  // namespace tessaro
