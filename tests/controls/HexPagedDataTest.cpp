// The hex editor over paged data (IHexPageProvider): it asks only for the pages it
// shows, shows a row once its page is there, never edits, and copies only bytes
// that have arrived.
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "controls/HexEditorCtrl2.h"
#include "controls/HexPageProvider.h"
#include "support/QtTestRegistry.h"

namespace {

// Pages made on request from their offsets (each byte the low byte of its page
// number plus its place), arrived only once Deliver is called.
class FakePages : public IHexPageProvider {
 public:
  const std::uint8_t* Page(std::uint64_t index) override {
    auto it = pages.find(index);
    return it == pages.end() ? nullptr : it->second.data();
  }
  void Want(std::uint64_t first, std::uint64_t last) override { wants.emplace_back(first, last); }
  void Deliver(std::uint64_t index) {
    std::vector<std::uint8_t>& page = pages[index];
    page.resize(kPageSize);
    for (std::uint64_t i = 0; i < kPageSize; ++i) page[i] = static_cast<std::uint8_t>(index + i);
  }
  std::map<std::uint64_t, std::vector<std::uint8_t>> pages;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> wants;
};

}  // namespace

class HexPagedDataTest : public QObject {
  Q_OBJECT
 private slots:
  void AsksOnlyForTheShownPagesOfFourGiB() {
    CHexEditorCtrl2 hex;
    hex.resize(500, 300);
    auto pages = std::make_shared<FakePages>();
    const std::uint64_t size = std::uint64_t(4) << 30;
    hex.SetPages(pages, size);
    hex.SetReadOnly(true);
    hex.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hex));
    hex.viewport()->repaint();
    QVERIFY(!pages->wants.empty());
    QCOMPARE(pages->wants.back(), std::make_pair(std::uint64_t(0), std::uint64_t(0)));
    // The end of the data: the last page only.
    QTest::keyClick(&hex, Qt::Key_End, Qt::ControlModifier);
    hex.viewport()->repaint();
    const std::uint64_t lastPage = (size - 1) / IHexPageProvider::kPageSize;
    QCOMPARE(pages->wants.back().second, lastPage);
    QVERIFY(pages->wants.back().first >= lastPage - 1);
    QVERIFY(pages->pages.empty());  // nothing was read by the control itself
  }

  void RowsShowOnceTheirPageArrives() {
    CHexEditorCtrl2 hex;
    hex.resize(500, 300);
    auto pages = std::make_shared<FakePages>();
    hex.SetPages(pages, 3 * IHexPageProvider::kPageSize);
    hex.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hex));
    QVERIFY(!hex.Model().IsAvailable(0));
    pages->Deliver(0);
    QVERIFY(hex.Model().IsAvailable(0));
    QVERIFY(!hex.Model().IsAvailable(IHexPageProvider::kPageSize));
    QCOMPARE(hex.Model().ByteAt(5), std::uint8_t(5));
    QCOMPARE(hex.Model().FormatUnit(16), std::u16string(u"10"));
  }

  void NeverEdits() {
    CHexEditorCtrl2 hex;
    auto pages = std::make_shared<FakePages>();
    hex.SetPages(pages, IHexPageProvider::kPageSize);
    hex.SetReadOnly(false);  // even so: a provider's data is read-only
    pages->Deliver(0);
    hex.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hex));
    hex.setFocus();
    QTest::keyClicks(&hex, "ff");
    QCOMPARE(hex.Model().ByteAt(0), std::uint8_t(0));
    QVERIFY(!hex.Model().CanEdit());
  }

  void CopiesOnlyBytesThatArrived() {
    CHexEditorCtrl2 hex;
    auto pages = std::make_shared<FakePages>();
    hex.SetPages(pages, 2 * IHexPageProvider::kPageSize);
    pages->Deliver(0);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QVERIFY(hex.SetSelection(0, 4));
    hex.OnEditCopy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("00 01 02 03 "));
    // Across into the page that is not there: nothing is copied.
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QVERIFY(hex.SetSelection(IHexPageProvider::kPageSize - 2, IHexPageProvider::kPageSize + 2));
    hex.OnEditCopy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
  }
};
VANDREL_QT_TEST(HexPagedDataTest);

#include "HexPagedDataTest.moc"
