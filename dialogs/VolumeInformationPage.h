#pragma once
// What the pages of the volume information have in common: the volume they show
// (shared, not changed), their form number, and a grid of information rows in the
// page's margins. A page adds its rows in its constructor and fills their values
// in OnInitDialog, the first time it is shown.
//
// Owned by its sheet; GUI thread only.

#include <memory>

#include "controls/ResizablePropertyPage.h"

class CVolume;
class QGridLayout;
class QVBoxLayout;

class CVolumeInformationPage : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  CVolumeInformationPage(const QString& title, int dialogId, std::shared_ptr<CVolume> volume,
                         QWidget* parent = nullptr);

 protected:
  // The page's outer layout and its grid of rows (in the layout from the start).
  QVBoxLayout* Layout() const { return layout_; }
  QGridLayout* Grid() const { return grid_; }
  // Ends the form: the rows keep to the top, and the page asks for its size.
  void FinishForm();

  std::shared_ptr<CVolume> volume_;

 private:
  QVBoxLayout* layout_ = nullptr;
  QGridLayout* grid_ = nullptr;
};
