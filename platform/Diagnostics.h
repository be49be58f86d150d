#pragma once
// Problems the platform layer meets (an unreadable registry entry, a failed helper
// program) are reported here; the program log installs itself as the sink so they
// reach the log at error level. Without a sink they go to standard error.

#include <functional>
#include <string>
#include <string_view>

namespace platform {

using DiagnosticSink = std::function<void(const std::u16string&)>;

void SetDiagnosticSink(DiagnosticSink sink);
void ReportDiagnostic(std::u16string_view text);

}  // namespace platform
