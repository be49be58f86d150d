#pragma once
// The file types the store benchmarks use: a few types found by id or extension,
// as the file-type database would answer, without the database.

#include <string_view>
#include <vector>

#include "engine/records/FileTypeLookup.h"

namespace bench {

class Types : public IFileTypeLookup {
 public:
  bool FindForObject(std::uint32_t key, std::int16_t id, std::u16string_view name, bool isFolder,
                     FileTypeFacts& out) const override {
    if (key) return FindByKey(key, out);
    for (const FileTypeFacts& t : types_)
      if (id && t.id == id) return (out = t), true;
    if (isFolder || name.size() < 4) return false;
    const std::u16string_view ext = name.substr(name.size() - 3);
    for (const FileTypeFacts& t : types_)
      if (t.extension == ext) return (out = t), true;
    return false;
  }
  bool FindByKey(std::uint32_t key, FileTypeFacts& out) const override {
    for (const FileTypeFacts& t : types_)
      if (t.key == key) return (out = t), true;
    return false;
  }
  bool GroupName(std::int32_t category, std::u16string& out) const override {
    out = category == -20 ? u"Graphics" : u"Documents";
    return true;
  }

 private:
  std::vector<FileTypeFacts> types_ = {{1, 10, -20, u"jpeg", u"JPG", true, true},
                                       {2, 11, -21, u"adobe", u"pdf", true, true},
                                       {3, 12, -21, u"word", u"doc", true, true}};
};

}  // namespace bench
