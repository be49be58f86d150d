// Lookups from several threads while the user-interface thread imports and edits.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Format.h"
#include "platform/Registry.h"
#include "search/FileTypeDatabase.h"
#include "support/TempDir.h"

TEST(FileTypeDatabaseThreads, LookupsWhileTheDatabaseChanges) {
  test::TempDir dir;
  platform::RegistryStore reg(dir / "registry.reg");
  FileTypeDatabase db;
  db.SetRegistry(&reg);
  ASSERT_TRUE(db.LoadFileTypes());
  const IFileTypeLookup& lookup = db;
  FileTypeFacts excel;
  ASSERT_TRUE(lookup.FindForObject(0, 0, u"x.xls", false, excel));

  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int n = 0; n < 3; ++n) {
    readers.emplace_back([&, n] {
      std::vector<std::uint8_t> unit(1024, 0);
      const std::uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'};
      std::copy(std::begin(png), std::end(png), unit.begin());
      int rounds = 0;
      while (!stop.load() || rounds < 50) {
        ++rounds;
        FileTypeFacts f;
        if (!lookup.FindForObject(0, 0, u"x.xls", false, f) || f.key != excel.key) ++wrong;
        if (!lookup.FindForObject(excel.key, excel.id, u"x.xls", false, f) || f.key != excel.key) ++wrong;
        if (!lookup.FindByKey(excel.key, f) || f.id != 501) ++wrong;
        lookup.FindForObject(0, 0, platform::Format(u"new.u%d", rounds % 12), false, f);
        std::u16string group;
        if (!lookup.GroupName(-144, group)) ++wrong;
        int hits = 0;
        for (const FileType* t : db.Types()) hits += t->Match(unit);
        if (hits != 1) ++wrong;
        if (n == 0) db.ExtensionMap();
      }
    });
  }
  for (int i = 0; i < 12; ++i) {
    FileType t;
    t.Init(-144, 2000 + i, {}, u"A user format", u"user", platform::Format(u"U%d", i));
    t.AddBytesSignature(PATTERN_BYTES, std::vector<std::uint8_t>{'U', 'S', 'E', 'R', std::uint8_t(i)}, 0, 5);
    ImportResult r = db.ImportSignatureData(t.Serialize());
    EXPECT_EQ(r.status, ImportStatus::Added);
    auto edit = db.LockForEdit();
    FileType* pdf = db.FindById(47);
    pdf->SetShowInFilter(i & 1);
    pdf->SetTitle(i & 1 ? u"Acrobat" : u"");
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(db.TypeCount(), 116u);
}
