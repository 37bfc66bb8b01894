#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace tessaro {

// The base of the program's workers. The body runs on a thread of its own;
// everything that touches the window goes through Synchronize or Queue and is
// carried out on the UI thread (the thread that owns the application object).
//
// The end handler is delivered on the UI thread after the body has returned
// and after every report the body queued; it is looked up at delivery, so a
// handler attached right after the start is never missed however short the
// run. With FreeOnTerminate the worker deletes itself after the handler ran.
//
// A worker "created running" calls Start() as the last step of its own
// constructor: a base constructor cannot start it, since the body would then
// run on an object that is still being built.
class TThread {
public:
    using TerminateHandler = std::function<void(TThread*)>;

    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the body; later calls do nothing.
    void Start();

    // Blocks until the body has returned. Not for the UI thread while the body
    // may call Synchronize (it would wait for the UI thread forever).
    void WaitFor();

    bool Finished() const { return finished_; }
    // Whatever the body threw; workers swallow their own failures.
    std::exception_ptr FatalException() const { return fatalException_; }

    TerminateHandler OnTerminate;
    bool FreeOnTerminate = false;

protected:
    virtual void Execute() = 0;

    // Runs fn on the UI thread and waits for it to return.
    void Synchronize(const std::function<void()>& fn);
    // Runs fn on the UI thread later, in the order of the calls; does not wait.
    void Queue(std::function<void()> fn);

private:
    struct Link;

    void Run();
    void DeliverTerminate();

    std::shared_ptr<Link> link_;
    std::thread thread_;
    bool started_ = false;
    std::atomic<bool> finished_{false};
    std::exception_ptr fatalException_;
};

// Runs fn on the UI thread later; usable from any thread.
void RunOnUiThread(std::function<void()> fn);

}  // namespace tessaro
