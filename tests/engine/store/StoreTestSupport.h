#pragma once
// A small file-type table for the store's tests, installed as the program's lookup.

#include <string>
#include <vector>

#include "engine/records/FileTypeLookup.h"
#include "engine/store/FoundObject.h"
#include "platform/Text.h"

namespace test {

class FakeTypes : public IFileTypeLookup {
 public:
  FakeTypes() {
    types = {
        {1, 10, -20, u"jpeg", u"jpg", true, true},  {2, 11, -21, u"adobe", u"pdf", true, true},
        {3, 12, -20, u"temp", u"tmp", false, true},  // not searched: never stored
        {4, 13, -21, u"first", u"one", true, true},  // two types that share id 13
        {5, 13, -21, u"second", u"two", true, true},
    };
    SetFileTypeLookup(this);
  }
  ~FakeTypes() override { SetFileTypeLookup(nullptr); }

  bool FindForObject(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name, bool isFolder,
                     FileTypeFacts& out) const override {
    if (typeKey) return FindByKey(typeKey, out);
    for (const FileTypeFacts& t : types)
      if (typeId && t.id == typeId) return (out = t), true;
    if (isFolder) return false;
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) return false;
    const std::u16string_view ext = name.substr(dot + 1);
    for (const FileTypeFacts& t : types)
      if (platform::EqualsNoCase(t.extension, ext)) return (out = t), true;
    return false;
  }
  bool FindByKey(std::uint32_t key, FileTypeFacts& out) const override {
    for (const FileTypeFacts& t : types)
      if (t.key == key) return (out = t), true;
    return false;
  }
  bool GroupName(std::int32_t categoryId, std::u16string& out) const override {
    if (categoryId == -20) return (out = u"Graphics"), true;
    if (categoryId == -21) return (out = u"Documents"), true;
    return false;
  }

  std::vector<FileTypeFacts> types;
};

inline FoundObject Parsed(std::int32_t id, std::int32_t parent, std::u16string_view name, std::uint16_t flags = 0,
                          std::int64_t offset = 0) {
  FoundObject o;
  o.id = id;
  o.parentId = parent;
  o.flags = std::uint16_t(flags | OBJ_NAMED);
  o.SetName(name);
  o.offset = offset;
  o.size = -1;
  o.firstCluster = id;
  return o;
}

inline FoundObject Hit(std::int64_t offset, std::int16_t typeId, std::uint32_t typeKey = 0) {
  FoundObject o;
  o.offset = offset;
  o.typeId = typeId;
  o.typeKey = typeKey;
  o.size = -1;
  o.flags = OBJ_DELETED | OBJ_RAW;
  return o;
}

}  // namespace test
