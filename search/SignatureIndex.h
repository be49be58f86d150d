#pragma once
// The file types one signature pass looks for, copied from the database when the
// pass starts, and an index that tells for each 512-byte unit which of them can
// match at all.
//
// Each signature fixes some bytes at some offsets of a candidate (the data of its
// value, byte-string and masked patterns); one pair of them, or one byte, is its
// key. A unit is tested in full against a type (every signature, exactly as
// FileType::Match does) only when the key bytes of one of the type's signatures
// stand in the unit, or when a signature fixes no byte at all (range or search
// patterns only; a search pattern is tried first with a fast exact test). So the
// hits are exactly those of testing every searched type in list order, and most
// units cost a few table look-ups.
//
// The copy keeps the pass independent of edits to the database while it runs.
// After construction everything is read-only and may be used by any number of
// threads at once.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ByteOrder.h"
#include "search/Signature.h"

class FileType;
class FileTypeDatabase;

class SignatureIndex {
 public:
  // One searched type, in list order.
  struct Entry {
    std::int32_t typeId = 0;
    std::uint32_t typeKey = 0;
    // The compound-document container (type 500 with the signature D0 CF 11 E0):
    // its hits are told apart by the compound-document probe.
    bool storageFile = false;
    std::vector<Signature> signatures;

    // Any signature holds (a type without signatures never matches).
    bool Match(platform::Bytes candidate) const {
      for (const Signature& s : signatures)
        if (s.Match(candidate)) return true;
      return false;
    }
  };

  // An empty index: nothing matches.
  SignatureIndex() = default;
  // The types of `db` with searchEnabled set, in list order. Holds the database's
  // edit lock while copying, so a type being edited is never copied half-way.
  explicit SignatureIndex(const FileTypeDatabase& db);

  std::size_t size() const { return entries_.size(); }
  const Entry& operator[](std::size_t index) const { return entries_[index]; }

  // Calls hit(index) for every entry that matches `candidate` (the unit's bytes up
  // to the end of what may be read), in list order. keepGoing() is asked before
  // each full test; false ends the unit. `scratch` is the caller's, reused from
  // unit to unit so that nothing is allocated.
  template <typename KeepGoing, typename Hit>
  void MatchUnit(platform::Bytes candidate, std::vector<std::uint32_t>& scratch, KeepGoing&& keepGoing,
                 Hit&& hit) const {
    Candidates(candidate, scratch);
    for (std::uint32_t index : scratch) {
      if (!keepGoing()) return;
      if (entries_[index].Match(candidate)) hit(std::size_t(index));
    }
  }

  // The entries that may match `candidate`, ascending; every entry that matches is
  // among them.
  void Candidates(platform::Bytes candidate, std::vector<std::uint32_t>& out) const;

  // The type a compound-document subtype id stands for: the first type in list
  // order with that id and no signature (the rows the probe alone gives; the
  // Access database shares 501 with the Excel row but has a signature). Key 0 when
  // no such row exists (the caller keeps the container's own type then).
  std::uint32_t CompoundSubtypeKey(std::int32_t typeId) const;

  // Whether a type is the compound-document container.
  static bool IsStorageFileType(const FileType& type);

  // Index statistics, for tests and the benchmark.
  std::size_t KeyGroupCount() const { return groups_.size(); }
  std::size_t AlwaysTestedCount() const { return always_.size(); }
  std::size_t SearchTestedCount() const { return searches_.size(); }

 private:
  // The signatures keyed by the bytes at one offset: one byte or two (little-endian).
  struct KeyGroup {
    std::uint64_t offset = 0;
    std::uint32_t width = 1;
    std::vector<std::uint64_t> present;  // one bit per key value
    std::vector<std::uint32_t> keys;     // sorted, parallel to members
    std::vector<std::uint32_t> members;  // entry indexes
  };
  // A signature that fixes no byte but has a search pattern: tried first with that
  // pattern alone.
  struct SearchTest {
    std::uint32_t entry = 0;
    std::size_t signature = 0;
    std::size_t pattern = 0;
  };

  void Build();
  void AddSignature(std::uint32_t entry, std::size_t signatureIndex);
  bool SearchHolds(const SearchTest& test, platform::Bytes candidate) const;

  std::vector<Entry> entries_;
  std::vector<KeyGroup> groups_;
  std::vector<std::uint32_t> always_;
  std::vector<SearchTest> searches_;
  // Types without a signature: (type id, key), first in list order per id.
  std::vector<std::pair<std::int32_t, std::uint32_t>> unsignedTypes_;
};

// The test of PATTERN_SEARCH_NOCASE (SearchBytesNoCase) with the same result,
// faster: it looks for the two spellings of the first byte with memchr.
bool FastSearchBytesNoCase(platform::Bytes window, platform::Bytes data);
