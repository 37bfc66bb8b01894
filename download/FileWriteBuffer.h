#pragma once

#include <cstddef>
#include <vector>

namespace tessaro {

class AtomicFile;

// Gathers small writes into one buffer and hands the file whole buffers, so a
// body read in small blocks costs one write(2) per kFileWriteBufferBytes. A
// failed write shows at the Write or Flush that hands the buffer over; the
// file then says why.
class FileWriteBuffer {
public:
    static constexpr std::size_t kFileWriteBufferBytes = 64 * 1024;

    explicit FileWriteBuffer(AtomicFile& file);

    bool Write(const char* data, std::size_t size);
    // Hands over what is gathered; call before the file is committed.
    bool Flush();

private:
    AtomicFile& file_;
    std::vector<char> buffer_;
};

}  // namespace tessaro
