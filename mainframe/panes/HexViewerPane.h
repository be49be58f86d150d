#pragma once
// CHexViewer_Pane: the data viewer below the explorer view (modes 32841, 32842),
// title string 369 "Data viewer", with its header bar on the left. Inside, side by
// side: the information form (CDataInfo_View, pane title 129), the hex view of the
// object's data (CHexEditorCtrl2, read-only) and the data run list
// (CData_SectorsList_View, "Data run list"). On its first layout the outer
// splitter stands at w / 4 and the inner one at w - w / 2 from its own left edge
// (w: the pane's client width).
//
// SetObject takes the explorer's current object (its volume and store handle);
// the pane refreshes at the next turn of the event loop: the form shows the
// object, the run list its runs and the hex view its data, both read by a reader
// thread (CObjectDataReader), a page of data at a time, only the pages shown.
//
// Owned by the main window; GUI thread only.

#include <QPointer>

#include <cstdint>
#include <memory>

#include "controls/PaneContainerEx.h"

class CDataInfo_View;
class CData_SectorsList_View;
class CHexEditorCtrl2;
class CObjectDataPages;
class CObjectDataReader;
class CVolume;
class QSplitter;

class CHexViewer_Pane : public controls::CPaneContainerEx {
  Q_OBJECT

 public:
  // How much of an object of unknown size the hex view shows.
  static constexpr std::uint64_t kUnknownSizeView = 1024 * 1024;

  explicit CHexViewer_Pane(QWidget* parent = nullptr);
  ~CHexViewer_Pane() override;

  // The object to show (a null volume or a handle of -1: none). Nothing happens
  // when it is the one shown.
  void SetObject(std::shared_ptr<CVolume> volume, std::int64_t handle);
  std::int64_t Handle() const { return handle_; }

  CDataInfo_View* InfoView() const { return info_; }
  CHexEditorCtrl2* HexView() const { return hex_; }
  CData_SectorsList_View* RunList() const { return runs_; }
  QSplitter* OuterSplitter() const { return outer_; }
  QSplitter* InnerSplitter() const { return inner_; }
  controls::CPaneContainerEx* InfoPane() const { return infoPane_; }
  controls::CPaneContainerEx* HexPane() const { return hexPane_; }
  controls::CPaneContainerEx* RunListPane() const { return runsPane_; }
  const CObjectDataReader& Reader() const { return *reader_; }
  const CObjectDataPages& Pages() const { return *pages_; }

  // The first layout (WM_INIT_LAYOUT, posted to itself at creation).
  void OnInitLayout();

 protected:
  bool event(QEvent* event) override;

 private:
  void OnRefresh();

  QSplitter* outer_ = nullptr;
  QSplitter* inner_ = nullptr;
  controls::CPaneContainerEx* infoPane_ = nullptr;
  controls::CPaneContainerEx* hexPane_ = nullptr;
  controls::CPaneContainerEx* runsPane_ = nullptr;
  CDataInfo_View* info_ = nullptr;
  CHexEditorCtrl2* hex_ = nullptr;
  CData_SectorsList_View* runs_ = nullptr;
  std::shared_ptr<CObjectDataPages> pages_;
  std::unique_ptr<CObjectDataReader> reader_;
  std::shared_ptr<CVolume> volume_;
  std::int64_t handle_ = -1;
  bool haveObject_ = false;
};
