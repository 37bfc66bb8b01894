#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>
#include <utility>

class QObject;

namespace tessaro {

// Calls queued from any thread to an owner object's thread, carried out there
// in the order posted, and only while the line is open. Closing it (on the
// owner's thread) drops every call not yet carried out; the owner's
// destruction closes it too, so a call never reaches an object that is gone.
// Posting never waits for the owner. Copies share one line.
class ReportChannel {
public:
    // A closed line: what is posted to it goes nowhere.
    ReportChannel() = default;
    explicit ReportChannel(QObject* owner);

    void Post(std::function<void()> call) const;
    // Only on the owner's thread: once it returns, no call of this line runs.
    void Close() const;
    bool IsOpen() const;

private:
    struct Line;
    std::shared_ptr<Line> line_;
};

// What a running job sees of itself.
class JobControl {
public:
    // The owner asked the job to end: it stops at its next step.
    bool Cancelled() const { return cancelled_->load(); }
    // The same request as a flag, for a wait that watches one of its own
    // (HttpLimits::cancelled, a file copy); it lives as long as the job.
    const std::atomic<bool>* CancelFlag() const { return cancelled_.get(); }
    // Runs call on the owner's thread later, in the order of the calls,
    // unless the job was stopped or the owner went first.
    void Report(std::function<void()> call) const { channel_.Post(std::move(call)); }

private:
    friend class Job;
    JobControl(ReportChannel channel, std::shared_ptr<std::atomic<bool>> cancelled)
        : channel_(std::move(channel)), cancelled_(std::move(cancelled))
    {
    }

    ReportChannel channel_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

// How a job's task ended: what it returned, or what it threw (value is then
// default-made).
template <class Result>
struct JobEnd {
    Result value{};
    std::exception_ptr error;
};
template <>
struct JobEnd<void> {
    std::exception_ptr error;
};

// The program's one way to run work in the background. A task is a function
// over copies of its inputs that runs on a thread of its own, reports to its
// owner object through JobControl::Report, watches Cancelled(), and returns;
// its reply then runs on the owner's thread, after every report. The Job
// handle belongs to the owner: destroying it, or Stop(), cancels the task,
// drops what it had not yet delivered and joins its thread, so the owner's
// state is never used by a job after the owner's destructor stopped it.
// Every wait a task makes watches the cancel flag, so a stop ends within a
// fraction of a second.
//
// The reply may destroy or replace the handle that started it.
class Job {
public:
    Job() = default;
    ~Job() { Stop(); }
    Job(Job&& other) noexcept = default;
    // Stops the job this handle held before taking the other's.
    Job& operator=(Job&& other) noexcept;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Starts task(JobControl&) on a thread of its own; reply(JobEnd<R>), R
    // what task returns, comes on the owner's thread once the task returned
    // or threw, unless the job was stopped first.
    template <class Task, class Reply>
    static Job Start(QObject* owner, Task task, Reply reply);

    // Asks the task to end; what it reports on its way out and its reply
    // still come.
    void Cancel();
    // Cancels, drops every report and the reply not yet delivered, and waits
    // for the thread. Afterwards the handle holds no job.
    void Stop();

    // Started, and its reply not yet delivered.
    bool Running() const { return delivered_ != nullptr && !*delivered_; }

    // A handle compares equal to null while it holds no job.
    friend bool operator==(const Job& job, std::nullptr_t) { return !job.thread_.joinable(); }

private:
    // run gives the reply, to be carried out on the owner's thread.
    Job(QObject* owner, std::function<std::function<void()>(JobControl&)> run);

    ReportChannel channel_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    // Set on the owner's thread as the reply is carried out.
    std::shared_ptr<bool> delivered_;
    std::thread thread_;
};

template <class Task, class Reply>
Job Job::Start(QObject* owner, Task task, Reply reply)
{
    using Result = std::invoke_result_t<Task&, JobControl&>;
    // Held by pointer, so neither needs to be copyable; the task goes with
    // its thread, the reply with the call that carries it out.
    auto work = std::make_shared<Task>(std::move(task));
    auto answer = std::make_shared<Reply>(std::move(reply));
    return Job(owner, [work = std::move(work), answer = std::move(answer)](JobControl& control) {
        auto end = std::make_shared<JobEnd<Result>>();
        try {
            if constexpr (std::is_void_v<Result>)
                (*work)(control);
            else
                end->value = (*work)(control);
        } catch (...) {
            end->error = std::current_exception();
        }
        return std::function<void()>([answer, end] { (*answer)(*end); });
    });
}

}  // namespace tessaro
