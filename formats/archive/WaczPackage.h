#pragma once

#include "formats/archive/ArchiveInput.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace tessaro {

// A WACZ package: a zip holding datapackage.json and the WARC files of a
// capture under archive/ (beside pages/ and indexes/, which are not read).
// The zip is read through libzip; an entry's name is only ever compared and
// shown, never made into a path.
class WaczPackage {
public:
    // Entries a package may list, and WARC files read from one.
    static constexpr std::uint64_t kMaxEntries = 100000;
    static constexpr std::size_t kMaxArchives = 10000;
    // The central directory libzip reads whole: past this, not opened.
    static constexpr std::uint64_t kMaxCentralDirectoryBytes = 32 << 20;
    // A zip entry may inflate this much per stored byte (and a little slack).
    static constexpr std::uint64_t kMaxInflateRatio = 1000;

    enum class Result {
        Ok,
        NotAZip,
        NotAPackage,     // a zip without datapackage.json and WARC files under archive/
        TooManyEntries,  // more entries, or a larger central directory, than the bounds
    };

    WaczPackage();
    ~WaczPackage();
    WaczPackage(const WaczPackage&) = delete;
    WaczPackage& operator=(const WaczPackage&) = delete;

    Result OpenFile(const std::filesystem::path& path);
    // The bytes stay the caller's while the package is open.
    Result OpenMemory(std::string_view bytes);

    // The WARC files under archive/, in the order of their names.
    std::size_t ArchiveCount() const { return archives_.size(); }
    const std::string& ArchiveName(std::size_t i) const { return archives_[i].name; }
    // The file's bytes as they inflate; null when the entry cannot be read.
    std::unique_ptr<ArchiveInput> OpenArchive(std::size_t i) const;

private:
    Result List();

    struct Entry {
        std::string name;
        std::uint64_t index = 0;
        std::uint64_t size = 0;
    };
    zip* zip_ = nullptr;
    std::vector<Entry> archives_;
};

// Whether the first bytes of a file are a zip's (a local file header).
bool LooksLikeZip(std::string_view head);

}  // namespace tessaro
