#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "platform/urlcache/ByteSource.h"

namespace tessaro {

// The stamp of the file at path now; false when it is not a regular file
// or cannot be looked at.
bool StampOf(const std::filesystem::path& path, FileStamp& stamp);

// What the last walks checked out, kept beside the check-outs, so that an
// entry whose container is unchanged is not decoded again and a check-out
// stays while its entry is still in its cache. The file holds one line per
// entry: container path, its size and time, check-out path, its size and
// time, separated by tabs; "%", tab, CR and LF in paths written as "%XX".
class CheckoutRecords {
public:
    static constexpr const char* kFileName = ".checkouts";
    // A longer file is not ours (or is damaged): the walk starts afresh.
    static constexpr std::uintmax_t kMaxFileBytes = 16 * 1024 * 1024;

    struct Record {
        FileStamp container;
        std::filesystem::path checkout;
        FileStamp checkoutFile;
    };

    explicit CheckoutRecords(std::filesystem::path contentFolder);

    void Load();
    // Writes the records when they changed since Load.
    bool Save();
    std::filesystem::path FilePath() const { return contentFolder_ / kFileName; }

    bool Has(const std::string& container) const { return records_.count(container) != 0; }
    // The record of a container with this stamp whose check-out is still as
    // it was written; null otherwise.
    const Record* FindCurrent(const std::string& container, const FileStamp& stamp) const;
    void Put(const std::string& container, Record record)
    {
        records_[container] = std::move(record);
        changed_ = true;
    }
    // Drops the records of every container not in containers.
    void Retain(const std::set<std::string>& containers);
    std::set<std::filesystem::path> Checkouts() const;

private:
    std::filesystem::path contentFolder_;
    std::map<std::string, Record> records_;
    bool changed_ = false;
};

}  // namespace tessaro
