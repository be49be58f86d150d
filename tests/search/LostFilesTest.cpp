// The sector pass over a reformatted FAT volume (tests/fixtures/make_lost.sh): the
// file system lists nothing, the search finds every planted file at its offset with
// its type, and the store keeps them as carved objects.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "SearchTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "search/BuiltinFileTypes.h"
#include "search/SearchManager.h"
#include "search/StoreHitSink.h"
#include "support/Fixtures.h"

TEST(LostFilesThreads, TheSectorPassFindsEveryPlantedFileAtItsOffset) {
  ProgramLog log;
  g_Log = &log;
  test::SmallTypes types;
  for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
  types.db.InstallAsProgramDatabase();
  const nlohmann::json manifest = test::FixtureManifest("lost");

  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("lost.img")));
  ASSERT_EQ(volume->BootSetup(), 1);
  ASSERT_EQ(volume->Geometry().clusterBytes, manifest["cluster_size"].get<std::int32_t>());
  volume->Store().EnableOffsetIndex(1);

  ScanProgress progress;
  progress.running.store(1);
  StoreHitSink store(volume->Store());
  test::RecordingSink hits;
  hits.next = &store;
  for (std::int32_t workers : {1, 3}) {
    SCOPED_TRACE(workers);
    CSearchManager search(volume, progress, test::SearchSettings(workers), types.db, &hits);
    ASSERT_EQ(search.RunSearch(), 0);
  }

  // Every hit, by offset: the planted files and the boot sector, nothing else.
  std::map<std::int64_t, std::set<std::int16_t>> byOffset;
  for (const auto& h : hits.Hits()) byOffset[h.offset].insert(h.typeId);
  std::map<std::int64_t, std::set<std::int16_t>> expected = {{0, {4}}};
  for (const auto& f : manifest["planted"]) expected[f["offset"].get<std::int64_t>()].insert(f["type_id"].get<std::int16_t>());
  EXPECT_EQ(byOffset, expected);

  // The store holds each one once (the second pass merged into the first), typed by
  // the row the type id names: the Excel document, not the Access database.
  for (const auto& f : manifest["planted"]) {
    const std::int64_t offset = f["offset"].get<std::int64_t>();
    SCOPED_TRACE(f["path_before_format"].get<std::string>());
    const FoundObject* r = volume->Store().FindByOffset(offset);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->typeId, f["type_id"].get<std::int16_t>());
    const FileType* t = types.db.FindByKey(r->typeKey);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->typeId(), r->typeId);
    if (r->typeId == 501) {
      EXPECT_EQ(t->Description(), u"Microsoft Excel Document");
    }
    if (r->typeId == 502) {
      EXPECT_EQ(t->Description(), u"Microsoft Word Document");
    }
    EXPECT_TRUE(r->flags.Any(OBJ_CARVED));
    std::size_t records = 0;
    auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) records += !view.At(i)->IsFolder() && view.At(i)->offset == offset;
    EXPECT_EQ(records, 1u);
  }
  EXPECT_EQ(store.Stored(), std::int64_t(2 * manifest["planted"].size()));
  EXPECT_EQ(store.SystemHits(), 2);
  // The search leaves the device open for the volume's other readers.
  EXPECT_TRUE(volume->IsOpen());
  g_Log = nullptr;
}
