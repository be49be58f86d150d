#pragma once
// The one object that tells the views showing found objects that the file filter
// may have changed (CFiltersView::Changes()). GUI thread only.

#include <QObject>

class CFilterChangeNotifier : public QObject {
  Q_OBJECT

 signals:
  // After the filters sheet closed, however it closed.
  void filterChanged();
};
