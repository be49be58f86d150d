#include "engine/store/FoundObjectStore.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/records/FileTypeLookup.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/Strings.h"
#include "platform/Format.h"

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Records live in fixed chunks, so their addresses never change.
class RecordArena {
 public:
  FoundObject* New() {
    if (chunks_.empty() || used_ == kChunk) {
      chunks_.push_back(spare_ ? std::move(spare_) : std::make_unique<FoundObject[]>(kChunk));
      used_ = 0;
    }
    return &chunks_.back()[used_++];
  }
  // Allocates (and so touches) the next chunk ahead when `more` records would
  // need it: the adder does it before it takes the store's lock.
  void Reserve(std::size_t more) {
    if (!spare_ && (chunks_.empty() || used_ + more > kChunk)) spare_ = std::make_unique<FoundObject[]>(kChunk);
  }
  void Clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    spare_.reset();
    used_ = 0;
  }

 private:
  static constexpr std::size_t kChunk = 1024;
  std::vector<std::unique_ptr<FoundObject[]>> chunks_;
  std::unique_ptr<FoundObject[]> spare_;
  std::size_t used_ = 0;
};

// Names are copied into blocks owned by the store, each followed by a NUL.
class NamePool {
 public:
  const char16_t* Copy(std::u16string_view text) {
    const std::size_t need = text.size() + 1;
    if (need > kBlock / 4) {  // a long name gets a block of its own
      large_.push_back(std::make_unique<char16_t[]>(need));
      return Fill(large_.back().get(), text);
    }
    if (blocks_.empty() || used_ + need > kBlock) {
      blocks_.push_back(spare_ ? std::move(spare_) : std::make_unique<char16_t[]>(kBlock));
      used_ = 0;
    }
    char16_t* out = blocks_.back().get() + used_;
    used_ += need;
    return Fill(out, text);
  }
  // Allocates the next block ahead when the current one is nearly full (before
  // the store's lock is taken).
  void Reserve() {
    if (!spare_ && (blocks_.empty() || used_ + kBlock / 4 > kBlock)) spare_ = std::make_unique<char16_t[]>(kBlock);
  }
  void Clear() {
    blocks_.clear();
    large_.clear();
    spare_.reset();
    used_ = 0;
  }

 private:
  static const char16_t* Fill(char16_t* out, std::u16string_view text) {
    if (!text.empty()) std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
    out[text.size()] = 0;
    return out;
  }
  static constexpr std::size_t kBlock = 32768;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::vector<std::unique_ptr<char16_t[]>> large_;
  std::unique_ptr<char16_t[]> spare_;
  std::size_t used_ = 0;
};

// A multimap from a 32-bit key to record positions in the order they were added:
// an open-addressing table of chains whose links live in one array.
class KeyIndex {
 public:
  struct Entry {
    std::uint32_t pos;
    std::uint32_t next;
  };

  void Add(std::int32_t key, std::uint32_t pos) {
    if ((used_ + 1) * 10 > slots_.size() * 7) Grow();
    const auto e = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back({pos, kNone});
    Slot& s = Probe(key);
    if (s.head == kNone) {
      s.key = key;
      s.head = s.tail = e;
      ++used_;
    } else {
      entries_[s.tail].next = e;
      s.tail = e;
    }
  }
  std::uint32_t First(std::int32_t key) const {
    if (slots_.empty()) return kNone;
    const Slot& s = const_cast<KeyIndex*>(this)->Probe(key);
    return s.head;
  }
  bool Valid(std::uint32_t e) const { return e < entries_.size(); }
  const Entry& At(std::uint32_t e) const { return entries_[e]; }
  void Clear() {
    // Fresh arrays (an assignment of {} would keep the old ones' memory).
    slots_ = std::vector<Slot>();
    entries_ = std::vector<Entry>();
    used_ = 0;
    bits_ = 0;
  }
  // Whether `more` adds would grow the table or move the entries.
  bool NeedsRoom(std::size_t more) const {
    return (used_ + more) * 10 > slots_.size() * 7 || entries_.size() + more > entries_.capacity();
  }
  // A copy with room for `more` adds without growing: made from this one while it
  // is only read, then swapped in (a million keys take far longer to copy than a
  // reader should wait).
  KeyIndex WithRoom(std::size_t more) const {
    KeyIndex out;
    const std::size_t need = entries_.size() + more;
    out.entries_.reserve(need > entries_.capacity() ? std::max<std::size_t>(1024, std::max(entries_.size() * 2, need))
                                                    : entries_.capacity());
    out.entries_.assign(entries_.begin(), entries_.end());
    out.used_ = used_;
    if ((used_ + more) * 10 > slots_.size() * 7) {
      out.bits_ = bits_;
      do {
        out.bits_ = out.bits_ == 0 ? 10 : out.bits_ + 1;
      } while ((used_ + more) * 10 > (std::size_t(1) << out.bits_) * 7);
      out.slots_.assign(std::size_t(1) << out.bits_, Slot{});
      for (const Slot& slot : slots_)
        if (slot.head != kNone) out.Probe(slot.key) = slot;
    } else {
      out.slots_ = slots_;
      out.bits_ = bits_;
    }
    return out;
  }
  void Swap(KeyIndex& other) noexcept {
    slots_.swap(other.slots_);
    entries_.swap(other.entries_);
    std::swap(used_, other.used_);
    std::swap(bits_, other.bits_);
  }

 private:
  struct Slot {
    std::int32_t key = 0;
    std::uint32_t head = kNone;
    std::uint32_t tail = kNone;
  };
  std::size_t Home(std::int32_t key) const {
    return static_cast<std::size_t>((static_cast<std::uint32_t>(key) * 0x9E3779B1u) >> (32 - bits_));
  }
  Slot& Probe(std::int32_t key) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Home(key);; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (s.head == kNone || s.key == key) return s;
    }
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    bits_ = old.empty() ? 10 : bits_ + 1;
    slots_.assign(std::size_t(1) << bits_, Slot{});
    for (const Slot& s : old)
      if (s.head != kNone) Probe(s.key) = s;
  }
  std::vector<Slot> slots_;
  std::vector<Entry> entries_;
  std::size_t used_ = 0;
  int bits_ = 0;
};

// An ordered multimap from a 64-bit offset to record positions: sorted blocks of
// keys under a sorted list of the blocks' last keys. Equal keys keep the order in
// which they were inserted.
class OffsetIndex {
 public:
  struct Pos {
    std::size_t block;
    std::uint32_t index;
  };

  void Clear() {
    blocks_.clear();
    lastKeys_.clear();
    size_ = 0;
  }
  std::size_t Size() const { return size_; }
  bool IsEnd(Pos p) const { return p.block >= blocks_.size(); }
  std::int64_t Key(Pos p) const { return blocks_[p.block]->keys[p.index]; }
  std::uint32_t Value(Pos p) const { return blocks_[p.block]->values[p.index]; }
  Pos Next(Pos p) const {
    if (p.index + 1 < blocks_[p.block]->count) return {p.block, p.index + 1};
    return {p.block + 1, 0};
  }
  // The entry before p; false when p is the first.
  bool Prev(Pos& p) const {
    if (IsEnd(p)) {
      if (blocks_.empty()) return false;
      p = {blocks_.size() - 1, blocks_.back()->count - 1};
      return true;
    }
    if (p.index > 0) {
      --p.index;
      return true;
    }
    if (p.block == 0) return false;
    --p.block;
    p.index = blocks_[p.block]->count - 1;
    return true;
  }
  // First entry with key >= k.
  Pos LowerBound(std::int64_t k) const {
    std::size_t b = std::lower_bound(lastKeys_.begin(), lastKeys_.end(), k) - lastKeys_.begin();
    if (b == blocks_.size()) return {b, 0};
    const Block& bl = *blocks_[b];
    return {b, static_cast<std::uint32_t>(std::lower_bound(bl.keys, bl.keys + bl.count, k) - bl.keys)};
  }
  // First entry with key > k.
  Pos UpperBound(std::int64_t k) const {
    std::size_t b = std::upper_bound(lastKeys_.begin(), lastKeys_.end(), k) - lastKeys_.begin();
    if (b == blocks_.size()) return {b, 0};
    const Block& bl = *blocks_[b];
    return {b, static_cast<std::uint32_t>(std::upper_bound(bl.keys, bl.keys + bl.count, k) - bl.keys)};
  }

  // Inserts after the entries with an equal key.
  void Insert(std::int64_t k, std::uint32_t v) {
    if (blocks_.empty()) {
      blocks_.push_back(std::make_unique<Block>());
      lastKeys_.push_back(k);
    }
    std::size_t b = std::upper_bound(lastKeys_.begin(), lastKeys_.end(), k) - lastKeys_.begin();
    std::uint32_t i;
    if (b == blocks_.size()) {
      b = blocks_.size() - 1;
      i = blocks_[b]->count;
    } else {
      const Block& bl = *blocks_[b];
      i = static_cast<std::uint32_t>(std::upper_bound(bl.keys, bl.keys + bl.count, k) - bl.keys);
    }
    if (blocks_[b]->count == kCapacity) {
      if (b + 1 == blocks_.size() && i == kCapacity) {
        // Appending in order (as the search does) fills blocks completely.
        blocks_.push_back(std::make_unique<Block>());
        lastKeys_.push_back(k);
        b = b + 1;
        i = 0;
      } else {
        Split(b);
        if (i > blocks_[b]->count) {
          i -= blocks_[b]->count;
          ++b;
        }
      }
    }
    Block& bl = *blocks_[b];
    std::memmove(bl.keys + i + 1, bl.keys + i, (bl.count - i) * sizeof(bl.keys[0]));
    std::memmove(bl.values + i + 1, bl.values + i, (bl.count - i) * sizeof(bl.values[0]));
    bl.keys[i] = k;
    bl.values[i] = v;
    ++bl.count;
    ++size_;
    lastKeys_[b] = bl.keys[bl.count - 1];
  }

  bool Erase(std::int64_t k, std::uint32_t v) {
    for (Pos p = LowerBound(k); !IsEnd(p) && Key(p) == k; p = Next(p)) {
      if (Value(p) != v) continue;
      Block& bl = *blocks_[p.block];
      std::memmove(bl.keys + p.index, bl.keys + p.index + 1, (bl.count - p.index - 1) * sizeof(bl.keys[0]));
      std::memmove(bl.values + p.index, bl.values + p.index + 1, (bl.count - p.index - 1) * sizeof(bl.values[0]));
      --bl.count;
      --size_;
      if (bl.count == 0) {
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(p.block));
        lastKeys_.erase(lastKeys_.begin() + static_cast<std::ptrdiff_t>(p.block));
      } else {
        lastKeys_[p.block] = bl.keys[bl.count - 1];
      }
      return true;
    }
    return false;
  }

  // Replaces the contents with entries already sorted by key (stable).
  void Build(const std::vector<std::pair<std::int64_t, std::uint32_t>>& sorted) {
    Clear();
    for (std::size_t i = 0; i < sorted.size(); i += kCapacity) {
      auto bl = std::make_unique<Block>();
      bl->count = static_cast<std::uint32_t>(std::min<std::size_t>(kCapacity, sorted.size() - i));
      for (std::uint32_t j = 0; j < bl->count; ++j) {
        bl->keys[j] = sorted[i + j].first;
        bl->values[j] = sorted[i + j].second;
      }
      lastKeys_.push_back(bl->keys[bl->count - 1]);
      blocks_.push_back(std::move(bl));
    }
    size_ = sorted.size();
  }

 private:
  static constexpr std::uint32_t kCapacity = 256;
  struct Block {
    std::uint32_t count = 0;
    std::int64_t keys[kCapacity];
    std::uint32_t values[kCapacity];
  };
  void Split(std::size_t b) {
    Block& bl = *blocks_[b];
    auto nb = std::make_unique<Block>();
    const std::uint32_t half = bl.count / 2;
    nb->count = bl.count - half;
    std::memcpy(nb->keys, bl.keys + half, nb->count * sizeof(bl.keys[0]));
    std::memcpy(nb->values, bl.values + half, nb->count * sizeof(bl.values[0]));
    bl.count = half;
    lastKeys_[b] = bl.keys[half - 1];
    lastKeys_.insert(lastKeys_.begin() + static_cast<std::ptrdiff_t>(b + 1), nb->keys[nb->count - 1]);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b + 1), std::move(nb));
  }
  std::vector<std::unique_ptr<Block>> blocks_;
  std::vector<std::int64_t> lastKeys_;
  std::size_t size_ = 0;
};

std::atomic<std::uint32_t> g_nextSerial{1};

std::uint32_t NewSerial() {
  std::uint32_t s = g_nextSerial.fetch_add(1) & 0x7FFFFFFFu;
  return s ? s : NewSerial();
}

// Records met in one upward walk; most walks are short.
class VisitedSet {
 public:
  bool Insert(const FoundObject* r) {
    if (!set_.empty()) return set_.insert(r).second;
    if (std::find(small_.begin(), small_.end(), r) != small_.end()) return false;
    if (small_.size() < 32) {
      small_.push_back(r);
      return true;
    }
    set_.insert(small_.begin(), small_.end());
    return set_.insert(r).second;
  }

 private:
  std::vector<const FoundObject*> small_;
  std::unordered_set<const FoundObject*> set_;
};

struct PendingMessage {
  std::int64_t handle;
  std::int64_t kind;
};

void PostAll(const std::vector<PendingMessage>& messages) {
  for (const PendingMessage& m : messages) PostToUi(WM_FOUND_OBJECT, m.handle, m.kind);
}

// The store's lock (defined below the store's data).
std::shared_lock<std::shared_mutex> LockShared(const FoundObjectStore::Impl& s);
std::unique_lock<std::shared_mutex> LockExclusive(const FoundObjectStore::Impl& s);

bool TypeOf(const FoundObject& r, bool isFolder, FileTypeFacts& facts) {
  const IFileTypeLookup* lookup = GetFileTypeLookup();
  return lookup && lookup->FindForObject(r.typeKey, r.typeId, r.Name(), isFolder, facts);
}

}  // namespace

struct FoundObjectStore::Impl {
  mutable std::shared_mutex mutex;
  // Readers asleep on the lock (see LockShared).
  mutable std::atomic<int> readersWaiting{0};
  // Taken by whoever changes the store's arrays, before the lock: while it is
  // held the arrays change under no one else, so MakeRoom may copy them with
  // only the readers reading beside it.
  std::mutex writers;
  std::vector<FoundObject*> records;
  RecordArena arena;
  NamePool names;
  std::vector<std::shared_ptr<FoundObject>> external;
  KeyIndex byId;
  KeyIndex byParent;
  OffsetIndex byOffset;
  std::unordered_map<std::int32_t, std::uint32_t> folderById;    // first folder with the id
  std::unordered_map<std::int32_t, std::uint32_t> placeholders;  // lost folders not yet replaced
  std::unordered_map<std::int32_t, std::uint32_t> childFolders;  // parent id -> folders under it now
  // Records registered in more than one store (device nodes) keep their position
  // in each store here, since their own field holds only one.
  std::vector<std::pair<const FoundObject*, std::uint32_t>> externalPositions;
  bool keepOffsetIndex = false;
  std::int32_t rootFolderId = 0;
  // Written under the lock (Clear), read without it by Serial().
  std::atomic<std::uint32_t> serial{NewSerial()};

  std::int64_t Handle(std::uint32_t pos) const {
    return (std::int64_t(serial.load(std::memory_order_relaxed)) << 32) | std::int64_t(pos);
  }

  FoundObject* Folder(std::int32_t id) const {
    auto it = folderById.find(id);
    return it == folderById.end() ? nullptr : records[it->second];
  }

  FoundObject* NewCopy(const FoundObject& templ) {
    FoundObject* r = arena.New();
    *r = templ;
    r->name = templ.name ? names.Copy(templ.Name()) : nullptr;
    return r;
  }

  // `owned`: a record of this store's arena, which keeps its position in itself.
  std::uint32_t Register(FoundObject* r, bool owned = true) {
    if (records.size() >= kNone - 1) throw std::bad_alloc();
    const auto pos = static_cast<std::uint32_t>(records.size());
    records.push_back(r);
    if (owned) r->storeIndex = pos;
    byId.Add(r->id, pos);
    byParent.Add(r->parentId, pos);
    if (r->IsFolder()) {
      folderById.try_emplace(r->id, pos);
      ++childFolders[r->parentId];
    }
    if (keepOffsetIndex) InsertByOffset(pos);
    return pos;
  }

  // Whether the offset index sets a record's size: a raw record whose size its own
  // format did not give.
  static bool TakesNeighbourSize(const FoundObject& r) {
    return r.flags.Any(OBJ_RAW) && !(r.origin & ORIGIN_SIZE_FROM_FORMAT);
  }

  // Inserts a record into the offset index; a raw record's size becomes the distance
  // to the next record at a greater offset, and so does a raw record's before it,
  // unless the size came from the file's format. The result does not depend on the
  // order in which the records arrive.
  void InsertByOffset(std::uint32_t pos) {
    FoundObject* r = records[pos];
    byOffset.Insert(r->offset, pos);
    OffsetIndex::Pos next = byOffset.UpperBound(r->offset);
    if (TakesNeighbourSize(*r) && !byOffset.IsEnd(next)) r->size = byOffset.Key(next) - r->offset;
    // Every record at the offset before: records that share an offset (a device
    // node, the type folders, which all lie at 0) stand in the index in the order
    // they came, and that order must not decide which of them is sized.
    OffsetIndex::Pos prev = byOffset.LowerBound(r->offset);
    if (byOffset.Prev(prev)) {
      const std::int64_t prevOffset = byOffset.Key(prev);
      do {
        FoundObject* p = records[byOffset.Value(prev)];
        if (TakesNeighbourSize(*p)) p->size = r->offset - p->offset;
      } while (byOffset.Prev(prev) && byOffset.Key(prev) == prevOffset);
    }
  }

  // Names a carved record after its type ("%s_%I64d.%s": prefix, offset, default
  // extension) or, without one, as a lost file.
  void GenerateName(FoundObject& r, const FileTypeFacts* type) {
    const std::u16string name = type ? platform::Format(u"%s_%I64d.%s", type->namePrefix, r.offset, type->extension)
                                     : platform::Format(GetLangString(4865), r.offset);
    r.name = names.Copy(name);
    r.nameLength = static_cast<std::uint32_t>(name.size());
    r.flags.Set(OBJ_NAMED);
    r.origin |= ORIGIN_NAME_GENERATED;
  }

  void RebuildOffsetIndex() {
    std::vector<std::pair<std::int64_t, std::uint32_t>> all;
    all.reserve(records.size());
    for (std::uint32_t i = 0; i < records.size(); ++i) all.emplace_back(records[i]->offset, i);
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    byOffset.Build(all);
  }

  // The file record a carved hit at `offset` confirms: never a folder, the root or a
  // device node; a record at offset 0 that is not raw has no data position of its own
  // (a resident NTFS file) and is not one either.
  std::uint32_t FileAtOffset(std::int64_t offset) const {
    if (!keepOffsetIndex) return kNone;
    for (OffsetIndex::Pos p = byOffset.LowerBound(offset); !byOffset.IsEnd(p) && byOffset.Key(p) == offset;
         p = byOffset.Next(p)) {
      const FoundObject* r = records[byOffset.Value(p)];
      if (r->flags.Any(OBJ_FOLDER | OBJ_DEVICE)) continue;
      if (offset == 0 && !r->flags.Any(OBJ_RAW)) continue;
      return byOffset.Value(p);
    }
    return kNone;
  }

  void MakeLostFolder(std::int32_t id, std::vector<PendingMessage>& out) {
    FoundObject* r = arena.New();
    r->flags = OBJ_DELETED | OBJ_FOLDER | OBJ_DELETED_PATH | OBJ_NAMED;
    r->id = id;
    r->parentId = kIdLostFolders;
    const std::u16string name = platform::Format(GetLangString(5376), id).substr(0, 127);
    r->name = names.Copy(name);
    r->nameLength = static_cast<std::uint32_t>(name.size());
    const std::uint32_t pos = Register(r);
    placeholders[id] = pos;
    out.push_back({Handle(pos), FOUND_LOST_FOLDER_MADE});
  }

  void EnsureTypeFolder(const FileTypeFacts& type) {
    if (folderById.count(type.categoryId)) return;
    FoundObject* r = arena.New();
    r->flags = OBJ_FOLDER | OBJ_DELETED_PATH;
    r->id = type.categoryId;
    r->parentId = kIdLostFiles;
    std::u16string group;
    const IFileTypeLookup* lookup = GetFileTypeLookup();
    if (lookup && lookup->GroupName(type.categoryId, group)) {
      r->name = names.Copy(group);
      r->nameLength = static_cast<std::uint32_t>(group.size());
      r->flags.Set(OBJ_NAMED);
    }
    Register(r);
  }

  void Clear() {
    // Fresh containers: an assignment of {} would keep the old ones' memory.
    records = std::vector<FoundObject*>();
    arena.Clear();
    names.Clear();
    external = decltype(external)();
    byId.Clear();
    byParent.Clear();
    byOffset.Clear();
    folderById = decltype(folderById)();
    placeholders = decltype(placeholders)();
    childFolders = decltype(childFolders)();
    externalPositions = decltype(externalPositions)();
    serial.store(NewSerial());
  }
};

namespace {

// An adding worker takes the lock for a microsecond at a time, over and over. A
// reader first tries for a short while before it sleeps; once asleep it says so,
// and adders let every waiting reader in before they take the lock again: else a
// reader that woke would find the lock taken anew, time after time, and the user
// interface would wait on a long pass of adds.
std::shared_lock<std::shared_mutex> LockShared(const FoundObjectStore::Impl& s) {
  std::shared_lock<std::shared_mutex> lock(s.mutex, std::defer_lock);
  for (int i = 0; i < 256; ++i) {
    if (lock.try_lock()) return lock;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  s.readersWaiting.fetch_add(1);
  lock.lock();
  s.readersWaiting.fetch_sub(1);
  return lock;
}

std::unique_lock<std::shared_mutex> LockExclusive(const FoundObjectStore::Impl& s) {
  for (int i = 0; s.readersWaiting.load() > 0; ++i) {
    if (i < 64) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    } else {
      std::this_thread::yield();
    }
  }
  return std::unique_lock<std::shared_mutex>(s.mutex);
}

// The lock of a change to the store's arrays: the writers' mutex, room made for
// `more` new records (their arrays grown by copies made outside the store's lock,
// swapped in under it), then the store's lock.
struct WriteLock {
  std::unique_lock<std::mutex> writers;
  std::unique_lock<std::shared_mutex> lock;
};

void MakeRoom(FoundObjectStore::Impl& s, std::size_t more) {
  s.arena.Reserve(more);
  s.names.Reserve();
  std::vector<FoundObject*> records;
  if (s.records.size() + more > s.records.capacity()) {
    records.reserve(std::max<std::size_t>(1024, std::max(s.records.size() * 2, s.records.size() + more)));
    records.assign(s.records.begin(), s.records.end());
  }
  KeyIndex byId, byParent;
  const bool growId = s.byId.NeedsRoom(more), growParent = s.byParent.NeedsRoom(more);
  if (growId) byId = s.byId.WithRoom(more);
  if (growParent) byParent = s.byParent.WithRoom(more);
  if (records.capacity() == 0 && !growId && !growParent) return;
  {
    auto lock = LockExclusive(s);
    if (records.capacity() != 0) s.records.swap(records);
    if (growId) s.byId.Swap(byId);
    if (growParent) s.byParent.Swap(byParent);
  }
  // The old arrays are freed here, after the lock.
}

WriteLock LockForAdd(FoundObjectStore::Impl& s, std::size_t more) {
  WriteLock out{std::unique_lock<std::mutex>(s.writers), {}};
  MakeRoom(s, more);
  out.lock = LockExclusive(s);
  return out;
}

WriteLock LockForChange(FoundObjectStore::Impl& s) {
  WriteLock out{std::unique_lock<std::mutex>(s.writers), {}};
  out.lock = LockExclusive(s);
  return out;
}

}  // namespace

FoundObjectStore::FoundObjectStore() : impl_(std::make_unique<Impl>()) {}
FoundObjectStore::~FoundObjectStore() = default;

FoundObject* FoundObjectStore::AddParsedObject(const FoundObject& templ) {
  const bool folder = templ.IsFolder();
  FileTypeFacts type;
  // Folders are never typed by their name, nor dropped for a disabled type.
  const bool typed = !folder && TypeOf(templ, false, type);
  if (typed && !type.searchEnabled) return nullptr;

  std::vector<PendingMessage> messages;
  FoundObject* result = nullptr;
  try {
    auto lock = LockForAdd(*impl_, 3);  // a lost folder, the record
    Impl& s = *impl_;
    // Only a folder takes the place of the placeholder made for its id.
    std::uint32_t placeholder = kNone;
    if (folder) {
      auto it = s.placeholders.find(templ.id);
      if (it != s.placeholders.end()) {
        placeholder = it->second;
        s.placeholders.erase(it);
      }
    }
    const std::int32_t id = templ.id, parent = templ.parentId;
    if (parent != 0 && id != 0 && parent != id && id != s.rootFolderId && parent != s.rootFolderId &&
        !s.folderById.count(parent)) {
      s.MakeLostFolder(parent, messages);
    }

    if (placeholder != kNone) {
      FoundObject* ph = s.records[placeholder];
      const std::int64_t oldOffset = ph->offset;
      const std::int32_t oldParent = ph->parentId;
      // Every field of the folder, the whole 64-bit first cluster included; the tree
      // item, the checked count and the check mark stay the user interface's.
      static_assert(sizeof(FoundObject) == 104, "copy every new field of FoundObject here");
      const char16_t* name = templ.name ? s.names.Copy(templ.Name()) : nullptr;
      ph->attributes = templ.attributes;
      ph->typeId = templ.typeId;
      ph->origin = templ.origin & ~ORIGIN_NAME_GENERATED;
      ph->id = templ.id;
      ph->parentId = templ.parentId;
      ph->typeKey = templ.typeKey;
      ph->nameLength = templ.nameLength;
      ph->offset = templ.offset;
      ph->size = templ.size;
      ph->created = templ.created;
      ph->modified = templ.modified;
      ph->accessed = templ.accessed;
      ph->firstCluster = templ.firstCluster;
      ph->name = name;
      ph->volume = templ.volume;
      ph->flags.Replace(templ.flags, OBJ_CHECKED);
      if (ph->parentId != oldParent) {
        s.byParent.Add(ph->parentId, placeholder);
        if (auto it = s.childFolders.find(oldParent); it != s.childFolders.end() && it->second > 0) --it->second;
        ++s.childFolders[ph->parentId];
      }
      if (s.keepOffsetIndex && ph->offset != oldOffset) {
        s.byOffset.Erase(oldOffset, placeholder);
        s.InsertByOffset(placeholder);
      }
      result = ph;
      messages.push_back({s.Handle(placeholder), FOUND_PLACEHOLDER_REPLACED});
      messages.push_back({s.Handle(placeholder), FOUND_ADDED});
    } else {
      FoundObject* r = s.NewCopy(templ);
      r->origin &= ~ORIGIN_NAME_GENERATED;  // a parsed name is the file system's
      // A type found by the name's extension is written into the record.
      if (typed && templ.typeKey == 0 && type.id != templ.typeId) {
        r->typeId = type.id;
        r->typeKey = type.key;
      }
      const std::uint32_t pos = s.Register(r);
      result = r;
      messages.push_back({s.Handle(pos), FOUND_ADDED});
    }
  } catch (...) {
    result = nullptr;
  }
  PostAll(messages);
  return result;
}

FoundObject* FoundObjectStore::AddCarvedObject(const FoundObject& hit) {
  FileTypeFacts type;
  const bool typed = TypeOf(hit, hit.IsFolder(), type);
  std::vector<PendingMessage> messages;
  FoundObject* result = nullptr;
  try {
    auto lock = LockForAdd(*impl_, 2);  // the record, its type folder
    Impl& s = *impl_;
    const std::uint32_t existing = s.FileAtOffset(hit.offset);
    if (existing != kNone) {
      FoundObject* r = s.records[existing];
      r->flags.Set(OBJ_CARVED);
      if (typed) {
        const bool retyped = r->typeKey != type.key || r->typeId != type.id;
        r->typeId = type.id;
        r->typeKey = type.key;
        // A name the store made follows the type; one read from a file system stays.
        if (retyped && (r->origin & ORIGIN_NAME_GENERATED)) s.GenerateName(*r, &type);
      }
      // A raw record takes the size that the later hit's own format gives.
      if (r->flags.Any(OBJ_RAW) && (hit.origin & ORIGIN_SIZE_FROM_FORMAT)) {
        r->size = hit.size;
        r->origin |= ORIGIN_SIZE_FROM_FORMAT;
      }
      result = r;
      messages.push_back({s.Handle(existing), FOUND_CARVED_MERGED});
    } else if (!typed || type.searchEnabled) {
      FoundObject* r = s.NewCopy(hit);
      r->origin &= ~ORIGIN_NAME_GENERATED;
      if (typed) r->parentId = type.categoryId;
      if (!r->flags.Any(OBJ_NAMED) || !r->name) s.GenerateName(*r, typed ? &type : nullptr);
      r->flags.Set(OBJ_CARVED);
      const std::uint32_t pos = s.Register(r);
      if (typed) s.EnsureTypeFolder(type);
      result = r;
      messages.push_back({s.Handle(pos), FOUND_CARVED_ADDED});
    }
  } catch (...) {
    result = nullptr;
  }
  PostAll(messages);
  return result;
}

FoundObject* FoundObjectStore::RegisterObject(const FoundObject& record) {
  try {
    auto lock = LockForAdd(*impl_, 1);
    FoundObject* r = impl_->NewCopy(record);
    impl_->Register(r);
    return r;
  } catch (...) {
    return nullptr;
  }
}

FoundObject* FoundObjectStore::RegisterObject(std::shared_ptr<FoundObject> external) {
  if (!external) return nullptr;
  try {
    auto lock = LockForAdd(*impl_, 1);
    FoundObject* r = external.get();
    impl_->external.push_back(std::move(external));
    impl_->externalPositions.emplace_back(r, impl_->Register(r, false));
    return r;
  } catch (...) {
    return nullptr;
  }
}

int FoundObjectStore::EnableOffsetIndex(int flag) {
  auto lock = LockForChange(*impl_);
  if (flag) impl_->keepOffsetIndex = true;
  try {
    impl_->RebuildOffsetIndex();
  } catch (...) {
    impl_->byOffset.Clear();
  }
  return 1;
}

bool FoundObjectStore::KeepsOffsetIndex() const {
  auto lock = LockShared(*impl_);
  return impl_->keepOffsetIndex;
}

void FoundObjectStore::SetRootFolderId(std::int32_t id) {
  auto lock = LockExclusive(*impl_);
  impl_->rootFolderId = id;
}

std::uint32_t FoundObjectStore::Serial() const {
  // The views ask for every row they paint: no lock, which an adding worker would
  // make them wait for.
  return impl_->serial.load();
}

std::int32_t FoundObjectStore::RootFolderId() const {
  auto lock = LockShared(*impl_);
  return impl_->rootFolderId;
}

void FoundObjectStore::Clear() {
  auto lock = LockForChange(*impl_);
  impl_->Clear();
}

namespace {

void MarkChain(const FoundObjectStore::Impl& s, FoundObject* record);

}  // namespace

void FoundObjectStore::MarkFolderChain(FoundObject* record) {
  if (!record) return;
  auto lock = LockShared(*impl_);  // flags are atomic; the walk only reads
  MarkChain(*impl_, record);
}

void FoundObjectStore::MarkFolderChains(const std::vector<FoundObject*>& records) {
  if (records.empty()) return;
  auto lock = LockShared(*impl_);
  for (FoundObject* record : records)
    if (record) MarkChain(*impl_, record);
}

namespace {

void MarkChain(const FoundObjectStore::Impl& s, FoundObject* record) {
  if (record->IsFolder()) record->flags.Set(OBJ_DELETED_PATH);
  VisitedSet visited;
  visited.Insert(record);
  for (FoundObject* cur = s.Folder(record->parentId); cur; cur = s.Folder(cur->parentId)) {
    if (!visited.Insert(cur)) break;  // a parent cycle in damaged data
    const std::uint16_t before = cur->flags.Set(OBJ_DELETED_PATH);
    if ((before & OBJ_DELETED_PATH) && cur->id == s.rootFolderId) break;
  }
}

}  // namespace

void FoundObjectStore::SetTreeItem(FoundObject* record, std::uintptr_t item) {
  if (!record) return;
  auto lock = LockExclusive(*impl_);
  record->treeItem = item;
}

void FoundObjectStore::SetCheckedCount(FoundObject* record, std::int32_t count) {
  if (!record) return;
  auto lock = LockExclusive(*impl_);
  record->checkedCount = count;
}

void FoundObjectStore::SetSize(FoundObject* record, std::int64_t size) {
  if (!record) return;
  auto lock = LockExclusive(*impl_);
  record->size = size;
}

FoundObject FoundObjectStore::Snapshot(const FoundObject& record) const {
  auto lock = LockShared(*impl_);
  return record;
}

// ---- ReadView ---------------------------------------------------------------------

FoundObjectStore::ReadView FoundObjectStore::Read() const { return ReadView(impl_.get()); }

FoundObjectStore::ReadView::ReadView(const Impl* impl) : lock_(LockShared(*impl)), impl_(impl) {}

FoundObject* FoundObjectStore::ReadView::FindById(std::int32_t id, std::int64_t& cookie) const {
  const KeyIndex& index = impl_->byId;
  std::uint32_t e = cookie == -1 ? index.First(id) : static_cast<std::uint32_t>(cookie);
  if (cookie < -1 || cookie > std::int64_t(kNone) || !index.Valid(e)) {
    cookie = -2;
    return nullptr;
  }
  FoundObject* r = impl_->records[index.At(e).pos];
  if (r->id != id) {  // a cookie from another walk
    cookie = -2;
    return nullptr;
  }
  const std::uint32_t next = index.At(e).next;
  cookie = next == kNone ? -2 : std::int64_t(next);
  return r;
}

FoundObject* FoundObjectStore::ReadView::FindByParent(std::int32_t parentId, std::int64_t& cookie) const {
  const KeyIndex& index = impl_->byParent;
  std::uint32_t e = cookie == -1 ? index.First(parentId) : static_cast<std::uint32_t>(cookie);
  if (cookie < -1 || cookie > std::int64_t(kNone)) e = kNone;
  // A placeholder that became a real folder still has its entry under the lost
  // folders; an entry counts only while the record's parent is the key.
  while (index.Valid(e)) {
    FoundObject* r = impl_->records[index.At(e).pos];
    const std::uint32_t next = index.At(e).next;
    if (r->parentId == parentId) {
      cookie = next == kNone ? -2 : std::int64_t(next);
      return r;
    }
    e = next;
  }
  cookie = -2;
  return nullptr;
}

FoundObject* FoundObjectStore::ReadView::FindFolderById(std::int32_t id) const { return impl_->Folder(id); }

void FoundObjectStore::ReadView::CollectChildren(std::int32_t parentId, std::vector<FoundObject*>& out) const {
  std::int64_t cookie = -1;
  while (FoundObject* r = FindByParent(parentId, cookie)) out.push_back(r);
}

FoundObject* FoundObjectStore::ReadView::FindByOffset(std::int64_t offset) const {
  const OffsetIndex& index = impl_->byOffset;
  OffsetIndex::Pos p = index.LowerBound(offset);
  if (index.IsEnd(p) || index.Key(p) != offset) return nullptr;
  return impl_->records[index.Value(p)];
}

FoundObject* FoundObjectStore::ReadView::FindNextByOffset(std::int64_t offset) const {
  const OffsetIndex& index = impl_->byOffset;
  OffsetIndex::Pos p = index.LowerBound(offset);
  if (index.IsEnd(p) || index.Key(p) != offset) return nullptr;
  p = index.UpperBound(offset);
  return index.IsEnd(p) ? nullptr : impl_->records[index.Value(p)];
}

FoundObject* FoundObjectStore::ReadView::FindNextOfSameType(const FoundObject& record) const {
  const OffsetIndex& index = impl_->byOffset;
  for (OffsetIndex::Pos p = index.UpperBound(record.offset); !index.IsEnd(p); p = index.Next(p)) {
    FoundObject* r = impl_->records[index.Value(p)];
    if (record.typeKey ? r->typeKey == record.typeKey : r->typeId == record.typeId) return r;
  }
  return nullptr;
}

std::size_t FoundObjectStore::ReadView::Count() const { return impl_->records.size(); }

std::size_t FoundObjectStore::ReadView::OffsetIndexSize() const { return impl_->byOffset.Size(); }

FoundObject* FoundObjectStore::ReadView::At(std::size_t index) const {
  return index < impl_->records.size() ? impl_->records[index] : nullptr;
}

std::int64_t FoundObjectStore::ReadView::HandleAt(std::size_t index) const {
  return index < impl_->records.size() ? impl_->Handle(static_cast<std::uint32_t>(index)) : -1;
}

FoundObject* FoundObjectStore::ReadView::FromHandle(std::int64_t handle) const {
  if (handle < 0 || std::uint32_t(handle >> 32) != impl_->serial.load(std::memory_order_relaxed)) return nullptr;
  return At(static_cast<std::uint32_t>(handle & 0xFFFFFFFF));
}

std::int32_t FoundObjectStore::ReadView::RootFolderId() const { return impl_->rootFolderId; }

std::int64_t FoundObjectStore::ReadView::HandleOf(const FoundObject* record) const {
  if (!record) return -1;
  const std::uint32_t pos = record->storeIndex;
  if (pos < impl_->records.size() && impl_->records[pos] == record) return impl_->Handle(pos);
  for (const auto& [external, at] : impl_->externalPositions)
    if (external == record) return impl_->Handle(at);
  return -1;
}

std::uint32_t FoundObjectStore::ReadView::ChildFolderCount(std::int32_t parentId) const {
  auto it = impl_->childFolders.find(parentId);
  return it == impl_->childFolders.end() ? 0 : it->second;
}

bool FoundObjectStore::ReadView::PathParts(const FoundObject& record, std::vector<std::u16string>& parts) const {
  const Impl& s = *impl_;
  auto isRoot = [&](const FoundObject& r) {
    return (r.id == s.rootFolderId && r.IsFolder()) || r.id == r.parentId;
  };
  std::vector<std::u16string> upward;
  bool reachedRoot = false;
  if (isRoot(record)) {
    reachedRoot = true;
  } else {
    VisitedSet visited;
    visited.Insert(&record);
    for (const FoundObject* cur = s.Folder(record.parentId); cur; cur = s.Folder(cur->parentId)) {
      if (!visited.Insert(cur)) break;
      if (isRoot(*cur)) {
        reachedRoot = true;
        break;
      }
      if (cur->id < 0) break;  // the lost roots and the type folders below them
      upward.emplace_back(cur->Name());
    }
  }
  parts.assign(upward.rbegin(), upward.rend());
  return reachedRoot;
}
