#pragma once
// The geometry of the resizable property sheets, as plain arithmetic: the
// resize map that says which sheet controls move or grow with the sheet, and
// where a page goes inside a tabbed sheet or a wizard.

#include <QRect>
#include <QSize>
#include <span>

namespace controls {

// Control ids of the sheet's own controls.
inline constexpr int kSheetOkId = 1;
inline constexpr int kSheetCancelId = 2;
inline constexpr int kSheetHelpId = 9;
inline constexpr int kSheetTabControlId = 0x3020;
inline constexpr int kSheetApplyId = 0x3021;
inline constexpr int kWizardBackId = 0x3023;
inline constexpr int kWizardNextId = 0x3024;
inline constexpr int kWizardFinishId = 0x3025;
inline constexpr int kWizardButtonLineId = 0x3026;  // the line above the wizard buttons
inline constexpr int kWizardHeaderLineId = 0x3027;  // the line under the wizard header

// How a control follows the sheet's size.
inline constexpr int kResizeSizeX = 0x1;
inline constexpr int kResizeSizeY = 0x2;
inline constexpr int kResizeMoveX = 0x4;
inline constexpr int kResizeMoveY = 0x8;

struct ResizeMapEntry {
  int controlId;
  int flags;
};

// The sheets' resize map: section 0 for tabbed sheets, section 1 for wizards;
// {-1, 0} ends a section, two of them in a row end the table.
std::span<const ResizeMapEntry> SheetResizeMap();

// Where section `n` of `map` begins; `current` when the table ends before it.
int SelectResizeMapSegment(std::span<const ResizeMapEntry> map, int n, int current);

// The entries of the section that begins at `start` (up to its end entry).
std::span<const ResizeMapEntry> ResizeMapSection(std::span<const ResizeMapEntry> map, int start);

// A control's rectangle after the sheet's client area went from `initialClient`
// to `client`: moved and grown by the change as its flags say.
QRect ApplyResizeFlags(const QRect& initial, QSize initialClient, QSize client, int flags);

// A tabbed sheet's page: 4 pixels inside the tab control, below its tab row
// (`itemBottom`: the bottom of the tab items in the tab control's coordinates).
QRect TabbedPageRect(const QRect& tabControl, int itemBottom);

// A wizard's page. Exterior: from the top-left corner across the whole width
// down to the line above the buttons. Interior: from `left`, `margin` below the
// top of the header line and `margin` above the button line, `margin` from the
// right edge.
QRect WizardPageRect(QSize client, int headerLineTop, int buttonLineTop, bool exterior, int left, int margin);

}  // namespace controls
