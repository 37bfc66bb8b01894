#include "download/PartialFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

namespace tessaro {

namespace {

std::string RandomTag()
{
    static thread_local std::mt19937 generator{std::random_device{}()};
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(generator()));
    return text;
}

}  // namespace

PartialFile::PartialFile(std::string target) : target_(std::move(target))
{
}

PartialFile::~PartialFile()
{
    Discard();
}

bool PartialFile::Fail(const std::string& what, int error)
{
    error_ = what + ": " + std::error_code(error, std::generic_category()).message();
    return false;
}

bool PartialFile::Open()
{
    const auto slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    // A short name of our own: the target's name may be long enough that a
    // suffix would push it over the file system's limit.
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary_ = folder + ".tessaro-" + RandomTag() + ".part";
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    temporary_.clear();
    return Fail("cannot create a file in " + (folder.empty() ? std::string(".") : folder), error);
}

bool PartialFile::Write(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot write " + temporary_, errno);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool PartialFile::Commit()
{
    if (fd_ < 0)
        return Fail("cannot save " + target_, EBADF);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        const int error = errno;
        Discard();
        return Fail("cannot write " + target_, error);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Discard();
        return Fail("cannot save " + target_, error);
    }
    temporary_.clear();
    return true;
}

void PartialFile::Discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace tessaro
