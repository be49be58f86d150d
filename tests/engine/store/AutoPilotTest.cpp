// The wizard's auto-pilot: when it recovers (AutoRecover on, the pass not stopped)
// and which files (those the pass's results page shows: after the file-system pass
// below the root folder and the lost folders, after the signature pass below "Lost
// files"; the filter applies to each file).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Notifier.h"
#include "engine/store/AutoPilot.h"
#include "engine/store/FileFilter.h"
#include "engine/store/FoundObjectStore.h"
#include "platform/Text.h"

namespace {

using test::Hit;
using test::Parsed;

std::vector<std::string> Names(const std::vector<FoundObject*>& files) {
  std::vector<std::string> out;
  for (const FoundObject* f : files) out.push_back(platform::Utf16ToUtf8(f->Name()));
  return out;
}

class AutoPilot : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNotifier(&posted);
    FoundObject root = Parsed(2, -31, u".", OBJ_FOLDER);
    store.SetRootFolderId(2);
    store.RegisterObject(root);
    store.AddParsedObject(Parsed(10, 2, u"Docs", OBJ_FOLDER));
    store.AddParsedObject(Parsed(11, 2, u"top.jpg", 0, 11 * 512));
    store.AddParsedObject(Parsed(12, 10, u"report.pdf", OBJ_DELETED, 12 * 512));
    store.AddParsedObject(Parsed(13, 10, u"photo.jpg", 0, 13 * 512));
    store.AddParsedObject(Parsed(20, 10, u"Old", OBJ_FOLDER | OBJ_DELETED));
    store.AddParsedObject(Parsed(21, 20, u"old.jpg", OBJ_DELETED, 21 * 512));
    // A file whose folder was never found: below a lost folder.
    store.AddParsedObject(Parsed(31, 77, u"orphan.jpg", OBJ_DELETED, 31 * 512));
    store.EnableOffsetIndex(1);
    // A hit that confirms a parsed file stays where it is; a new one goes below
    // "Lost files".
    store.AddCarvedObject(Hit(13 * 512, 10));
    store.AddCarvedObject(Hit(900 * 512, 10));
  }
  void TearDown() override { SetNotifier(nullptr); }

  test::FakeTypes types;
  RecordingNotifier posted;
  FoundObjectStore store;
  FileFilter filter;
};

}  // namespace

TEST_F(AutoPilot, ItRecoversWhenTheSettingIsOnAndNobodyStoppedThePass) {
  AppSettings settings;
  struct Case {
    int autoRecover;
    bool stopped;
    bool applies;
  };
  for (const Case& c : std::vector<Case>{{1, false, true}, {1, true, false}, {0, false, false}, {0, true, false}}) {
    SCOPED_TRACE(c.autoRecover * 10 + c.stopped);
    settings.SetAutoRecover(c.autoRecover);
    EXPECT_EQ(CAutoPilot::Applies(settings, c.stopped), c.applies);
  }
}

TEST_F(AutoPilot, AfterTheFileSystemPassTheFilesBelowTheRootAndTheLostFolders) {
  EXPECT_EQ(Names(CAutoPilot::CollectFiles(store, filter, CAutoPilot::Pass::kFileSystem)),
            (std::vector<std::string>{"report.pdf", "photo.jpg", "old.jpg", "top.jpg", "orphan.jpg"}));
}

TEST_F(AutoPilot, AfterTheSignaturePassTheFilesBelowLostFiles) {
  const std::vector<FoundObject*> files = CAutoPilot::CollectFiles(store, filter, CAutoPilot::Pass::kSectors);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0]->offset, 900 * 512);
  EXPECT_TRUE(files[0]->flags.Any(OBJ_CARVED));
}

TEST_F(AutoPilot, TheFilterAppliesToEachFile) {
  filter.SetUseMask(1);
  filter.SetMask(u"*.jpg");
  EXPECT_EQ(Names(CAutoPilot::CollectFiles(store, filter, CAutoPilot::Pass::kFileSystem)),
            (std::vector<std::string>{"photo.jpg", "old.jpg", "top.jpg", "orphan.jpg"}));
  filter.SetUseMask(0);
  filter.SetDeletedOnly(1);
  // The live folder Docs is walked: its deleted file shows.
  EXPECT_EQ(Names(CAutoPilot::CollectFiles(store, filter, CAutoPilot::Pass::kFileSystem)),
            (std::vector<std::string>{"report.pdf", "old.jpg", "orphan.jpg"}));
}
