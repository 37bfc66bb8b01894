#include "platform/cachewalk/WebArchiveRecords.h"

namespace tessaro {

namespace {

// A damaged package may end many of its files early; a few say enough.
constexpr std::size_t kMaxProblems = 16;

}  // namespace

WebArchiveRecords::WebArchiveRecords(const std::filesystem::path& archive, WebArchiveKind kind,
                                     const std::atomic<bool>* cancelled)
    : path_(archive), kind_(kind), cancelled_(cancelled)
{
    if (kind_ == WebArchiveKind::Wacz) {
        package_ = std::make_unique<WaczPackage>();
        if (package_->OpenFile(archive) != WaczPackage::Result::Ok)
            package_.reset();
    }
    OpenedFile file;
    if (OpenRegularFile(archive.c_str(), file) == RegularFileResult::Ok)
        stamp_ = {file.size, file.modifiedNs};
}

WebArchiveRecords::~WebArchiveRecords() = default;

bool WebArchiveRecords::OpenNextFile()
{
    reader_.reset();
    input_.reset();
    if (kind_ == WebArchiveKind::Records) {
        if (nextFile_++ > 0)
            return false;
        auto file = std::make_unique<FileArchiveInput>(path_);
        // Read as it was stamped: a file replaced since is read at the next walk.
        if (!file->IsOpen() || FileStamp{file->File().size, file->File().modifiedNs} != stamp_)
            return false;
        input_ = std::move(file);
        fileKey_ = path_.string() + "#";
    } else {
        if (!package_ || nextFile_ >= package_->ArchiveCount())
            return false;
        input_ = package_->OpenArchive(nextFile_);
        fileKey_ = path_.string() + "#" + std::to_string(nextFile_) + ":";
        ++nextFile_;
        if (!input_)
            return true;  // an entry that cannot be read: the next one
    }
    reader_ = std::make_unique<ArchiveReader>(*input_, cancelled_);
    return true;
}

bool WebArchiveRecords::Next(ArchiveRecord& record)
{
    while (true) {
        if (!reader_ && !OpenNextFile())
            return false;
        if (reader_ && reader_->Next(record))
            return true;
        if (cancelled_ != nullptr && cancelled_->load())
            return false;
        if (const ArchiveReader::Result result = reader_->GetResult(); result != ArchiveReader::Result::End &&
                                                                       result != ArchiveReader::Result::Cancelled &&
                                                                       problems_.size() < kMaxProblems) {
            const std::string where =
                kind_ == WebArchiveKind::Wacz ? " (file " + std::to_string(nextFile_) + " of the package)" : "";
            problems_.push_back(std::string(ToString(result)) + where);
        }
        reader_.reset();
    }
}

std::string WebArchiveRecords::RecordKey(const ArchiveRecord& record) const
{
    return fileKey_ + std::to_string(record.position);
}

}  // namespace tessaro
