#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Shared libraries opened at run time, for the parts of the program that are
// loaded only when first needed.

namespace tessaro {

using LibraryHandle = void*;

// Opens the library `name`: a name with a "/" is opened as that path; a bare
// file name is looked for in `folders` in order, then by the system's library
// search. Returns nullptr when it cannot be loaded.
LibraryHandle LoadSharedLibrary(const std::string& name, const std::vector<std::filesystem::path>& folders);

// The address of an exported symbol, or nullptr.
void* FindLibrarySymbol(LibraryHandle library, const char* symbol);

void FreeSharedLibrary(LibraryHandle library);

// How many times this process has called LoadSharedLibrary, successful or
// not; shows that a part is loaded once however often it is used.
int SharedLibraryLoadCalls();

}  // namespace tessaro
