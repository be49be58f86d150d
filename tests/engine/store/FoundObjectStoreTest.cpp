#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/store/FoundObjectStore.h"
#include "StoreTestSupport.h"

using test::Hit;
using test::Parsed;

namespace {

struct StoreFixture : ::testing::Test {
  test::FakeTypes types;
  RecordingNotifier notifier;
  FoundObjectStore store;
  void SetUp() override { SetNotifier(&notifier); }
  void TearDown() override { SetNotifier(nullptr); }

  std::vector<std::int64_t> Kinds() const {
    std::vector<std::int64_t> out;
    for (const PostedMessage& m : notifier.Messages(WM_FOUND_OBJECT)) out.push_back(m.lParam);
    return out;
  }
  FoundObject* ByHandle(std::size_t message) const {
    return store.FromHandle(notifier.Messages(WM_FOUND_OBJECT).at(message).wParam);
  }
  std::vector<FoundObject*> Children(std::int32_t parent) const {
    std::vector<FoundObject*> out;
    store.CollectChildren(parent, out);
    return out;
  }
};

}  // namespace

TEST_F(StoreFixture, PlaceholderBecomesTheFolderAndKeepsItsChildren) {
  FoundObject* child = store.AddParsedObject(Parsed(300, 77, u"photo.jpg", OBJ_DELETED, 4096));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(Kinds(), (std::vector<std::int64_t>{FOUND_LOST_FOLDER_MADE, FOUND_ADDED}));
  FoundObject* placeholder = store.FindFolderById(77);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(placeholder->Name(), u"lost_folder_77");
  EXPECT_EQ(placeholder->parentId, kIdLostFolders);
  EXPECT_EQ(std::uint16_t(placeholder->flags), 0x93);
  EXPECT_EQ(ByHandle(0), placeholder);
  store.SetTreeItem(placeholder, 0xBEEF);  // the tree has shown it
  placeholder->flags.Set(OBJ_CHECKED);

  // A file that shares the folder's id (FAT: a deleted entry's start cluster) does
  // not take the placeholder's place.
  FoundObject* sameId = store.AddParsedObject(Parsed(77, 0, u"other.txt"));
  ASSERT_NE(sameId, nullptr);
  EXPECT_NE(sameId, placeholder);
  EXPECT_EQ(placeholder->Name(), u"lost_folder_77");

  notifier.Clear();
  FoundObject folder = Parsed(77, 0, u"DCIM", OBJ_FOLDER | OBJ_DELETED, 8192);
  folder.firstCluster = (std::int64_t(1) << 40) + 77;
  folder.created = 1234;
  FoundObject* result = store.AddParsedObject(folder);
  EXPECT_EQ(result, placeholder);  // the address the views hold stays valid
  EXPECT_EQ(result->Name(), u"DCIM");
  EXPECT_EQ(result->parentId, 0);
  EXPECT_EQ(result->firstCluster, (std::int64_t(1) << 40) + 77);
  EXPECT_EQ(result->created, 1234);
  EXPECT_EQ(result->treeItem, 0xBEEFu);
  EXPECT_EQ(std::uint16_t(result->flags), OBJ_FOLDER | OBJ_DELETED | OBJ_NAMED | OBJ_CHECKED);
  EXPECT_EQ(Kinds(), (std::vector<std::int64_t>{FOUND_PLACEHOLDER_REPLACED, FOUND_ADDED}));
  EXPECT_EQ(ByHandle(0), result);
  EXPECT_EQ(Children(77), (std::vector<FoundObject*>{child}));
  EXPECT_TRUE(Children(kIdLostFolders).empty());
  EXPECT_EQ(Children(0), (std::vector<FoundObject*>{sameId, result}));

  // A second folder with that id is an ordinary record.
  FoundObject* second = store.AddParsedObject(Parsed(77, 0, u"DCIM2", OBJ_FOLDER));
  EXPECT_NE(second, result);
  EXPECT_EQ(store.FindFolderById(77), result);
}

TEST(StoreMessages, ArePostedWhenTheRecordIsCompleteAndTheStoreFree) {
  // A receiver that looks the record up the moment the message is posted: it finds
  // the finished record, and the store's lock is free (or this would never return).
  struct LookingNotifier : INotifier {
    FoundObjectStore* store = nullptr;
    std::vector<std::pair<std::int64_t, std::u16string>> seen;
    void Post(PostedMessage m) override {
      FoundObject* r = store->FromHandle(m.wParam);
      seen.emplace_back(m.lParam, r ? std::u16string(store->Snapshot(*r).Name()) : u"?");
    }
  } notifier;
  FoundObjectStore store;
  notifier.store = &store;
  SetNotifier(&notifier);
  store.AddParsedObject(Parsed(2, 9, u"a.txt"));
  store.AddParsedObject(Parsed(9, 0, u"DCIM", OBJ_FOLDER));
  SetNotifier(nullptr);
  using Seen = std::vector<std::pair<std::int64_t, std::u16string>>;
  EXPECT_EQ(notifier.seen, (Seen{{FOUND_LOST_FOLDER_MADE, u"lost_folder_9"},
                                 {FOUND_ADDED, u"a.txt"},
                                 {FOUND_PLACEHOLDER_REPLACED, u"DCIM"},
                                 {FOUND_ADDED, u"DCIM"}}));
}

TEST_F(StoreFixture, MissingParentRules) {
  struct Case {
    std::int32_t root, id, parent;
    bool lostFolder;
  };
  const Case cases[] = {
      {0, 5, 9, true},   {0, 5, 0, false},  // parent 0
      {0, 0, 9, false},                      // id 0
      {2, 2, 9, false},  {2, 5, 2, false},   // the root folder and its children
      {5, 9, 9, false},                      // its own parent
  };
  for (const Case& c : cases) {
    FoundObjectStore s;
    s.SetRootFolderId(c.root);
    ASSERT_NE(s.AddParsedObject(Parsed(c.id, c.parent, u"x")), nullptr);
    EXPECT_EQ(s.FindFolderById(c.parent) != nullptr && c.id != c.parent, c.lostFolder)
        << c.root << " " << c.id << " " << c.parent;
  }
  // A parent folder already stored (or a placeholder for it) makes no second one.
  store.AddParsedObject(Parsed(40, 0, u"dir", OBJ_FOLDER));
  store.AddParsedObject(Parsed(41, 40, u"a"));
  store.AddParsedObject(Parsed(42, 99, u"b"));
  store.AddParsedObject(Parsed(43, 99, u"c"));
  EXPECT_EQ(Children(kIdLostFolders).size(), 1u);
}

TEST_F(StoreFixture, CarvedHitsAtOneOffsetMakeOneRecord) {
  store.EnableOffsetIndex(1);
  FoundObject* first = store.AddCarvedObject(Hit(1048576, 11));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Name(), u"adobe_1048576.pdf");
  EXPECT_EQ(first->parentId, -21);
  EXPECT_TRUE(first->flags.Any(OBJ_CARVED));
  FoundObject* second = store.AddCarvedObject(Hit(1048576, 10));
  EXPECT_EQ(second, first);
  EXPECT_EQ(first->typeId, 10);  // typed by the last hit
  EXPECT_EQ(first->typeKey, 1u);
  EXPECT_EQ(first->Name(), u"jpeg_1048576.jpg");  // and named after it
  EXPECT_EQ(Kinds(), (std::vector<std::int64_t>{FOUND_CARVED_ADDED, FOUND_CARVED_MERGED}));
  // The type folder: once, under the lost files, with the group's name, no message.
  FoundObject* folder = store.FindFolderById(-21);
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->parentId, kIdLostFiles);
  EXPECT_EQ(folder->Name(), u"Documents");
  EXPECT_EQ(std::uint16_t(folder->flags), OBJ_FOLDER | OBJ_DELETED_PATH | OBJ_NAMED);
  store.AddCarvedObject(Hit(2 * 1048576, 11));
  EXPECT_EQ(Children(kIdLostFiles).size(), 1u);
}

TEST_F(StoreFixture, CarvedHitMergesOnlyIntoAFileRecord) {
  store.SetRootFolderId(0);
  auto device = std::make_shared<FoundObject>();
  device->flags = OBJ_DEVICE;
  device->id = -31;
  device->offset = 512;
  store.RegisterObject(device);
  FoundObject root = Parsed(0, -31, u".", OBJ_FOLDER);
  root.offset = 1024;
  store.RegisterObject(root);
  store.AddParsedObject(Parsed(9, 0, u"DCIM", OBJ_FOLDER, 2048));
  FoundObject* resident = store.AddParsedObject(Parsed(40, 0, u"small.txt", 0, 0));  // no data position
  FoundObject* file = store.AddParsedObject(Parsed(41, 0, u"big.jpg", 0, 4096));
  store.EnableOffsetIndex(1);
  for (std::int64_t offset : {0, 512, 1024, 2048}) {
    FoundObject* r = store.AddCarvedObject(Hit(offset, 10));
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r, resident);
    EXPECT_FALSE(r->IsFolder()) << offset;
    EXPECT_FALSE(r->IsDevice()) << offset;
    EXPECT_EQ(r->Name(), u"jpeg_" + platform::Widen(std::to_string(offset)) + u".jpg");
  }
  EXPECT_EQ(store.AddCarvedObject(Hit(4096, 10)), file);
  EXPECT_TRUE(file->flags.Any(OBJ_CARVED));
  EXPECT_FALSE(device->flags.Any(OBJ_CARVED));
}

TEST_F(StoreFixture, NamesAndTypesOfNewRecords) {
  store.EnableOffsetIndex(1);
  // A carved hit without a type is a lost file; one with a name keeps it.
  EXPECT_EQ(store.AddCarvedObject(Hit(512, 0))->Name(), u"lost_file_512");
  FoundObject named = Hit(1024, 10);
  named.flags = OBJ_NAMED | OBJ_RAW;
  named.SetName(u"kept.jpg");
  EXPECT_EQ(store.AddCarvedObject(named)->Name(), u"kept.jpg");
  // Two types share id 13: the key tells them apart.
  EXPECT_EQ(store.AddCarvedObject(Hit(1536, 13, 5))->Name(), u"second_1536.two");
  EXPECT_EQ(store.AddCarvedObject(Hit(2048, 13))->Name(), u"first_2048.one");

  // A parsed file is typed by its extension; one that has a type keeps it.
  FoundObject* byExt = store.AddParsedObject(Parsed(5, 0, u"SCAN.PDF"));
  EXPECT_EQ(byExt->typeId, 11);
  EXPECT_EQ(byExt->typeKey, 2u);
  FoundObject preset = Parsed(6, 0, u"x.pdf");
  preset.typeId = 13;
  FoundObject* kept = store.AddParsedObject(preset);
  EXPECT_EQ(kept->typeId, 13);
  EXPECT_EQ(kept->typeKey, 0u);
}

TEST_F(StoreFixture, DisabledTypesAreNeverStoredButFoldersAre) {
  store.EnableOffsetIndex(1);
  EXPECT_EQ(store.AddParsedObject(Parsed(5, 0, u"cache.tmp")), nullptr);
  EXPECT_EQ(store.AddCarvedObject(Hit(512, 12)), nullptr);
  FoundObject* folder = store.AddParsedObject(Parsed(6, 0, u"BACKUP.TMP", OBJ_FOLDER));
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->typeId, 0);  // a folder named like a file type is not typed
  FoundObject* dcim = store.AddParsedObject(Parsed(7, 0, u"DCIM.JPG", OBJ_FOLDER));
  ASSERT_NE(dcim, nullptr);
  EXPECT_EQ(dcim->typeId, 0);
  EXPECT_EQ(store.Count(), 2u);
}

TEST_F(StoreFixture, OffsetIndexOrderSizesAndRebuild) {
  store.AddParsedObject(Parsed(5, 0, u"a", 0, 100));
  store.EnableOffsetIndex(1);
  FoundObject* r3000 = store.AddCarvedObject(Hit(3000, 0));
  FoundObject* r1000 = store.AddCarvedObject(Hit(1000, 0));
  EXPECT_EQ(r1000->size, 2000);  // a raw record reaches to the next record
  FoundObject* r2000 = store.AddCarvedObject(Hit(2000, 0));
  EXPECT_EQ(r1000->size, 1000);
  EXPECT_EQ(r2000->size, 1000);
  EXPECT_EQ(r3000->size, -1);
  // A parsed record at the same offset as a raw one does not make its size 0.
  store.AddParsedObject(Parsed(6, 0, u"b", OBJ_FOLDER, 2000));
  EXPECT_EQ(r1000->size, 1000);

  EXPECT_EQ(store.FindByOffset(2000), r2000);
  EXPECT_EQ(store.FindNextByOffset(1000), r2000);
  EXPECT_EQ(store.FindNextByOffset(2000), r3000);  // past the folder at the same offset
  EXPECT_EQ(store.FindNextByOffset(3000), nullptr);
  EXPECT_EQ(store.FindNextByOffset(1500), nullptr);
  EXPECT_EQ(store.FindByOffset(1500), nullptr);

  const std::size_t n = store.Count();
  EXPECT_EQ(store.Read().OffsetIndexSize(), n);
  store.EnableOffsetIndex(1);
  store.EnableOffsetIndex(0);
  EXPECT_EQ(store.Read().OffsetIndexSize(), n);  // rebuilt, not duplicated
  EXPECT_TRUE(store.KeepsOffsetIndex());
  EXPECT_EQ(store.FindNextByOffset(1000), r2000);
}

namespace {

// A hit whose size its own header gave (a search fix-up or the compound-document probe).
FoundObject SizedHit(std::int64_t offset, std::int16_t typeId, std::int64_t size) {
  FoundObject o = Hit(offset, typeId);
  o.size = size;
  o.origin = ORIGIN_SIZE_FROM_FORMAT;
  return o;
}

}  // namespace

TEST_F(StoreFixture, AFormatGivenSizeSurvivesNeighboursOnEitherSide) {
  store.EnableOffsetIndex(1);
  // Added before and after its neighbours, nearer and farther than its own end.
  FoundObject* after = store.AddCarvedObject(Hit(20480, 10));
  FoundObject* sized = store.AddCarvedObject(SizedHit(4096, 11, 65536));
  FoundObject* inside = store.AddCarvedObject(Hit(8192, 10));
  FoundObject* before = store.AddCarvedObject(Hit(1024, 10));
  FoundObject* lateSized = store.AddCarvedObject(SizedHit(40960, 11, 100));
  FoundObject* lateNext = store.AddCarvedObject(Hit(40448, 10));
  FoundObject* last = store.AddCarvedObject(Hit(81920, 10));
  EXPECT_EQ(sized->size, 65536);
  EXPECT_TRUE(sized->origin & ORIGIN_SIZE_FROM_FORMAT);
  EXPECT_EQ(lateSized->size, 100);
  // Sizes still unknown take the distance to the next record, a sized one included.
  EXPECT_EQ(before->size, 4096 - 1024);
  EXPECT_EQ(inside->size, 20480 - 8192);
  EXPECT_EQ(after->size, 40448 - 20480);
  EXPECT_EQ(lateNext->size, 40960 - 40448);
  EXPECT_EQ(last->size, -1);
  EXPECT_FALSE(inside->origin & ORIGIN_SIZE_FROM_FORMAT);
}

TEST_F(StoreFixture, AMergedHitBringsTheSizeItsFormatGives) {
  store.EnableOffsetIndex(1);
  FoundObject* r = store.AddCarvedObject(Hit(4096, 10));
  store.AddCarvedObject(Hit(8192, 10));
  EXPECT_EQ(r->size, 4096);
  EXPECT_EQ(store.AddCarvedObject(SizedHit(4096, 11, 30000)), r);
  EXPECT_EQ(r->size, 30000);
  store.AddCarvedObject(Hit(6144, 10));
  EXPECT_EQ(r->size, 30000);  // kept from now on
  // A file of a file system keeps its own size.
  FoundObject* parsed = store.AddParsedObject(Parsed(7, 0, u"big.jpg", 0, 102400));
  EXPECT_EQ(parsed->size, -1);
  EXPECT_EQ(store.AddCarvedObject(SizedHit(102400, 11, 5)), parsed);
  EXPECT_EQ(parsed->size, -1);
}

TEST_F(StoreFixture, ARetypedRecordIsRenamedOnlyWhenTheStoreNamedIt) {
  store.EnableOffsetIndex(1);
  struct Case {
    const char* what;
    FoundObject* record;
    std::int16_t laterType;
    std::u16string_view name;  // after the later hit
  };
  FoundObject named = Hit(1536, 11);
  named.flags.Set(OBJ_NAMED);
  named.SetName(u"kept.pdf");
  const Case cases[] = {
      {"typed name", store.AddCarvedObject(Hit(512, 11)), 10, u"jpeg_512.jpg"},
      {"lost file name", store.AddCarvedObject(Hit(1024, 0)), 11, u"adobe_1024.pdf"},
      {"name the hit brought", store.AddCarvedObject(named), 10, u"kept.pdf"},
      {"file system's name", store.AddParsedObject(Parsed(9, 0, u"IMG_0001.JPG", OBJ_DELETED, 2048)), 11,
       u"IMG_0001.JPG"},
      {"same type", store.AddCarvedObject(Hit(2560, 10, 1)), 10, u"jpeg_2560.jpg"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.record, nullptr) << c.what;
    const char16_t* before = c.record->name;
    EXPECT_EQ(store.AddCarvedObject(Hit(c.record->offset, c.laterType)), c.record) << c.what;
    EXPECT_EQ(c.record->typeId, c.laterType) << c.what;
    EXPECT_EQ(c.record->Name(), c.name) << c.what;
    EXPECT_EQ(c.record->name[c.record->nameLength], u'\0') << c.what;
    if (c.name == u"kept.pdf" || c.name == u"IMG_0001.JPG" || c.name == u"jpeg_2560.jpg") {
      EXPECT_EQ(c.record->name, before) << c.what;  // no new name made
    }
  }
}

// A carved file at offset 0 shares its offset with the device node and its type's
// folder; it reaches to the next record whichever of the two hits came first (with
// several search workers, either may).
TEST_F(StoreFixture, ACarvedFileAtOffsetZeroIsSizedWhicheverHitComesFirst) {
  for (bool zeroFirst : {true, false}) {
    FoundObjectStore s;
    FoundObject device;
    device.id = -31;
    device.flags = OBJ_DEVICE;
    s.RegisterObject(device);
    s.EnableOffsetIndex(1);
    FoundObject* first = nullptr;
    if (zeroFirst) first = s.AddCarvedObject(Hit(0, 11));
    s.AddCarvedObject(Hit(8192, 10));
    if (!zeroFirst) first = s.AddCarvedObject(Hit(0, 11));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(s.FindFolderById(-21) != nullptr, true) << "the type's folder is made";
    EXPECT_EQ(first->size, 8192) << (zeroFirst ? "hit at 0 first" : "hit at 8192 first");
  }
}

TEST_F(StoreFixture, AReplacedPlaceholderIsFoundAtItsFoldersOffset) {
  store.EnableOffsetIndex(1);
  store.AddParsedObject(Parsed(300, 77, u"photo.jpg", OBJ_DELETED, 4096));
  FoundObject* placeholder = store.FindFolderById(77);
  EXPECT_EQ(store.FindByOffset(0), placeholder);
  store.AddParsedObject(Parsed(77, 0, u"DCIM", OBJ_FOLDER, 8192));
  EXPECT_EQ(store.FindByOffset(8192), placeholder);
  EXPECT_EQ(store.FindByOffset(0), nullptr);
  EXPECT_EQ(store.Read().OffsetIndexSize(), store.Count());
}

TEST_F(StoreFixture, OffsetIndexKeepsOrderOverManyBlocks) {
  store.EnableOffsetIndex(1);
  // Descending and interleaved offsets split blocks; every lookup must still hold.
  for (std::int64_t i = 2000; i > 0; --i) store.AddCarvedObject(Hit(i * 1024, 0));
  for (std::int64_t i = 1; i <= 2000; ++i) store.AddCarvedObject(Hit(i * 1024 + 512, 0));
  for (std::int64_t i = 1; i < 2000; ++i) {
    FoundObject* r = store.FindByOffset(i * 1024);
    ASSERT_NE(r, nullptr) << i;
    EXPECT_EQ(r->size, 512) << i;
    ASSERT_NE(store.FindNextByOffset(i * 1024 + 512), nullptr);
    EXPECT_EQ(store.FindNextByOffset(i * 1024 + 512)->offset, (i + 1) * 1024);
  }
}

TEST_F(StoreFixture, FindNextOfSameTypeComparesTheTypeKey) {
  store.EnableOffsetIndex(1);
  FoundObject* a = store.AddCarvedObject(Hit(512, 13, 4));
  store.AddCarvedObject(Hit(1024, 13, 5));
  FoundObject* c = store.AddCarvedObject(Hit(1536, 13, 4));
  store.AddCarvedObject(Hit(2048, 10));
  EXPECT_EQ(store.FindNextOfSameType(*a), c);
  EXPECT_EQ(store.FindNextOfSameType(*c), nullptr);
}

TEST_F(StoreFixture, IterationByIdAndParentInInsertionOrder) {
  FoundObject* deleted = store.AddParsedObject(Parsed(8, 0, u"old.txt", OBJ_DELETED));
  FoundObject* live = store.AddParsedObject(Parsed(8, 0, u"new", OBJ_FOLDER));
  std::int64_t cookie = -1;
  EXPECT_EQ(store.FindById(8, cookie), deleted);
  EXPECT_EQ(store.FindById(8, cookie), live);
  EXPECT_EQ(store.FindById(8, cookie), nullptr);
  cookie = -1;
  EXPECT_EQ(store.FindById(1234, cookie), nullptr);
  cookie = 99999;  // a cookie that is no position
  EXPECT_EQ(store.FindById(8, cookie), nullptr);
  EXPECT_EQ(store.FindFolderById(8), live);  // the folder, not the first record
  cookie = -1;
  EXPECT_EQ(store.FindByParent(0, cookie), deleted);
}

TEST_F(StoreFixture, MarkFolderChainWalksFoldersAndEndsOnCycles) {
  store.SetRootFolderId(0);
  store.RegisterObject(Parsed(0, -31, u".", OBJ_FOLDER));
  FoundObject* a = store.AddParsedObject(Parsed(10, 0, u"a", OBJ_FOLDER));
  FoundObject* b = store.AddParsedObject(Parsed(11, 10, u"b", OBJ_FOLDER));
  FoundObject* f = store.AddParsedObject(Parsed(12, 11, u"f.txt", OBJ_DELETED));
  store.MarkFolderChain(f);
  EXPECT_FALSE(f->flags.Any(OBJ_DELETED_PATH));
  EXPECT_TRUE(a->flags.Any(OBJ_DELETED_PATH));
  EXPECT_TRUE(b->flags.Any(OBJ_DELETED_PATH));
  EXPECT_TRUE(store.FindFolderById(0)->flags.Any(OBJ_DELETED_PATH));
  store.MarkFolderChain(f);  // a second walk ends at the root

  // Damaged data: two folders that are each other's parent.
  store.RegisterObject(Parsed(20, 21, u"x", OBJ_FOLDER));
  store.RegisterObject(Parsed(21, 20, u"y", OBJ_FOLDER));
  FoundObject* g = store.RegisterObject(Parsed(22, 20, u"g"));
  store.MarkFolderChain(g);
  EXPECT_TRUE(store.FindFolderById(20)->flags.Any(OBJ_DELETED_PATH));
  EXPECT_TRUE(store.FindFolderById(21)->flags.Any(OBJ_DELETED_PATH));

  // Many at once mark what each alone would: a deleted folder itself, the folders
  // above, nothing beside.
  FoundObject* c = store.AddParsedObject(Parsed(30, 0, u"c", OBJ_FOLDER));
  FoundObject* d = store.AddParsedObject(Parsed(31, 30, u"d", OBJ_FOLDER | OBJ_DELETED));
  FoundObject* e = store.AddParsedObject(Parsed(32, 0, u"e", OBJ_FOLDER));
  FoundObject* h = store.AddParsedObject(Parsed(33, 32, u"h.txt"));
  store.MarkFolderChains({d, nullptr, h});
  EXPECT_TRUE(c->flags.Any(OBJ_DELETED_PATH));
  EXPECT_TRUE(d->flags.Any(OBJ_DELETED_PATH));
  EXPECT_TRUE(e->flags.Any(OBJ_DELETED_PATH));  // h's folder: marked as a single call would
  EXPECT_FALSE(h->flags.Any(OBJ_DELETED_PATH));
}

TEST_F(StoreFixture, HandlesStopResolvingAfterClear) {
  auto device = std::make_shared<FoundObject>();
  device->flags = OBJ_DEVICE;
  std::weak_ptr<FoundObject> weak = device;
  store.RegisterObject(std::move(device));
  store.AddParsedObject(Parsed(5, 0, u"a"));
  const std::int64_t handle = notifier.Messages(WM_FOUND_OBJECT).back().wParam;
  EXPECT_NE(store.FromHandle(handle), nullptr);
  store.Clear();
  EXPECT_EQ(store.FromHandle(handle), nullptr);
  EXPECT_EQ(store.Count(), 0u);
  EXPECT_TRUE(weak.expired());  // the store let the device node go
  store.AddParsedObject(Parsed(5, 0, u"a"));
  EXPECT_EQ(store.FromHandle(handle), nullptr);
}

TEST_F(StoreFixture, ARecordGivesItsHandleAndTheHandleNamesItsStore) {
  auto device = std::make_shared<FoundObject>();
  device->flags = OBJ_DEVICE;
  device->id = -31;
  FoundObjectStore other;
  FoundObject* inOther = other.RegisterObject(device);  // a node registered in two stores
  FoundObject* node = store.RegisterObject(device);
  FoundObject* file = store.AddParsedObject(Parsed(5, 0, u"a.txt"));
  FoundObject* lost = store.AddParsedObject(Parsed(9, 44, u"b.txt"));  // makes a placeholder for 44
  ASSERT_TRUE(node && file && lost && inOther == node);
  FoundObject* placeholder = store.FindFolderById(44);
  ASSERT_NE(placeholder, nullptr);

  // Every handle the store posted is the handle of its record.
  for (const PostedMessage& m : notifier.Messages(WM_FOUND_OBJECT)) {
    FoundObject* r = store.FromHandle(m.wParam);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(store.HandleOf(r), m.wParam);
  }
  for (FoundObject* r : {node, file, lost, placeholder}) EXPECT_EQ(store.FromHandle(store.HandleOf(r)), r);
  EXPECT_EQ(other.FromHandle(other.HandleOf(node)), node);
  EXPECT_NE(store.HandleOf(node), other.HandleOf(node));
  // The placeholder keeps its handle when its folder arrives.
  const std::int64_t before = store.HandleOf(placeholder);
  EXPECT_EQ(store.AddParsedObject(Parsed(44, 0, u"Folder", OBJ_FOLDER)), placeholder);
  EXPECT_EQ(store.HandleOf(placeholder), before);

  // A record of another store, a copy and null have none.
  FoundObject* foreign = other.AddParsedObject(Parsed(5, 0, u"a.txt"));
  EXPECT_EQ(store.HandleOf(foreign), -1);
  const FoundObject copy = store.Snapshot(*file);
  EXPECT_EQ(store.HandleOf(&copy), -1);
  EXPECT_EQ(store.HandleOf(nullptr), -1);

  // The serial in a handle tells the two stores apart, and a cleared store takes a new one.
  EXPECT_EQ(FoundObjectStore::SerialOfHandle(store.HandleOf(file)), store.Serial());
  EXPECT_EQ(FoundObjectStore::SerialOfHandle(other.HandleOf(foreign)), other.Serial());
  EXPECT_NE(store.Serial(), other.Serial());
  EXPECT_EQ(FoundObjectStore::SerialOfHandle(-1), 0u);
  const std::uint32_t serial = store.Serial();
  store.Clear();
  EXPECT_NE(store.Serial(), serial);
  EXPECT_NE(store.Serial(), 0u);
}

TEST_F(StoreFixture, ChildFolderCountFollowsFoldersAndPlaceholders) {
  store.SetRootFolderId(2);
  store.RegisterObject(Parsed(2, -31, u".", OBJ_FOLDER));
  for (int i = 0; i < 50; ++i) store.AddParsedObject(Parsed(100 + i, 2, u"file.txt"));
  EXPECT_EQ(store.ChildFolderCount(2), 0u);
  store.AddParsedObject(Parsed(10, 2, u"Sub", OBJ_FOLDER));
  store.AddParsedObject(Parsed(11, 2, u"Sub2", OBJ_FOLDER | OBJ_DELETED));
  EXPECT_EQ(store.ChildFolderCount(2), 2u);
  EXPECT_EQ(store.ChildFolderCount(-31), 1u);
  // An orphan makes a lost folder under -18; its folder's arrival moves it.
  store.AddParsedObject(Parsed(300, 77, u"orphan.txt"));
  EXPECT_EQ(store.ChildFolderCount(kIdLostFolders), 1u);
  store.AddParsedObject(Parsed(77, 10, u"Found", OBJ_FOLDER));
  EXPECT_EQ(store.ChildFolderCount(kIdLostFolders), 0u);
  EXPECT_EQ(store.ChildFolderCount(10), 1u);
  // The count agrees with a walk of the children.
  for (std::int32_t parent : {2, 10, 77, std::int32_t(kIdLostFolders), -31, 12345}) {
    std::uint32_t walked = 0;
    for (FoundObject* r : Children(parent)) walked += r->IsFolder();
    EXPECT_EQ(store.ChildFolderCount(parent), walked) << parent;
  }
  store.Clear();
  EXPECT_EQ(store.ChildFolderCount(2), 0u);
}

TEST(Store, ClearedAndRefilledManyTimesItStillTakesRecords) {
  // Each analysis clears the store and fills it anew: the room made for the
  // arrays follows what they hold, never what they once held.
  FoundObjectStore store;
  for (int round = 0; round < 200; ++round) {
    store.Clear();
    for (std::int32_t i = 0; i < 3; ++i) ASSERT_NE(store.AddParsedObject(Parsed(i + 1, 0, u"f")), nullptr) << round;
  }
  EXPECT_EQ(store.Read().Count(), 3u);
}

// ---- Several threads -------------------------------------------------------------------

TEST(StoreThreads, FourThreadsAddingHitsAtTheSameOffsetsMakeOneRecordEach) {
  test::FakeTypes types;
  FoundObjectStore store;
  store.EnableOffsetIndex(1);
  constexpr int kOffsets = 2000;
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&store, t] {
      for (int i = 0; i < kOffsets; ++i) store.AddCarvedObject(Hit(std::int64_t(i) * 512, t % 2 ? 10 : 11));
    });
  }
  for (auto& w : workers) w.join();
  auto view = store.Read();
  std::size_t files = 0;
  for (std::size_t i = 0; i < view.Count(); ++i)
    if (!view.At(i)->IsFolder()) ++files;
  EXPECT_EQ(files, std::size_t(kOffsets));
  for (int i = 0; i < kOffsets; ++i) {
    FoundObject* r = view.FindByOffset(std::int64_t(i) * 512);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->flags.Any(OBJ_CARVED));
  }
}

TEST(StoreThreads, ConcurrentAddsWhileAReaderWalksTheIndexes) {
  test::FakeTypes types;
  RecordingNotifier notifier;
  SetNotifier(&notifier);
  FoundObjectStore store;
  store.SetRootFolderId(0);
  store.EnableOffsetIndex(1);
  std::atomic<bool> done{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&store, t] {
      for (int i = 0; i < 1000; ++i) {
        const std::int32_t id = t * 100000 + i + 1;
        if (i % 3 == 0) {
          store.AddCarvedObject(Hit(std::int64_t(id) * 512, 10));
        } else {
          // Children arrive before their folders: placeholders are made and replaced.
          store.AddParsedObject(Parsed(id, id + 1, u"file.jpg", 0, std::int64_t(id) * 512 + 7));
          store.AddParsedObject(Parsed(id + 1, 0, u"dir", OBJ_FOLDER));
        }
      }
    });
  }
  std::size_t seen = 0, seenByReader = 0;
  std::thread reader([&] {
    // At least one walk, however late this thread gets to run.
    do {
      std::this_thread::yield();
      auto view = store.Read();
      for (std::size_t i = 0; i < view.Count(); i += 97) {
        const FoundObject* r = view.At(i);
        std::int64_t cookie = -1;
        for (int n = 0; n < 20; ++n) {
          const FoundObject* c = view.FindByParent(r->parentId, cookie);
          if (!c) break;
          seenByReader += c->Name().size();
        }
        if (view.FindByOffset(r->offset)) ++seenByReader;
        std::vector<std::u16string> parts;
        view.PathParts(*r, parts);
      }
    } while (!done.load());
  });
  // The user interface resolves messages as they come.
  for (int i = 0; i < 2; ++i) {
    for (const PostedMessage& m : notifier.Messages(WM_FOUND_OBJECT)) {
      if (FoundObject* r = store.FromHandle(m.wParam)) {
        FoundObject copy = store.Snapshot(*r);
        seen += copy.nameLength;
      }
    }
  }
  for (auto& w : workers) w.join();
  done.store(true);
  reader.join();
  SetNotifier(nullptr);
  EXPECT_GT(seen + seenByReader, 0u);
  std::vector<FoundObject*> lost;
  store.CollectChildren(kIdLostFolders, lost);
  EXPECT_TRUE(lost.empty());  // every placeholder was replaced by its folder
}

TEST(StoreThreads, ReadersNeverSeeAHalfGrownStoreWhileOneAdderGrowsIt) {
  // The arrays grow many times over (records, both key indexes, arena, names);
  // readers check at every look that what the count says is there is whole.
  FoundObjectStore store;
  store.SetRootFolderId(0);
  store.AddParsedObject(Parsed(0, 0, u"root", OBJ_FOLDER));
  constexpr std::int32_t kFolders = 64, kFiles = 60000;
  std::atomic<bool> done{false};
  std::atomic<long> faults{0}, looks{0};
  std::thread adder([&] {
    for (std::int32_t f = 1; f <= kFolders; ++f) store.AddParsedObject(Parsed(f, 0, u"dir", OBJ_FOLDER));
    for (std::int32_t i = 0; i < kFiles; ++i)
      store.AddParsedObject(Parsed(1000 + i, 1 + i % kFolders, u"file name.txt", 0, std::int64_t(i) * 512));
    done.store(true);
  });
  auto check = [&] {
    do {
      auto view = store.Read();
      const std::size_t n = view.Count();
      if (n == 0) continue;
      for (std::size_t i : {std::size_t(0), n / 2, n - 1}) {
        const FoundObject* r = view.At(i);
        if (!r || view.HandleOf(r) != view.HandleAt(i) || r->Name().empty()) {
          ++faults;
          continue;
        }
        std::int64_t cookie = -1;
        if (view.FindById(r->id, cookie) != r) ++faults;
        bool underParent = false;
        cookie = -1;
        while (const FoundObject* c = view.FindByParent(r->parentId, cookie))
          if (c == r) underParent = true;
        if (!underParent && r->id != 0) ++faults;
      }
      ++looks;
    } while (!done.load());
  };
  std::thread reader(check);
  // The user-interface thread sets fields under the lock meanwhile.
  for (int i = 0; !done.load(); ++i) {
    if (FoundObject* r = store.FindFolderById(1 + i % kFolders)) store.SetTreeItem(r, std::uintptr_t(i));
    std::this_thread::yield();
  }
  adder.join();
  reader.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_GT(looks.load(), 0);
  auto view = store.Read();
  EXPECT_EQ(view.Count(), std::size_t(1 + kFolders + kFiles));
  std::size_t children = 0;
  std::int64_t cookie = -1;
  while (view.FindByParent(kFolders, cookie)) ++children;
  EXPECT_EQ(children, std::size_t(kFiles / kFolders));
}

TEST(StoreThreads, FlagUpdatesAndMergesLoseNoBit) {
  test::FakeTypes types;
  FoundObjectStore store;
  store.EnableOffsetIndex(1);
  std::vector<FoundObject*> records;
  for (int i = 0; i < 500; ++i) records.push_back(store.AddParsedObject(Parsed(i + 1, 0, u"f", 0, (i + 1) * 4096)));
  std::thread merger([&] {
    for (int i = 0; i < 500; ++i) store.AddCarvedObject(Hit((i + 1) * 4096, 10));
  });
  // The user interface checks and unchecks the same records meanwhile.
  for (int round = 0; round < 20; ++round)
    for (FoundObject* r : records) round % 2 ? r->flags.Clear(OBJ_CHECKED) : r->flags.Set(OBJ_CHECKED);
  for (FoundObject* r : records) r->flags.Set(OBJ_CHECKED);
  merger.join();
  for (FoundObject* r : records) {
    EXPECT_TRUE(r->flags.Any(OBJ_CARVED));
    EXPECT_TRUE(r->flags.Any(OBJ_CHECKED));
  }
}
