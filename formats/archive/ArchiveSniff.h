#pragma once

#include <filesystem>
#include <string_view>

namespace tessaro {

enum class WebArchiveKind {
    None,
    Records,  // WARC or ARC records, plain or gzip-compressed
    Wacz,
};

// Bytes read from a file's start to tell what it holds.
constexpr std::size_t kArchiveSniffBytes = 1024;

// What a file is by its first bytes: a WARC record header, an ARC file
// header, or a gzip member that inflates to either. A zip is told by its
// contents (WebArchiveKindOf).
WebArchiveKind RecordsKindOf(std::string_view head);

// What the file at path is, by what it holds, whatever its name.
WebArchiveKind WebArchiveKindOf(const std::filesystem::path& path);

}  // namespace tessaro
