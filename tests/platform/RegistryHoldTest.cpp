// Registry writes held below a folder (the configuration folder on a drive being
// read): saves keep the changes in memory, the release writes them.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Registry.h"
#include "support/TempDir.h"

TEST(RegistryHold, SavesBelowTheHeldFolderWaitForTheRelease) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "held");
  std::filesystem::create_directories(dir / "heldother");
  std::filesystem::create_directories(dir / "free");
  platform::RegistryStore held(dir / "held/registry.reg");
  platform::RegistryStore sibling(dir / "heldother/registry.reg");  // a name that merely starts alike
  platform::RegistryStore free(dir / "free/registry.reg");
  platform::HoldRegistryWritesBelow(dir / "held");
  for (platform::RegistryStore* s : {&held, &sibling, &free}) {
    s->SetDword(u"Software\\Test", u"value", 7);
    EXPECT_TRUE(s->Save());
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "held/registry.reg"));
  EXPECT_TRUE(held.HasPendingChanges());
  EXPECT_TRUE(std::filesystem::exists(dir / "heldother/registry.reg"));
  EXPECT_TRUE(std::filesystem::exists(dir / "free/registry.reg"));
  {
    // A store that goes away while held is never saved afterwards.
    platform::RegistryStore gone(dir / "held/gone.reg");
    gone.SetDword(u"Software\\Test", u"value", 1);
    EXPECT_TRUE(gone.Save());
  }
  platform::HoldRegistryWritesBelow({});
  EXPECT_FALSE(held.HasPendingChanges());
  EXPECT_FALSE(std::filesystem::exists(dir / "held/gone.reg"));
  platform::RegistryStore reread(dir / "held/registry.reg");
  std::uint32_t v = 0;
  EXPECT_EQ(reread.QueryDword(u"Software\\Test", u"value", v), platform::RegStatus::Ok);
  EXPECT_EQ(v, 7u);
}
