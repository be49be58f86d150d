#pragma once
// CSearchBarView: the find pane's criteria form (dialog 281), shown in a scrolling
// host at the left of the explorer view: "All or part of the filename:" (1062),
// the period (radio buttons 1084 to 1088, date pickers 1066 "from" and 1067 "to"),
// the size (radio buttons 1077 to 1081, compare 1045, number 1070, unit 1089),
// "Search for deleted files only" (1090), "Ignore folders (search for files only)"
// (1091), and the buttons "Search" (1) and "Cancel" (2).
//
// The form keeps its FindCriteria up to date with every change (OnCriteriaChanged,
// UpdateControls). "Search" completes them (OnFind: the mask, the size in bytes,
// the period by the clock or the picked local days) and posts WM_FIND_START to the
// top window; "Cancel" posts WM_FIND_STOP to its owner (the explorer view).
//
// Owned by its scrolling host; GUI thread only.

#include <QPointer>
#include <QWidget>

#include <functional>

#include "mainframe/find/FindCriteria.h"
#include "platform/FileTime.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

class CSearchBarView : public QWidget {
  Q_OBJECT

 public:
  enum ControlId : int {
    kIdSearch = 1,
    kIdCancel = 2,
    kIdMask = 1062,
    kIdDateFrom = 1066,
    kIdDateTo = 1067,
    kIdDateModeFirst = 1084,
    kIdSizeModeFirst = 1077,
    kIdCompare = 1045,
    kIdSizeNumber = 1070,
    kIdSizeUnit = 1089,
    kIdDeletedOnly = 1090,
    kIdIgnoreFolders = 1091,
  };

  explicit CSearchBarView(QWidget* parent = nullptr);

  // Where WM_FIND_STOP goes (the explorer view) and WM_FIND_START (the top window;
  // null: the application's top window).
  void SetOwner(QObject* owner) { owner_ = owner; }
  void SetTopWindow(QObject* top) { top_ = top; }
  // The current UTC time for the periods (tests set a clock of their own).
  using Clock = std::function<platform::FileTime()>;
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // The criteria as the form last wrote them.
  const FindCriteria& Criteria() const { return criteria_; }

  // The form's steps.
  void OnInitDialog();
  void OnCriteriaChanged();
  void UpdateControls();
  void OnFind();
  void OnStop();
  // "Search" is disabled while a search runs.
  void SetSearchEnabled(bool enabled);

  QPushButton* SearchButton() const { return search_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  // The controls into the criteria, and back.
  void ReadControls();
  void WriteControls();
  void Post(QObject* to, std::uint32_t message);

  FindCriteria criteria_;
  QPointer<QObject> owner_;
  QPointer<QObject> top_;
  Clock clock_;
  bool updating_ = false;

  QLineEdit* mask_ = nullptr;
  QButtonGroup* dateModes_ = nullptr;
  QDateEdit* dateFrom_ = nullptr;
  QDateEdit* dateTo_ = nullptr;
  QButtonGroup* sizeModes_ = nullptr;
  QComboBox* compare_ = nullptr;
  QLineEdit* sizeNumber_ = nullptr;
  QComboBox* sizeUnit_ = nullptr;
  QCheckBox* deletedOnly_ = nullptr;
  QCheckBox* ignoreFolders_ = nullptr;
  QPushButton* search_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
