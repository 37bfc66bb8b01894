#include "formats/archive/WaczPackage.h"

#include "platform/core/ByteOrder.h"
#include "platform/core/RegularFile.h"

#include <algorithm>
#include <unistd.h>
#include <zip.h>

namespace tessaro {

namespace {

// One entry's bytes as libzip inflates them, never more than its stated size.
class ZipEntryInput : public ArchiveInput {
public:
    ZipEntryInput(zip_file_t* file, std::uint64_t size) : file_(file), size_(size) {}
    ~ZipEntryInput() override { zip_fclose(file_); }
    ZipEntryInput(const ZipEntryInput&) = delete;
    ZipEntryInput& operator=(const ZipEntryInput&) = delete;

    bool Read(char* buffer, std::size_t capacity, std::size_t& got) override
    {
        got = 0;
        const std::uint64_t left = size_ - read_;
        if (left == 0)
            return true;
        const zip_int64_t n = zip_fread(file_, buffer, std::min<std::uint64_t>(capacity, left));
        if (n < 0)
            return false;
        got = static_cast<std::size_t>(n);
        read_ += got;
        return true;
    }
    std::uint64_t Size() const override { return size_; }

private:
    zip_file_t* file_;
    std::uint64_t size_;
    std::uint64_t read_ = 0;
};

// The end of central directory record (22 bytes and a comment of up to
// 65535), and before it, for a zip64 file, the zip64 end record (56 bytes)
// and its locator (20).
constexpr std::size_t kZipTailBytes = 22 + 65535 + 56 + 20;

// Whether the zip's central directory, as its end record states it, is
// within the bounds, before libzip reads it whole into memory.
WaczPackage::Result CentralDirectoryWithinBounds(std::string_view tail)
{
    const std::size_t end = tail.rfind(std::string_view("PK\x05\x06", 4));
    if (end == std::string_view::npos || tail.size() - end < 22)
        return WaczPackage::Result::NotAZip;
    std::uint64_t entries = LoadLe16(tail.data() + end + 10);
    std::uint64_t size = LoadLe32(tail.data() + end + 12);
    if (entries == 0xffff || size == 0xffffffff) {
        const std::size_t end64 = tail.rfind(std::string_view("PK\x06\x06", 4), end);
        if (end64 == std::string_view::npos || end - end64 < 56)
            return WaczPackage::Result::NotAZip;
        entries = LoadLe64(tail.data() + end64 + 32);
        size = LoadLe64(tail.data() + end64 + 40);
    }
    return entries <= WaczPackage::kMaxEntries && size <= WaczPackage::kMaxCentralDirectoryBytes
               ? WaczPackage::Result::Ok
               : WaczPackage::Result::TooManyEntries;
}

}  // namespace

bool LooksLikeZip(std::string_view head)
{
    return head.starts_with(std::string_view("PK\x03\x04", 4));
}

WaczPackage::WaczPackage() = default;

WaczPackage::~WaczPackage()
{
    if (zip_ != nullptr)
        zip_discard(zip_);
}

WaczPackage::Result WaczPackage::OpenFile(const std::filesystem::path& path)
{
    OpenedFile file;
    if (OpenRegularFile(path.c_str(), file) != RegularFileResult::Ok)
        return Result::NotAZip;
    std::string tail(static_cast<std::size_t>(std::min<std::uint64_t>(file.size, kZipTailBytes)), '\0');
    const ssize_t read = ::pread(file.fd.Get(), tail.data(), tail.size(), static_cast<off_t>(file.size - tail.size()));
    if (read != static_cast<ssize_t>(tail.size()))
        return Result::NotAZip;
    if (const Result bounded = CentralDirectoryWithinBounds(tail); bounded != Result::Ok)
        return bounded;
    // libzip closes the descriptor it is given; the opened one goes with file.
    const int fd = ::dup(file.fd.Get());
    if (fd < 0)
        return Result::NotAZip;
    int error = 0;
    zip_ = zip_fdopen(fd, ZIP_RDONLY, &error);
    if (zip_ == nullptr) {
        ::close(fd);
        return Result::NotAZip;
    }
    return List();
}

WaczPackage::Result WaczPackage::OpenMemory(std::string_view bytes)
{
    const std::string_view tail = bytes.substr(bytes.size() - std::min(bytes.size(), kZipTailBytes));
    if (const Result bounded = CentralDirectoryWithinBounds(tail); bounded != Result::Ok)
        return bounded;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source != nullptr)
        zip_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (zip_ == nullptr && source != nullptr)
        zip_source_free(source);
    zip_error_fini(&error);
    return zip_ == nullptr ? Result::NotAZip : List();
}

WaczPackage::Result WaczPackage::List()
{
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > kMaxEntries)
        return Result::TooManyEntries;
    bool described = false;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        zip_stat_t stat;
        if (zip_stat_index(zip_, i, 0, &stat) != 0 || (stat.valid & ZIP_STAT_NAME) == 0)
            continue;
        const std::string_view name(stat.name);
        if (name == "datapackage.json") {
            described = true;
            continue;
        }
        if (!name.starts_with("archive/") || name.ends_with('/') || (stat.valid & ZIP_STAT_SIZE) == 0 ||
            (stat.valid & ZIP_STAT_COMP_SIZE) == 0)
            continue;
        // An entry that claims to inflate past the ratio is a bomb.
        if (stat.size > (stat.comp_size + 64) * kMaxInflateRatio)
            continue;
        if (archives_.size() < kMaxArchives)
            archives_.push_back({std::string(name), i, stat.size});
    }
    std::sort(archives_.begin(), archives_.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    if (!described || archives_.empty()) {
        archives_.clear();
        return Result::NotAPackage;
    }
    return Result::Ok;
}

std::unique_ptr<ArchiveInput> WaczPackage::OpenArchive(std::size_t i) const
{
    if (zip_ == nullptr || i >= archives_.size())
        return nullptr;
    zip_file_t* file = zip_fopen_index(zip_, archives_[i].index, 0);
    if (file == nullptr)
        return nullptr;
    return std::make_unique<ZipEntryInput>(file, archives_[i].size);
}

}  // namespace tessaro
