#include "mainframe/frame/CommandStates.h"

namespace mainframe {

CommandStates ComputeCommandStates(const CommandStateInput& in, const CommandStates& previous) {
  CommandStates s;
  s[32781].enabled = !in.running && !in.rescanBusy;
  s[32791].checked = in.findPaneVisible;
  s[32791].enabled = !in.running;

  bool diskGroup = false;
  if (in.volumeSelected) {
    for (int id : kFileCommands) s[id].enabled = false;
    diskGroup = true;
  } else if (in.objectSelected) {
    for (int id : kFileCommands) s[id].enabled = true;
    s[32787].enabled = !in.running;
  } else {
    for (int id : kFileCommands) {
      auto it = previous.find(id);
      s[id] = it != previous.end() ? it->second : CommandState{};
    }
  }
  s[32782].enabled = diskGroup;
  s[32862].enabled = diskGroup;
  s[32774].enabled = diskGroup && !in.running;
  s[32775].enabled = in.running;
  return s;
}

}  // namespace mainframe
