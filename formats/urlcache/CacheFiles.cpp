#include "formats/urlcache/CacheFiles.h"

#include <algorithm>
#include <cstdlib>
#include <sys/mman.h>
#include <sys/stat.h>

namespace tessaro {

FolderCacheFiles::FolderCacheFiles(std::filesystem::path folder, std::uint64_t wholeFileBytes)
    : folder_(std::move(folder)),
      folderFd_(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK)),
      wholeFileBytes_(wholeFileBytes)
{
}

std::string FolderCacheFiles::OpenName(const std::string& name) const
{
    return folderFd_.Valid() ? name : (folder_ / name).string();
}

void FileBytesDeleter::operator()(char* bytes) const
{
    if (mappedLength != 0)
        ::munmap(bytes, mappedLength);
    else
        std::free(bytes);
}

namespace {

// A large file's pages come in one call, not a fault at a time.
FileBytes AllocateFileBytes(std::size_t size)
{
    constexpr std::size_t kMappedFrom = std::size_t(1) << 20;
    if (size < kMappedFrom)
        return FileBytes(static_cast<char*>(std::malloc(size == 0 ? 1 : size)));
    void* bytes = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (bytes == MAP_FAILED)
        return nullptr;
    return FileBytes(static_cast<char*>(bytes), FileBytesDeleter{size});
}

}  // namespace

const ByteSource* FolderCacheFiles::Source(const Opened& opened)
{
    if (!opened.file->IsOpen())
        return nullptr;
    if (opened.memory)
        return opened.memory.get();
    return opened.file.get();
}

const ByteSource* FolderCacheFiles::Open(const std::string& name)
{
    {
        // Mostly a file opened before: readers on other threads do not wait.
        const std::shared_lock lock(mutex_);
        if (const auto found = opened_.find(name); found != opened_.end())
            return Source(found->second);
    }
    const std::unique_lock lock(mutex_);
    auto found = opened_.find(name);
    if (found == opened_.end()) {
        Opened opened;
        opened.file = std::make_unique<FileByteSource>(FolderFd(), OpenName(name).c_str());
        if (opened.file->IsOpen() && opened.file->Size() <= wholeFileBytes_) {
            // Tens of MiB at every walk, read straight into memory held for them.
            const auto size = static_cast<std::size_t>(opened.file->Size());
            opened.bytes = AllocateFileBytes(size);
            if (opened.bytes && opened.file->ReadInto(0, size, opened.bytes.get()))
                opened.memory = std::make_unique<MemoryByteSource>(std::string_view(opened.bytes.get(), size));
            else
                opened.bytes.reset();
        } else if (opened.file->IsOpen() && opened.file->Size() > 0) {
            // A large file keeps its first and last KiB once read; read both
            // now, so that its readers on other threads only read.
            std::string ends;
            opened.file->Read(0, 1, ends);
            opened.file->Read(opened.file->Size() - 1, 1, ends);
        }
        found = opened_.emplace(name, std::move(opened)).first;
    }
    return Source(found->second);
}

std::optional<std::uint64_t> FolderCacheFiles::SizeOf(const std::string& name)
{
    {
        const std::shared_lock lock(mutex_);
        if (const auto found = opened_.find(name); found != opened_.end() && found->second.file->IsOpen())
            return found->second.file->Size();
    }
    struct stat status {};
    if (::fstatat(FolderFd(), OpenName(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
}

void FolderCacheFiles::Close(const std::string& name)
{
    const std::unique_lock lock(mutex_);
    opened_.erase(name);
}

std::vector<std::string> FolderCacheFiles::ListNames(std::size_t limit) const
{
    namespace fs = std::filesystem;
    constexpr int kLevelsBelow = 2;
    std::vector<std::string> names;
    std::error_code error;
    fs::recursive_directory_iterator entry(folder_, fs::directory_options::skip_permission_denied, error);
    for (std::size_t seen = 0; !error && entry != fs::recursive_directory_iterator() && seen < limit;
         entry.increment(error), ++seen) {
        std::error_code statusError;
        const fs::file_status status = entry->symlink_status(statusError);
        if (statusError)
            continue;  // gone since the folder was read
        if (fs::is_regular_file(status))
            names.push_back(entry->path().lexically_relative(folder_).generic_string());
        else if (fs::is_directory(status) && entry.depth() >= kLevelsBelow)
            entry.disable_recursion_pending();
    }
    std::sort(names.begin(), names.end());
    return names;
}

FileStamp FolderCacheFiles::StampOf(const std::string& name) const
{
    const std::shared_lock lock(mutex_);
    const auto found = opened_.find(name);
    return found == opened_.end() ? FileStamp{} : found->second.file->Stamp();
}

const ByteSource* MemoryCacheFiles::Open(const std::string& name)
{
    const auto file = files_.find(name);
    if (file == files_.end())
        return nullptr;
    auto& source = sources_[name];
    if (!source)
        source = std::make_unique<MemoryByteSource>(file->second);
    return source.get();
}

std::optional<std::uint64_t> MemoryCacheFiles::SizeOf(const std::string& name)
{
    const auto file = files_.find(name);
    if (file == files_.end())
        return std::nullopt;
    return file->second.size();
}

std::vector<std::string> MemoryCacheFiles::ListNames(std::size_t limit) const
{
    std::vector<std::string> names;
    for (auto file = files_.begin(); file != files_.end() && names.size() < limit; ++file)
        names.push_back(file->first);
    return names;
}

}  // namespace tessaro
