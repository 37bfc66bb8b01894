// The movie reader's speed on a large movie, next to a plain read of the same
// file in the same run: the file is read from disk into memory, then read
// handed to the reader from memory; best of the rounds for each. Uncompressed and zlib movies of the given
// size, and an LZMA one of a fifth of it (building it is slow).
//
//   tessaro_movie_reader_bench [megabytes] [rounds]

#include "formats/swf/MovieReader.h"
#include "support/TempDir.h"
#include "support/TestMovies.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace tessaro;
using Clock = std::chrono::steady_clock;
using B = test::TMovieBuilder;

// Image-like tags of 64 KiB (bytes from a small alphabet, so zlib has work to
// do) with a short AS2 block after every eighth.
std::string BuildBody(std::size_t bytes)
{
    B movie(10);
    movie.FileAttributes(false);
    std::string blob(64 * 1024, '\0');
    std::uint32_t seed = 7;
    std::size_t written = 0;
    for (int i = 0; written < bytes; ++i) {
        for (char& c : blob)
            c = static_cast<char>('a' + ((seed = seed * 1664525u + 1013904223u) >> 27));
        movie.Tag(36, blob);
        written += blob.size() + 6;
        if (i % 8 == 0)
            movie.Tag(12, B::ConstantPool({"_level1", "part" + std::to_string(i) + ".swf"}) + B::PushStrings({"x"}) +
                              B::Action(0, ""));
    }
    return movie.Build('F');
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::string bytes(std::filesystem::file_size(path), '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
        std::abort();
    std::fclose(file);
    return bytes;
}

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void Measure(const char* name, const std::string& movie, std::size_t decoded, const test::TempDir& dir, int rounds)
{
    const auto path = dir.write(std::string(name) + ".swf", movie);
    double plain = 1e9;
    double reader = 1e9;
    std::size_t names = 0;
    const char* result = "";
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        const std::string bytes = ReadFile(path);
        plain = std::min(plain, Seconds(start));
        start = Clock::now();
        const TMovieReading reading = ReadMovie(bytes);
        reader = std::min(reader, Seconds(start));
        names = static_cast<std::size_t>(reading.movieNames.size());
        result = ToString(reading.result);
    }
    const double mb = static_cast<double>(movie.size()) / 1e6;
    std::printf(
        "%-4s %6.1f MB file  plain read %7.1f MB/s  reader %7.1f MB/s of file, %7.1f MB/s decoded  "
        "reader/plain time %6.2f  (%s, %zu names)\n",
        name, mb, mb / plain, mb / reader, static_cast<double>(decoded) / 1e6 / reader, reader / plain, result, names);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    test::TempDir dir;
    const std::string fws = BuildBody(megabytes * 1000 * 1000);
    Measure("FWS", fws, fws.size(), dir, rounds);
    const std::string cws = B::Wrap(std::string_view(fws).substr(8), {.signature = 'C'});
    Measure("CWS", cws, fws.size(), dir, rounds);
    const std::string small = BuildBody(megabytes * 1000 * 1000 / 5);
    const std::string zws = B::Wrap(std::string_view(small).substr(8), {.signature = 'Z'});
    Measure("ZWS", zws, small.size(), dir, rounds);
    return 0;
}
