#include "platform/Diagnostics.h"

#include <cstdio>
#include <mutex>

#include "platform/Text.h"

namespace platform {
namespace {
std::mutex g_sinkMutex;
DiagnosticSink& Sink() {
  static DiagnosticSink sink;
  return sink;
}
}  // namespace

void SetDiagnosticSink(DiagnosticSink sink) {
  std::lock_guard lock(g_sinkMutex);
  Sink() = std::move(sink);
}

void ReportDiagnostic(std::u16string_view text) {
  DiagnosticSink sink;
  {
    std::lock_guard lock(g_sinkMutex);
    sink = Sink();
  }
  if (sink) {
    sink(std::u16string(text));
  } else {
    std::fprintf(stderr, "%s\n", Utf16ToUtf8(text).c_str());
  }
}

}  // namespace platform
