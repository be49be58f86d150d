#include "controls/HexEditorCtrl2.h"

CHexEditorCtrl2::CHexEditorCtrl2(QWidget* parent) : CHexEditorCtrl(true, parent) {}
