#include "app/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/Text.h"
#include "platform/WholeFile.h"

namespace {

constexpr std::size_t kMaxFileBytes = 64u << 20;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = platform::FoldCase(c);
  return out;
}

// A "[name]" line: the name, else nothing.
std::optional<std::u16string_view> SectionName(std::u16string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != u'[') return std::nullopt;
  line.remove_prefix(1);
  const auto close = line.find(u']');
  if (close != std::u16string_view::npos) line = line.substr(0, close);
  return Trim(line);
}

// A "key=value" line: the key, and the value as stored in the line.
bool SplitKey(std::u16string_view line, std::u16string_view& key, std::u16string_view& value) {
  line = Trim(line);
  if (line.empty() || line.front() == u';' || line.front() == u'[') return false;
  const auto eq = line.find(u'=');
  if (eq == std::u16string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

std::u16string CleanValue(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  if (value.size() > IniFile::kMaxValueLength) value = value.substr(0, IniFile::kMaxValueLength);
  return std::u16string(value);
}

}  // namespace

void IniFile::Parse(platform::Bytes data) {
  std::u16string text;
  if (data.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    encoding_ = Encoding::Utf16LE;
    text = platform::Utf16FromLE(data.subspan(2));
  } else if (data.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    encoding_ = Encoding::Utf8Bom;
    text = platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data.data()) + 3, data.size() - 3));
  } else {
    encoding_ = Encoding::Utf8;
    text = platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  }
  lines_.clear();
  eol_ = u"\n";
  bool eolSeen = false;
  std::size_t start = 0;
  finalEol_ = true;
  while (start < text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) {
      // Carriage returns that end the file end its last line, as they would before
      // a line feed: a line keeps none at its end, so what is read is what a write
      // and a read again give.
      std::size_t lineEnd = text.size();
      while (lineEnd > start && text[lineEnd - 1] == u'\r') --lineEnd;
      lines_.emplace_back(text.substr(start, lineEnd - start));
      finalEol_ = false;
      break;
    }
    std::size_t lineEnd = end;
    const bool crlf = lineEnd > start && text[lineEnd - 1] == u'\r';
    while (lineEnd > start && text[lineEnd - 1] == u'\r') --lineEnd;
    if (!eolSeen) {
      eol_ = crlf ? u"\r\n" : u"\n";
      eolSeen = true;
    }
    lines_.emplace_back(text.substr(start, lineEnd - start));
    start = end + 1;
  }
  Reindex();
}

bool IniFile::Load(const std::string& path) {
  std::vector<std::uint8_t> data;
  if (platform::ReadWholeFile(path, kMaxFileBytes, data) != platform::ReadFileStatus::Ok) {
    Parse({});
    return false;
  }
  Parse(data);
  return true;
}

std::vector<std::uint8_t> IniFile::Serialize() const {
  std::u16string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || finalEol_) text += eol_;
  }
  std::vector<std::uint8_t> out;
  switch (encoding_) {
    case Encoding::Utf16LE: {
      out = {0xFF, 0xFE};
      const auto units = platform::Utf16ToLE(text);
      out.insert(out.end(), units.begin(), units.end());
      break;
    }
    case Encoding::Utf8Bom:
      out = {0xEF, 0xBB, 0xBF};
      [[fallthrough]];
    case Encoding::Utf8: {
      const std::string utf8 = platform::Utf16ToUtf8(text);
      out.insert(out.end(), utf8.begin(), utf8.end());
      break;
    }
  }
  return out;
}

bool IniFile::Save(const std::string& path) const {
  const std::string temp = path + ".tmp";
  if (!platform::WriteWholeFile(temp, Serialize())) {
    ::unlink(temp.c_str());
    return false;
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void IniFile::Reindex() {
  sections_.clear();
  sectionByName_.clear();
  SectionIndex* current = nullptr;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (auto name = SectionName(lines_[i])) {
      const std::u16string folded = Fold(*name);
      auto it = sectionByName_.find(folded);
      if (it == sectionByName_.end()) {
        it = sectionByName_.emplace(folded, sections_.size()).first;
        sections_.push_back(SectionIndex{std::u16string(*name), {}, {}, i});
      }
      current = &sections_[it->second];
      current->headers.push_back(i);
      current->lastLine = i;
      continue;
    }
    std::u16string_view key, value;
    if (!current || !SplitKey(lines_[i], key, value)) continue;
    current->keys.emplace(Fold(key), i);  // the first of duplicates stays
    current->lastLine = i;
  }
}

const IniFile::SectionIndex* IniFile::FindSection(std::u16string_view section) const {
  auto it = sectionByName_.find(Fold(Trim(section)));
  return it == sectionByName_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::u16string> IniFile::Get(std::u16string_view section, std::u16string_view key) const {
  const SectionIndex* s = FindSection(section);
  if (!s) return std::nullopt;
  auto it = s->keys.find(Fold(Trim(key)));
  if (it == s->keys.end()) return std::nullopt;
  std::u16string_view k, value;
  SplitKey(lines_[it->second], k, value);
  return CleanValue(value);
}

std::u16string IniFile::Read(std::u16string_view section, std::u16string_view key,
                             std::u16string_view fallback) const {
  if (auto value = Get(section, key)) return *value;
  std::u16string out(fallback);
  if (out.size() > kMaxValueLength) out.resize(kMaxValueLength);
  return out;
}

void IniFile::Set(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
  section = Trim(section);
  key = Trim(key);
  const SectionIndex* s = FindSection(section);
  if (s) {
    auto it = s->keys.find(Fold(key));
    if (it != s->keys.end()) {
      std::u16string_view storedKey, oldValue;
      SplitKey(lines_[it->second], storedKey, oldValue);
      lines_[it->second] = std::u16string(storedKey) + u"=" + std::u16string(value);
      return;  // one line changed: the index stays right
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(s->lastLine + 1),
                  std::u16string(key) + u"=" + std::u16string(value));
  } else {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back(u"[" + std::u16string(section) + u"]");
    lines_.push_back(std::u16string(key) + u"=" + std::u16string(value));
  }
  Reindex();
}

std::vector<std::u16string> IniFile::Sections() const {
  std::vector<std::u16string> out;
  for (const auto& s : sections_) out.push_back(s.name);
  return out;
}

std::vector<std::u16string> IniFile::Keys(std::u16string_view section) const {
  std::vector<std::u16string> out;
  const SectionIndex* s = FindSection(section);
  if (!s) return out;
  std::vector<std::pair<std::size_t, std::u16string>> byLine;
  for (const auto& [folded, line] : s->keys) {
    std::u16string_view key, value;
    SplitKey(lines_[line], key, value);
    byLine.emplace_back(line, std::u16string(key));
  }
  std::sort(byLine.begin(), byLine.end());
  for (auto& [line, key] : byLine) out.push_back(std::move(key));
  return out;
}
