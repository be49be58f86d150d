#pragma once
// The enabled and checked states of the main window's commands, computed from the
// run state at every idle pass (the update function of the frame; the explorer
// view applies its own rules afterwards):
//   - Rescan Drives (32781) while no analysis runs and no rescan is under way;
//     Search (32791) checked while the find pane shows, enabled while no analysis
//     runs;
//   - a volume selected: the five file commands (32787, 32809, 32845, 32831, 32797)
//     disabled, the disk group (32782, 32862, and 32774 while no analysis runs) on;
//   - else a found object selected: Recover (32787) while no analysis runs, the
//     other four on; with neither the five keep their previous states, and the
//     disk group is off;
//   - Stop Analyzing (32775) while an analysis runs.

#include <map>

namespace mainframe {

struct CommandState {
  bool enabled = true;
  bool checked = false;
  bool operator==(const CommandState&) const = default;
};

struct CommandStateInput {
  bool running = false;         // ScanProgress's running flag
  bool volumeSelected = false;  // CLocalComputer::IsVolumeSelected
  bool objectSelected = false;  // the explorer view has a current found object
  bool findPaneVisible = false;
  bool rescanBusy = false;      // Rescan Drives waits for its refresh
};

using CommandStates = std::map<int, CommandState>;

// The file commands that keep their states when nothing is selected.
inline constexpr int kFileCommands[] = {32787, 32809, 32845, 32831, 32797};

// The new states: `previous` holds the last states applied (a command missing
// from it counts as enabled); the result names every command this rule sets.
CommandStates ComputeCommandStates(const CommandStateInput& input, const CommandStates& previous);

}  // namespace mainframe
