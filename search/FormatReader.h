#pragma once
// The bytes of one carved file as its format walk reads them: a window that slides
// forward over the file from its first byte, served first from the bytes the
// search already holds (the rest of the block after the hit) and then from the
// volume, in whole sectors, in runs that grow while the walk reads on. Sequential reads never read a byte twice: the window
// keeps what it holds ahead of the position asked for and reads only what follows.
// A read far away (an IFD at the end of a TIFF, an xref table) is served by Peek
// into the caller's buffer without moving the window.
//
// Every read stops at the limit (the format's largest size or the volume's end,
// whichever comes first), and every read asks the running flag first, so a walk
// over a damaged file ends when the pass stops. Positions are from the file's first
// byte. One reader per walk; not for several threads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ByteOrder.h"

class FormatReader {
 public:
  // Reads `length` bytes (whole sectors) at `position` (a sector multiple) of the
  // file into `out`: the bytes read, fewer at a read error.
  using ReadFn = std::function<std::int64_t(std::int64_t position, std::uint8_t* out, std::size_t length)>;
  using RunningFn = std::function<bool()>;

  // What one read of the volume asks for: 16 KB at first and after a jump, twice as
  // much at each read that goes on where the last one ended, up to 256 KB; so a small
  // file costs little more than its own bytes and a large one is read in large runs.
  static constexpr std::size_t kWindowBytes = std::size_t(256) << 10;
  static constexpr std::int64_t kFirstFill = std::int64_t(16) << 10;

  // `head`: the file's first bytes as the search holds them (not copied; they must
  // outlive the reader). `readable`: the bytes of the volume from the file's first
  // byte on. `limit`: no byte at or past it is read. `read` may be empty (only the
  // head is there); `running` may be empty (always running). `scratch` is the
  // window's memory, kept by the caller between walks.
  FormatReader(platform::Bytes head, std::int64_t readable, std::int64_t limit, ReadFn read, RunningFn running,
               std::vector<std::uint8_t>& scratch);

  // `length` bytes at `position`, contiguous, or null when they lie past the limit,
  // cannot be read, or the pass stopped. Valid until the next call.
  const std::uint8_t* Get(std::int64_t position, std::size_t length);
  // The bytes from `position` on that can be had in one piece (at least one when any
  // is left before the limit): the rest of the window, or a new window read there.
  // Empty at the limit, on a read error or when stopped. Valid until the next call.
  platform::Bytes Span(std::int64_t position);
  // Copies `length` bytes at `position` into `out` without moving the window; false
  // when they cannot all be had.
  bool Peek(std::int64_t position, void* out, std::size_t length);
  // As Peek, but up to `length` bytes: those before the limit and the volume's end.
  // The bytes copied, 0 when none could be had.
  std::size_t PeekUpTo(std::int64_t position, void* out, std::size_t length);
  // The byte at `position`, or -1.
  int At(std::int64_t position) {
    const std::uint8_t* p = Get(position, 1);
    return p ? *p : -1;
  }

  std::int64_t Limit() const { return limit_; }
  bool Stopped() const { return stopped_; }
  // Bytes read from the volume so far (the head is not counted).
  std::int64_t BytesRead() const { return bytesRead_; }

 private:
  bool Running();
  // Makes the window hold [position, position + length) (length may be 0 to mean
  // "what one read gives"); false when it cannot.
  bool Fill(std::int64_t position, std::size_t length);
  std::int64_t ReadVolume(std::int64_t position, std::uint8_t* out, std::size_t length);

  platform::Bytes head_;
  std::int64_t readable_;
  std::int64_t limit_;
  ReadFn read_;
  RunningFn running_;
  std::vector<std::uint8_t>& scratch_;
  // The window: bytes [start_, start_ + size_) of the file at data_.
  const std::uint8_t* data_ = nullptr;
  std::int64_t start_ = 0;
  std::size_t size_ = 0;
  bool inHead_ = true;
  bool stopped_ = false;
  std::int64_t bytesRead_ = 0;
  std::uint32_t calls_ = 0;
  std::int64_t fill_ = kFirstFill;
};
