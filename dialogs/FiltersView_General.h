#pragma once
// Filters page "General" (form 298): a name mask, deleted objects only, and a
// range of creation dates. A click on any of its check boxes stores the check
// boxes and the mask into the filter at once; the dates are stored on OK.
//
// The date pickers show local calendar dates of the filter's UTC times. On OK a
// picker the user changed stores the start ("Between:") or the end ("and:") of its
// local day as a UTC time, so a "to" date covers the whole of that day; a picker
// left alone keeps the stored time (the open ends 0 and -1 included).
//
// The form's hidden controls (empty folders, size) are not built; the filter's
// size fields keep their values. GUI thread only.

#include <QDate>

#include "controls/ResizablePropertyPage.h"
#include "platform/FileTime.h"

class FileFilter;
class QCheckBox;
class QDateEdit;
class QLineEdit;

class CFiltersView_General : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  // `filter` null: the computer's.
  explicit CFiltersView_General(FileFilter* filter = nullptr);

  void OnInitDialog() override;
  int OnApply() override;

  // The local date a picker shows for a stored time: its local calendar date, or
  // today for a time that has none (the open end -1).
  static QDate PickerDate(platform::FileTime stored);
  // The first and the last 100-ns instant of a local calendar day, as UTC times.
  static platform::FileTime StartOfLocalDay(const QDate& date);
  static platform::FileTime EndOfLocalDay(const QDate& date);

  QDateEdit* FromPicker() const { return from_; }
  QDateEdit* ToPicker() const { return to_; }

 private:
  void OnButtonClick();
  void SaveControls();
  void UpdateEnabling();

  FileFilter* filter_;
  QCheckBox* useMask_;
  QLineEdit* mask_;
  QCheckBox* deletedOnly_;
  QCheckBox* useDates_;
  QDateEdit* from_;
  QDateEdit* to_;
  bool fromTouched_ = false;
  bool toTouched_ = false;
};
