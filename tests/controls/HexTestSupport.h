#pragma once
// Shared by the hex editor tests: the two controls as one table column, and
// small files to show in them.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <memory>
#include <vector>

#include "controls/HexEditorCtrl.h"
#include "controls/HexEditorCtrl2.h"

namespace test {

using Bytes = std::vector<std::uint8_t>;

// A "headerLine" column with one row per control, for tests both controls pass.
inline void AddBothHexControls() {
  QTest::addColumn<bool>("headerLine");
  QTest::newRow("CHexEditorCtrl") << false;
  QTest::newRow("CHexEditorCtrl2") << true;
}

inline std::unique_ptr<CHexEditorCtrl> MakeHexControl(bool headerLine) {
  return std::unique_ptr<CHexEditorCtrl>(headerLine ? new CHexEditorCtrl2 : new CHexEditorCtrl);
}

// Writes `bytes` to a new file `name` in `dir`; its path, or empty on failure.
inline QString WriteBytes(const QTemporaryDir& dir, const QString& name, const Bytes& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return {};
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  return path;
}

}  // namespace test
