#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro::test {

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the program writes destination folders: with a final "/".
    std::string folder() const { return path_.string() + "/"; }

    std::filesystem::path write(const std::string& relative, const std::string& bytes) const;
    static std::string read(const std::filesystem::path& file);

private:
    std::filesystem::path path_;
};

// The names in a folder, sorted: a left-over temporary file shows up here.
std::vector<std::string> EntryNames(const std::filesystem::path& folder);

// Polls, without running the event loop, until the folder holds at least
// count entries (a copy under way has made its temporary file); false when
// timeoutMs passed first.
bool WaitForEntries(const std::filesystem::path& folder, std::size_t count, int timeoutMs);

}  // namespace tessaro::test
