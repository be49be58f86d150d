#include <gtest/gtest.h>

#include "engine/records/AppSettings.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/store/FileFilter.h"
#include "engine/store/FoundObject.h"
#include "platform/ByteOrder.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/TempDir.h"

using platform::FileTime;

namespace {

FoundObject Object(std::int32_t id, std::uint16_t flags, std::u16string_view name, FileTime created = 0,
                   std::int16_t typeId = 0) {
  FoundObject o;
  o.id = id;
  o.flags = flags;
  o.SetName(name);
  o.created = created;
  o.typeId = typeId;
  return o;
}

// Two types: 10 shown in the filter, 20 not; ".jpg" names are type 10.
struct FakeTypes : IFileTypeLookup {
  bool FindForObject(std::uint32_t, std::int16_t typeId, std::u16string_view name, bool isFolder,
                     FileTypeFacts& out) const override {
    if (typeId == 10 || typeId == 20) {
      out.id = typeId;
      out.showInFilter = typeId == 10;
      return true;
    }
    if (!isFolder && name.size() > 4 && platform::EqualsNoCase(name.substr(name.size() - 4), u".jpg")) {
      out.id = 10;
      out.showInFilter = true;
      return true;
    }
    return false;
  }
  bool FindByKey(std::uint32_t, FileTypeFacts&) const override { return false; }
  bool GroupName(std::int32_t, std::u16string&) const override { return false; }
};

FileTime Utc(int y, int mo, int d, int h = 0, int mi = 0) { return platform::FileTimeFromUtc({y, mo, d, h, mi, 0}); }

}  // namespace

TEST(FileFilter, StoredRecordLayoutAndDefaults) {
  FileFilter f;
  const auto& b = f.Bytes();
  platform::LeView v(b.data(), b.size());
  EXPECT_EQ(b.size(), 728u);
  EXPECT_EQ(v.I32(8), 1);
  EXPECT_EQ(v.I32(48), 1);
  EXPECT_EQ(v.I32(20), 0);
  EXPECT_EQ(v.I32(80), 0);
  EXPECT_EQ(platform::ReadUtf16Field(v.bytes(), 120, 256), u"*");
  EXPECT_EQ(v.I64(632), 0);
  EXPECT_EQ(v.I64(640), -1);
  EXPECT_EQ(v.I64(656), -1);
  EXPECT_EQ(v.I64(672), -1);
  for (std::size_t off : {0u, 12u, 24u, 68u, 84u, 648u, 664u, 680u, 727u}) EXPECT_EQ(b[off], 0) << off;

  f.SetDeletedOnly(1);
  f.SetUseMask(1);
  f.SetUseDates(1);
  f.SetDateMode(1);
  f.SetUseSize(1);
  f.SetTypeMode(2);
  f.SetMask(u"*.jpg");
  f.SetDateFrom(5);
  f.SetDateTo(6);
  f.SetSizeFrom(7);
  f.SetSizeTo(8);
  platform::LeView w(f.Bytes().data(), 728);
  EXPECT_EQ(w.I32(20), 1);
  EXPECT_EQ(w.I32(52), 1);
  EXPECT_EQ(w.I32(56), 1);
  EXPECT_EQ(w.I32(60), 1);
  EXPECT_EQ(w.I32(64), 1);
  EXPECT_EQ(w.I32(80), 2);
  EXPECT_EQ(platform::ReadUtf16Field(w.bytes(), 120, 256), u"*.jpg");
  EXPECT_EQ(w.I64(632), 5);
  EXPECT_EQ(w.I64(640), 6);
  EXPECT_EQ(w.I64(656), 7);
  EXPECT_EQ(w.I64(672), 8);
}

TEST(FileFilter, SaveLoadAndShortOrUnterminatedValues) {
  test::TempDir dir;
  platform::RegistryStore reg(dir / "registry.reg");
  const std::u16string key = std::u16string(kProgramKey) + u"\\Filter";
  FileFilter first;
  first.SetRegistry(&reg);
  EXPECT_EQ(first.Load(), 1);  // no key: the defaults are written
  std::vector<std::uint8_t> stored;
  ASSERT_EQ(reg.QueryBinary(key, u"", stored), platform::RegStatus::Ok);
  EXPECT_EQ(stored, std::vector<std::uint8_t>(first.Bytes().begin(), first.Bytes().end()));

  std::vector<std::uint8_t> edited = stored;
  edited[20] = 1;
  edited[700] = 0x5A;  // a reserved byte survives
  reg.SetBinary(key, u"", edited);
  FileFilter second;
  second.SetRegistry(&reg);
  second.Load();
  EXPECT_EQ(second.DeletedOnly(), 1);
  EXPECT_EQ(second.Bytes()[700], 0x5A);

  // A short value gives the defaults.
  reg.SetBinary(key, u"", std::vector<std::uint8_t>(100, 0xFF));
  FileFilter third;
  third.SetRegistry(&reg);
  third.Load();
  EXPECT_EQ(third.Bytes(), FileFilter().Bytes());

  // A mask without a terminator stops inside its field.
  std::vector<std::uint8_t> full(728, 0x41);
  reg.SetBinary(key, u"", full);
  FileFilter fourth;
  fourth.SetRegistry(&reg);
  fourth.Load();
  EXPECT_EQ(fourth.Mask().size(), 255u);
}

TEST(FileFilter, MatchMask) {
  struct Case {
    const char16_t* mask;
    const char16_t* name;
    int match;
  } cases[] = {
      {u"*", u"anything.txt", 1},
      {u"*", u"", 1},
      {u"", u"", 1},
      {u"", u"a", 0},
      {u"a?c", u"abc", 1},
      {u"a?c", u"ac", 0},
      {u"a?c", u"abbc", 0},
      {u"*.jpg", u"photo.jpg", 1},
      {u"*.jpg", u"PHOTO.JPG", 1},      // case does not matter
      {u"*.JPG", u"DSC_0001.jpg", 1},
      {u"*.jpg", u"photo.jpeg", 0},
      {u"*.jpg", u"photo.jpg.txt", 0},
      {u"*a*b", u"xaxxab", 1},          // backtracking to the second 'a'
      {u"*a*b", u"xaxxa", 0},
      {u"a*b*c", u"aXbYbZc", 1},
      {u"a*b*c", u"aXbYbZ", 0},
      {u"*?", u"", 0},
      {u"?*", u"x", 1},
      {u"**.txt", u"a.txt", 1},
      {u"\u00c9T\u00c9*", u"\u00e9t\u00e9 2024.jpg", 1},  // Latin-1 letters
      {u"photo ?.jpg", u"photo \U0001F4F7.jpg", 1},        // a surrogate pair is one character
      {u"photo ??.jpg", u"photo \U0001F4F7.jpg", 0},
  };
  for (auto& c : cases)
    EXPECT_EQ(FileFilter::MatchMask(c.mask, c.name), c.match)
        << platform::Utf16ToUtf8(c.mask) << " / " << platform::Utf16ToUtf8(c.name);
}

TEST(FileFilter, DateRanges) {
  const FileTime jan = Utc(2024, 1, 10, 12), feb = Utc(2024, 2, 10, 12), mar = Utc(2024, 3, 10, 12);
  struct Case {
    const char* what;
    int useDates, dateMode;
    FileTime from, to, created;
    int hidden;
  } cases[] = {
      {"inside", 1, 0, jan, mar, feb, 0},
      {"after the end", 1, 0, jan, feb, mar, 1},
      {"before the start", 1, 0, feb, mar, jan, 1},
      {"at the start", 1, 0, feb, mar, feb, 0},
      {"at the end", 1, 0, jan, feb, feb, 0},
      {"no upper bound", 1, 0, jan, -1, Utc(2099, 1, 1), 0},
      {"no creation time", 1, 0, feb, mar, 0, 0},
      {"dates off", 0, 0, feb, mar, jan, 0},
      {"dates off with mode 1", 0, 1, Utc(2000, 1, 1, 10), Utc(2000, 1, 1, 11), jan, 0},
      // Mode 1: local times of day (Central European time: 12:00 UTC is 13:00 in January).
      {"time of day inside", 1, 1, Utc(2000, 1, 1, 11), Utc(2000, 1, 1, 13), jan, 0},
      {"time of day outside", 1, 1, Utc(2000, 1, 1, 13), Utc(2000, 1, 1, 14), jan, 1},
      {"time of day open end", 1, 1, Utc(2000, 1, 1, 11), -1, jan, 0},
      {"time of day round midnight", 1, 1, Utc(2000, 1, 1, 21), Utc(2000, 1, 1, 1), Utc(2024, 1, 10, 23), 0},
  };
  for (auto& c : cases) {
    FileFilter f;
    f.SetUseDates(c.useDates);
    f.SetDateMode(c.dateMode);
    f.SetDateFrom(c.from);
    f.SetDateTo(c.to);
    EXPECT_EQ(f.IsHidden(Object(100, OBJ_NAMED, u"file.txt", c.created)), c.hidden) << c.what;
  }
}

TEST(FileFilter, IsHidden) {
  FakeTypes types;
  SetFileTypeLookup(&types);
  const std::uint16_t named = OBJ_NAMED;
  struct Case {
    const char* what;
    int deletedOnly, useMask, typeMode;
    FoundObject object;
    int hidden;
  } cases[] = {
      {"default filter shows a live file", 0, 0, 0, Object(5, named, u"a.txt"), 0},
      {"default filter shows a deleted file", 0, 0, 0, Object(5, named | OBJ_DELETED, u"a.txt"), 0},
      {"special roots are never hidden", 1, 1, 1, Object(-19, named | OBJ_FOLDER, u"Lost files"), 0},
      {"deleted only hides a live file", 1, 0, 0, Object(5, named, u"a.txt"), 1},
      {"deleted only shows a deleted file", 1, 0, 0, Object(5, named | OBJ_DELETED, u"a.txt"), 0},
      {"deleted only keeps a live folder on a deleted path", 1, 0, 0,
       Object(5, named | OBJ_FOLDER | OBJ_DELETED_PATH, u"DCIM"), 0},
      {"deleted only hides a live folder", 1, 0, 0, Object(5, named | OBJ_FOLDER, u"DCIM"), 1},
      {"mask hides a file that does not match", 0, 1, 0, Object(5, named, u"a.txt"), 1},
      {"mask shows a camera name", 0, 1, 0, Object(5, named, u"DSC_0001.JPG"), 0},
      {"mask never hides a folder", 0, 1, 0, Object(5, named | OBJ_FOLDER, u"Documents"), 0},
      {"mask ignores a nameless record", 0, 1, 0, Object(5, 0, u""), 0},
      {"known types: unknown file hidden", 0, 0, 1, Object(5, named, u"a.xyz"), 1},
      {"known types: typed by extension shown", 0, 0, 1, Object(5, named, u"a.jpg"), 0},
      {"known types: folder never hidden", 0, 0, 1, Object(5, named | OBJ_FOLDER, u"x"), 0},
      {"marked types: type not shown hidden", 0, 0, 2, Object(5, named, u"x.bin", 0, 20), 1},
      {"marked types: type shown", 0, 0, 2, Object(5, named, u"x.bin", 0, 10), 0},
      {"marked types: no type shown", 0, 0, 2, Object(5, named, u"a.xyz"), 0},
  };
  for (auto& c : cases) {
    FileFilter f;
    f.SetDeletedOnly(c.deletedOnly);
    f.SetUseMask(c.useMask);
    f.SetMask(u"*.jpg");
    f.SetTypeMode(c.typeMode);
    EXPECT_EQ(f.IsHidden(c.object), c.hidden) << c.what;
  }
  // The filter's lookup writes nothing into the record.
  FoundObject o = Object(5, named, u"a.jpg");
  FileFilter f;
  f.SetTypeMode(1);
  f.IsHidden(o);
  EXPECT_EQ(o.typeId, 0);
  EXPECT_EQ(o.typeKey, 0u);
  SetFileTypeLookup(nullptr);
}
