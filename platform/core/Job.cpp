#include "platform/core/Job.h"

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <stdexcept>

namespace tessaro {

// A call is posted while the mutex is held and the line is open, and Close
// takes the mutex: once Close returned, nothing more is posted, and what was
// posted before finds the line closed when it comes up. The owner's
// destruction closes the line first, so nothing is posted to an object on
// its way out.
struct ReportChannel::Line {
    std::mutex mutex;
    QObject* owner = nullptr;
    std::atomic<bool> open{true};
    QMetaObject::Connection ownerGone;

    void Close()
    {
        const std::lock_guard lock(mutex);
        open = false;
        QObject::disconnect(ownerGone);
    }
};

ReportChannel::ReportChannel(QObject* owner) : line_(std::make_shared<Line>())
{
    if (owner == nullptr)
        throw std::invalid_argument("a report channel needs an object to report to");
    line_->owner = owner;
    // Held weakly: the connection lives with the owner, the line with its copies.
    line_->ownerGone = QObject::connect(owner, &QObject::destroyed, [weak = std::weak_ptr<Line>(line_)] {
        if (const std::shared_ptr<Line> line = weak.lock())
            line->Close();
    });
}

void ReportChannel::Post(std::function<void()> call) const
{
    if (line_ == nullptr)
        return;
    const std::lock_guard lock(line_->mutex);
    if (!line_->open)
        return;
    QMetaObject::invokeMethod(
        line_->owner,
        [line = line_, call = std::move(call)] {
            if (line->open)
                call();
        },
        Qt::QueuedConnection);
}

void ReportChannel::Close() const
{
    if (line_ != nullptr)
        line_->Close();
}

bool ReportChannel::IsOpen() const
{
    if (line_ == nullptr)
        return false;
    const std::lock_guard lock(line_->mutex);
    return line_->open;
}

Job::Job(QObject* owner, std::function<std::function<void()>(JobControl&)> run)
    : channel_(owner), cancelled_(std::make_shared<std::atomic<bool>>(false)), delivered_(std::make_shared<bool>(false))
{
    JobControl control(channel_, cancelled_);
    thread_ = std::thread([control = std::move(control), run = std::move(run), delivered = delivered_]() mutable {
        std::function<void()> reply = run(control);
        // Dropped unrun with the line, like any report.
        control.channel_.Post([delivered = std::move(delivered), reply = std::move(reply)] {
            *delivered = true;
            reply();
        });
    });
}

Job& Job::operator=(Job&& other) noexcept
{
    if (this != &other) {
        Stop();
        channel_ = std::move(other.channel_);
        cancelled_ = std::move(other.cancelled_);
        delivered_ = std::move(other.delivered_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

void Job::Cancel()
{
    if (cancelled_ != nullptr)
        *cancelled_ = true;
}

void Job::Stop()
{
    Cancel();
    channel_.Close();
    if (thread_.joinable())
        thread_.join();
    channel_ = ReportChannel();
    cancelled_.reset();
    delivered_.reset();
}

}  // namespace tessaro
