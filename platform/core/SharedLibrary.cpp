#include "platform/core/SharedLibrary.h"

#include <atomic>
#include <dlfcn.h>
#include <system_error>

namespace tessaro {

namespace {

std::atomic<int> loadCalls{0};

// A library that brings Qt classes of its own must stay mapped after it is
// released: Qt may still hold addresses inside it (meta-objects, pending
// deletes) until the application object is gone.
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;

}  // namespace

LibraryHandle LoadSharedLibrary(const std::string& name, const std::vector<std::filesystem::path>& folders)
{
    ++loadCalls;
    if (name.empty())
        return nullptr;
    if (name.find('/') != std::string::npos)
        return dlopen(name.c_str(), kOpenFlags);

    for (const auto& folder : folders) {
        if (folder.empty())
            continue;
        const std::filesystem::path candidate = folder / name;
        std::error_code error;
        if (!std::filesystem::is_regular_file(candidate, error))
            continue;
        if (LibraryHandle library = dlopen(candidate.c_str(), kOpenFlags))
            return library;
    }
    return dlopen(name.c_str(), kOpenFlags);
}

void* FindLibrarySymbol(LibraryHandle library, const char* symbol)
{
    if (library == nullptr || symbol == nullptr)
        return nullptr;
    return dlsym(library, symbol);
}

void FreeSharedLibrary(LibraryHandle library)
{
    if (library != nullptr)
        dlclose(library);
}

int SharedLibraryLoadCalls()
{
    return loadCalls.load();
}

}  // namespace tessaro
