#pragma once

#include "formats/urlcache/ByteSource.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace tessaro {

// The stamp of the file at path now; false when it is not a regular file
// or cannot be looked at.
bool StampOf(const std::filesystem::path& path, FileStamp& stamp);

// What the last walks checked out, kept beside the check-outs, so that an
// entry whose container is unchanged is not decoded again and a check-out
// stays while its entry is still in its cache. The file holds one line per
// entry: container path, its size and time, check-out path, its size and
// time, separated by tabs; "%", tab, CR and LF in paths written as "%XX".
//
// The records also keep the check-outs together under a cap: past it, the
// oldest check-outs (by the time their files were written) go first, except
// those the current walk has listed.
class CheckoutRecords {
public:
    static constexpr const char* kFileName = ".checkouts";
    // A longer file is not ours (or is damaged): the walk starts afresh.
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
    // The check-outs together, decoded movies of at most 128 MiB each.
    static constexpr std::uint64_t kMaxTotalBytes = std::uint64_t(4) << 30;

    struct Record {
        FileStamp container;
        std::filesystem::path checkout;
        FileStamp checkoutFile;
    };

    explicit CheckoutRecords(std::filesystem::path contentFolder, std::uint64_t maxTotalBytes = kMaxTotalBytes);

    void Load();
    // Takes the records of a file's text; lines that are not a record of a
    // check-out in this content folder are passed over.
    void Parse(std::string_view text);
    // Writes the records when they changed since Load.
    bool Save();
    std::filesystem::path FilePath() const { return contentFolder_ / kFileName; }

    bool Has(const std::string& container) const { return records_.count(container) != 0; }
    std::size_t Count() const { return records_.size(); }
    // The record of a container with this stamp whose check-out is still as
    // it was written; null otherwise.
    const Record* FindCurrent(const std::string& container, const FileStamp& stamp) const;
    // A check-out this walk has listed: it stays whatever the cap.
    void Pin(const std::string& container);
    // Records a check-out this walk made (pinned). A check-out the container
    // had before under another name goes.
    void Put(const std::string& container, Record record);
    // Drops the records of every container not in containers.
    void Retain(const std::set<std::string>& containers);
    std::set<std::filesystem::path> Checkouts() const;

    // The sizes of the recorded check-outs, together.
    std::uint64_t TotalBytes() const { return total_; }
    // Removes the oldest check-outs not pinned until more bytes fit under the
    // cap; false when they cannot, even with every such check-out gone.
    bool MakeRoom(std::uint64_t more);
    // Whether the container's check-out went to make room since Load: it is
    // not checked out again before the next walk, or it would push out the
    // next oldest in turn.
    bool MadeRoom(const std::string& container) const { return evicted_.count(container) != 0; }

private:
    void Drop(std::map<std::string, Record>::iterator it);

    std::filesystem::path contentFolder_;
    std::uint64_t maxTotalBytes_;
    std::map<std::string, Record> records_;
    // The records that may go to make room, oldest first.
    std::set<std::pair<std::int64_t, std::string>> evictable_;
    std::set<std::string> evicted_;
    std::uint64_t total_ = 0;
    bool changed_ = false;
};

}  // namespace tessaro
