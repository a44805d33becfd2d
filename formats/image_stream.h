// The byte stream every codec reads and writes: a thin layer over a FILE* it does not own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ImageStream {
  public:
    explicit ImageStream(FILE* file) : file_(file) {}
    ImageStream(const ImageStream&) = delete;
    ImageStream& operator=(const ImageStream&) = delete;
    // Never closes the file: whoever opened it closes it.
    ~ImageStream() = default;

    size_t read(void* buffer, size_t itemSize, size_t count);
    size_t write(const void* buffer, size_t itemSize, size_t count);
    int seek(long offset, int origin);  // 0 start, 1 current, 2 end; 0 or -1
    long tell() const;
    long length();
    int flush();
    int eof() const;
    int error() const;
    int putByte(int value);

    FILE* file() const { return file_; }

    // The system's reason (errno) for the first read, write or flush that failed, taken right
    // after the failing call; 0 while none has failed.
    int errorNumber() const { return errorNumber_; }

  private:
    void noteFailure();

    FILE* file_;
    int errorNumber_ = 0;
};
