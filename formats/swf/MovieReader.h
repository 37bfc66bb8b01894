#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaro {

// Bounds of one read of a movie (the movies inside it included).
inline constexpr std::size_t kMaxMovieBodyBytes = std::size_t(128) << 20;  // decompressed, all levels together
inline constexpr std::size_t kMaxMovieTags = std::size_t(1) << 20;         // tags walked, all levels together
inline constexpr int kMaxNestedMovieDepth = 3;                             // movies inside movies, below the one read
inline constexpr int kMaxSpriteDepth = 2;  // sprites inside sprites (a player allows none)
// The bytes of strings offered as names, at most this many times the bytes
// read (the file as given): real movies offer about their size, a compressed
// body that repeats one string needs this bound.
inline constexpr std::size_t kMaxOfferedBytesPerMovieByte = 8;
// The decompressed bytes the details need (header, first tags), and the bytes
// of a file that hold them whatever the compression.
inline constexpr std::size_t kMovieDetailsBodyBytes = 4 * 1024;
inline constexpr std::size_t kMovieDetailsFileBytes = 64 * 1024;

enum class MovieCompression { None, Zlib, Lzma };

enum class MovieReadResult {
    Ok,           // read to its end
    NotAMovie,    // no "FWS", "CWS" or "ZWS" header
    CutShort,     // the bytes end before the length the header gives
    Corrupt,      // a damaged compressed stream, or a tag running past the movie's end
    TooLarge,     // the body would decompress past kMaxMovieBodyBytes: only the details are read
    TooManyTags,  // more than kMaxMovieTags tags
    TooMuchWork,  // its strings passed kMaxOfferedBytesPerMovieByte times its bytes
    Cancelled,    // the caller's flag was set
};

const char* ToString(MovieReadResult result);

struct TMovieDetails {
    int version = 0;
    MovieCompression compression = MovieCompression::None;
    std::uint32_t fileLength = 0;  // uncompressed, as the header gives it
    double stageWidth = 0;         // pixels
    double stageHeight = 0;
    double frameRate = 0;  // frames a second
    int frameCount = 0;
    bool actionScript3 = false;
    bool hasFrame = false;  // false when the bytes ended inside the header: only version and compression are known
};

struct TMovieReading {
    MovieReadResult result = MovieReadResult::NotAMovie;
    TMovieDetails details;         // of the movie read, not of the ones inside it
    QStringList movieNames;        // strings naming a movie, each once, in the order met, blanks at the ends set aside
    QStringList fileNames;         // likewise, strings naming another file the movie loads (data, media, libraries)
    int nestedMovies = 0;          // movies inside DefineBinaryData that were read
    std::size_t offeredBytes = 0;  // bytes of the strings weighed as names (the work budget's count)
};

// Reads a whole movie: its details and every string in its code (and in the
// movies inside it) that names a movie. What lies before a fault is kept.
// cancelled, when given, is looked at before every tag.
TMovieReading ReadMovie(std::string_view bytes, const std::atomic<bool>* cancelled = nullptr);

// Reads only the details; bytes may be just the file's first
// kMovieDetailsFileBytes. The result says whether the header was there.
TMovieReading ReadMovieDetails(std::string_view bytes);

// The details as the lines of a tooltip.
QString DescribeMovie(const TMovieDetails& details);

}  // namespace tessaro
