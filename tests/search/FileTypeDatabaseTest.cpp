// The database: first start and restart through the registry, renames, lookups
// that keep a type by reference, and .filesig imports.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/store/FoundObjectStore.h"
#include "platform/ByteOrder.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "support/TempDir.h"

using platform::RegistryStore;

namespace {

const std::u16string kGroupsKey = std::u16string(kProgramKey) + u"\\Groups";
const std::u16string kTypesKey = std::u16string(kProgramKey) + u"\\File Types";

std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

struct DatabaseFixture : ::testing::Test {
  test::TempDir dir;
  std::string regPath = dir / "registry.reg";
  std::unique_ptr<RegistryStore> reg = std::make_unique<RegistryStore>(regPath);
  std::unique_ptr<FileTypeDatabase> db = Open(*reg);

  static std::unique_ptr<FileTypeDatabase> Open(RegistryStore& store) {
    auto d = std::make_unique<FileTypeDatabase>();
    d->SetRegistry(&store);
    return d;
  }
  // What a second start finds: a new store read from the file and a new database.
  struct Restart {
    std::unique_ptr<RegistryStore> reg;
    std::unique_ptr<FileTypeDatabase> db;
  };
  Restart Reopen() {
    Restart r{std::make_unique<RegistryStore>(regPath), nullptr};
    r.db = Open(*r.reg);
    EXPECT_TRUE(r.db->LoadFileTypes());
    return r;
  }
  std::vector<std::u16string> StoredNames(const std::u16string& key) {
    RegistryStore fresh(regPath);
    std::vector<std::u16string> names;
    for (auto& [name, value] : fresh.EnumValues(key)) names.push_back(name);
    return names;
  }
  const FileType* Find(FileTypeDatabase& d, std::int32_t id, std::u16string_view description) {
    for (const FileType* t : d.Types())
      if (t->typeId() == id && t->Description() == description) return t;
    return nullptr;
  }
  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }
  static std::vector<std::uint8_t> UserType(std::int32_t category, std::int32_t id, std::u16string_view title,
                                            std::u16string_view ext) {
    FileType t;
    t.Init(category, id, title, u"A user format", u"mine", ext);
    t.AddBytesSignature(PATTERN_BYTES, Ascii("MYFORMAT"), 0, 8);
    return t.Serialize();
  }
};

std::vector<std::vector<std::uint8_t>> Blobs(const FileTypeDatabase& d) {
  std::vector<std::vector<std::uint8_t>> out;
  for (const FileType* t : d.Types()) out.push_back(t->Serialize());
  return out;
}

}  // namespace

TEST_F(DatabaseFixture, FirstStartWritesGroupsAndBuiltinsAndARestartReadsThemBack) {
  ASSERT_TRUE(db->LoadFileTypes());
  EXPECT_EQ(db->TypeCount(), 104u);
  EXPECT_EQ(db->Groups().size(), 11u);
  EXPECT_EQ(StoredNames(kGroupsKey).size(), 11u);
  std::vector<std::u16string> names = StoredNames(kTypesKey);
  ASSERT_EQ(names.size(), 104u);
  auto builtins = MakeBuiltinFileTypes();
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], builtins[i]->RegistryValueName()) << i;
  // Photos belongs to Images at the first start.
  EXPECT_EQ(db->FindGroup(CATEGORY_PHOTOS)->parentGroup, db->FindGroup(CATEGORY_IMAGES));

  Restart r = Reopen();
  ASSERT_EQ(r.db->TypeCount(), 104u);
  EXPECT_EQ(Blobs(*r.db), Blobs(*db));  // every header and every signature, twins included
  std::vector<std::u16string> groups;
  for (const FileTypeGroup* g : r.db->Groups()) groups.push_back(g->Title());
  EXPECT_EQ(groups,
            (std::vector<std::u16string>{u"Documents", u"E-mail", u"Mobile", u"Audio", u"Video", u"Photos", u"Images",
                                         u"Storages and Drive images", u"Executable", u"Databases", u"Archives"}));
  for (const FileTypeGroup* g : r.db->Groups()) {
    EXPECT_EQ(g->typeId(), 0);
    EXPECT_EQ(g->selected(), 1);
  }
  // Both types of each shared id came back with their signatures.
  const FileType* dbx = Find(*r.db, 500, u"Outlook Express E-mail Folder");
  const FileType* storage = Find(*r.db, 500, u"Microsoft Storage File (DOC,XLS,PPT and etc.)");
  ASSERT_TRUE(dbx && storage);
  EXPECT_EQ(dbx->GetSignatureCount(), 1u);
  EXPECT_EQ(storage->GetSignatureCount(), 1u);
  EXPECT_EQ(r.db->FindById(500), dbx);  // by id alone the first in list order
}

TEST_F(DatabaseFixture, MissingKeysAreEachMadeWhateverTheOther) {
  // "\Groups" stored, "\File Types" missing: the built-ins are still made.
  {
    FileTypeDatabase groupsOnly;
    groupsOnly.SetRegistry(reg.get());
    groupsOnly.CreateDefaultGroups();
    for (auto* g : groupsOnly.Groups()) reg->SetBinary(kGroupsKey, g->RegistryValueName(), g->Serialize());
    ASSERT_TRUE(reg->Save());
  }
  ASSERT_TRUE(db->LoadFileTypes());
  EXPECT_EQ(db->TypeCount(), 104u);
  EXPECT_EQ(StoredNames(kTypesKey).size(), 104u);

  // "\File Types" stored with one user type, "\Groups" missing: default groups, the
  // stored type, no built-ins.
  test::TempDir other;
  RegistryStore store(other / "registry.reg");
  store.SetBinary(kTypesKey, u"-144.1000.Mine.MIN", UserType(-144, 1000, u"Mine", u"MIN"));
  ASSERT_TRUE(store.Save());
  FileTypeDatabase d;
  d.SetRegistry(&store);
  ASSERT_TRUE(d.LoadFileTypes());
  EXPECT_EQ(d.Groups().size(), 11u);
  ASSERT_EQ(d.TypeCount(), 1u);
  EXPECT_EQ(d.Types()[0]->typeId(), 1000);
  RegistryStore reread(other / "registry.reg");
  EXPECT_EQ(reread.EnumValues(kGroupsKey).size(), 11u);
}

TEST_F(DatabaseFixture, StoredValuesThatBreakTheRulesAreSkippedAndKept) {
  ASSERT_TRUE(db->LoadFileTypes());
  std::vector<std::uint8_t> truncated = UserType(-144, 1001, u"Cut", u"CUT");
  truncated.resize(1990);
  struct Bad {
    const char16_t* name;
    std::vector<std::uint8_t> blob;
  } bad[] = {
      {u"-144.0.Zero.ZER", UserType(-144, 0, u"Zero", u"ZER")},
      {u"-144.1.Boot.BOO", UserType(-144, 1, u"Boot", u"BOO")},        // a system id outside the system category
      {u"-144.40000.Big.BIG", UserType(-144, 40000, u"Big", u"BIG")},  // does not fit 16 bits
      {u"-999.1002.Lost.LOS", UserType(-999, 1002, u"Lost", u"LOS")},  // no such group
      {u"-16.1003.Sys.SYS", UserType(-16, 1003, u"Sys", u"SYS")},      // the system category has no group
      {u"-144.1001.Cut.CUT", truncated},
      {u"short", std::vector<std::uint8_t>(100, 0)},
  };
  for (auto& b : bad) reg->SetBinary(kTypesKey, b.name, b.blob);
  reg->SetDword(kTypesKey, u"a number", 5);
  ASSERT_TRUE(reg->Save());

  std::size_t linesBefore = Log().LineCount();
  Restart r = Reopen();
  EXPECT_EQ(r.db->TypeCount(), 104u);
  EXPECT_EQ(Log().LineCount() - linesBefore, std::size(bad) + 1);
  // A later save leaves them where they are.
  ASSERT_TRUE(r.db->SaveFileTypes());
  EXPECT_EQ(StoredNames(kTypesKey).size(), 104u + std::size(bad) + 1);
}

TEST_F(DatabaseFixture, RenameSaveRestartLeavesOneValuePerTypeInListOrder) {
  ASSERT_TRUE(db->LoadFileTypes());
  FileType* pdf = db->FindById(47);
  FileType* dbx = db->FindById(500);
  const std::vector<std::uint8_t> storageBefore =
      Find(*db, 500, u"Microsoft Storage File (DOC,XLS,PPT and etc.)")->Serialize();
  {
    auto edit = db->LockForEdit();
    pdf->SetTitle(u"Acrobat");
    pdf->SetSearchEnabled(0);
    dbx->SetExtensions(u"MBX;DBX");
  }
  ASSERT_TRUE(db->SaveFileTypes());
  std::vector<std::u16string> names = StoredNames(kTypesKey);
  ASSERT_EQ(names.size(), 104u);
  EXPECT_EQ(names[0], u"-144.47.Acrobat.PDF");
  EXPECT_EQ(std::count(names.begin(), names.end(), u"-144.47..PDF"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), u"-64.500..MBX"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), u"-64.500..DBX"), 0);
  // Its twin with the same id keeps its value.
  RegistryStore fresh(regPath);
  std::vector<std::uint8_t> storageStored;
  ASSERT_EQ(fresh.QueryBinary(kTypesKey, u"-144.500..DOC", storageStored), platform::RegStatus::Ok);
  EXPECT_EQ(storageStored, storageBefore);

  Restart r = Reopen();
  ASSERT_EQ(r.db->TypeCount(), 104u);
  EXPECT_EQ(Blobs(*r.db), Blobs(*db));  // same types, same order
  EXPECT_EQ(r.db->Types()[0]->Title(), u"Acrobat");
  EXPECT_EQ(r.db->Types()[0]->searchEnabled(), 0);
  // Renamed again after the restart: still one value each.
  {
    auto edit = r.db->LockForEdit();
    r.db->Types()[0]->SetTitle(u"");
  }
  ASSERT_TRUE(r.db->SaveFileTypes());
  names = StoredNames(kTypesKey);
  EXPECT_EQ(names.size(), 104u);
  EXPECT_EQ(names[0], u"-144.47..PDF");
}

TEST_F(DatabaseFixture, SaveFailureIsReported) {
  ASSERT_TRUE(db->LoadFileTypes());
  reg->FailNextSaveBeforeRenameForTests();
  EXPECT_FALSE(db->SaveFileTypes());
  EXPECT_TRUE(db->SaveFileTypes());  // the changes stayed pending and are written now
}

TEST_F(DatabaseFixture, FindForObjectByExtensionStoresTheTypeInTheRecord) {
  ASSERT_TRUE(db->LoadFileTypes());
  const FileType* excel = Find(*db, 501, u"Microsoft Excel Document");
  const FileType* jpeg = Find(*db, 83, u"JPEG Image");
  struct Case {
    const char16_t* name;
    std::int16_t typeId;  // on the record before the lookup
    const FileType* want;
  } cases[] = {
      // 501 is the Access database's id first: only the key keeps the Excel type.
      {u"budget.XLS", 0, excel},
      {u"photo.JPEG", 0, jpeg},
      {u"photo.jpg", 9999, jpeg},  // an id no type has falls back to the name
  };
  for (const Case& c : cases) {
    FoundObject record;
    record.SetName(c.name);
    record.typeId = c.typeId;
    EXPECT_EQ(db->FindForObject(record), c.want);
    EXPECT_EQ(record.typeId, c.want->typeId());
    EXPECT_EQ(record.typeKey, c.want->key());
    // A later lookup by what the record now holds finds the same type, whatever
    // its name has become.
    record.SetName(u"renamed");
    EXPECT_EQ(db->FindForObject(record), c.want);
    EXPECT_EQ(db->FindForObject(record.typeKey, record.typeId, u"", false), c.want);
  }
  // Nothing is written when the id gave the type, or when nothing was found.
  FoundObject byId;
  byId.SetName(u"x.xls");
  byId.typeId = 83;
  EXPECT_EQ(db->FindForObject(byId), jpeg);
  EXPECT_EQ(byId.typeKey, 0u);
  FoundObject unknown;
  unknown.SetName(u"x.unknown");
  EXPECT_EQ(db->FindForObject(unknown), nullptr);
  EXPECT_EQ(unknown.typeId, 0);
  EXPECT_EQ(unknown.typeKey, 0u);
}

TEST_F(DatabaseFixture, FindForObjectKeepsTheTypeByReference) {
  ASSERT_TRUE(db->LoadFileTypes());
  const FileType* excel = Find(*db, 501, u"Microsoft Excel Document");
  const FileType* access = Find(*db, 501, u"Microsoft Access Database");
  const FileType* storage = Find(*db, 500, u"Microsoft Storage File (DOC,XLS,PPT and etc.)");
  const IFileTypeLookup& lookup = *db;
  const auto before = Blobs(*db);
  const auto mapBefore = db->ExtensionMap();

  // As the store does: look up, keep the key and id, look up again.
  FileTypeFacts first, second;
  ASSERT_TRUE(lookup.FindForObject(0, 0, u"x.xls", false, first));
  EXPECT_EQ(first.key, excel->key());
  EXPECT_EQ(first.id, 501);
  EXPECT_EQ(first.categoryId, -144);
  EXPECT_EQ(first.extension, u"XLS");
  EXPECT_EQ(first.namePrefix, u"document");
  EXPECT_TRUE(first.searchEnabled);
  EXPECT_FALSE(first.showInFilter);
  ASSERT_TRUE(lookup.FindForObject(first.key, first.id, u"x.xls", false, second));
  EXPECT_EQ(second.key, excel->key());
  // A found object keeps the key it was given.
  FoundObject record;
  record.SetName(u"budget.XLS");
  const FileType* typed = db->FindForObject(record);
  EXPECT_EQ(typed, excel);
  record.typeKey = typed->key();
  record.typeId = static_cast<std::int16_t>(typed->typeId());
  EXPECT_EQ(db->FindForObject(record), excel);
  record.flags.Set(OBJ_FOLDER);
  record.typeKey = 0;
  record.typeId = 0;
  EXPECT_EQ(db->FindForObject(record), nullptr);
  // By id alone the first type with that id.
  EXPECT_EQ(db->FindForObject(0, 501, u"x.xls", false), access);
  // "x.doc" is the storage file, never the mail folder that shares its id.
  ASSERT_TRUE(lookup.FindForObject(0, 0, u"x.doc", false, first));
  EXPECT_EQ(first.key, storage->key());
  ASSERT_TRUE(lookup.FindForObject(first.key, first.id, u"x.doc", false, second));
  EXPECT_EQ(second.key, storage->key());

  struct Case {
    const char16_t* name;
    bool folder;
    const FileType* want;
  } cases[] = {
      {u"photo.JPEG", false, Find(*db, 83, u"JPEG Image")},
      {u"archive.tar.gz", false, Find(*db, 344, u"GZ Archive File")},
      {u"readme", false, nullptr},
      {u"trailing.", false, nullptr},
      {u"x.xls", true, nullptr},  // folders are not typed by extension
      {u"", false, nullptr},
      {u"x.unknown", false, nullptr},
  };
  for (auto& c : cases) EXPECT_EQ(db->FindForObject(0, 0, c.name, c.folder), c.want) << platform::Utf16ToUtf8(c.name);
  // An unknown key or id falls back to the name.
  EXPECT_EQ(db->FindForObject(0xFFFFFFF0u, 9999, u"x.xls", false), excel);
  EXPECT_TRUE(lookup.FindByKey(excel->key(), first));
  EXPECT_EQ(first.id, 501);
  EXPECT_FALSE(lookup.FindByKey(0, first));
  std::u16string group;
  EXPECT_TRUE(lookup.GroupName(-117, group));
  EXPECT_EQ(group, u"Photos");
  EXPECT_FALSE(lookup.GroupName(-16, group));

  // Looking up wrote nothing.
  EXPECT_EQ(Blobs(*db), before);
  EXPECT_EQ(db->ExtensionMap(), mapBefore);
}

TEST_F(DatabaseFixture, ExtensionsAreTrimmedAndTheFirstTypeKeepsThem) {
  db->CreateDefaultGroups();
  FileType* a = db->AddFileType(-115, 1000, 1024, {}, u"First", {}, u"a", u"*.jpg; .Jpg,,  ;x.y");
  FileType* b = db->AddFileType(-115, 1001, 1024, {}, u"Second", {}, u"b", u"JPG;PNG");
  EXPECT_EQ(db->FindByExtension(u"JPG"), a);
  EXPECT_EQ(db->FindByExtension(u"x.y"), a);
  EXPECT_EQ(db->FindByExtension(u"png"), b);
  auto map = db->ExtensionMap();
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map[0], (std::pair<std::u16string, const FileType*>{u"JPG", a}));
  EXPECT_EQ(map[1], (std::pair<std::u16string, const FileType*>{u"X.Y", a}));
  EXPECT_EQ(map[2], (std::pair<std::u16string, const FileType*>{u"PNG", b}));
  db->AddExtension(u" .Jpg", b);  // already there: dropped
  db->AddExtension(u"*.Tif ", b);
  EXPECT_EQ(db->FindByExtension(u"JPG"), a);
  EXPECT_EQ(db->FindByExtension(u"TIF"), b);
  db->RebuildExtensionMap();
  EXPECT_EQ(db->FindByExtension(u"TIF"), nullptr);
}

TEST_F(DatabaseFixture, ImportNewUpdatedUnreadableTruncated) {
  ASSERT_TRUE(db->LoadFileTypes());
  const FileType* pdf = db->FindById(47);

  // A new type.
  std::string path = WriteFile("mine.filesig", UserType(-144, 1000, u"Mine", u"MIN"));
  ImportResult added = db->ImportSignatureFile(u"\"" + platform::Utf8ToUtf16(path) + u"\"");
  ASSERT_EQ(added.status, ImportStatus::Added) << platform::Utf16ToUtf8(added.reason);
  EXPECT_EQ(added.failure, ImportFailure::None);
  ASSERT_TRUE(added.type);
  EXPECT_EQ(db->TypeCount(), 105u);
  EXPECT_EQ(db->Types().back(), added.type);
  EXPECT_EQ(db->FindByExtension(u"MIN"), added.type);
  EXPECT_TRUE(added.type->Match(Ascii("MYFORMAT and more")));
  {
    RegistryStore fresh(regPath);
    std::vector<std::uint8_t> stored;
    ASSERT_EQ(fresh.QueryBinary(kTypesKey, u"-144.1000.Mine.MIN", stored), platform::RegStatus::Ok);
    EXPECT_EQ(stored, added.type->Serialize());
  }

  // A file whose id is known updates that type's header; its signatures stay.
  FileType update;
  update.Init(-144, 47, u"Acrobat", u"Portable Document Format", u"acrobat", u"PDF;AI");
  update.SetShowInFilter(1);
  update.AddBytesSignature(PATTERN_BYTES, Ascii("NOT-PDF"), 0, 7);
  update.AddBytesSignature(PATTERN_BYTES, Ascii("NOT-PDF"), 0, 7);
  ImportResult updated = db->ImportSignatureFile(platform::Utf8ToUtf16(WriteFile("pdf.filesig", update.Serialize())));
  ASSERT_EQ(updated.status, ImportStatus::Updated) << platform::Utf16ToUtf8(updated.reason);
  EXPECT_EQ(updated.type, pdf);
  EXPECT_EQ(db->TypeCount(), 105u);
  EXPECT_EQ(pdf->Title(), u"Acrobat");
  EXPECT_EQ(pdf->showInFilter(), 1);
  ASSERT_EQ(pdf->GetSignatureCount(), 1u);
  EXPECT_TRUE(pdf->Match(Ascii("%PDF-1.7")));
  EXPECT_EQ(platform::LeView(pdf->Serialize()).I32(1952), 1);
  EXPECT_EQ(db->FindByExtension(u"AI"), pdf);
  std::vector<std::u16string> names = StoredNames(kTypesKey);
  EXPECT_EQ(names.size(), 105u);
  EXPECT_EQ(names[0], u"-144.47.Acrobat.PDF");

  // Unreadable and truncated files change nothing.
  std::vector<std::uint8_t> cut = UserType(-144, 1001, u"Cut", u"CUT");
  cut.resize(cut.size() - 1);
  std::string fifo = dir / "fifo.filesig";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string big = dir / "big.filesig";
  {
    std::ofstream(big, std::ios::binary).write("x", 1);
    ASSERT_EQ(truncate(big.c_str(), FileTypeDatabase::kMaxSignatureFileSize + 1), 0);
  }
  struct Failure {
    const char* what;
    std::string path;
    ImportFailure failure;
  } failures[] = {
      {"missing", dir / "missing.filesig", ImportFailure::CannotOpen},
      {"folder", dir.path(), ImportFailure::NotAFile},
      {"fifo", fifo, ImportFailure::NotAFile},
      {"too large", big, ImportFailure::TooLarge},
      {"empty", WriteFile("empty.filesig", {}), ImportFailure::Refused},
      {"header cut", WriteFile("header.filesig", std::vector<std::uint8_t>(1955, 0)), ImportFailure::Refused},
      {"signature cut", WriteFile("cut.filesig", cut), ImportFailure::Refused},
      {"id 0", WriteFile("zero.filesig", UserType(-144, 0, u"Z", u"Z")), ImportFailure::Refused},
      {"system id", WriteFile("fat.filesig", UserType(-16, 1, u"", u"SYSTEM")), ImportFailure::Refused},
      {"NTFS record id", WriteFile("ntfs.filesig", UserType(-144, 24, u"", u"SYSTEM")), ImportFailure::Refused},
      {"id over 16 bits", WriteFile("big-id.filesig", UserType(-144, 32768, u"B", u"B")), ImportFailure::Refused},
      {"negative id", WriteFile("neg-id.filesig", UserType(-144, -3, u"N", u"N")), ImportFailure::Refused},
      {"no group", WriteFile("nogroup.filesig", UserType(-7, 1002, u"G", u"G")), ImportFailure::Refused},
  };
  const auto before = Blobs(*db);
  for (auto& f : failures) {
    ImportResult r = db->ImportSignatureFile(f.path);
    EXPECT_EQ(r.status, ImportStatus::Failed) << f.what;
    EXPECT_EQ(r.failure, f.failure) << f.what;
    EXPECT_FALSE(r.reason.empty()) << f.what;
    EXPECT_EQ(r.type, nullptr) << f.what;
  }
  EXPECT_EQ(Blobs(*db), before);
  EXPECT_EQ(StoredNames(kTypesKey).size(), 105u);

  // A file that loads but cannot be saved is not reported as a success.
  reg->FailNextSaveBeforeRenameForTests();
  ImportResult unsaved = db->ImportSignatureData(UserType(-144, 1003, u"Later", u"LAT"));
  EXPECT_EQ(unsaved.status, ImportStatus::Failed);
  EXPECT_EQ(unsaved.failure, ImportFailure::NotSaved);
  EXPECT_TRUE(unsaved.type);
  EXPECT_TRUE(db->SaveFileTypes());

  // The restart reads the imports back.
  Restart r = Reopen();
  EXPECT_EQ(r.db->TypeCount(), 106u);
  EXPECT_EQ(r.db->FindById(47)->Title(), u"Acrobat");
  EXPECT_EQ(r.db->FindById(1000)->GetSignatureCount(), 1u);
}

TEST_F(DatabaseFixture, LargeTypesAreReadWhole) {
  // Longer than the 19,672 bytes a signature file was once read into, and than the
  // 0x3FFF bytes a stored value was once read with.
  ASSERT_TRUE(db->LoadFileTypes());
  FileType big;
  big.Init(-115, 3000, u"Big", u"A type with a long masked signature", u"big", u"BIG");
  std::vector<std::uint8_t> masked(30000, 0);
  for (std::size_t i = 0; i < 15000; ++i) masked[i] = std::uint8_t(i * 13);
  masked[15000 + 14999] = 0xFF;  // only the last value byte counts
  big.AddBytesSignature(PATTERN_MASKED, masked, 0, 30000);
  big.AddBytesSignature(PATTERN_BYTES, Ascii("BIGTYPE"), 0, 7);
  const std::vector<std::uint8_t> blob = big.Serialize();
  ASSERT_GT(blob.size(), 30000u);
  ImportResult r = db->ImportSignatureFile(WriteFile("big.filesig", blob));
  ASSERT_EQ(r.status, ImportStatus::Added) << platform::Utf16ToUtf8(r.reason);
  EXPECT_EQ(r.type->Serialize(), blob);
  std::vector<std::uint8_t> unit(15000, 0);
  unit[14999] = std::uint8_t(14999 * 13);
  EXPECT_TRUE(r.type->Match(unit));

  Restart again = Reopen();
  const FileType* back = again.db->FindById(3000);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Serialize(), blob);
}

TEST_F(DatabaseFixture, DestructorSavesALoadedDatabase) {
  ASSERT_TRUE(db->LoadFileTypes());
  {
    auto edit = db->LockForEdit();
    db->FindById(47)->SetShowInFilter(1);
  }
  db.reset();
  Restart r = Reopen();
  EXPECT_EQ(r.db->FindById(47)->showInFilter(), 1);
}

TEST_F(DatabaseFixture, ProgramDatabaseIsTheEngineLookup) {
  ASSERT_TRUE(db->LoadFileTypes());
  db->InstallAsProgramDatabase();
  EXPECT_EQ(g_FileTypes, db.get());
  EXPECT_EQ(GetFileTypeLookup(), db.get());

  // The store types what it keeps through it, by reference, and drops what the
  // settings do not search for.
  const FileType* excel = Find(*db, 501, u"Microsoft Excel Document");
  {
    auto edit = db->LockForEdit();
    db->FindById(400)->SetSearchEnabled(0);
  }
  FoundObjectStore store;
  FoundObject templ;
  templ.id = 10;
  templ.SetName(u"x.xls");
  FoundObject* kept = store.AddParsedObject(templ);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->typeKey, excel->key());
  EXPECT_EQ(db->FindForObject(*kept), excel);
  templ.id = 11;
  templ.SetName(u"setup.exe");
  EXPECT_EQ(store.AddParsedObject(templ), nullptr);
  db.reset();
  EXPECT_EQ(g_FileTypes, nullptr);
  EXPECT_EQ(GetFileTypeLookup(), nullptr);
}

TEST_F(DatabaseFixture, ValueNameOwnerTellsWhoIsSavedUnderAName) {
  ASSERT_TRUE(db->LoadFileTypes());
  FileType* pdf = db->FindById(47);
  ASSERT_NE(pdf, nullptr);
  const std::u16string pdfName = pdf->RegistryValueName();
  EXPECT_EQ(db->ValueNameOwner(pdfName, pdf), nullptr);  // its own name is not taken

  // A user type whose title and extension would give the PDF's name, in another
  // letter case: taken by the PDF.
  auto mine = std::make_unique<FileType>();
  mine->Init(-144, 1000, u"Mine", u"My format", u"mine", u"MIN");
  FileType* user = db->AppendFileType(std::move(mine));
  EXPECT_EQ(db->ValueNameOwner(user->RegistryValueName(), user), nullptr);
  EXPECT_EQ(db->ValueNameOwner(u"-144.47..pdf", user), pdf);
  EXPECT_EQ(db->ValueNameOwner(u"-144.1000.Other.MIN", pdf), nullptr);
  EXPECT_EQ(db->ValueNameOwner(user->RegistryValueName(), pdf), user);

  // Groups are looked for among the groups only.
  FileTypeGroup* documents = db->Groups()[0];
  ASSERT_EQ(documents->categoryId(), CATEGORY_DOCUMENTS);
  FileTypeGroup* email = db->Groups()[1];
  EXPECT_EQ(db->ValueNameOwner(documents->RegistryValueName(), email), documents);
  EXPECT_EQ(db->ValueNameOwner(pdfName, email), nullptr);

  // Were the clash let through, only one of the two would be stored.
  {
    auto edit = db->LockForEdit();
    user->SetTypeId(47);
    user->SetTitle(u"");
    user->SetExtensions(u"PDF");
  }
  EXPECT_EQ(db->ValueNameOwner(user->RegistryValueName(), user), pdf);
}

// A database saved by an earlier version holds the built-in rows with the
// signatures that version made: the next start gives them today's, keeping their
// flags and sizes; a row whose signatures the user changed, and the user's own
// types, stay as they were saved.
TEST_F(DatabaseFixture, BuiltinRowsSavedWithEarlierSignaturesGetTodaysAndKeepTheirSettings) {
  {
    FileTypeDatabase groups;
    groups.SetRegistry(reg.get());
    groups.CreateDefaultGroups();
    for (auto* g : groups.Groups()) reg->SetBinary(kGroupsKey, g->RegistryValueName(), g->Serialize());
  }
  auto earlier = MakeEarlierBuiltinRows();
  ASSERT_EQ(earlier.size(), 3u);  // JPEG, QuickTime, MPEG-4
  for (auto& t : MakeBuiltinFileTypes()) {
    std::unique_ptr<FileType> saved = std::move(t);
    for (auto& e : earlier)
      if (e && e->typeId() == saved->typeId() && e->Description() == saved->Description()) saved = std::move(e);
    if (saved->typeId() == 83) {
      saved->SetSearchEnabled(0);
      saved->SetTypicalSizeKB(77);
    }
    if (saved->typeId() == 141) saved->AddBytesSignature(PATTERN_BYTES, Ascii("ftypmine"), 4, 8);  // the user's
    reg->SetBinary(kTypesKey, saved->RegistryValueName(), saved->Serialize());
  }
  const std::vector<std::uint8_t> mine = UserType(CATEGORY_DOCUMENTS, 9001, u"Mine", u"MIN");
  reg->SetBinary(kTypesKey, FileType::FromBlob(mine)->RegistryValueName(), mine);

  ASSERT_TRUE(db->LoadFileTypes());
  auto today = MakeBuiltinFileTypes();
  auto signaturesOf = [](const FileType& t) {
    std::vector<std::uint8_t> b = t.Serialize();
    return std::vector<std::uint8_t>(b.begin() + FileType::kHeaderSize, b.end());
  };
  for (const auto& [id, description] : {std::pair{83, u"JPEG Image"}, {170, u"QuickTime (Rich Media Format)"}}) {
    SCOPED_TRACE(id);
    const FileType* now = Find(*db, id, description);
    ASSERT_NE(now, nullptr);
    const FileType* builtin = nullptr;
    for (const auto& t : today)
      if (t->typeId() == id) builtin = t.get();
    EXPECT_EQ(signaturesOf(*now), signaturesOf(*builtin));
  }
  const FileType* jpeg = Find(*db, 83, u"JPEG Image");
  EXPECT_EQ(jpeg->searchEnabled(), 0);
  EXPECT_EQ(jpeg->typicalSizeKB(), 77);
  // The MPEG-4 row the user changed keeps its signatures of then.
  EXPECT_EQ(Find(*db, 141, u"MPEG-4 Video File")->GetSignatureCount(), 2u);
  const FileType* user = db->FindById(9001);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->Serialize(), mine);
  // The corrected rows were written back: a third start reads them as they are now.
  Restart again = Reopen();
  EXPECT_EQ(signaturesOf(*Find(*again.db, 83, u"JPEG Image")), signaturesOf(*jpeg));
}
