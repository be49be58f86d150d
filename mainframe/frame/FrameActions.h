#pragma once
// The main window's actions, made in one place from the command table: the menu
// bar (the frame's menu 128, with the 16 x 16 icons of eight commands), the
// toolbar 0xE800 (24 x 24 images, their disabled forms made by MakeDisabledIcon,
// text beside the image only where the table gives one, 8-pixel separators) and
// the accelerators. Every action carries its command id (`commandId`); whichever
// of them fires, commandTriggered(id) follows. The menu and the toolbar have
// actions of their own (the language tables re-text them apart), and the states
// go to both.
//
// Owned by the frame; GUI thread only.

#include <QList>
#include <QMap>
#include <QObject>

#include "mainframe/frame/CommandStates.h"

class QAction;
class QMainWindow;
class QMenuBar;
class QShortcut;
class QToolBar;

namespace mainframe {

class CFrameActions : public QObject {
  Q_OBJECT

 public:
  static constexpr int kToolbarIconSize = 24;
  static constexpr int kMenuIconSize = 16;

  // Builds the menu bar, toolbar and shortcuts of `frame` (the toolbar is added to
  // the frame but shown as the caller says).
  explicit CFrameActions(QMainWindow* frame);

  QMenuBar* MenuBar() const { return menuBar_; }
  QToolBar* ToolBar() const { return toolBar_; }
  // Every action of a command (menu and toolbar), empty for an unknown id.
  QList<QAction*> Actions(int id) const { return actions_.value(id); }
  QAction* MenuAction(int id) const;
  QAction* ToolbarAction(int id) const;
  QList<QShortcut*> Shortcuts() const { return shortcuts_; }

  // Enabled and checked states for the commands named.
  void Apply(const CommandStates& states);
  void SetChecked(int id, bool checked);

 signals:
  void commandTriggered(int id);

 private:
  QAction* Add(int id, QAction* action);

  QMenuBar* menuBar_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QMap<int, QList<QAction*>> actions_;
  QMap<int, QAction*> menuActions_;
  QMap<int, QAction*> toolbarActions_;
  QList<QShortcut*> shortcuts_;
};

}  // namespace mainframe
