#pragma once
// Whole small files read into memory and written from it (signature files and
// similar records that are exchanged as files).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

namespace platform {

enum class ReadFileStatus { Ok, CannotOpen, NotAFile, TooLarge, ReadError };

// Reads the regular file at `path` (opened read-only) whole into `out`. A file
// longer than `maxBytes` is refused with TooLarge and nothing is kept.
ReadFileStatus ReadWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out);

// Writes all of `size` bytes to `fd`, going on after short writes and EINTR; false
// on a failure (errno set; a write of 0 bytes counts as EIO).
bool WriteAll(int fd, const void* data, std::size_t size);

// Creates (or truncates) the file at `path` and writes `data` to it; true when every
// byte was written and the file was closed without error.
bool WriteWholeFile(const std::string& path, Bytes data);

}  // namespace platform
