#pragma once
// The icons of the found-object tree and list by image number (see
// FoundObjectImages.h). Each comes from the program's icon table by its resource
// id; the theme has no pictures for deleted, lost or signature-found objects, so
// those variants get a small mark drawn over the base picture: a red cross for
// deleted, a red dot for a folder on the way to a deleted object, an orange dot
// for lost folders and a blue dot for objects found by signature. My Computer and
// the Recycle Bin use the desktop's own icons when it has them.
//
// GUI thread only; the icons are made once and kept.

#include <QIcon>

class CFoundObjectIcons {
 public:
  static QIcon Icon(int image);
};
