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

  // What the index works out once per run of bytes (a block, or the part of one
  // that was read) before its units are tested: where the search patterns of the
  // signatures that fix no byte can begin. One per thread, reused.
  struct RunScan {
    std::vector<std::size_t> starts;  // ascending, from the run's start
    std::vector<std::uint32_t> candidates;
  };
  void PrepareRun(platform::Bytes run, RunScan& scan) const;

  // Calls hit(index) for every entry that matches the unit at `unitOffset` of the
  // run prepared in `scan` (the candidate is the run's bytes from there to its
  // end), in list order. keepGoing() is asked before each full test; false ends
  // the unit. Allocates nothing once the scan's vectors have grown.
  template <typename KeepGoing, typename Hit>
  void MatchUnit(platform::Bytes run, std::size_t unitOffset, RunScan& scan, KeepGoing&& keepGoing,
                 Hit&& hit) const {
    const platform::Bytes candidate = run.subspan(unitOffset);
    Candidates(candidate, unitOffset, scan);
    for (std::uint32_t index : scan.candidates) {
      if (!keepGoing()) return;
      if (entries_[index].Match(candidate)) hit(std::size_t(index));
    }
  }

  // The entries that may match the unit at `unitOffset` of the prepared run
  // (scan.candidates, ascending); every entry that matches is among them.
  void Candidates(platform::Bytes candidate, std::size_t unitOffset, RunScan& scan) const;

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
  // A signature that fixes no byte but has a search pattern: tried with that
  // pattern alone first, and only where the run holds the pattern's first bytes.
  struct SearchTest {
    std::uint32_t entry = 0;
    std::size_t signature = 0;
    std::size_t pattern = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    bool noCase = false;
    std::uint8_t first = 0, second = 0;  // folded with 0x20 for the no-case kind
  };

  void Build();
  void AddSignature(std::uint32_t entry, std::size_t signatureIndex);
  bool SearchHolds(const SearchTest& test, platform::Bytes candidate) const;
  bool MayStartAt(const SearchTest& test, platform::Bytes run, std::size_t at) const;

  std::vector<Entry> entries_;
  std::vector<KeyGroup> groups_;
  std::vector<std::uint32_t> always_;
  std::vector<SearchTest> searches_;
  // A set of bytes as compared: (byte | fold) against each of the values.
  struct ByteSet {
    std::uint8_t fold = 0;
    std::vector<std::uint8_t> values;
  };
  static ByteSet MakeByteSet(const bool (&members)[256]);
  // The bytes any search test's data can begin with, and the bytes that can follow
  // them (none when some data is a single byte).
  ByteSet firstBytes_, secondBytes_;
  bool startByte_[256] = {};
  // Types without a signature: (type id, key), first in list order per id.
  std::vector<std::pair<std::int32_t, std::uint32_t>> unsignedTypes_;
};

// The test of PATTERN_SEARCH_NOCASE (SearchBytesNoCase) with the same result,
// faster: it looks for the two spellings of the first byte with memchr.
bool FastSearchBytesNoCase(platform::Bytes window, platform::Bytes data);
