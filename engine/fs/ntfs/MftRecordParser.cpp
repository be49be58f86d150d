#include "engine/fs/ntfs/MftRecordParser.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/Format.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kFixupStride = 512;
constexpr std::uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFULL;

// Rank of a $FILE_NAME namespace when names compete: Win32 (1) and Win32+DOS (3)
// over POSIX (0), POSIX over a DOS-only name (2).
int NamespaceRank(std::uint8_t ns) {
  switch (ns) {
    case 1: case 3:
      return 2;
    case 2:
      return 0;
    default:
      return 1;
  }
}

}  // namespace

MftRecordParser::MftRecordParser(const CFileSystem_NTFS& owner,
                                 std::shared_ptr<const CFileSystem_NTFS::Layout> layout)
    : owner_(owner), layout_(std::move(layout)) {}

MftRecordParser::~MftRecordParser() = default;

bool MftRecordParser::Load(platform::Bytes record) {
  const std::size_t size = layout_ ? std::size_t(layout_->recordSize) : 0;
  raw_.assign(size, 0);
  std::memcpy(raw_.data(), record.data(), std::min(size, record.size()));
  return Reparse();
}

void MftRecordParser::SetDamage(std::u16string why) {
  state_ = State::kDamaged;
  damage_ = std::move(why);
}

bool MftRecordParser::Reparse() {
  // Nothing of the record parsed before stays.
  state_ = State::kEmpty;
  damage_.clear();
  number_ = -1;
  headerFlags_ = 0;
  sequence_ = 0;
  parentSequence_ = 0;
  baseReference_ = 0;
  allocatedSize_ = 0;
  usedSize_ = 0;
  attributes_.clear();
  ClearDataView();
  extents_.clear();
  extentOrder_.clear();
  name_.clear();

  buffer_ = raw_;
  if (buffer_.size() < kFixupStride || !platform::LeView(buffer_.data(), buffer_.size()).Equals(0, "FILE", 4)) {
    state_ = buffer_.empty() ? State::kEmpty : State::kNotFile;
    return false;
  }
  try {
    if (!ApplyFixups() || !ParseHeader() || !ParseAttributes() || !BuildDataView()) return false;
  } catch (...) {
    SetDamage(u"not parsed");
    return false;
  }
  state_ = State::kValid;
  return true;
}

bool MftRecordParser::ApplyFixups() {
  platform::LeView v(buffer_.data(), buffer_.size());
  const std::size_t usaOffset = v.U16(4);
  const std::size_t usaCount = v.U16(6);
  const std::size_t sectors = buffer_.size() / kFixupStride;
  // One entry for the update sequence number and one per 512-byte sector; the array
  // lies in the first sector, before its last two bytes.
  if (usaCount != sectors + 1) {
    SetDamage(platform::Format(u"update sequence count %d for %d sectors", std::int32_t(usaCount),
                               std::int32_t(sectors)));
    return false;
  }
  if (usaOffset < 0x28 || usaOffset % 2 != 0 || usaOffset + 2 * usaCount > kFixupStride - 2) {
    SetDamage(platform::Format(u"update sequence array at %d", std::int32_t(usaOffset)));
    return false;
  }
  const std::uint16_t usn = v.U16(usaOffset);
  platform::LeWriter w(buffer_.data(), buffer_.size());
  for (std::size_t i = 1; i < usaCount; ++i) {
    const std::size_t end = i * kFixupStride - 2;
    if (v.U16(end) != usn) {
      // A torn write: this sector is not of the same update as the first.
      SetDamage(platform::Format(u"sector %d does not end with the update sequence number", std::int32_t(i)));
      return false;
    }
    w.U16(end, v.U16(usaOffset + 2 * i));
  }
  return true;
}

bool MftRecordParser::ParseHeader() {
  const platform::LeView v(buffer_.data(), buffer_.size());
  const std::size_t usaOffset = v.U16(4);
  const std::size_t usaEnd = usaOffset + 2 * std::size_t(v.U16(6));
  headerFlags_ = v.U16(0x16);
  sequence_ = v.U16(0x10);
  usedSize_ = v.U32(0x18);
  allocatedSize_ = v.U32(0x1C);
  baseReference_ = v.U64(0x20);
  // The record's own number exists in headers whose update sequence array starts
  // after it (0x30 and on).
  if (usaOffset >= 0x30) number_ = v.U32(0x2C);
  const std::size_t first = v.U16(0x14);
  if (usedSize_ > buffer_.size() || usedSize_ < 0x18) {
    SetDamage(platform::Format(u"used size %d", std::int64_t(usedSize_)));
    return false;
  }
  if (first < usaEnd || first % 8 != 0 || first >= usedSize_) {
    SetDamage(platform::Format(u"first attribute at %d", std::int32_t(first)));
    return false;
  }
  return true;
}

bool MftRecordParser::ParseAttributes() {
  const platform::LeView v(buffer_.data(), usedSize_);
  std::size_t a = v.U16(0x14);
  while (a + 4 <= usedSize_) {
    Attribute at;
    at.type = v.U32(a);
    if (at.type == kEndMarker) break;
    if (a + 8 > usedSize_) break;
    at.length = v.U32(a + 4);
    if (at.length == 0) break;
    at.offset = a;
    if (at.length < 0x18 || !platform::InBounds(usedSize_, a, at.length)) {
      SetDamage(platform::Format(u"attribute 0x%X at %d runs past the record", std::int64_t(at.type),
                                 std::int32_t(a)));
      return false;
    }
    const std::uint8_t form = v.U8(a + 8);
    if (form > 1) {
      SetDamage(platform::Format(u"attribute 0x%X at %d has form %d", std::int64_t(at.type), std::int32_t(a),
                                 std::int32_t(form)));
      return false;
    }
    at.nonResident = form == 1;
    at.nameLength = v.U8(a + 9);
    const std::size_t nameOffset = v.U16(a + 10);
    at.flags = v.U16(a + 12);
    if (at.nameLength && !platform::InBounds(at.length, nameOffset, 2 * std::size_t(at.nameLength))) {
      SetDamage(platform::Format(u"name of attribute 0x%X at %d runs past it", std::int64_t(at.type),
                                 std::int32_t(a)));
      return false;
    }
    at.nameOffset = a + nameOffset;
    if (!at.nonResident) {
      at.valueLength = v.U32(a + 0x10);
      const std::size_t valueOffset = v.U16(a + 0x14);
      if (!platform::InBounds(at.length, valueOffset, at.valueLength)) {
        SetDamage(platform::Format(u"value of attribute 0x%X at %d runs past it", std::int64_t(at.type),
                                   std::int32_t(a)));
        return false;
      }
      at.valueOffset = a + valueOffset;
    } else {
      if (at.length < 0x40) {
        SetDamage(platform::Format(u"non-resident attribute 0x%X at %d too short", std::int64_t(at.type),
                                   std::int32_t(a)));
        return false;
      }
      at.lowestVcn = v.I64(a + 0x10);
      at.highestVcn = v.I64(a + 0x18);
      const std::size_t pairs = v.U16(a + 0x20);
      at.compressionUnit = v.U16(a + 0x22);
      at.allocatedSize = v.I64(a + 0x28);
      at.dataSize = v.I64(a + 0x30);
      at.initializedSize = v.I64(a + 0x38);
      if (pairs < 0x40 || pairs >= at.length || at.lowestVcn < 0 || at.highestVcn < at.lowestVcn - 1 ||
          at.allocatedSize < 0 || at.dataSize < 0 || at.initializedSize < 0) {
        SetDamage(platform::Format(u"non-resident attribute 0x%X at %d is not sound", std::int64_t(at.type),
                                   std::int32_t(a)));
        return false;
      }
      at.pairsOffset = a + pairs;
      at.pairsLength = at.length - pairs;
    }
    attributes_.push_back(at);
    a += at.length;
  }
  return true;
}

void MftRecordParser::ClearDataView() {
  hasData_ = false;
  runs_.clear();
  dataSize_ = initializedSize_ = 0;
  nonResident_ = false;
  residentOffset_ = 0;
  residentData_ = {};
  compressed_ = false;
  encrypted_ = false;
  dataAttributeCount_ = 0;
}

bool MftRecordParser::BuildDataView() {
  ClearDataView();

  struct Extent {
    const MftRecordParser* holder;
    const Attribute* attribute;
  };
  std::vector<Extent> extents;
  auto collect = [&](const MftRecordParser& p) {
    for (const Attribute& at : p.attributes_) {
      if (at.type != kData) continue;
      if (!at.nonResident || at.lowestVcn == 0) ++dataAttributeCount_;
      if (at.nameLength == 0) extents.push_back({&p, &at});
    }
  };
  collect(*this);
  for (const MftRecordParser* e : extentOrder_) collect(*e);
  std::stable_sort(extents.begin(), extents.end(), [](const Extent& x, const Extent& y) {
    const std::int64_t a = x.attribute->nonResident ? x.attribute->lowestVcn : 0;
    const std::int64_t b = y.attribute->nonResident ? y.attribute->lowestVcn : 0;
    return a < b;
  });
  if (extents.empty()) return true;
  const Extent& first = extents.front();
  const Attribute& primary = *first.attribute;
  if (primary.nonResident && primary.lowestVcn != 0) return true;  // the first extent was not found
  hasData_ = true;
  encrypted_ = (primary.flags & kEncrypted) != 0;
  if (!primary.nonResident) {
    dataSize_ = initializedSize_ = primary.valueLength;
    residentOffset_ = std::int32_t(primary.valueOffset);
    residentData_ = first.holder->Value(primary);
    return true;
  }
  nonResident_ = true;
  dataSize_ = primary.dataSize;
  initializedSize_ = std::min(primary.initializedSize, primary.dataSize);
  compressed_ = (primary.flags & kCompressionMask) != 0;
  std::int64_t nextVcn = 0;
  for (const Extent& e : extents) {
    const Attribute& at = *e.attribute;
    // A resident attribute beside a non-resident one, or an extent that overlaps
    // the ones before it, is not part of the stream.
    if (!at.nonResident || at.lowestVcn < nextVcn) continue;
    const std::size_t before = runs_.size();
    const platform::Bytes pairs(e.holder->buffer_.data() + at.pairsOffset, at.pairsLength);
    if (const char16_t* why = DecodeDataRuns(pairs, at.lowestVcn, runs_)) {
      runs_.resize(before);
      SetDamage(platform::Format(u"run list of $DATA: %s", std::u16string_view(why)));
      return false;
    }
    // Every cluster must have a byte position on a volume (no real one comes near).
    const std::int64_t maxCluster = layout_ && layout_->clusterBytes > 0
                                        ? std::numeric_limits<std::int64_t>::max() / layout_->clusterBytes
                                        : std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = before; i < runs_.size(); ++i) {
      if (!runs_[i].sparse && runs_[i].lcn + runs_[i].clusterCount > maxCluster) {
        runs_.resize(before);
        SetDamage(u"run list of $DATA: clusters beyond any volume");
        return false;
      }
    }
    const std::int64_t end = runs_.size() > before ? runs_.back().lastVcn : at.lowestVcn - 1;
    if (end != at.highestVcn) {
      runs_.resize(before);
      SetDamage(platform::Format(u"run list of $DATA ends at VCN %I64d, not %I64d", end, at.highestVcn));
      return false;
    }
    nextVcn = at.highestVcn + 1;
  }
  return true;
}

const MftRecordParser::Attribute* MftRecordParser::FindAttribute(std::uint32_t type) const {
  return FindNextAttribute(nullptr, type);
}

const MftRecordParser::Attribute* MftRecordParser::FindNextAttribute(const Attribute* after,
                                                                     std::uint32_t type) const {
  std::size_t i = 0;
  if (after) {
    if (after < attributes_.data() || after >= attributes_.data() + attributes_.size()) return nullptr;
    i = std::size_t(after - attributes_.data()) + 1;
  }
  for (; i < attributes_.size(); ++i)
    if (attributes_[i].type == type) return &attributes_[i];
  return nullptr;
}

platform::Bytes MftRecordParser::Value(const Attribute& attribute) const {
  if (attribute.nonResident || !platform::InBounds(buffer_.size(), attribute.valueOffset, attribute.valueLength))
    return {};
  return {buffer_.data() + attribute.valueOffset, attribute.valueLength};
}

std::int64_t MftRecordParser::VcnToLcn(std::int64_t vcn) const {
  const DataRun* run = FindRun(runs_, vcn);
  return run ? run->lcn + (vcn - run->firstVcn) : -1;
}

std::int64_t MftRecordParser::ReadData(std::int64_t position, std::int64_t length, void* out, bool salvage) const {
  if (!hasData_ || !out || position < 0 || length <= 0 || position >= dataSize_) return 0;
  auto* dst = static_cast<std::uint8_t*>(out);
  if (!nonResident_) {
    const std::int64_t n = std::min<std::int64_t>(length, std::int64_t(residentData_.size()) - position);
    if (n <= 0) return 0;
    std::memcpy(dst, residentData_.data() + position, std::size_t(n));
    return n;
  }
  if (!layout_) return 0;
  return owner_.ReadRuns(*layout_, runs_, dataSize_, initializedSize_, position, length, dst, salvage);
}

bool MftRecordParser::ReadAttributeList(std::vector<std::uint8_t>& out) const {
  out.clear();
  const Attribute* list = FindAttribute(kAttributeList);
  if (!list) return true;
  if (!list->nonResident) {
    const platform::Bytes value = Value(*list);
    out.assign(value.begin(), value.end());
    return true;
  }
  if (!layout_) return false;
  std::vector<DataRun> runs;
  const platform::Bytes pairs(buffer_.data() + list->pairsOffset, list->pairsLength);
  if (DecodeDataRuns(pairs, 0, runs)) return false;
  const std::int64_t size = std::min(list->dataSize, kMaxAttributeListBytes);
  out.resize(std::size_t(size));
  const std::int64_t got = owner_.ReadRuns(*layout_, runs, list->dataSize, std::min(list->initializedSize, list->dataSize),
                                           0, size, out.data());
  out.resize(std::size_t(std::max<std::int64_t>(got, 0)));
  return true;
}

bool MftRecordParser::MergeExtents(const RecordReader& read, bool rebuildEach) {
  if (!IsValid()) return false;
  if (!HasAttributeList()) return true;
  if (number_ < 0) return false;  // extension records can't be matched to this record
  std::vector<std::uint8_t> list;
  if (!ReadAttributeList(list)) return false;

  // Entries: type (0), length (4), name length (6), lowest VCN (8), the record that
  // holds the attribute (0x10). Only $FILE_NAME and $DATA are taken from extension
  // records; $STANDARD_INFORMATION always lies in the base record.
  std::vector<std::int64_t> wanted;
  const platform::LeView v(list.data(), list.size());
  for (std::size_t off = 0; off + 0x1A <= list.size();) {
    const std::uint32_t type = v.U32(off);
    if (type == kEndMarker) break;
    const std::size_t length = v.U16(off + 4);
    if (length < 0x1A || !platform::InBounds(list.size(), off, length)) break;
    const std::int64_t holder = std::int64_t(v.U64(off + 0x10) & kRecordNumberMask);
    if ((type == kFileName || type == kData) && holder != number_ &&
        std::find(wanted.begin(), wanted.end(), holder) == wanted.end()) {
      if (wanted.size() >= kMaxExtents) break;
      wanted.push_back(holder);
    }
    off += length;
  }

  std::vector<std::uint8_t> bytes;
  for (const std::int64_t n : wanted) {
    if (extents_.count(n)) continue;
    bytes.clear();
    if (!read || !read(n, bytes)) continue;
    auto extent = std::make_unique<MftRecordParser>(owner_, layout_);
    if (!extent->Load(bytes) || !extent->IsExtension() || extent->BaseRecord() != number_) continue;
    extent->SetRecordNumber(n);
    extentOrder_.push_back(extent.get());
    extents_.emplace(n, std::move(extent));
    if (rebuildEach && !BuildDataView()) return false;
  }
  return BuildDataView();
}

bool MftRecordParser::FillObject(FoundObject& record) {
  if (!IsValid()) return false;
  try {
    if (const Attribute* si = FindAttribute(kStandardInformation)) {
      const platform::LeView v(Value(*si));
      if (v.size() >= 32) {
        record.created = v.I64(0);
        record.modified = v.I64(8);
        record.accessed = v.I64(24);
      }
      if (v.size() >= 36) record.attributes = std::uint16_t(v.U32(32));
    }

    // The name, the parent and the size in it come from one $FILE_NAME.
    int bestRank = -1;
    std::int32_t parent = 0;
    std::uint16_t parentSequence = 0;
    std::int64_t nameSize = -1;
    auto consider = [&](const MftRecordParser& p) {
      for (const Attribute& at : p.attributes_) {
        if (at.type != kFileName || at.nonResident) continue;
        const platform::LeView v(p.Value(at));
        if (v.size() < 66) continue;
        const std::size_t units = v.U8(64);
        const std::uint8_t ns = v.U8(65);
        if (units == 0 || !v.Has(66, 2 * units)) continue;
        const int rank = NamespaceRank(ns);
        if (rank <= bestRank) continue;
        bestRank = rank;
        name_ = platform::Utf16FromLE(v.Sub(66, 2 * units));
        parent = std::int32_t(std::uint32_t(v.U64(0)));
        parentSequence = std::uint16_t(v.U64(0) >> 48);
        nameSize = std::max<std::int64_t>(v.I64(48), -1);  // a negative size is not known
      }
    };
    consider(*this);
    for (const MftRecordParser* e : extentOrder_) consider(*e);
    if (bestRank >= 0) {
      record.parentId = parent;
      parentSequence_ = parentSequence;
      record.SetName(name_);
      record.flags |= OBJ_NAMED;
    }
    record.size = hasData_ ? dataSize_ : nameSize;
    return true;
  } catch (...) {
    return false;
  }
}
