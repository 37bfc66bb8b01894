#include "download/FileWriteBuffer.h"

#include "platform/files/AtomicFile.h"

#include <cstring>

namespace tessaro {

FileWriteBuffer::FileWriteBuffer(AtomicFile& file) : file_(file)
{
    buffer_.reserve(kFileWriteBufferBytes);
}

bool FileWriteBuffer::Write(const char* data, std::size_t size)
{
    if (buffer_.size() + size > kFileWriteBufferBytes && !Flush())
        return false;
    // A block as large as the buffer itself goes straight through.
    if (size >= kFileWriteBufferBytes)
        return file_.Write(data, size);
    buffer_.insert(buffer_.end(), data, data + size);
    return true;
}

bool FileWriteBuffer::Flush()
{
    if (buffer_.empty())
        return true;
    const bool written = file_.Write(buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
}

}  // namespace tessaro
