// What a folder contributes to a recovery: the files below it, depth first in the
// order they were found, through the filter in force; folders walked whatever the
// filter says and never taken; each folder walked and each file taken once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "engine/records/Notifier.h"
#include "engine/store/FileFilter.h"
#include "engine/store/FolderContents.h"
#include "engine/store/FoundObjectStore.h"
#include "platform/Text.h"

namespace {

using test::Parsed;

std::vector<std::string> Names(const std::vector<FoundObject*>& files) {
  std::vector<std::string> out;
  for (const FoundObject* f : files) out.push_back(platform::Utf16ToUtf8(f->Name()));
  return out;
}

// . (2) > {Docs (10, live) > {report.pdf (deleted), photo.jpg, Old (20, deleted)
// > old.jpg (deleted)}, top.jpg}
class FolderContents : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNotifier(&posted);
    store.SetRootFolderId(2);
    store.RegisterObject(Parsed(2, -31, u".", OBJ_FOLDER));
    store.AddParsedObject(Parsed(10, 2, u"Docs", OBJ_FOLDER));
    store.AddParsedObject(Parsed(12, 10, u"report.pdf", OBJ_DELETED, 12 * 512));
    store.AddParsedObject(Parsed(13, 10, u"photo.jpg", 0, 13 * 512));
    store.AddParsedObject(Parsed(20, 10, u"Old", OBJ_FOLDER | OBJ_DELETED));
    store.AddParsedObject(Parsed(21, 20, u"old.jpg", OBJ_DELETED, 21 * 512));
    store.AddParsedObject(Parsed(11, 2, u"top.jpg", 0, 11 * 512));
  }
  void TearDown() override { SetNotifier(nullptr); }
  std::vector<std::string> Collect(const FileFilter* filter, std::vector<std::int32_t> folders) {
    std::vector<FoundObject*> out;
    const FoundObjectStore::ReadView view = store.Read();
    CFolderContents contents(filter);
    for (std::int32_t folder : folders) contents.Collect(view, folder, out);
    return Names(out);
  }

  test::FakeTypes types;
  RecordingNotifier posted;
  FoundObjectStore store;
};

}  // namespace

TEST_F(FolderContents, TheFilesBelowAFolderThroughTheFilter) {
  FileFilter all;
  EXPECT_EQ(Collect(&all, {2}), (std::vector<std::string>{"report.pdf", "photo.jpg", "old.jpg", "top.jpg"}));
  EXPECT_EQ(Collect(nullptr, {10}), (std::vector<std::string>{"report.pdf", "photo.jpg", "old.jpg"}));
  // Deleted only: the live folder Docs is walked (it hides itself), its live
  // photo.jpg and the live top.jpg stay out.
  FileFilter deleted;
  deleted.SetDeletedOnly(1);
  EXPECT_EQ(Collect(&deleted, {2}), (std::vector<std::string>{"report.pdf", "old.jpg"}));
  FileFilter mask;
  mask.SetUseMask(1);
  mask.SetMask(u"*.jpg");
  EXPECT_EQ(Collect(&mask, {2}), (std::vector<std::string>{"photo.jpg", "old.jpg", "top.jpg"}));
}

TEST_F(FolderContents, AFolderMetTwiceGivesItsFilesOnce) {
  FileFilter all;
  // A folder and one inside it, as a list selection may hold them both.
  EXPECT_EQ(Collect(&all, {10, 20}), (std::vector<std::string>{"report.pdf", "photo.jpg", "old.jpg"}));
  // A loop in damaged data: Old also appears as a child of itself.
  store.AddParsedObject(Parsed(20, 20, u"Old again", OBJ_FOLDER | OBJ_DELETED));
  EXPECT_EQ(Collect(&all, {20}), (std::vector<std::string>{"old.jpg"}));
}
