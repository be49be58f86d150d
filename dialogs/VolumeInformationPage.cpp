#include "dialogs/VolumeInformationPage.h"

#include <QGridLayout>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/FormParts.h"

namespace {
// Every page asks for a standard property page's size at least.
constexpr int kPageWidth = 212;
constexpr int kPageHeight = 188;
}  // namespace

CVolumeInformationPage::CVolumeInformationPage(const QString& title, int dialogId, std::shared_ptr<CVolume> volume,
                                               QWidget* parent)
    : controls::CResizablePropertyPage(title, false, false, parent), volume_(std::move(volume)) {
  SetDialogId(dialogId);
  controls::SetControlId(this, dialogId);
  layout_ = dialogs::MakeFormLayout(this);
  grid_ = dialogs::MakeInfoGrid(this);
  layout_->addLayout(grid_);
}

void CVolumeInformationPage::FinishForm() {
  layout_->addStretch(1);
  resize(controls::DluToPixels(font(), kPageWidth, kPageHeight).expandedTo(layout_->sizeHint()));
}
