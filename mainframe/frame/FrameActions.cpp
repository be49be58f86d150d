#include "mainframe/frame/FrameActions.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>

#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/DisabledIcon.h"

namespace mainframe {

namespace {

bool IsCheckable(int id) {
  return id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR || id == ID_VIEW_LEGEND || id == ID_VIEW_SEARCH;
}

// The menu text without its accelerator part and ampersands: the tool tip.
QString PlainText(const QString& text) {
  QString plain = text.section(QLatin1Char('\t'), 0, 0).trimmed();
  plain.remove(QLatin1Char('&'));
  return plain;
}

QString MenuText(int id) {
  for (const MenuPopup& p : MainMenu())
    for (const MenuItem& i : p.items)
      if (i.id == id) return app::ToQString(i.text);
  return {};
}

// The toolbar's image of an icon: the normal image and the disabled one made from
// it, both at 24 x 24.
QIcon ToolbarIcon(int iconId) {
  const QIcon source = app::IconById(iconId);
  if (source.isNull()) return {};
  const QSize size(CFrameActions::kToolbarIconSize, CFrameActions::kToolbarIconSize);
  const QPixmap normal = source.pixmap(size);
  QIcon icon;
  icon.addPixmap(normal, QIcon::Normal);
  icon.addPixmap(QPixmap::fromImage(MakeDisabledImage(normal.toImage())), QIcon::Disabled);
  return icon;
}

// An 8-pixel separator with an etched line in its middle.
QWidget* Separator(int width) {
  auto* box = new QWidget;
  box->setFixedWidth(width);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 3, 0, 3);
  auto* line = new QFrame(box);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line, 0, Qt::AlignHCenter);
  return box;
}

}  // namespace

CFrameActions::CFrameActions(QMainWindow* frame) : QObject(frame) {
  // The menu bar.
  menuBar_ = new QMenuBar(frame);
  menuBar_->setObjectName(QStringLiteral("MainMenu"));
  for (const MenuPopup& popup : MainMenu()) {
    QMenu* menu = menuBar_->addMenu(app::ToQString(popup.title));
    for (const MenuItem& item : popup.items) {
      if (item.id == 0) {
        menu->addSeparator();
        continue;
      }
      auto* action = new QAction(app::ToQString(item.text), menu);
      if (const int icon = MenuIconId(item.id)) action->setIcon(app::IconById(icon));
      action->setCheckable(IsCheckable(item.id));
      menu->addAction(action);
      menuActions_[item.id] = Add(item.id, action);
    }
  }
  frame->setMenuBar(menuBar_);

  // The toolbar.
  toolBar_ = new QToolBar(frame);
  toolBar_->setObjectName(QStringLiteral("MainToolBar"));
  controls::SetControlId(toolBar_, ID_VIEW_TOOLBAR);
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setIconSize(QSize(kToolbarIconSize, kToolbarIconSize));
  toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolBar_->toggleViewAction()->setVisible(false);
  toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
  for (const ToolbarEntry& entry : MainToolbar()) {
    if (entry.command == 0) {
      toolBar_->addWidget(Separator(entry.separatorWidth));
      continue;
    }
    auto* action = new QAction(ToolbarIcon(entry.iconId), app::ToQString(entry.text), toolBar_);
    action->setToolTip(PlainText(MenuText(entry.command)));
    action->setCheckable(IsCheckable(entry.command));
    toolBar_->addAction(action);
    if (entry.text.empty())
      if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action)))
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbarActions_[entry.command] = Add(entry.command, action);
  }
  frame->addToolBar(Qt::TopToolBarArea, toolBar_);

  // The accelerators: shortcuts of the window, apart from the menu texts (which
  // show them as the table words them).
  for (const Accelerator& a : MainAccelerators()) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(a.keys)), frame);
    shortcut->setContext(Qt::WindowShortcut);
    const int id = a.command;
    connect(shortcut, &QShortcut::activated, this, [this, id] {
      // A disabled command is not carried out by its key either.
      const QList<QAction*> list = actions_.value(id);
      if (!list.isEmpty() && !list.front()->isEnabled()) return;
      emit commandTriggered(id);
    });
    shortcuts_.append(shortcut);
  }
}

QAction* CFrameActions::Add(int id, QAction* action) {
  controls::SetCommandId(action, id);
  // Checkable actions flip their own check mark on a click: the frame sets the
  // marks from the settings, so the flip is undone before the command runs.
  connect(action, &QAction::triggered, this, [this, id, action] {
    if (action->isCheckable()) action->setChecked(!action->isChecked());
    emit commandTriggered(id);
  });
  actions_[id].append(action);
  return action;
}

QAction* CFrameActions::MenuAction(int id) const { return menuActions_.value(id); }
QAction* CFrameActions::ToolbarAction(int id) const { return toolbarActions_.value(id); }

void CFrameActions::Apply(const CommandStates& states) {
  for (auto it = states.begin(); it != states.end(); ++it)
    for (QAction* action : actions_.value(it->first)) {
      action->setEnabled(it->second.enabled);
      if (action->isCheckable()) action->setChecked(it->second.checked);
    }
}

void CFrameActions::SetChecked(int id, bool checked) {
  for (QAction* action : actions_.value(id))
    if (action->isCheckable()) action->setChecked(checked);
}

}  // namespace mainframe
