// The recovery job on fake volumes: the copy in 2 MB chunks through the volume's
// object read, the size modes and the size question, the destination check, safe
// names and no overwriting, stops, and "try to open" with its temporary files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/fs/FileSystem.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/Volume.h"
#include "platform/FileTime.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "search/FileTypeDatabase.h"
#include "search/Recovery.h"
#include "support/FileBytes.h"
#include "support/LogLines.h"
#include "support/StoreRoot.h"
#include "support/TempDir.h"

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

constexpr std::int64_t kMB = 1048576;

std::vector<std::uint8_t> Pattern(std::size_t bytes) {
  std::vector<std::uint8_t> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = std::uint8_t(i * 7 + i / 4093);
  return data;
}

using test::ReadFile;

// Everything below a folder (links not followed), as sorted relative paths.
std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    out.insert(it->path().lexically_relative(root).string());
  return out;
}

// A file-system parser that serves object data from memory, records every read,
// and can end a read short or run a hook. Past what it returns it leaves garbage in
// the buffer, which must never reach a recovered file.
class FakeParser : public CFileSystem {
 public:
  explicit FakeParser(const std::vector<std::uint8_t>* disk) : disk_(disk) {
    typeCode = 11;
    GetTypeName();
  }
  bool ReadsObjectData() const override { return true; }
  std::int64_t FileRead(const FoundObject& record, void* buffer, std::int64_t position,
                        std::uint32_t length) override {
    {
      std::lock_guard g(mutex_);
      reads_.emplace_back(position, length);
    }
    if (onRead) onRead(position);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::memset(out, 0xEE, length);
    const std::int64_t start = record.offset + position;
    std::int64_t n = std::clamp<std::int64_t>(std::int64_t(disk_->size()) - start, 0, length);
    if (shortAt && *shortAt == position) n = std::min(n, shortBytes);
    if (n > 0) std::memcpy(out, disk_->data() + start, std::size_t(n));
    return n;
  }
  std::vector<std::pair<std::int64_t, std::uint32_t>> Reads() const {
    std::lock_guard g(mutex_);
    return reads_;
  }

  std::function<void(std::int64_t)> onRead;
  std::optional<std::int64_t> shortAt;
  std::int64_t shortBytes = 0;

 private:
  const std::vector<std::uint8_t>* disk_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::int64_t, std::uint32_t>> reads_;
};

struct RecoveryThreads : ::testing::Test {
  test::TempDir dir;
  ProgramLog log;
  RecordingNotifier notifier;
  ScriptedUserCallbacks answers;
  AppSettings settings;
  std::atomic<std::int32_t> flag{0};
  std::vector<std::uint8_t> disk = Pattern(16 * kMB);
  std::shared_ptr<CVolume> volume = MakeVolume(platform::Utf8ToUtf16(dir / "source.dsk"));
  FakeParser* parser = nullptr;
  std::string out = dir / "out";
  std::unique_ptr<platform::RegistryStore> registry;
  std::unique_ptr<FileTypeDatabase> db;
  CRecovery job;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    SetNotifier(&notifier);
    SetUserCallbacks(&answers);
    settings.FillDefaults();
    settings.SetDestinationFolder(Utf8ToUtf16(out));
    settings.SetTempFolder(Utf8ToUtf16(dir / "tmp"));
    SetSettings(&settings);
    auto p = std::make_unique<FakeParser>(&disk);
    parser = p.get();
    volume->SetFileSystem(std::move(p));
    job.SetRunFlag(&flag);
  }
  void TearDown() override {
    job.KillThread(std::chrono::seconds(10));
    SetSettings(nullptr);
    SetUserCallbacks(nullptr);
    SetNotifier(nullptr);
    g_Log = nullptr;
  }

  // An image-file volume over `disk` with an empty file as its path (so any folder
  // may hold the copies) and a root folder record.
  std::shared_ptr<CVolume> MakeVolume(const std::u16string& path, bool makeFile = true) {
    if (makeFile) std::ofstream(Utf16ToUtf8(path)) << "";
    auto v = std::make_shared<CVolume>(CVolume::kImageFile);
    v->SetDevicePath(path);
    v->SetDeviceOpener([this](int&) { return std::make_shared<MemoryBlockDevice>(disk); });
    v->SetReadRetries(0);
    test::AddRootFolder(v->Store());
    return v;
  }

  FoundObject* Add(std::int32_t id, std::int32_t parent, std::u16string_view name, std::int64_t offset,
                   std::int64_t size, std::uint16_t flags = 0, CVolume* on = nullptr) {
    FoundObject o;
    o.id = id;
    o.parentId = parent;
    o.flags = std::uint16_t(flags | OBJ_NAMED);
    o.SetName(name);
    o.offset = offset;
    o.size = size;
    return (on ? on : volume.get())->Store().RegisterObject(o);
  }
  FoundObject* Folder(std::int32_t id, std::int32_t parent, std::u16string_view name) {
    return Add(id, parent, name, 0, 0, OBJ_FOLDER);
  }
  FoundObject* Carved(std::int64_t offset, const FileType* type) {
    FoundObject o;
    o.id = 0;
    o.parentId = type->categoryId();
    o.flags = OBJ_DELETED | OBJ_RAW | OBJ_CARVED | OBJ_NAMED;
    const std::u16string name = u"carved_" + Utf8ToUtf16(std::to_string(offset)) + u"." + type->DefaultExtension();
    o.SetName(name);
    o.offset = offset;
    o.size = -1;
    o.typeId = std::int16_t(type->typeId());
    o.typeKey = type->key();
    return volume->Store().RegisterObject(o);
  }
  FileTypeDatabase& Types() {
    if (!db) {
      registry = std::make_unique<platform::RegistryStore>(dir / "registry.reg");
      db = std::make_unique<FileTypeDatabase>();
      db->SetRegistry(registry.get());
      db->LoadFileTypes();
      job.SetFileTypes(db.get());
    }
    return *db;
  }
  const FileType* TypeNamed(std::u16string_view description) {
    for (const FileType* t : Types().Types())
      if (t->Description() == description) return t;
    return nullptr;
  }

  void Run(const std::vector<FoundObject*>& objects, CRecovery& which) {
    ASSERT_TRUE(which.SetSelection(volume, objects));
    ASSERT_TRUE(which.GetKind() == CRecovery::Kind::Recovery ? which.StartRecovery() : which.StartTryOpen());
    which.Join();
  }
  void Run(const std::vector<FoundObject*>& objects) { Run(objects, job); }

  std::vector<std::uint8_t> Bytes(std::int64_t offset, std::int64_t size) const {
    return std::vector<std::uint8_t>(disk.begin() + offset, disk.begin() + offset + size);
  }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text);
  }
  std::size_t LoggedCount(std::u16string_view text) const {
    std::size_t n = 0;
    for (const std::u16string& line : log.Lines())
      if (line.find(text) != std::u16string::npos) ++n;
    return n;
  }
  std::vector<std::int64_t> Percents() const {
    std::vector<std::int64_t> p;
    for (const PostedMessage& m : notifier.Messages(WM_RECOVERY_PROGRESS)) p.push_back(m.lParam);
    return p;
  }
};

// The nice value of each thread of this process.
std::vector<int> ThreadNiceValues() {
  std::vector<int> values;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/stat");
      std::string text((std::istreambuf_iterator<char>(in)), {});
      const std::size_t close = text.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream fields(text.substr(close + 2));
      std::string field;
      for (int i = 3; i <= 19 && fields >> field; ++i)
        if (i == 19) values.push_back(std::stoi(field));
    }
    closedir(d);
  }
  return values;
}

template <typename F>
bool WaitFor(F&& done) {
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

}  // namespace

TEST_F(RecoveryThreads, CopiesInChunksOf2MBWithPercentagesAndRestoresTheTimes) {
  FoundObject* big = Add(7, 0, u"big.bin", kMB, 5000000);
  FoundObject* tiny = Add(8, 0, u"tiny.txt", 9 * kMB + 3, 50);
  // A FAT entry: no creation time, but modification and access times.
  const platform::FileTime modified = platform::FileTimeFromUnix(1300000000, 500000000);
  const platform::FileTime accessed = platform::FileTimeFromUnix(1300086400);
  big->modified = modified;
  big->accessed = accessed;
  big->created = 0;
  Run({big, tiny});
  struct stat st{};  // before anything reads the file
  ASSERT_EQ(stat((out + "/big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
  EXPECT_EQ(st.st_atim.tv_sec, 1300086400);

  EXPECT_EQ(job.TotalBytes(), 5000050);
  const auto reads = parser->Reads();
  ASSERT_EQ(reads.size(), 4u);
  EXPECT_EQ(reads[0], (std::pair<std::int64_t, std::uint32_t>{0, 2097152}));
  EXPECT_EQ(reads[1], (std::pair<std::int64_t, std::uint32_t>{2097152, 2097152}));
  EXPECT_EQ(reads[2], (std::pair<std::int64_t, std::uint32_t>{4194304, 805696}));
  EXPECT_EQ(reads[3], (std::pair<std::int64_t, std::uint32_t>{0, 50}));
  // The tiny file's only chunk is at 0 %: no division by its size / 100.
  EXPECT_EQ(Percents(), (std::vector<std::int64_t>{0, 41, 83, 0}));
  EXPECT_EQ(ReadFile(out + "/big.bin"), Bytes(kMB, 5000000));
  EXPECT_EQ(ReadFile(out + "/tiny.txt"), Bytes(9 * kMB + 3, 50));
  EXPECT_EQ(job.SuccessCount(), 2);
  EXPECT_EQ(job.CurrentIndex(), 2);
  EXPECT_EQ(job.CurrentPercent(), 100);
  EXPECT_EQ(flag.load(), 0);


  EXPECT_TRUE(Logged(u"Recovery started."));
  EXPECT_TRUE(Logged(u"FileRecovery: Recovering file: big.bin [from '' to '" + Utf8ToUtf16(out) + u"/']"));
  EXPECT_TRUE(Logged(u"Recovery completed."));
  EXPECT_FALSE(Logged(u"Recovery aborted."));
}

TEST_F(RecoveryThreads, WithoutAParserRawSectorsAreCopiedByteForByte) {
  auto raw = MakeVolume(Utf8ToUtf16(dir / "raw.dsk"));
  FoundObject* o = Add(7, 0, u"raw.bin", 4096 + 100, 3000000, 0, raw.get());
  ASSERT_TRUE(job.SetSelection(raw, {o}));
  ASSERT_TRUE(job.StartRecovery());
  job.Join();
  EXPECT_EQ(ReadFile(out + "/raw.bin"), Bytes(4196, 3000000));
  EXPECT_EQ(job.SuccessCount(), 1);
}

TEST_F(RecoveryThreads, ASizeOfZeroWritesNoFile) {
  FoundObject* empty = Add(7, 0, u"empty.txt", kMB, 0);
  Run({empty});
  EXPECT_TRUE(Tree(out).empty());
  EXPECT_TRUE(Logged(u"ERR: CRecovery::FileRecovery of '" + Utf8ToUtf16(out) + u"/empty.txt' failed because file size == 0"));
  EXPECT_EQ(job.SuccessCount(), 0);
}

TEST_F(RecoveryThreads, AShortReadIsZeroFilledAndLaterChunksKeepTheirOffsets) {
  parser->shortAt = 2097152;
  parser->shortBytes = 1000;
  FoundObject* o = Add(7, 0, u"big.bin", kMB, 5000000);
  Run({o});
  std::vector<std::uint8_t> expected = Bytes(kMB, 5000000);
  std::fill(expected.begin() + 2097152 + 1000, expected.begin() + 4194304, 0);
  EXPECT_EQ(ReadFile(out + "/big.bin"), expected);
  EXPECT_TRUE(Logged(u"ERR: CRecovery::FileRecovery.ReadError: ReadedSize = 1000, ReqSize = 2097152"));
}

TEST_F(RecoveryThreads, AFailedWriteIsNotCountedAndTheNextObjectGoesOn) {
  // The file system takes 3,000,000 bytes per file: the second chunk is cut.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = old;
  limited.rlim_cur = 3000000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  FoundObject* big = Add(7, 0, u"big.bin", kMB, 5000000);
  FoundObject* small = Add(8, 0, u"small.bin", 0, 1000);
  Run({big, small});
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(job.SuccessCount(), 1);
  EXPECT_TRUE(Logged(u"ERR: CRecovery::FileRecovery.WriteError: WritedSize = 902848, ReqSize = 2097152"));
  EXPECT_TRUE(Logged(u"ERR: FileRecovery: Write system error " + Utf8ToUtf16(std::to_string(EFBIG))));
  EXPECT_EQ(ReadFile(out + "/small.bin"), Bytes(0, 1000));

  // A file of which nothing could be written is not left behind empty.
  CRecovery second;
  second.SetRunFlag(&flag);
  limited.rlim_cur = 0;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  FoundObject* none = Add(9, 0, u"none.bin", 0, 1000);
  Run({none}, second);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(second.SuccessCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(out + "/none.bin"));
}

TEST_F(RecoveryThreads, ModeOneTakesTheTypicalSizeOfTheObjectsOwnType) {
  const FileType* jpeg = Types().FindById(83);
  const FileType* excel = TypeNamed(u"Microsoft Excel Document");
  const FileType* access = TypeNamed(u"Microsoft Access Database");
  ASSERT_TRUE(jpeg && excel && access);
  ASSERT_EQ(excel->typeId(), access->typeId());  // two types that share id 501
  {
    auto lock = Types().LockForEdit();
    const_cast<FileType*>(excel)->SetTypicalSizeKB(77);
    const_cast<FileType*>(access)->SetTypicalSizeKB(5);
  }
  struct Case {
    const FileType* type;
    std::int64_t offset;
    std::int64_t size;
  } cases[] = {{jpeg, kMB, 1048576}, {excel, 3 * kMB, 77 * 1024}, {access, 5 * kMB, 5 * 1024}};
  std::vector<FoundObject*> objects;
  for (const Case& c : cases) objects.push_back(Carved(c.offset, c.type));
  // A size the format or the probe gave stays.
  FoundObject* known = Carved(7 * kMB, jpeg);
  known->size = 3000;
  job.SetSizeMode(1);
  Run({objects[0], objects[1], objects[2], known});
  EXPECT_EQ(known->size, 3000);
  EXPECT_EQ(ReadFile(out + "/" + Utf16ToUtf8(known->Name())), Bytes(7 * kMB, 3000));
  EXPECT_TRUE(answers.Asked().empty());
  for (std::size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(objects[i]->size, cases[i].size);
    EXPECT_EQ(ReadFile(out + "/" + Utf16ToUtf8(objects[i]->Name())), Bytes(cases[i].offset, cases[i].size));
  }
  EXPECT_EQ(job.SuccessCount(), 4);
}

TEST_F(RecoveryThreads, ModeThreeForAllRemainingAsksOnce) {
  const FileType* jpeg = Types().FindById(83);
  const FileType* pdf = Types().FindByExtension(u"PDF");
  ASSERT_TRUE(jpeg && pdf);
  FoundObject* a = Carved(1 * kMB, jpeg);
  Carved(2 * kMB, pdf);
  FoundObject* b = Carved(3 * kMB, jpeg);
  FoundObject* c = Carved(6 * kMB, jpeg);
  volume->Store().EnableOffsetIndex(1);
  answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Ok, {3, 2, 0}, {}});
  Run({a, b, c});

  const auto asked = answers.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, QuestionKind::ProbableFileSize);
  EXPECT_EQ(asked[0].detail, a->Name());
  EXPECT_EQ(asked[0].text, jpeg->DisplayName());
  EXPECT_EQ(asked[0].values, (std::vector<std::int64_t>{kMB, -1, 1, 1024, kMB, 2 * kMB, 83}));
  EXPECT_EQ(a->size, 2 * kMB);
  EXPECT_EQ(b->size, 3 * kMB);
  EXPECT_EQ(c->size, kMB);  // no later JPEG: the typical size
  EXPECT_EQ(job.SizeMode(), 3);
  EXPECT_EQ(ReadFile(out + "/" + Utf16ToUtf8(b->Name())), Bytes(3 * kMB, 3 * kMB));
}

TEST_F(RecoveryThreads, ModeTwoMeasuresToTheNextGreaterOffset) {
  const FileType* jpeg = Types().FindById(83);
  const FileType* pdf = Types().FindByExtension(u"PDF");
  FoundObject* a = Carved(kMB, jpeg);
  Carved(kMB, pdf);  // a second hit at the same offset
  Carved(kMB + 512 * 1024, pdf);
  volume->Store().EnableOffsetIndex(1);
  job.SetSizeMode(2);
  Run({a});
  EXPECT_EQ(a->size, 512 * 1024);
  EXPECT_EQ(ReadFile(out + "/" + Utf16ToUtf8(a->Name())).size(), 512u * 1024);
}

TEST_F(RecoveryThreads, AStartSwitchesTheOffsetIndexOnForModesTwoAndThree) {
  // A store as a file-system pass leaves it: no offset index, so without the
  // switch mode 2 would fall back to the typical size (1 MB) in silence.
  const FileType* jpeg = Types().FindById(83);
  const FileType* pdf = Types().FindByExtension(u"PDF");
  FoundObject* a = Carved(kMB, jpeg);
  Carved(kMB + 300 * 1024, pdf);
  ASSERT_FALSE(volume->Store().KeepsOffsetIndex());
  job.SetSizeMode(2);
  Run({a});
  EXPECT_TRUE(volume->Store().KeepsOffsetIndex());
  EXPECT_EQ(a->size, 300 * 1024);
  EXPECT_EQ(ReadFile(out + "/" + Utf16ToUtf8(a->Name())), Bytes(kMB, 300 * 1024));

  // The question for an object is built from the object's own store.
  auto second = MakeVolume(Utf8ToUtf16(dir / "second.dsk"));
  FoundObject* there = Add(40, 0, u"x.jpg", 6 * kMB, -1, OBJ_RAW | OBJ_DELETED, second.get());
  there->typeId = 83;
  Add(41, 0, u"y.bin", 6 * kMB + 4096, 10, 0, second.get());
  CRecovery::SwitchOnOffsetIndex(*second);
  const Question q = CRecovery::ProbableSizeQuestion(*second, second->Store().Snapshot(*there), &Types());
  EXPECT_EQ(q.kind, QuestionKind::ProbableFileSize);
  EXPECT_EQ(q.detail, u"x.jpg");
  EXPECT_EQ(q.text, jpeg->DisplayName());
  EXPECT_EQ(q.values, (std::vector<std::int64_t>{6 * kMB, -1, 1, 1024, 4096, -1, 83}));
}

TEST_F(RecoveryThreads, WithoutKeepFolderStructureEveryFileGoesIntoTheDestination) {
  FoundObject* docs = Folder(6, 0, u"Docs");
  FoundObject* old = Folder(9, 6, u"Old");
  FoundObject* a = Add(7, 6, u"letter.txt", 0, 100, OBJ_DELETED);
  FoundObject* b = Add(8, 9, u"letter.txt", 1000, 200, OBJ_DELETED);
  FoundObject* c = Add(10, 0, u"top.txt", 5000, 50);
  settings.SetKeepFolderStructure(0);
  Run({a, b, old, docs, c});
  EXPECT_EQ(Tree(out), (std::set<std::string>{"letter.txt", "letter (2).txt", "top.txt"}));
  EXPECT_EQ(ReadFile(out + "/letter.txt"), Bytes(0, 100));
  EXPECT_EQ(ReadFile(out + "/letter (2).txt"), Bytes(1000, 200));
  EXPECT_TRUE(Logged(u"FileRecovery: Recovering file: letter.txt [from 'Docs/Old/' to '" + Utf8ToUtf16(out) +
                     u"/']"));
  EXPECT_EQ(job.SuccessCount(), 3);

  // On (the default): the folder paths are recreated.
  std::filesystem::remove_all(out);
  settings.SetKeepFolderStructure(1);
  Run({a, b, old, docs, c});
  EXPECT_EQ(Tree(out), (std::set<std::string>{"Docs", "Docs/letter.txt", "Docs/Old", "Docs/Old/letter.txt",
                                              "top.txt"}));
  EXPECT_EQ(ReadFile(out + "/Docs/Old/letter.txt"), Bytes(1000, 200));
}

TEST_F(RecoveryThreads, TheSizeRuleIsCallableWithoutAJobAndGivesWhatTheRecoverySettles) {
  const FileType* jpeg = Types().FindById(83);
  const FileType* pdf = Types().FindByExtension(u"PDF");
  ASSERT_TRUE(jpeg && pdf);
  FoundObject* a = Carved(kMB, jpeg);
  Carved(2 * kMB, pdf);
  Carved(5 * kMB, jpeg);
  FoundObject* last = Carved(9 * kMB, jpeg);
  FoundObject* untyped = Add(7, 0, u"plain.bin", 11 * kMB, -1, OBJ_RAW);
  volume->Store().EnableOffsetIndex(1);
  struct Case {
    FoundObject* object;
    std::int32_t mode;
    std::int64_t custom;
    std::int64_t size;
  } cases[] = {
      {a, 1, 0, 1048576},        {a, 2, 0, kMB},          {a, 3, 0, 4 * kMB},      {a, 4, 12345, 12345},
      {last, 2, 0, 2 * kMB},     {last, 3, 0, 1048576},   // no later JPEG: mode 1
      {untyped, 1, 0, -1},       {untyped, 2, 0, -1},     {a, 0, 0, -1},           {a, 4, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.object->offset << " mode " << c.mode);
    EXPECT_EQ(CRecovery::SizeByMode(*volume, volume->Store().Snapshot(*c.object), c.mode, c.custom, &Types()),
              c.size);
  }
  // What the job settles for the same object and mode is the same size.
  job.SetSizeMode(3);
  Run({a});
  EXPECT_EQ(a->size, 4 * kMB);
}

TEST_F(RecoveryThreads, TheSizeQuestionRemembersATypeAndSkipsOrCancelsOneFile) {
  const FileType* jpeg = Types().FindById(83);
  const FileType* pdf = Types().FindByExtension(u"PDF");
  FoundObject* a = Carved(1 * kMB, jpeg);
  FoundObject* b = Carved(2 * kMB, jpeg);
  FoundObject* c = Carved(3 * kMB, pdf);
  FoundObject* d = Carved(4 * kMB, pdf);
  // A: a custom 3,000 bytes for all JPEGs (the type's typical size becomes 3 KB,
  // rounded up so that no byte asked for is cut); B then asks nothing; C is
  // skipped; D is cancelled.
  answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Ok, {4, 1, 3000}, {}});
  answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Ignore, {}, {}});
  answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Cancel, {}, {}});
  Run({a, b, c, d});
  EXPECT_EQ(answers.Asked().size(), 3u);
  EXPECT_EQ(a->size, 3000);
  EXPECT_EQ(b->size, 3072);
  EXPECT_EQ(jpeg->rememberedSizeMode.load(), 4);
  EXPECT_EQ(jpeg->typicalSizeKB(), 3);
  EXPECT_EQ(c->size, -1);
  EXPECT_TRUE(Logged(u"ERR: FileRecovery: File '" + std::u16string(c->Name()) + u"' recovery skipped"));
  EXPECT_TRUE(Logged(u"ERR: FileRecovery: File '" + std::u16string(d->Name()) + u"' recovery cancelled"));
  EXPECT_EQ(job.SuccessCount(), 2);
  EXPECT_EQ(Tree(out).size(), 2u);
}

TEST_F(RecoveryThreads, ACustomSizeUnder1KBKeptForLaterFilesIsRoundedUp) {
  const FileType* jpeg = Types().FindById(83);
  FoundObject* a = Carved(1 * kMB, jpeg);
  FoundObject* b = Carved(2 * kMB, jpeg);
  answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Ok, {4, 2, 500}, {}});
  Run({a, b});
  EXPECT_EQ(answers.Asked().size(), 1u);
  EXPECT_EQ(a->size, 500);
  EXPECT_EQ(b->size, 1024);
  EXPECT_EQ(job.SizeKB(), 1);
  EXPECT_EQ(ReadFile(out + "/" + Utf16ToUtf8(b->Name())), Bytes(2 * kMB, 1024));
  EXPECT_EQ(job.SuccessCount(), 2);
}

TEST_F(RecoveryThreads, SizesFromKilobytesDoNotWrapAt2GB) {
  FoundObject* o = Carved(kMB, Types().FindById(83));
  parser->onRead = [this](std::int64_t) { job.StopRecovery(); };
  job.SetSizeMode(4, 2 * 1024 * 1024);  // 2 GB in KB
  Run({o});
  EXPECT_EQ(o->size, 2147483648LL);
  EXPECT_EQ(job.SuccessCount(), 0);
}

TEST_F(RecoveryThreads, ADestinationOnTheSourceAsksForAnotherFolder) {
  const std::string other = dir / "other";
  job.SetDestinationMatcher([&](const std::string& folder, const CVolume&) {
    return folder.rfind(out, 0) == 0 ? DeviceMatch::Same : DeviceMatch::Different;
  });
  FoundObject* o = Add(7, 0, u"a.txt", 0, 100);

  answers.Script(QuestionKind::DestinationOnSource, Reply{Answer::Ok, {}, Utf8ToUtf16(other)});
  Run({o});
  ASSERT_EQ(answers.Asked().size(), 1u);
  EXPECT_EQ(answers.Asked()[0].kind, QuestionKind::DestinationOnSource);
  EXPECT_EQ(answers.Asked()[0].detail, Utf8ToUtf16(out));
  EXPECT_EQ(answers.Asked()[0].buttons, Buttons::OkCancel);
  EXPECT_EQ(ReadFile(other + "/a.txt"), Bytes(0, 100));
  EXPECT_EQ(job.Destination(), Utf8ToUtf16(other));

  answers.Script(QuestionKind::DestinationOnSource, Answer::Cancel);
  const std::size_t before = LoggedCount(u"Recovery completed.");
  Run({o});
  EXPECT_EQ(LoggedCount(u"Recovery completed."), before + 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(job.SuccessCount(), 0);
}

TEST_F(RecoveryThreads, ADestinationWhoseDriveIsUnknownAsksFirst) {
  // The device comparison itself: a source that can't be found can't be told apart.
  auto gone = MakeVolume(u"/dev/no-such-disk-here", false);
  FoundObject* o = Add(7, 0, u"a.txt", 0, 100, 0, gone.get());
  for (Answer a : {Answer::No, Answer::Yes}) {
    answers.Script(QuestionKind::DestinationUnknown, a);
    ASSERT_TRUE(job.SetSelection(gone, {o}));
    ASSERT_TRUE(job.StartRecovery());
    job.Join();
    EXPECT_EQ(std::filesystem::exists(out + "/a.txt"), a == Answer::Yes);
  }
  EXPECT_EQ(answers.Asked().size(), 2u);
  EXPECT_EQ(answers.Asked()[1].kind, QuestionKind::DestinationUnknown);
}

TEST_F(RecoveryThreads, NamesFromTheDiskAndPlantedLinksStayInsideTheDestination) {
  const std::string elsewhere = dir / "elsewhere";
  std::filesystem::create_directories(out);
  std::filesystem::create_directories(elsewhere);
  ASSERT_EQ(symlink(elsewhere.c_str(), (out + "/DCIM").c_str()), 0);
  const auto topBefore = Tree(dir.path());

  FoundObject* dots = Folder(5, 0, u"..");
  FoundObject* dcim = Folder(6, 0, u"DCIM");
  FoundObject* empty = Folder(9, 0, u"Empty");
  const std::u16string longName = std::u16string(296, u'n') + u".jpg";
  std::vector<FoundObject*> objects = {
      Add(10, 5, u"../x", 0, 10),        Add(11, 0, u"a/b", 100, 10),  Add(12, 0, u"back\\slash", 200, 10),
      Add(13, 0, longName, 300, 10),     Add(14, 6, u"photo.jpg", 400, 10), dots, dcim, empty,
  };
  Run(objects);

  EXPECT_TRUE(Tree(elsewhere).empty());
  // Nothing new outside the destination.
  auto outside = [](std::set<std::string> paths) {
    std::erase_if(paths, [](const std::string& p) { return p.rfind("out/", 0) == 0; });
    return paths;
  };
  EXPECT_EQ(outside(Tree(dir.path())), outside(topBefore));
  const std::string cut = std::string(251, 'n') + ".jpg";
  EXPECT_EQ(Tree(out), (std::set<std::string>{"__", "__/.._x", "a_b", "back_slash", cut, "DCIM", "DCIM (2)",
                                              "DCIM (2)/photo.jpg", "Empty"}));
  EXPECT_TRUE(std::filesystem::is_directory(out + "/Empty"));
  EXPECT_EQ(ReadFile(out + "/DCIM (2)/photo.jpg"), Bytes(400, 10));
  EXPECT_EQ(job.SuccessCount(), 5);
}

TEST_F(RecoveryThreads, SameNamesAndExistingFilesTakeTheNextFreeName) {
  std::filesystem::create_directories(out);
  std::ofstream(out + "/photo.jpg") << "mine";
  FoundObject* first = Add(7, 0, u"photo.jpg", 0, 100, OBJ_DELETED);
  FoundObject* second = Add(8, 0, u"photo.jpg", 1000, 100, OBJ_DELETED);
  Run({first, second});
  EXPECT_EQ(ReadFile(out + "/photo.jpg"), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(ReadFile(out + "/photo (2).jpg"), Bytes(0, 100));
  EXPECT_EQ(ReadFile(out + "/photo (3).jpg"), Bytes(1000, 100));
  // Information, with the name that was used: no error.
  EXPECT_EQ(LoggedCount(u"ERR: File: "), 0u);
  EXPECT_EQ(LoggedCount(u"File: " + Utf8ToUtf16(out) + u"/photo.jpg exists"), 2u);
  EXPECT_EQ(LoggedCount(u"FileRecovery: The file is saved as '" + Utf8ToUtf16(out) + u"/photo (2).jpg'"), 1u);
  EXPECT_EQ(LoggedCount(u"FileRecovery: The file is saved as '" + Utf8ToUtf16(out) + u"/photo (3).jpg'"), 1u);
  EXPECT_EQ(job.SuccessCount(), 2);
}

TEST_F(RecoveryThreads, AStopInMidFileEndsTheJobWithoutCountingTheFile) {
  parser->onRead = [this](std::int64_t position) {
    if (position == 2097152) job.StopRecovery();
  };
  FoundObject* big = Add(7, 0, u"big.bin", kMB, 5000000);
  FoundObject* next = Add(8, 0, u"next.bin", 0, 100);
  Run({big, next});
  EXPECT_FALSE(job.IsThreadAlive());
  EXPECT_EQ(job.SuccessCount(), 0);
  EXPECT_EQ(ReadFile(out + "/big.bin").size(), 4194304u);
  EXPECT_FALSE(std::filesystem::exists(out + "/next.bin"));
  EXPECT_TRUE(Logged(u"Recovery aborted."));
  EXPECT_TRUE(Logged(u"Recovery completed."));
}

TEST_F(RecoveryThreads, AStopWhileTheSizeQuestionIsOpenAnswersCancel) {
  FoundObject* o = Carved(kMB, Types().FindById(83));
  answers.HoldAnswers(true);
  ASSERT_TRUE(job.SetSelection(volume, {o}));
  ASSERT_TRUE(job.StartRecovery());
  ASSERT_TRUE(WaitFor([&] { return answers.Asked().size() == 1; }));

  // The worker runs at the lowest priority.
  const auto nice = ThreadNiceValues();
  EXPECT_NE(std::find(nice.begin(), nice.end(), 19), nice.end());
  // No second job while this thread is alive: not this one, not the other kind.
  CRecovery other(CRecovery::Kind::TryOpen);
  other.SetRunFlag(&flag);
  ASSERT_TRUE(other.SetSelection(volume, {o}));
  EXPECT_FALSE(other.StartTryOpen());
  EXPECT_FALSE(job.StartRecovery());

  // The open question is marked withdrawn once the job stops waiting for it.
  EXPECT_FALSE(answers.Asked()[0].Withdrawn());
  job.StopRecovery();
  EXPECT_TRUE(job.KillThread(std::chrono::seconds(5)));
  EXPECT_TRUE(answers.Asked()[0].Withdrawn());
  answers.Release();
  EXPECT_TRUE(Logged(u"recovery cancelled"));
  EXPECT_TRUE(Logged(u"Recovery aborted."));
  EXPECT_TRUE(Tree(out).empty());
  // A new job starts once the old thread has ended.
  answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Ok, {4, 0, 10}, {}});
  Run({o});
  EXPECT_EQ(job.SuccessCount(), 1);
}

TEST_F(RecoveryThreads, TryToOpenCopiesIntoAPrivateFolderOpensItAndDeletesOnYes) {
  CRecovery open(CRecovery::Kind::TryOpen);
  open.SetRunFlag(&flag);
  FoundObject* folder = Folder(6, 0, u"Docs");
  FoundObject* o = Add(7, 6, u"letter.doc", 2 * kMB, 3000);
  (void)folder;
  Run({o}, open);

  ASSERT_EQ(answers.Opened().size(), 1u);
  const std::string opened = answers.Opened()[0];
  const std::string privateFolder = Utf16ToUtf8(open.Destination());
  EXPECT_EQ(privateFolder.rfind(dir / "tmp/vandrel-open-", 0), 0u);
  EXPECT_EQ(opened, privateFolder + "/Docs/letter.doc");
  struct stat st{};
  ASSERT_EQ(stat(privateFolder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ReadFile(opened), Bytes(2 * kMB, 3000));
  EXPECT_TRUE(Logged(u"File '" + Utf8ToUtf16(opened) + u"'  opened successfully"));
  EXPECT_FALSE(std::filesystem::exists(out));

  // Nothing can open it: logged; the copy is still listed.
  answers.SetOpenResult(false);
  Run({o}, open);
  EXPECT_TRUE(Logged(u"No application associated with this file"));
  EXPECT_EQ(open.TemporaryFiles().size(), 2u);

  answers.Script(QuestionKind::DeleteTemporaryFiles, Answer::No);
  EXPECT_EQ(open.DeleteTemporaryFiles(), 1);
  EXPECT_TRUE(std::filesystem::exists(opened));
  answers.Script(QuestionKind::DeleteTemporaryFiles, Answer::Yes);
  EXPECT_EQ(open.DeleteTemporaryFiles(), 1);
  EXPECT_FALSE(std::filesystem::exists(opened));
  EXPECT_FALSE(std::filesystem::exists(privateFolder));
  const auto asked = answers.Asked();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].kind, QuestionKind::DeleteTemporaryFiles);
  EXPECT_EQ(asked[1].text, u"Delete temporary files?");
  EXPECT_EQ(asked[1].values, (std::vector<std::int64_t>{2}));
  // Nothing left to delete: no question.
  EXPECT_EQ(open.DeleteTemporaryFiles(), 1);
  EXPECT_EQ(answers.Asked().size(), 2u);
}

TEST_F(RecoveryThreads, ASelectionAcrossVolumesOrAnEmptyOneIsRefused) {
  auto second = MakeVolume(Utf8ToUtf16(dir / "second.dsk"));
  FoundObject* a = Add(7, 0, u"a.txt", 0, 10);
  FoundObject* b = Add(7, 0, u"b.txt", 0, 10, 0, second.get());
  EXPECT_FALSE(job.SetSelection(std::vector<CRecovery::SelectedObject>{{volume, a}, {second, b}}));
  EXPECT_EQ(answers.Messages().size(), 1u);
  EXPECT_FALSE(job.StartRecovery());
  EXPECT_TRUE(Logged(u"ERR: Recovery list is empty!"));
  ASSERT_TRUE(job.SetSelection(std::vector<CRecovery::SelectedObject>{{second, b}}));
  EXPECT_EQ(job.SourceVolume(), second);
  ASSERT_TRUE(job.StartRecovery());
  job.Join();
  EXPECT_EQ(ReadFile(out + "/b.txt"), Bytes(0, 10));
}

TEST(RecoverySums, UnknownSizesAndFoldersCountNothing) {
  std::vector<FoundObject> records(5);
  const std::int64_t sizes[] = {5000000, -1, 0, 4096, 50};
  for (std::size_t i = 0; i < records.size(); ++i) records[i].size = sizes[i];
  records[3].flags = OBJ_FOLDER;
  std::vector<FoundObject*> objects;
  for (FoundObject& r : records) objects.push_back(&r);
  EXPECT_EQ(CRecovery::SumSelection(objects), 5000050);
  // Sizes past 2 GB add up in 64 bits.
  records[0].size = 3221225472LL;
  EXPECT_EQ(CRecovery::SumSelection(objects), 3221225522LL);
}

TEST_F(RecoveryThreads, TryToOpenNeverCopiesOntoTheDriveBeingRead) {
  // The temporary folder lies on the source drive; the user's runtime folder does not.
  const std::string runtime = dir / "runtime";
  std::filesystem::create_directories(runtime);
  const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = oldRuntime ? oldRuntime : "";
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  CRecovery open(CRecovery::Kind::TryOpen);
  open.SetRunFlag(&flag);
  bool everywhere = false;  // the source holds every folder
  open.SetDestinationMatcher([&](const std::string& folder, const CVolume&) {
    return everywhere || folder.rfind(dir / "tmp", 0) == 0 ? DeviceMatch::Same : DeviceMatch::Different;
  });
  FoundObject* o = Add(7, 0, u"letter.doc", 2 * kMB, 3000);
  Run({o}, open);
  ASSERT_EQ(answers.Opened().size(), 1u);
  EXPECT_EQ(answers.Opened()[0].rfind(runtime + "/vandrel-open-", 0), 0u);
  EXPECT_TRUE(answers.Asked().empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "tmp"));
  EXPECT_TRUE(Logged(u"lies on the drive being read: the copies go to"));
  answers.Script(QuestionKind::DeleteTemporaryFiles, Answer::Yes);
  EXPECT_EQ(open.DeleteTemporaryFiles(), 1);

  // No folder off the source: the command says so (the destination question), and a
  // Cancel copies nothing.
  everywhere = true;
  answers.Script(QuestionKind::DestinationOnSource, Answer::Cancel);
  CRecovery again(CRecovery::Kind::TryOpen);
  again.SetRunFlag(&flag);
  again.SetDestinationMatcher([&](const std::string&, const CVolume&) { return DeviceMatch::Same; });
  const std::size_t asked = answers.Asked().size();
  Run({o}, again);
  ASSERT_EQ(answers.Asked().size(), asked + 1);
  EXPECT_EQ(answers.Asked().back().kind, QuestionKind::DestinationOnSource);
  EXPECT_EQ(answers.Opened().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir / "tmp"));
  setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  if (saved.empty()) unsetenv("XDG_RUNTIME_DIR");
}
