#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Diagnostics.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

namespace platform {

struct RegistryStore::Key {
  std::u16string name;
  std::vector<std::pair<std::u16string, RegValue>> values;
  std::vector<std::unique_ptr<Key>> subkeys;

  Key* Child(std::u16string_view n) const {
    for (auto& k : subkeys)
      if (EqualsNoCase(k->name, n)) return k.get();
    return nullptr;
  }
  Key* ChildOrNew(std::u16string_view n) {
    if (Key* k = Child(n)) return k;
    subkeys.push_back(std::make_unique<Key>());
    subkeys.back()->name = std::u16string(n);
    return subkeys.back().get();
  }
  RegValue* Value(std::u16string_view n) {
    for (auto& v : values)
      if (EqualsNoCase(v.first, n)) return &v.second;
    return nullptr;
  }
};

struct RegistryStore::Change {
  enum Op { CreateKey, DeleteKey, SetValue, DeleteValue } op;
  std::u16string key;
  std::u16string name;
  RegValue value;
};

namespace {

using Key = RegistryStore::Key;
using Change = RegistryStore::Change;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRootName = "HKEY_CURRENT_USER";

std::vector<std::u16string> SplitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

Key* FindKey(Key* root, std::u16string_view path) {
  Key* k = root;
  for (auto& part : SplitPath(path)) {
    k = k->Child(part);
    if (!k) return nullptr;
  }
  return k;
}

Key* MakeKey(Key* root, std::u16string_view path) {
  Key* k = root;
  for (auto& part : SplitPath(path)) k = k->ChildOrNew(part);
  return k;
}

bool RemoveKey(Key* root, std::u16string_view path) {
  auto parts = SplitPath(path);
  if (parts.empty()) return false;
  Key* parent = root;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    parent = parent->Child(parts[i]);
    if (!parent) return false;
  }
  for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
    if (EqualsNoCase((*it)->name, parts.back())) {
      parent->subkeys.erase(it);
      return true;
    }
  }
  return false;
}

void SetIn(Key* root, std::u16string_view path, std::u16string_view name, const RegValue& value) {
  Key* k = MakeKey(root, path);
  if (RegValue* v = k->Value(name)) {
    *v = value;
  } else {
    k->values.emplace_back(std::u16string(name), value);
  }
}

bool DeleteIn(Key* root, std::u16string_view path, std::u16string_view name) {
  Key* k = FindKey(root, path);
  if (!k) return false;
  for (auto it = k->values.begin(); it != k->values.end(); ++it) {
    if (EqualsNoCase(it->first, name)) {
      k->values.erase(it);
      return true;
    }
  }
  return false;
}

void Apply(Key* root, const Change& c) {
  switch (c.op) {
    case Change::CreateKey: MakeKey(root, c.key); break;
    case Change::DeleteKey: RemoveKey(root, c.key); break;
    case Change::SetValue: SetIn(root, c.key, c.name, c.value); break;
    case Change::DeleteValue: DeleteIn(root, c.key, c.name); break;
  }
}

// ---- writing ----

bool NeedsHexString(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < 0x20 || c == 0x7F) return true;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

std::string Quote(std::u16string_view s) {
  std::string out = "\"";
  for (char ch : Utf16ToUtf8(s)) {
    if (ch == '\\' || ch == '"') out.push_back('\\');
    // A line feed inside a name would end its line; it cannot be kept there. A
    // carriage return can: a closing quote always follows it on the line.
    out.push_back(ch == '\n' ? '?' : ch);
  }
  out.push_back('"');
  return out;
}

void AppendHex(std::string& out, std::size_t prefixLength, Bytes bytes) {
  static const char* digits = "0123456789abcdef";
  std::size_t column = prefixLength;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(digits[bytes[i] >> 4]);
    out.push_back(digits[bytes[i] & 15]);
    column += 2;
    if (i + 1 < bytes.size()) {
      out.push_back(',');
      ++column;
      if (column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
}

void WriteValue(std::string& out, const std::u16string& name, const RegValue& v) {
  std::string head = name.empty() ? std::string("@") : Quote(name);
  head += "=";
  switch (v.type) {
    case RegType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
      out += head + buf;
      break;
    }
    case RegType::String:
      if (NeedsHexString(v.string)) {
        head += "hex(1):";
        out += head;
        auto bytes = Utf16ToLE(v.string);
        bytes.push_back(0);
        bytes.push_back(0);
        AppendHex(out, head.size(), bytes);
      } else {
        out += head + Quote(v.string);
      }
      break;
    case RegType::Binary:
      head += "hex:";
      out += head;
      AppendHex(out, head.size(), v.binary);
      break;
  }
  out.push_back('\n');
}

void WriteKey(std::string& out, const Key& k, const std::string& path) {
  out += "[" + path + "]\n";
  for (auto& [name, value] : k.values) WriteValue(out, name, value);
  out += "\n";
  for (auto& sub : k.subkeys) WriteKey(out, *sub, path + "\\" + Utf16ToUtf8(sub->name));
}

std::string SerializeTree(const Key& root) {
  std::string out(kHeader);
  out += "\n\n";
  if (!root.values.empty()) {
    out += "[" + std::string(kRootName) + "]\n";
    for (auto& [name, value] : root.values) WriteValue(out, name, value);
    out += "\n";
  }
  for (auto& sub : root.subkeys) WriteKey(out, *sub, std::string(kRootName) + "\\" + Utf16ToUtf8(sub->name));
  return out;
}

// ---- reading ----

void Report(std::string_view path, std::size_t line, std::string_view what) {
  ReportDiagnostic(Format(u"Registry file %s, line %u: %s", std::string(path), static_cast<unsigned>(line),
                          std::string(what)));
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  ++pos;
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < s.size()) c = s[pos++];
    out.push_back(c);
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexBytes(std::string_view s, std::vector<std::uint8_t>& out) {
  std::size_t i = 0;
  auto skipSpace = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  };
  skipSpace();
  if (i == s.size()) return true;
  while (true) {
    skipSpace();
    if (i >= s.size()) return false;
    int hi = i < s.size() ? HexDigit(s[i]) : -1;
    int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
    if (hi < 0 || lo < 0) return false;
    out.push_back(std::uint8_t(hi * 16 + lo));
    i += 2;
    skipSpace();
    if (i == s.size()) return true;
    if (s[i] != ',') return false;
    ++i;
  }
}

bool ParseData(std::string_view data, RegValue& value, std::string& why) {
  if (!data.empty() && data[0] == '"') {
    std::size_t pos = 0;
    std::string text;
    if (!ParseQuoted(data, pos, text) || pos != data.size()) {
      why = "malformed string";
      return false;
    }
    value = RegValue::String(Utf8ToUtf16(text));
    return true;
  }
  if (data.substr(0, 6) == "dword:") {
    std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) {
      why = "malformed dword";
      return false;
    }
    std::uint32_t v = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) {
        why = "malformed dword";
        return false;
      }
      v = v * 16 + std::uint32_t(d);
    }
    value = RegValue::Dword(v);
    return true;
  }
  int kind = -1;
  std::string_view rest;
  if (data.substr(0, 4) == "hex:") {
    kind = 3;
    rest = data.substr(4);
  } else if (data.substr(0, 4) == "hex(") {
    std::size_t close = data.find("):");
    if (close != std::string_view::npos && close > 4 && close <= 6) {
      kind = 0;
      for (char c : data.substr(4, close - 4)) {
        int d = HexDigit(c);
        if (d < 0) {
          kind = -1;
          break;
        }
        kind = kind * 16 + d;
      }
      rest = data.substr(close + 2);
    }
  }
  if (kind < 0) {
    why = "unknown value type";
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!ParseHexBytes(rest, bytes)) {
    why = "malformed hex data";
    return false;
  }
  if (kind == 3) {
    value = RegValue::Binary(bytes);
  } else if (kind == 1) {
    std::u16string s = Utf16FromLE(bytes);
    if (!s.empty() && s.back() == 0) s.pop_back();
    value = RegValue::String(s);
  } else if (kind == 4 && bytes.size() == 4) {
    value = RegValue::Dword(std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
                            std::uint32_t(bytes[3]) << 24);
  } else {
    why = "unsupported value type";
    return false;
  }
  return true;
}

// Parses the file's text into `root`; false when it is not a registry file at all.
bool ParseTree(std::string_view text, Key& root, const std::string& path) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Logical lines: physical lines joined where a line ends in a backslash.
  std::vector<std::pair<std::string, std::size_t>> lines;
  std::size_t lineNo = 0;
  std::string pending;
  std::size_t pendingStart = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNo;
    if (pending.empty()) pendingStart = lineNo;
    std::string_view trimmed = line;
    if (!pending.empty())
      while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
    bool continues = !trimmed.empty() && trimmed.back() == '\\' && (trimmed.find("=hex") != std::string_view::npos ||
                                                                     !pending.empty());
    if (continues) {
      pending.append(trimmed.substr(0, trimmed.size() - 1));
    } else {
      pending.append(trimmed);
      lines.emplace_back(std::move(pending), pendingStart);
      pending.clear();
    }
    if (end == text.size()) break;
    pos = end + 1;
  }
  if (!pending.empty()) lines.emplace_back(std::move(pending), pendingStart);

  std::size_t first = 0;
  while (first < lines.size() && lines[first].first.find_first_not_of(" \t") == std::string::npos) ++first;
  if (first == lines.size() || lines[first].first != kHeader) return false;

  Key* current = nullptr;
  for (std::size_t i = first + 1; i < lines.size(); ++i) {
    const std::string& line = lines[i].first;
    std::size_t no = lines[i].second;
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t close = line.rfind(']');
      std::string name = close == std::string::npos ? std::string() : line.substr(1, close - 1);
      if (close == std::string::npos || line.find_first_not_of(" \t", close + 1) != std::string::npos) {
        Report(path, no, "malformed key line skipped");
        current = nullptr;
        continue;
      }
      if (name == kRootName) {
        current = &root;
      } else if (name.size() > kRootName.size() && name.compare(0, kRootName.size(), kRootName) == 0 &&
                 name[kRootName.size()] == '\\') {
        current = MakeKey(&root, Utf8ToUtf16(std::string_view(name).substr(kRootName.size() + 1)));
      } else {
        Report(path, no, "key outside HKEY_CURRENT_USER skipped");
        current = nullptr;
      }
      continue;
    }
    if (!current) {
      Report(path, no, "value outside a key skipped");
      continue;
    }
    std::string name;
    std::size_t p = 0;
    if (line[0] == '@') {
      p = 1;
    } else if (!ParseQuoted(line, p, name)) {
      Report(path, no, "malformed value name skipped");
      continue;
    }
    if (p >= line.size() || line[p] != '=') {
      Report(path, no, "value without '=' skipped");
      continue;
    }
    RegValue value;
    std::string why;
    if (!ParseData(std::string_view(line).substr(p + 1), value, why)) {
      Report(path, no, why + ", value skipped");
      continue;
    }
    SetIn(current, u"", Utf8ToUtf16(name), value);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out, int& error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return false;
  }
  out.clear();
  char buf[65536];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

std::string Folder(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Holds an flock on the store's lock file for the lifetime of the object.
class FileLock {
 public:
  FileLock(const std::string& storePath, bool exclusive, bool create) {
    std::string lockPath = storePath + ".lock";
    if (create) MakeDirectories(Folder(storePath), true);
    fd_ = open(lockPath.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd_ >= 0) {
      while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Loads the store's file into a new tree; a file that is not a registry file is
// moved aside so that nothing the user had is destroyed. `unreadable` tells a file
// that is there but can't be read (it must not be replaced).
std::unique_ptr<Key> LoadTree(const std::string& path, bool* unreadable = nullptr) {
  auto root = std::make_unique<Key>();
  std::string text;
  int error = 0;
  if (unreadable) *unreadable = false;
  if (!ReadWholeFile(path, text, error)) {
    if (error != ENOENT) {
      ReportDiagnostic(Format(u"Registry file %s can't be read: %s", path, std::string(std::strerror(error))));
      if (unreadable) *unreadable = true;
    }
    return root;
  }
  if (!ParseTree(text, *root, path)) {
    root = std::make_unique<Key>();
    std::string aside = path + ".bad";
    for (int n = 2; access(aside.c_str(), F_OK) == 0 && n < 1000; ++n) aside = path + ".bad." + std::to_string(n);
    if (rename(path.c_str(), aside.c_str()) == 0) {
      ReportDiagnostic(Format(u"Registry file %s is not a registry file; moved aside to %s", path, aside));
    } else {
      ReportDiagnostic(Format(u"Registry file %s is not a registry file and can't be moved aside: %s", path,
                              std::string(std::strerror(errno))));
    }
  }
  return root;
}

}  // namespace

RegistryStore::RegistryStore(std::string filePath) : path_(std::move(filePath)) {
  FileLock lock(path_, false, false);
  root_ = LoadTree(path_);
}


bool RegistryStore::KeyExists(std::u16string_view key) const {
  std::lock_guard g(mutex_);
  return FindKey(root_.get(), key) != nullptr;
}

void RegistryStore::CreateKey(std::u16string_view key) {
  std::lock_guard g(mutex_);
  Change c{Change::CreateKey, std::u16string(key), {}, {}};
  Apply(root_.get(), c);
  changes_.push_back(std::move(c));
}

bool RegistryStore::DeleteKey(std::u16string_view key) {
  std::lock_guard g(mutex_);
  if (!FindKey(root_.get(), key) || SplitPath(key).empty()) return false;
  Change c{Change::DeleteKey, std::u16string(key), {}, {}};
  Apply(root_.get(), c);
  changes_.push_back(std::move(c));
  return true;
}

std::vector<std::u16string> RegistryStore::EnumSubkeys(std::u16string_view key) const {
  std::lock_guard g(mutex_);
  std::vector<std::u16string> out;
  if (Key* k = FindKey(root_.get(), key))
    for (auto& sub : k->subkeys) out.push_back(sub->name);
  return out;
}

std::vector<std::pair<std::u16string, RegValue>> RegistryStore::EnumValues(std::u16string_view key) const {
  std::lock_guard g(mutex_);
  if (Key* k = FindKey(root_.get(), key)) return k->values;
  return {};
}

RegStatus RegistryStore::Query(std::u16string_view key, std::u16string_view name, RegValue& out) const {
  std::lock_guard g(mutex_);
  Key* k = FindKey(root_.get(), key);
  if (!k) return RegStatus::NotFound;
  RegValue* v = k->Value(name);
  if (!v) return RegStatus::NotFound;
  out = *v;
  return RegStatus::Ok;
}

RegStatus RegistryStore::QueryBinary(std::u16string_view key, std::u16string_view name,
                                     std::vector<std::uint8_t>& out) const {
  RegValue v;
  RegStatus s = Query(key, name, v);
  if (s != RegStatus::Ok) return s;
  if (v.type != RegType::Binary) return RegStatus::WrongType;
  out = std::move(v.binary);
  return RegStatus::Ok;
}

RegStatus RegistryStore::QueryDword(std::u16string_view key, std::u16string_view name, std::uint32_t& out) const {
  RegValue v;
  RegStatus s = Query(key, name, v);
  if (s != RegStatus::Ok) return s;
  if (v.type != RegType::Dword) return RegStatus::WrongType;
  out = v.dword;
  return RegStatus::Ok;
}

RegStatus RegistryStore::QueryString(std::u16string_view key, std::u16string_view name, std::u16string& out) const {
  RegValue v;
  RegStatus s = Query(key, name, v);
  if (s != RegStatus::Ok) return s;
  if (v.type != RegType::String) return RegStatus::WrongType;
  out = std::move(v.string);
  return RegStatus::Ok;
}

void RegistryStore::Set(std::u16string_view key, std::u16string_view name, RegValue value) {
  std::lock_guard g(mutex_);
  Change c{Change::SetValue, std::u16string(key), std::u16string(name), std::move(value)};
  Apply(root_.get(), c);
  changes_.push_back(std::move(c));
}

void RegistryStore::SetBinary(std::u16string_view key, std::u16string_view name, Bytes data) {
  Set(key, name, RegValue::Binary(data));
}
void RegistryStore::SetDword(std::u16string_view key, std::u16string_view name, std::uint32_t value) {
  Set(key, name, RegValue::Dword(value));
}
void RegistryStore::SetString(std::u16string_view key, std::u16string_view name, std::u16string_view value) {
  Set(key, name, RegValue::String(value));
}

bool RegistryStore::DeleteValue(std::u16string_view key, std::u16string_view name) {
  std::lock_guard g(mutex_);
  Change c{Change::DeleteValue, std::u16string(key), std::u16string(name), {}};
  bool existed = DeleteIn(root_.get(), key, name);
  changes_.push_back(std::move(c));
  return existed;
}

bool RegistryStore::HasPendingChanges() const {
  std::lock_guard g(mutex_);
  return !changes_.empty();
}

std::string RegistryStore::Serialize() const {
  std::lock_guard g(mutex_);
  return SerializeTree(*root_);
}

void RegistryStore::Reload() {
  std::lock_guard g(mutex_);
  FileLock lock(path_, false, false);
  root_ = LoadTree(path_);
  changes_.clear();
}

namespace {
// The folder whose stores are held, and the stores that kept changes for its release.
std::mutex g_holdMutex;
std::string g_heldFolder;
std::vector<RegistryStore*> g_heldStores;

bool BelowFolder(const std::string& path, const std::string& folder) {
  if (folder.empty()) return false;
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  return path.size() > f.size() && path.compare(0, f.size(), f) == 0 && path[f.size()] == '/';
}
}  // namespace

void HoldRegistryWritesBelow(const std::string& folder) {
  std::vector<RegistryStore*> release;
  {
    std::lock_guard g(g_holdMutex);
    g_heldFolder = folder;
    if (folder.empty()) release.swap(g_heldStores);
  }
  // The stores are saved outside the lock: Save() looks at the hold again.
  for (RegistryStore* store : release) store->Save();
}

RegistryStore::~RegistryStore() {
  std::lock_guard g(g_holdMutex);
  std::erase(g_heldStores, this);
}

bool RegistryWritesHeld(const std::string& path) {
  std::lock_guard g(g_holdMutex);
  return BelowFolder(path, g_heldFolder);
}

bool RegistryStore::Save() {
  {
    std::lock_guard hold(g_holdMutex);
    if (BelowFolder(path_, g_heldFolder)) {
      std::lock_guard g(mutex_);
      if (!changes_.empty() && std::find(g_heldStores.begin(), g_heldStores.end(), this) == g_heldStores.end())
        g_heldStores.push_back(this);
      return true;  // kept in memory until the hold ends
    }
  }
  std::lock_guard g(mutex_);
  if (changes_.empty()) return true;
  FileLock lock(path_, true, true);
  if (!lock.held()) {
    ReportDiagnostic(Format(u"Registry file %s: can't lock: %s", path_, std::string(std::strerror(errno))));
    return false;
  }
  // What another instance wrote meanwhile, with this instance's changes on top.
  bool unreadable = false;
  std::unique_ptr<Key> merged = LoadTree(path_, &unreadable);
  if (unreadable) {
    // Writing now would replace what the file holds with this instance's changes.
    ReportDiagnostic(Format(u"Registry file %s can't be read: nothing is written, so that what it holds is kept",
                            path_));
    return false;
  }
  for (auto& c : changes_) Apply(merged.get(), c);
  std::string text = SerializeTree(*merged);

  std::string tmp = path_ + ".tmp." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    ReportDiagnostic(Format(u"Registry file %s: can't write: %s", tmp, std::string(std::strerror(errno))));
    return false;
  }
  bool ok = WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
  int writeError = errno;
  close(fd);
  if (ok && failBeforeRename_) {
    failBeforeRename_ = false;
    unlink(tmp.c_str());
    return false;
  }
  if (!ok || rename(tmp.c_str(), path_.c_str()) != 0) {
    if (ok) writeError = errno;
    unlink(tmp.c_str());
    ReportDiagnostic(Format(u"Registry file %s: can't write: %s", path_, std::string(std::strerror(writeError))));
    return false;
  }
  int dir = open(Folder(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  root_ = std::move(merged);
  changes_.clear();
  return true;
}

namespace {
std::mutex g_currentUserMutex;
std::unique_ptr<RegistryStore>& CurrentUserSlot() {
  static std::unique_ptr<RegistryStore> store;
  return store;
}
}  // namespace

RegistryStore& CurrentUserRegistry() {
  std::lock_guard g(g_currentUserMutex);
  auto& slot = CurrentUserSlot();
  if (!slot) slot = std::make_unique<RegistryStore>(JoinPath(ConfigDir(), "registry.reg"));
  return *slot;
}

void ResetCurrentUserRegistry() {
  std::lock_guard g(g_currentUserMutex);
  CurrentUserSlot() = std::make_unique<RegistryStore>(JoinPath(ConfigDir(), "registry.reg"));
}

}  // namespace platform
