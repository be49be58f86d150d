#include "search/Signature.h"

#include <cstring>

using platform::Bytes;

namespace {
constexpr std::size_t kMaxBlobSize = 0x7FFFFFFF;
}

Signature::Signature() { RefreshHeader(); }

const SignaturePattern& Signature::AddPattern(std::int32_t kind, Bytes data, std::int32_t offset, std::uint16_t length,
                                              std::uint16_t repeat) {
  AppendPattern(SignaturePattern::Build(kind, data, offset, length, repeat));
  return patterns_.back();
}

bool Signature::AppendPattern(SignaturePattern pattern) {
  if (pattern.size() > kMaxBlobSize - total_) return false;
  total_ += pattern.size();
  patterns_.push_back(std::move(pattern));
  RefreshHeader();
  return true;
}

void Signature::RefreshHeader() {
  platform::LeWriter w(header_, kHeaderSize);
  w.U32(4, static_cast<std::uint32_t>(total_));
  w.U32(16, static_cast<std::uint32_t>(patterns_.size()));
}

bool Signature::LoadFromBlob(Bytes bytes, std::u16string* why) {
  auto fail = [&](const char16_t* text) {
    if (why) *why = text;
    return false;
  };
  if (bytes.size() < kHeaderSize) return fail(u"a signature is cut short");
  platform::LeView v(bytes);
  const std::uint32_t total = v.U32(4);
  const std::uint32_t count = v.U32(16);
  if (total < kHeaderSize) return fail(u"a signature's size is under 20 bytes");
  if (total > bytes.size()) return fail(u"a signature runs past the end of its type");
  Bytes body = bytes.subspan(kHeaderSize, total - kHeaderSize);
  // Every pattern takes at least 32 bytes, so the count is checked against the room
  // before anything is reserved for it.
  if (count > body.size() / SignaturePattern::kHeaderSize)
    return fail(u"a signature's pattern count does not fit its size");
  std::vector<SignaturePattern> patterns;
  patterns.reserve(count);
  std::size_t pos = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    SignaturePattern p;
    if (!p.LoadFromBlob(body.subspan(pos), why)) return false;
    pos += p.size();
    patterns.push_back(std::move(p));
  }
  if (pos != body.size()) return fail(u"a signature's size is not the sum of its patterns");
  std::memcpy(header_, bytes.data(), kHeaderSize);
  patterns_ = std::move(patterns);
  total_ = total;
  RefreshHeader();
  return true;
}

bool Signature::SerializeInto(platform::MutableBytes out) const {
  if (out.size() < total_) return false;
  std::memcpy(out.data(), header_, kHeaderSize);
  std::size_t pos = kHeaderSize;
  for (const SignaturePattern& p : patterns_) {
    std::memcpy(out.data() + pos, p.blob().data(), p.size());
    pos += p.size();
  }
  return true;
}

std::vector<std::uint8_t> Signature::Serialize() const {
  std::vector<std::uint8_t> out(total_);
  SerializeInto(out);
  return out;
}
