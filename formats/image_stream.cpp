// ImageStream over the standard buffered file functions.
#include "formats/image_stream.h"

#include <cerrno>

void ImageStream::noteFailure() {
    // Only the error indicator tells a failure from the end of the data.
    if (errorNumber_ == 0 && std::ferror(file_)) errorNumber_ = errno ? errno : EIO;
}

size_t ImageStream::read(void* buffer, size_t itemSize, size_t count) {
    if (!file_ || !buffer || itemSize == 0 || count == 0) return 0;
    const size_t got = std::fread(buffer, itemSize, count, file_);
    if (got < count) noteFailure();
    return got;
}

size_t ImageStream::write(const void* buffer, size_t itemSize, size_t count) {
    if (!file_ || !buffer || itemSize == 0 || count == 0) return 0;
    const size_t put = std::fwrite(buffer, itemSize, count, file_);
    if (put < count) noteFailure();
    return put;
}

int ImageStream::seek(long offset, int origin) {
    if (!file_) return -1;
    const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    return std::fseek(file_, offset, whence) == 0 ? 0 : -1;
}

long ImageStream::tell() const {
    return file_ ? std::ftell(file_) : -1;
}

long ImageStream::length() {
    if (!file_) return -1;
    const long pos = std::ftell(file_);
    if (std::fseek(file_, 0, SEEK_END) != 0) return -1;
    const long len = std::ftell(file_);
    std::fseek(file_, pos, SEEK_SET);
    return len;
}

int ImageStream::flush() {
    if (!file_) return EOF;
    const int result = std::fflush(file_);
    if (result != 0) noteFailure();
    return result;
}
int ImageStream::eof() const {
    return file_ ? std::feof(file_) : 1;
}
int ImageStream::error() const {
    return file_ ? std::ferror(file_) : 1;
}
int ImageStream::putByte(int value) {
    if (!file_) return EOF;
    const int result = std::fputc(value, file_);
    if (result == EOF) noteFailure();
    return result;
}
