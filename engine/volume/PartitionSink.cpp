#include "engine/volume/PartitionSink.h"

#include <atomic>

namespace {
std::atomic<IPartitionSink*> g_sink{nullptr};
}

void SetPartitionSink(IPartitionSink* sink) { g_sink.store(sink); }
IPartitionSink* GetPartitionSink() { return g_sink.load(); }
