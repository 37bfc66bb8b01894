#pragma once

#include <filesystem>
#include <string>

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

}  // namespace tessaro::test
