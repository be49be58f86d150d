#pragma once
// The groups and the 104 built-in file types that a first start creates, in list
// order, with their signatures.

#include <cstdint>
#include <memory>
#include <vector>

#include "search/FileType.h"

struct DefaultFileTypeGroup {
  std::int32_t category;
  const char16_t* name;
  std::int32_t parentCategory;  // 0: none
};

// The eleven groups in creation order.
const std::vector<DefaultFileTypeGroup>& DefaultFileTypeGroups();

// A new set of the built-in types, in list order.
std::vector<std::unique_ptr<FileType>> MakeBuiltinFileTypes();

// The built-in rows whose signatures earlier versions made differently, as those
// versions made them: a saved database that still holds one of these gets the
// row's signatures of today (FileTypeDatabase::LoadFileTypes).
std::vector<std::unique_ptr<FileType>> MakeEarlierBuiltinRows();
