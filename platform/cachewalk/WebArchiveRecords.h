#pragma once

#include "formats/archive/ArchiveInput.h"
#include "formats/archive/ArchiveRecords.h"
#include "formats/archive/ArchiveSniff.h"
#include "formats/archive/WaczPackage.h"
#include "formats/urlcache/ByteSource.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

// The records of one web archive file in order: a WARC or ARC file, or a
// WACZ package's WARC files one after the other. The end of one file of a
// package, read whole or cut, is not the end of the package.
class WebArchiveRecords {
public:
    // Reading stops once cancelled points at a set flag, inside a record too.
    WebArchiveRecords(const std::filesystem::path& archive, WebArchiveKind kind,
                      const std::atomic<bool>* cancelled = nullptr);
    ~WebArchiveRecords();

    // The archive file as it was opened.
    const FileStamp& Stamp() const { return stamp_; }
    // The next record; false after the last.
    bool Next(ArchiveRecord& record);
    // The reader of the record Next gave, for its payload.
    ArchiveReader& Reader() { return *reader_; }
    // Why the reading of a file of the archive ended early (a record running
    // past the file, a damaged stream): the file and the reason, a line each.
    const std::vector<std::string>& Problems() const { return problems_; }
    // A key of the record Next gave, unique in the archive: the WARC file's
    // place in a package and the record's place in its file.
    std::string RecordKey(const ArchiveRecord& record) const;

private:
    bool OpenNextFile();

    std::filesystem::path path_;
    WebArchiveKind kind_;
    const std::atomic<bool>* cancelled_;
    FileStamp stamp_;
    std::unique_ptr<WaczPackage> package_;
    std::size_t nextFile_ = 0;
    std::string fileKey_;
    std::unique_ptr<ArchiveInput> input_;
    std::unique_ptr<ArchiveReader> reader_;
    std::vector<std::string> problems_;
};

}  // namespace tessaro
