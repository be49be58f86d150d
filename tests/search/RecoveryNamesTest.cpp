// Names from the disk made into safe path components, numbered names, and the
// folder and file creation below a destination descriptor that never follows a
// link and never overwrites.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "search/RecoveryNames.h"
#include "support/TempDir.h"

using recovery::CleanPathPart;
using recovery::IsCleanPart;
using recovery::NumberedName;

TEST(RecoveryNames, PartsFromTheDiskBecomeSingleSafeComponents) {
  struct Case {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"photo.jpg", "photo.jpg"},
      {u"..", "__"},
      {u".", "_"},
      {u"", "_"},
      {u"../x", ".._x"},
      {u"a/b", "a_b"},
      {u"a\\b", "a_b"},
      {std::u16string(u"a\0b", 3), "a_b"},
      {u"tab\there\x7F\x85", "tab_here__"},
      {u"...", "..."},
      {u"Fichier \u00e9t\u00e9.doc", "Fichier \xc3\xa9t\xc3\xa9.doc"},
      {u"lone \xD800 surrogate", "lone \xEF\xBF\xBD surrogate"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CleanPathPart(c.in), c.out);
    EXPECT_TRUE(IsCleanPart(CleanPathPart(c.in)));
  }
}

TEST(RecoveryNames, LongNamesAreCutOnACharacterBoundaryKeepingTheExtension) {
  // 300 bytes: 150 two-byte characters, then ".jpg".
  std::u16string longName(148, u'\u00e9');
  longName += u".jpg";
  const std::string cleaned = CleanPathPart(longName);
  EXPECT_LE(cleaned.size(), 255u);
  EXPECT_EQ(cleaned.substr(cleaned.size() - 4), ".jpg");
  EXPECT_EQ(cleaned.size() % 2, 0u);  // no half character: 4 bytes of ".jpg" and whole 2-byte characters
  EXPECT_TRUE(IsCleanPart(cleaned));

  const std::string plain(300, 'x');
  EXPECT_EQ(CleanPathPart(std::u16string(300, u'x')), plain.substr(0, 255));
}

TEST(RecoveryNames, NumberedNamesGoBeforeTheExtensionAndStayShortEnough) {
  EXPECT_EQ(NumberedName("photo.jpg", 1), "photo.jpg");
  EXPECT_EQ(NumberedName("photo.jpg", 2), "photo (2).jpg");
  EXPECT_EQ(NumberedName("README", 3), "README (3)");
  EXPECT_EQ(NumberedName(".bashrc", 2), ".bashrc (2)");
  const std::string full(251, 'a');
  const std::string n = NumberedName(full + ".jpg", 12);
  EXPECT_EQ(n.size(), 255u);
  EXPECT_EQ(n.substr(n.size() - 9), " (12).jpg");
}

TEST(RecoveryNames, FoldersBehindLinksOrFilesTakeTheNextNameAndFilesAreNeverOverwritten) {
  test::TempDir dir;
  const std::string dest = dir / "dest";
  const std::string elsewhere = dir / "elsewhere";
  ASSERT_EQ(mkdir(dest.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), (dest + "/DCIM").c_str()), 0);
  std::ofstream(dest + "/Docs") << "a file, not a folder";
  const int root = open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(root, 0);

  recovery::NameHints folders, files;
  std::vector<std::string> used;
  int fd = recovery::OpenFolderChain(root, {"DCIM", "Camera"}, used, &folders);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(used, (std::vector<std::string>{"DCIM (2)", "Camera"}));
  std::string name;
  for (int i = 0; i < 3; ++i) {
    const int f = recovery::CreateNewFile(fd, "photo.jpg", name, &files);
    ASSERT_GE(f, 0);
    EXPECT_EQ(name, NumberedName("photo.jpg", i + 1));
    close(f);
  }
  close(fd);
  fd = recovery::OpenFolderChain(root, {"Docs"}, used, &folders);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(used, (std::vector<std::string>{"Docs (2)"}));
  close(fd);

  // A planted link to a file outside, under the name a file would take.
  std::ofstream(elsewhere + "/target") << "keep";
  ASSERT_EQ(symlink((elsewhere + "/target").c_str(), (dest + "/note.txt").c_str()), 0);
  const int f = recovery::CreateNewFile(root, "note.txt", name);
  ASSERT_GE(f, 0);
  EXPECT_EQ(name, "note (2).txt");
  close(f);

  // Parts that are not single components are refused outright.
  EXPECT_LT(recovery::OpenFolderChain(root, {".."}, used), 0);
  EXPECT_LT(recovery::OpenFolderChain(root, {"a/b"}, used), 0);
  EXPECT_LT(recovery::CreateNewFile(root, "..", name), 0);
  close(root);

  std::ifstream in(elsewhere + "/target");
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "keep");
  std::size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(elsewhere)) (void)e, ++entries;
  EXPECT_EQ(entries, 1u);
}
