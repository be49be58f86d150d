// Edits of a type made under the database's edit lock, as the file-format pages
// make them, seen from lookups and signature-pass copies on other threads: each
// sees the type as it was before an edit or after it, never half-way.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Format.h"
#include "platform/Registry.h"
#include "search/FileTypeDatabase.h"
#include "search/SignatureIndex.h"
#include "support/TempDir.h"

namespace {

// State n of the edited type: prefix "p<n>", extension "E<n>", n + 1 signatures
// each of one masked pattern comparing n + 1 bytes.
void SetState(FileType& t, int n) {
  t.SetNamePrefix(platform::Format(u"p%d", n));
  t.SetExtensions(platform::Format(u"E%d", n));
  while (t.GetSignatureCount() > 0) t.RemoveSignature(t.GetSignatureCount() - 1);
  std::vector<std::uint8_t> buffer(1024, 0);
  std::fill(buffer.begin() + 512, buffer.end(), 0xFF);
  for (int i = 0; i <= n; ++i) {
    Signature& s = t.AddBytesSignature(PATTERN_MASKED, buffer, 0);
    s.MutablePattern(0).SetLength(static_cast<std::uint16_t>(2 * (n + 1)));
  }
}

}  // namespace

TEST(FileTypeEditThreads, LookupsSeeATypeBeforeOrAfterAnEdit) {
  test::TempDir dir;
  platform::RegistryStore reg(dir / "registry.reg");
  FileTypeDatabase db;
  db.SetRegistry(&reg);
  ASSERT_TRUE(db.LoadFileTypes());
  auto made = std::make_unique<FileType>();
  made->Init(-144, 1000, u"Edited", u"Edited format", u"p0", u"E0");
  FileType* edited = db.AppendFileType(std::move(made));
  {
    auto edit = db.LockForEdit();
    SetState(*edited, 0);
  }
  const std::uint32_t key = edited->key();

  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::atomic<int> seen{0};
  std::vector<std::thread> readers;
  readers.emplace_back([&] {
    while (!stop.load()) {
      FileTypeFacts f;
      if (!db.FindByKey(key, f)) {
        ++wrong;
        continue;
      }
      // Prefix and extension change together.
      if (f.namePrefix.size() < 2 || f.extension.size() < 2 || f.namePrefix.substr(1) != f.extension.substr(1))
        ++wrong;
      ++seen;
    }
  });
  readers.emplace_back([&] {
    while (!stop.load()) {
      SignatureIndex index(db);
      for (std::size_t i = 0; i < index.size(); ++i) {
        if (index[i].typeKey != key) continue;
        const auto& sigs = index[i].signatures;
        const std::size_t n = sigs.size() - 1;
        for (const Signature& s : sigs)
          if (s.PatternCount() != 1 || s.GetPattern(0).length() != 2 * (n + 1)) ++wrong;
      }
      ++seen;
    }
  });
  for (int round = 1; round < 200 || seen.load() < 4; ++round) {
    auto edit = db.LockForEdit();
    SetState(*edited, round % 7);
    db.RebuildExtensionMap();
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(seen.load(), 0);
}
