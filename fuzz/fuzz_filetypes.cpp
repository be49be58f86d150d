// Fuzzes the type blob as it comes from other people: as a blob, as stored registry
// values loaded into a database, and as a .filesig file imported into one. Whatever
// loads is matched against candidates of every length and serialised again, which
// must give back exactly the bytes it was loaded from.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"

namespace {

using platform::Bytes;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

// A private folder for the registry file and the .filesig file.
const std::string& WorkDir() {
  static const std::string dir = [] {
    // tmpfs when there is one: the registry store syncs every save to disk.
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::string templ = std::string(base) + "/fuzz-filetypes-XXXXXX";
      if (!mkdtemp(templ.data())) continue;
      // A file where a folder should be: a store below it can never be written.
      platform::WriteWholeFile(templ + "/not-a-folder", {});
      static std::string made;
      made = templ;
      std::atexit([] { std::filesystem::remove_all(made); });
      return templ;
    }
    std::abort();
  }();
  return dir;
}

// Candidates cut exactly at their end, so that any read past it is caught.
void MatchEverywhere(const FileType& type, Bytes data) {
  static const std::vector<std::uint8_t> zeros(1024, 0);
  type.Match(zeros);
  type.Match(Bytes(zeros).first(0));
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[data.size() + 1]);
  if (!data.empty()) std::memcpy(copy.get(), data.data(), data.size());
  Bytes exact(copy.get(), data.size());
  const std::size_t step = data.size() > 64 ? data.size() / 64 : 1;
  for (std::size_t pos = 0; pos <= data.size(); pos += step) type.Match(exact, pos);
  type.Match(exact, data.size());
  for (std::size_t i = 0; i < type.GetSignatureCount(); ++i) {
    const Signature& s = type.GetSignature(i);
    for (const SignaturePattern& p : s.Patterns()) {
      std::int32_t offset;
      Bytes fixed;
      if (p.FixedBytes(offset, fixed)) Check(fixed.size() <= p.size(), "fixed bytes inside the pattern");
    }
  }
}

void RoundTrip(const FileType& type, Bytes data) {
  std::vector<std::uint8_t> out = type.Serialize();
  Check(out.size() == type.SerializedSize(), "serialised size");
  Check(out.size() <= data.size() && std::memcmp(out.data(), data.data(), out.size()) == 0,
        "a loaded blob serialises to the bytes it came from");
  auto again = FileType::FromBlob(out);
  Check(again != nullptr, "a serialised type loads again");
  Check(again->Serialize() == out, "second round trip");
}

// The default groups as stored values: name and blob.
const std::vector<std::pair<std::u16string, std::vector<std::uint8_t>>>& GroupValues() {
  static const auto values = [] {
    FileTypeDatabase d;
    d.CreateDefaultGroups();
    std::vector<std::pair<std::u16string, std::vector<std::uint8_t>>> out;
    for (const FileTypeGroup* g : d.Groups()) out.emplace_back(g->RegistryValueName(), g->Serialize());
    return out;
  }();
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The log keeps every line for the run: one log per input.
  ProgramLog log;
  g_Log = &log;
  const std::string sigPath = WorkDir() + "/input.filesig";
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size + 1]);
  if (size) std::memcpy(copy.get(), bytes, size);
  const Bytes data(copy.get(), size);

  // 1. The blob itself.
  std::u16string why;
  if (auto type = FileType::FromBlob(data, &why)) {
    RoundTrip(*type, data);
    MatchEverywhere(*type, data);
    FileType header;
    Check(header.CopyHeader(data), "a loadable blob has a header");
    Check(header.Serialize().size() == FileType::kHeaderSize, "a header without signatures");
  } else {
    Check(!why.empty(), "a refused blob has a reason");
  }

  const std::u16string groupsKey = std::u16string(kProgramKey) + u"\\Groups";
  const std::u16string typesKey = std::u16string(kProgramKey) + u"\\File Types";
  {
    // 2. A start that finds the default groups and the PDF type stored, with the input
    // as a group and as two types (whole, and from its first signature on). The store
    // keeps every value in memory and can never write its file, so a second database
    // on it reads exactly what the first one saved.
    static const auto builtins = MakeBuiltinFileTypes();
    platform::RegistryStore store(WorkDir() + "/not-a-folder/registry.reg");
    for (const auto& [name, blob] : GroupValues()) store.SetBinary(groupsKey, name, blob);
    store.SetBinary(groupsKey, u"fuzzed group", data);
    store.SetBinary(typesKey, builtins[0]->RegistryValueName(), builtins[0]->Serialize());
    store.SetBinary(typesKey, u"fuzzed type", data);
    store.SetBinary(typesKey, u"fuzzed tail", data.size() > 1956 ? data.subspan(1956) : data);
    FileTypeDatabase db;
    db.SetRegistry(&store);
    Check(db.LoadFileTypes(), "load");
    for (const FileType* t : db.Types()) MatchEverywhere(*t, data);
    FileTypeFacts facts;
    db.FindForObject(0, 0, u"x.pdf", false, facts);

    // 3. The input as a .filesig file imported into that database. The save that
    // ends the import fails, and says so.
    Check(platform::WriteWholeFile(sigPath, data), "write the signature file");
    const std::size_t before = db.TypeCount();
    ImportResult r = db.ImportSignatureFile(platform::Utf8ToUtf16(sigPath));
    Check(r.status == ImportStatus::Failed && !r.reason.empty(), "an import that is not saved fails with a reason");
    Check((r.failure == ImportFailure::NotSaved) == (r.type != nullptr), "only a type that was taken is unsaved");
    if (r.type) {
      MatchEverywhere(*r.type, data);
      if (db.TypeCount() > before) RoundTrip(*r.type, data);
      Check(db.FindForObject(r.type->key(), 0, {}, false) == r.type, "the imported type by key");
    }

    // 4. What is saved loads again: every type read back is one that was saved, byte
    // for byte (types that share one value name are saved once).
    Check(!db.SaveFileTypes(), "a store that cannot be written is not reported as saved");
    FileTypeDatabase again;
    again.SetRegistry(&store);
    Check(again.LoadFileTypes(), "reload");
    Check(again.TypeCount() <= db.TypeCount(), "no more types than were saved");
    std::vector<std::vector<std::uint8_t>> saved;
    for (const FileType* t : db.Types()) saved.push_back(t->Serialize());
    for (const FileType* t : again.Types()) {
      bool found = false;
      auto blob = t->Serialize();
      for (const auto& s : saved) found = found || s == blob;
      Check(found, "a type read back is one that was saved");
    }
  }
  g_Log = nullptr;
  return 0;
}
