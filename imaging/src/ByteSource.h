#pragma once
// Random access to the bytes of a picture, from memory or from a file, for
// the header readers: they look at a few bytes at known offsets and never
// read the pixel data.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>
#include "imaging/Result.h"

namespace veldan::imaging::detail {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to `length` bytes from `offset`; returns the count copied
    // (short at the end of the data, 0 past it or on a read error).
    virtual size_t ReadAt(uint64_t offset, void* out, size_t length) const = 0;

    bool ReadExact(uint64_t offset, void* out, size_t length) const { return ReadAt(offset, out, length) == length; }
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
    uint64_t Size() const override { return data_.size(); }
    size_t ReadAt(uint64_t offset, void* out, size_t length) const override;

private:
    std::span<const uint8_t> data_;
};

class FileSource final : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    Status Open(const std::filesystem::path& path);
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* out, size_t length) const override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Reads a whole file into memory; kIoError when it cannot be read,
// kTooLarge above `max_bytes`.
Result<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path, uint64_t max_bytes = uint64_t(4) << 30);

// Writes `data` to `path` so that the target either keeps its old content
// or has the complete new one: a temporary file beside it, fsync, rename.
Status WriteFileAtomic(const std::filesystem::path& path, std::span<const uint8_t> data);

// "strerror" text for errno values.
std::string ErrnoText(int err);

}  // namespace veldan::imaging::detail
