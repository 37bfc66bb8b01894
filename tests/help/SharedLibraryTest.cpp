#include "platform/core/SharedLibrary.h"

#include "support/TempDir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

// A small real library to load from places of the test's choosing.
std::filesystem::path SystemZlib()
{
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/libz.so.1", "/lib/x86_64-linux-gnu/libz.so.1",
                             "/usr/lib64/libz.so.1", "/usr/lib/libz.so.1"}) {
        if (std::filesystem::exists(path))
            return path;
    }
    return {};
}

std::filesystem::path FileOfSymbol(LibraryHandle library, const char* symbol)
{
    Dl_info info{};
    void* address = FindLibrarySymbol(library, symbol);
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return {};
    return std::filesystem::weakly_canonical(info.dli_fname);
}

class SharedLibrarySearch : public testing::Test {
protected:
    void SetUp() override
    {
        zlib = SystemZlib();
        if (zlib.empty())
            GTEST_SKIP() << "no zlib shared library on this machine";
        std::filesystem::create_directories(withLibrary.path() / "lib");
        std::filesystem::copy_file(zlib, withLibrary.path() / "lib" / "libprobe.so");
    }

    std::filesystem::path Copy() const
    {
        return std::filesystem::weakly_canonical(withLibrary.path() / "lib" / "libprobe.so");
    }

    std::filesystem::path zlib;
    test::TempDir empty;
    test::TempDir withLibrary;
};

TEST_F(SharedLibrarySearch, BareNameIsTakenFromTheFirstFolderThatHoldsIt)
{
    LibraryHandle library = LoadSharedLibrary("libprobe.so", {empty.path(), {}, withLibrary.path() / "lib"});
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(FileOfSymbol(library, "zlibVersion"), Copy());
    EXPECT_EQ(FindLibrarySymbol(library, "NoSuchSymbol"), nullptr);
    FreeSharedLibrary(library);
}

TEST_F(SharedLibrarySearch, PathIsOpenedAsItStandsAndNotSearched)
{
    EXPECT_EQ(LoadSharedLibrary((empty.path() / "libprobe.so").string(), {withLibrary.path() / "lib"}), nullptr);
    LibraryHandle library = LoadSharedLibrary(Copy().string(), {});
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(FileOfSymbol(library, "zlibVersion"), Copy());
    FreeSharedLibrary(library);
}

TEST_F(SharedLibrarySearch, NameInNoFolderFallsBackToTheSystemSearch)
{
    EXPECT_EQ(LoadSharedLibrary("libprobe.so", {empty.path()}), nullptr);
    EXPECT_EQ(LoadSharedLibrary("", {withLibrary.path() / "lib"}), nullptr);
    LibraryHandle library = LoadSharedLibrary("libz.so.1", {empty.path()});
    ASSERT_NE(library, nullptr);
    EXPECT_NE(FindLibrarySymbol(library, "zlibVersion"), nullptr);
    FreeSharedLibrary(library);
}

TEST_F(SharedLibrarySearch, EveryLoadIsCounted)
{
    const int before = SharedLibraryLoadCalls();
    LoadSharedLibrary("libprobe.so", {empty.path()});
    FreeSharedLibrary(LoadSharedLibrary("libz.so.1", {}));
    EXPECT_EQ(SharedLibraryLoadCalls() - before, 2);
}

}  // namespace
}  // namespace tessaro
