#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tessaro::test {

// While it lives, a file this process writes cannot grow past the given
// size (a write past it fails instead of raising SIGXFSZ), so a test whose
// stop or bound is missed fails instead of filling the disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Set() const { return set_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool set_ = false;
};

}  // namespace tessaro::test
