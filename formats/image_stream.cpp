// ImageStream over the standard buffered file functions.
#include "formats/image_stream.h"

size_t ImageStream::read(void* buffer, size_t itemSize, size_t count) {
    if (!file_ || !buffer || itemSize == 0 || count == 0) return 0;
    return std::fread(buffer, itemSize, count, file_);
}

size_t ImageStream::write(const void* buffer, size_t itemSize, size_t count) {
    if (!file_ || !buffer || itemSize == 0 || count == 0) return 0;
    return std::fwrite(buffer, itemSize, count, file_);
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
    return file_ ? std::fflush(file_) : EOF;
}
int ImageStream::eof() const {
    return file_ ? std::feof(file_) : 1;
}
int ImageStream::error() const {
    return file_ ? std::ferror(file_) : 1;
}
int ImageStream::putByte(int value) {
    return file_ ? std::fputc(value, file_) : EOF;
}
