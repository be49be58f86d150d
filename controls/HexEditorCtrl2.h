#pragma once
// The hex editor with a header line: the same control as CHexEditorCtrl, set up
// with column titles and separator lines in its top margin, offsets and titles in
// blue, single-byte units grouped in two halves of eight, the text column two
// characters after the hex column, margins 2 and 22, a blank for bytes that are
// not printable, and the plain (not bold) fixed-pitch font. It shows files only.
//
// Owner: the parent widget (the data viewer's hex pane). GUI thread only.

#include "controls/HexEditorCtrl.h"

class CHexEditorCtrl2 : public CHexEditorCtrl {
  Q_OBJECT

 public:
  explicit CHexEditorCtrl2(QWidget* parent = nullptr);

  // The bytes come only from a file (OpenFile).
  void SetData(std::uint8_t* data, std::uint64_t size) = delete;
};
