#include "search/FormatReader.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

constexpr std::int64_t kSector = 512;
// Bytes before the position asked for that a forward slide keeps in the window, so
// a walk may look a little back (the "startxref" before a "%%EOF").
constexpr std::int64_t kHistory = 4096;

std::int64_t RoundUp(std::int64_t v) { return (v + kSector - 1) / kSector * kSector; }

}  // namespace

FormatReader::FormatReader(platform::Bytes head, std::int64_t readable, std::int64_t limit, ReadFn read,
                           RunningFn running, std::vector<std::uint8_t>& scratch)
    : head_(head),
      readable_(std::max<std::int64_t>(readable, 0)),
      limit_(std::max<std::int64_t>(0, std::min(limit, std::max<std::int64_t>(readable, std::int64_t(head.size()))))),
      read_(std::move(read)),
      running_(std::move(running)),
      scratch_(scratch),
      data_(head.data()),
      size_(head.size()) {}

bool FormatReader::Running() {
  if (stopped_) return false;
  if (running_ && !running_()) stopped_ = true;
  return !stopped_;
}

std::int64_t FormatReader::ReadVolume(std::int64_t position, std::uint8_t* out, std::size_t length) {
  if (!read_ || length == 0) return 0;
  const std::int64_t got = read_(position, out, length);
  if (got > 0) bytesRead_ += got;
  return std::clamp<std::int64_t>(got, 0, std::int64_t(length));
}

const std::uint8_t* FormatReader::Get(std::int64_t position, std::size_t length) {
  if (position < 0 || length > std::size_t(limit_) || position > limit_ - std::int64_t(length)) return nullptr;
  if ((++calls_ & 63) == 0 && !Running()) return nullptr;
  if (stopped_) return nullptr;
  if (position >= start_ && position + std::int64_t(length) <= start_ + std::int64_t(size_))
    return data_ + (position - start_);
  if (!Fill(position, length)) return nullptr;
  return data_ + (position - start_);
}

platform::Bytes FormatReader::Span(std::int64_t position) {
  if (position < 0 || position >= limit_) return {};
  const std::uint8_t* p = Get(position, 1);
  if (!p) return {};
  const std::int64_t end = std::min(limit_, start_ + std::int64_t(size_));
  return platform::Bytes(p, std::size_t(end - position));
}

bool FormatReader::Fill(std::int64_t position, std::size_t length) {
  if (!Running()) return false;
  const std::int64_t want = position + std::int64_t(length);
  const std::int64_t readEnd = std::min(readable_, RoundUp(limit_));
  const std::int64_t windowEnd = start_ + std::int64_t(size_);
  if (position >= start_ && position <= windowEnd && windowEnd % kSector == 0) {
    // Forward: keep what the window holds from a little before the position on and
    // read what follows it.
    const std::int64_t keepFrom = std::max(start_, position - kHistory);
    const std::size_t kept = std::size_t(windowEnd - keepFrom);
    const std::int64_t need = RoundUp(want - windowEnd);
    const std::int64_t more = std::min(readEnd - windowEnd, std::max(need, fill_));
    fill_ = std::min<std::int64_t>(fill_ * 2, std::int64_t(kWindowBytes));
    if (more < want - windowEnd) return false;
    const std::size_t total = kept + std::size_t(more);
    if (inHead_) {
      if (scratch_.size() < total) scratch_.resize(total);
      std::memcpy(scratch_.data(), data_ + (keepFrom - start_), kept);
    } else {
      const std::size_t from = std::size_t(keepFrom - start_);
      if (scratch_.size() < total) scratch_.resize(total);
      std::memmove(scratch_.data(), scratch_.data() + from, kept);
    }
    inHead_ = false;
    data_ = scratch_.data();
    start_ = keepFrom;
    const std::int64_t got = ReadVolume(windowEnd, scratch_.data() + kept, std::size_t(more));
    size_ = kept + std::size_t(got);
    return start_ + std::int64_t(size_) >= want;
  }
  // Elsewhere: a new window from the sector that holds the position.
  const std::int64_t first = position / kSector * kSector;
  if (first >= readEnd) return false;
  fill_ = kFirstFill;
  const std::int64_t count = std::min(readEnd - first, std::max(RoundUp(want - first), fill_));
  if (count < want - first) return false;
  if (scratch_.size() < std::size_t(count)) scratch_.resize(std::size_t(count));
  inHead_ = false;
  data_ = scratch_.data();
  start_ = first;
  size_ = std::size_t(ReadVolume(first, scratch_.data(), std::size_t(count)));
  return start_ + std::int64_t(size_) >= want;
}

bool FormatReader::Peek(std::int64_t position, void* out, std::size_t length) {
  if (position < 0 || length > std::size_t(limit_) || position > limit_ - std::int64_t(length)) return false;
  if (!Running()) return false;
  auto* to = static_cast<std::uint8_t*>(out);
  // What the window (or the head) holds from the position on is copied; only the
  // rest is read.
  for (const auto& [from, bytes, count] : {std::tuple(start_, data_, size_), std::tuple(std::int64_t(0), head_.data(), head_.size())}) {
    if (position >= from && position < from + std::int64_t(count)) {
      const std::size_t n = std::min(length, std::size_t(from + std::int64_t(count) - position));
      std::memcpy(to, bytes + (position - from), n);
      to += n;
      position += std::int64_t(n);
      length -= n;
    }
  }
  if (length == 0) return true;
  const std::int64_t first = position / kSector * kSector;
  const std::int64_t count = RoundUp(position + std::int64_t(length)) - first;
  if (first + count > readable_) return false;
  std::vector<std::uint8_t> sectors(static_cast<std::size_t>(count));
  if (ReadVolume(first, sectors.data(), sectors.size()) < count) return false;
  std::memcpy(to, sectors.data() + (position - first), length);
  return true;
}

std::size_t FormatReader::PeekUpTo(std::int64_t position, void* out, std::size_t length) {
  const std::int64_t end = std::min(limit_, std::max(readable_, std::int64_t(head_.size())));
  if (position < 0 || position >= end) return 0;
  const std::size_t n = std::min(length, std::size_t(end - position));
  return Peek(position, out, n) ? n : 0;
}
