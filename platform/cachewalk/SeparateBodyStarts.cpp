#include "platform/cachewalk/SeparateBodyStarts.h"

#include "platform/cachewalk/MovieBody.h"
#include "platform/core/BatchedReads.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tessaro {

namespace {

constexpr std::size_t kBatch = BatchedReads::kBatchFiles;

}  // namespace

SeparateBodyStarts::SeparateBodyStarts(const FolderCacheFiles& files, const std::atomic<bool>* cancelled,
                                       std::size_t maxFiles)
    : files_(files), cancelled_(cancelled), maxFiles_(maxFiles), reader_([this] { Work(true); })
{
}

SeparateBodyStarts::~SeparateBodyStarts()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        next_ = wanted_.size();  // what is not read yet is not wanted any more
    }
    changed_.notify_all();
}

void SeparateBodyStarts::Add(std::span<const BlockFileEntry> entries)
{
    {
        const std::lock_guard lock(mutex_);
        for (const BlockFileEntry& entry : entries) {
            const std::optional<std::uint32_t> number = SeparateBodyFile(entry);
            if (number && wanted_.size() < maxFiles_ && asked_.insert(*number).second)
                wanted_.push_back(*number);
        }
    }
    changed_.notify_all();
}

void SeparateBodyStarts::ReadRest()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    Work(false);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return reading_ == 0; });
    if (!sorted_) {
        std::sort(starts_.begin(), starts_.end(), [](const Start& a, const Start& b) { return a.number < b.number; });
        sorted_ = true;
    }
}

const SeparateBodyStarts::Start* SeparateBodyStarts::Find(std::uint32_t number) const
{
    const auto it = std::lower_bound(starts_.begin(), starts_.end(), number,
                                     [](const Start& start, std::uint32_t wanted) { return start.number < wanted; });
    return it != starts_.end() && it->number == number ? &*it : nullptr;
}

void SeparateBodyStarts::Work(bool untilClosed)
{
    // Taken with the first batch: a caller often finds nothing left.
    std::optional<BatchedReads> reads;
    std::vector<char> room;
    std::array<std::uint32_t, kBatch> numbers{};
    std::array<std::string, kBatch> names;
    std::array<FileStart, kBatch> batch;
    std::vector<Start> done;
    while (true) {
        std::size_t count = 0;
        {
            std::unique_lock lock(mutex_);
            if (untilClosed)
                changed_.wait(lock, [this] { return closed_ || next_ < wanted_.size(); });
            if (next_ >= wanted_.size() || (cancelled_ != nullptr && cancelled_->load(std::memory_order_relaxed)))
                return;
            count = std::min(kBatch, wanted_.size() - next_);
            std::copy_n(wanted_.begin() + static_cast<std::ptrdiff_t>(next_), count, numbers.begin());
            next_ += count;
            ++reading_;
        }
        if (!reads) {
            reads.emplace();
            room.resize(kBatch * kShortCodedPrefixLength);
        }
        for (std::size_t at = 0; at < count; ++at) {
            names[at] = files_.OpenName(BlockFileBodyName(true, numbers[at]));
            batch[at] =
                FileStart{names[at].c_str(), kShortCodedPrefixLength, room.data() + at * kShortCodedPrefixLength};
        }
        reads->ReadStarts(files_.FolderFd(), std::span(batch.data(), count));
        done.clear();
        for (std::size_t at = 0; at < count; ++at) {
            const bool opened = batch[at].result == RegularFileResult::Ok;
            done.push_back({numbers[at], opened, batch[at].size, std::string(batch[at].out, batch[at].got)});
        }
        {
            const std::lock_guard lock(mutex_);
            std::move(done.begin(), done.end(), std::back_inserter(starts_));
            --reading_;
        }
        changed_.notify_all();
    }
}

}  // namespace tessaro
