#include "search/StoreHitSink.h"

#include "engine/store/FoundObjectStore.h"

void StoreHitSink::OnSignatureHit(const FoundObject& hit) {
  hits_.fetch_add(1, std::memory_order_relaxed);
  if (hit.typeId <= 29) {
    system_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (store_.AddCarvedObject(hit)) stored_.fetch_add(1, std::memory_order_relaxed);
}
