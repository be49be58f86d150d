// The registry store's text form, as a user's registry.reg may hold it after an
// edit by hand or a crash half-way through a write. The input is two files: the
// store's file, and after the first form feed (0x0C) the file another instance
// writes meanwhile (without a form feed, the same file again).
//
// 1. The first file is loaded. A file that is not a registry file is moved aside
//    whole and the store starts empty; otherwise what was accepted is written out
//    and read again, and must come back entry for entry, in order, with nothing
//    added (what the reader refused is never written back as something else).
// 2. Changes are made (values of every type, with names and data from the input,
//    a value and a key deleted), the second file replaces the first on disk, and
//    the store saves: the result must be exactly the second file's entries with the
//    changes on top, in memory and when read again from disk.
//
// Seeds (fuzz/corpus/registry) are stores written by the program itself (see
// make_seeds.cpp): settings, filter and file types, strings that need escapes or
// the hex(1) form, a second instance's file after the form feed.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

namespace {

using platform::RegistryStore;
using platform::RegValue;

struct Entry {
  std::u16string key;  // the key's path from the root, "\"-separated
  bool isKey;          // a key line, or one of its values
  std::u16string name;
  RegValue value;
  bool operator==(const Entry&) const = default;
};

void DumpKey(const RegistryStore& store, const std::u16string& key, std::vector<Entry>& out, int depth) {
  fuzz::Check(depth < 10000, "keys nest without end");
  out.push_back({key, true, {}, {}});
  for (auto& [name, value] : store.EnumValues(key)) out.push_back({key, false, name, value});
  for (const std::u16string& sub : store.EnumSubkeys(key)) {
    fuzz::Check(!sub.empty() && sub.find(u'\\') == std::u16string::npos, "a key name is one path part");
    DumpKey(store, key.empty() ? sub : key + u"\\" + sub, out, depth + 1);
  }
}

std::vector<Entry> Dump(const RegistryStore& store) {
  std::vector<Entry> out;
  DumpKey(store, u"", out, 0);
  return out;
}

bool Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  return platform::WriteWholeFile(path, platform::Bytes(data, size));
}

std::vector<std::uint8_t> Read(const std::string& path) {
  std::vector<std::uint8_t> out;
  platform::ReadWholeFile(path, std::size_t(1) << 30, out);
  return out;
}

// The file moved aside for a file that is not a registry file: the first free of
// path.bad, path.bad.2, ...
std::string Aside(const std::string& path) {
  std::string aside;
  for (int n = 1; n < 1000; ++n) {
    const std::string candidate = n == 1 ? path + ".bad" : path + ".bad." + std::to_string(n);
    if (!std::filesystem::exists(candidate)) break;
    aside = candidate;
  }
  return aside;
}

// A name or text from the input: UTF-16 units, any of them in data (the store must
// keep unpaired surrogates and control characters there). Names are the program's
// own and written as UTF-8 on one line: none is made with a line break or a
// surrogate, which the layout cannot hold.
std::u16string Text(const std::uint8_t* data, std::size_t size, bool name) {
  std::u16string out;
  for (std::size_t i = 0; i + 1 < size && out.size() < 64; i += 2) {
    char16_t c = char16_t(data[i] | data[i + 1] << 8);
    if (name && (c == u'\n' || c == u'\\' || (c >= 0xD800 && c <= 0xDFFF))) c = u'_';
    out.push_back(c);
  }
  return out;
}

// The changes an instance makes: the same on every store they are applied to.
void Change(RegistryStore& store, const std::vector<Entry>& seen, const std::uint8_t* data, std::size_t size) {
  const std::size_t third = size / 3;
  const std::u16string name = Text(data, std::min<std::size_t>(third, 24), true);
  const std::u16string text = Text(data + third, third, false);
  store.SetBinary(u"Software\\Quenmar\\Digital Vandrel Professional\\5.0\\Filter", u"",
                  platform::Bytes(data, std::min<std::size_t>(size, 728)));
  store.SetString(u"Software\\Fuzz\\" + (name.empty() ? u"k" : name), name, text);
  store.SetDword(u"Software\\Fuzz", name + u"d", size);
  store.Set(u"Software\\Fuzz", u"copied", seen.size() > 1 ? seen[1].value : RegValue::Dword(1));
  if (!seen.empty()) {
    const Entry& victim = seen[size % seen.size()];
    if (victim.isKey) {
      if (!victim.key.empty()) store.DeleteKey(victim.key);
    } else {
      store.DeleteValue(victim.key, victim.name);
    }
  }
  store.CreateKey(u"Software\\Fuzz\\Empty");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (std::size_t(1) << 20)) return 0;
  const std::string dir = fuzz::FreshFolder("registry");
  const std::string path = dir + "/registry.reg";
  std::size_t split = 0;
  while (split < size && data[split] != 0x0C) ++split;
  const std::uint8_t* second = split < size ? data + split + 1 : data;
  const std::size_t secondSize = split < size ? size - split - 1 : size;

  // 1. Load; a refused file is kept whole beside; what was accepted survives a
  // write and a read unchanged.
  fuzz::Check(Write(path, data, split), "write the first file");
  RegistryStore store(path);
  std::vector<Entry> accepted = Dump(store);
  if (!std::filesystem::exists(path)) {
    const std::string aside = Aside(path);
    fuzz::Check(!aside.empty(), "a refused file is moved aside");
    fuzz::Check(Read(aside) == std::vector<std::uint8_t>(data, data + split), "the moved file holds every byte");
    fuzz::Check(accepted.size() == 1, "a refused file gives an empty store");
    std::filesystem::remove(aside);
  }
  const std::string text = store.Serialize();
  fuzz::Check(Write(dir + "/written.reg", reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
              "write the serialised store");
  {
    RegistryStore again(dir + "/written.reg");
    fuzz::Check(std::filesystem::exists(dir + "/written.reg"), "the store's own text is a registry file");
    fuzz::Check(Dump(again) == accepted, "what was accepted comes back entry for entry");
    fuzz::Check(again.Serialize() == text, "the text form is stable");
  }

  // 2. Changes, another instance's file, the merge.
  Change(store, accepted, data, size);
  fuzz::Check(Write(path, second, secondSize), "write the second file");
  fuzz::Check(Write(dir + "/other.reg", second, secondSize), "write the second file's copy");
  fuzz::Check(store.Save(), "the merge is saved");
  fuzz::Check(!store.HasPendingChanges(), "nothing pending after a save");
  RegistryStore expected(dir + "/other.reg");
  Change(expected, accepted, data, size);
  const std::vector<Entry> merged = Dump(store);
  fuzz::Check(merged == Dump(expected), "the merge is the other file's entries with the changes on top");
  RegistryStore reloaded(path);
  fuzz::Check(Dump(reloaded) == merged, "the merge reads back entry for entry");
  return 0;
}
