#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cstdlib>
#include <unistd.h>

namespace tessaro::test {

namespace {

void SetDefault(const char* name, const std::string& value)
{
    setenv(name, value.c_str(), 0);
}

std::filesystem::path MakePrivateDir(const char* pattern)
{
    std::string templ = (std::filesystem::temp_directory_path() / pattern).string();
    if (mkdtemp(templ.data()) == nullptr)
        std::abort();
    return templ;
}

}  // namespace

void PrepareTestEnvironment()
{
    SetDefault("QT_QPA_PLATFORM", "offscreen");
    SetDefault("QTWEBENGINE_DISABLE_SANDBOX", "1");
    SetDefault("QTWEBENGINE_CHROMIUM_FLAGS",
               "--disable-background-networking --disable-component-update --no-pings "
               "--disable-domain-reliability");
    SetDefault("QT_LOGGING_RULES", "qt.webenginecontext.info=false");

    // A fresh runtime, cache and settings folder per test process: tests run
    // in parallel and must not share the web engine's profile, the check-out
    // folder or the settings, nor touch the real user's.
    static const std::filesystem::path runtime = MakePrivateDir("tessaro-run-XXXXXX");
    static const std::filesystem::path cache = MakePrivateDir("tessaro-cache-XXXXXX");
    static const std::filesystem::path config = MakePrivateDir("tessaro-config-XXXXXX");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(runtime, ignored);
        std::filesystem::remove_all(cache, ignored);
        std::filesystem::remove_all(config, ignored);
    });
}

std::filesystem::path SourceDir()
{
    return TESSARO_SOURCE_DIR;
}

std::filesystem::path FixturesDir()
{
    return std::filesystem::path(TESSARO_SOURCE_DIR) / "tests" / "fixtures";
}

std::filesystem::path RuntimeDir()
{
    if (const char* dir = std::getenv("TESSARO_RUNTIME_DIR"))
        return dir;
    return TESSARO_BINARY_RUNTIME_DIR;
}

bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace tessaro::test
