#pragma once
// The signature search's default hit sink: every hit of a file type (id above 29)
// goes to the store as a carved object (FoundObjectStore::AddCarvedObject), which
// merges it into a file already stored at its offset, keeps it as a new record, or
// drops it when its type is not searched. Hits of the system types (ids 29 and
// below: boot sectors and file-system structures) are only counted: making
// partition volumes and parsing structures is the volume analysis's part.
//
// The pass switches the store's offset index on before it starts, so that hits
// merge into the files stored at their offsets.

#include <atomic>
#include <cstdint>

#include "search/SignatureHitSink.h"

class FoundObjectStore;

class StoreHitSink : public ISignatureHitSink {
 public:
  explicit StoreHitSink(FoundObjectStore& store) : store_(store) {}

  void OnSignatureHit(const FoundObject& hit) override;

  // Hits handed over; those the store took (new or merged); system-type hits left alone.
  std::int64_t Hits() const { return hits_.load(); }
  std::int64_t Stored() const { return stored_.load(); }
  std::int64_t SystemHits() const { return system_.load(); }

 private:
  FoundObjectStore& store_;
  std::atomic<std::int64_t> hits_{0};
  std::atomic<std::int64_t> stored_{0};
  std::atomic<std::int64_t> system_{0};
};
