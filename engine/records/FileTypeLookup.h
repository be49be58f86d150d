#pragma once
// What the engine needs to know of file types (the store names carved files and
// files its type folders; the filter hides by type). The file-type database
// implements this interface and installs itself at start-up; without it no object
// has a known type.

#include <cstdint>
#include <string>
#include <string_view>

struct FileTypeFacts {
  // The type's own key, stable for the run and never reused; 0 is no type. It keeps
  // a type "by reference": two types may share one 16-bit id.
  std::uint32_t key = 0;
  std::int16_t id = 0;          // the type id a found object carries
  std::int32_t categoryId = 0;  // the id of the type's group (negative)
  std::u16string namePrefix;    // prefix of the names given to carved files ("adobe")
  std::u16string extension;     // default extension, without the dot ("pdf")
  bool searchEnabled = true;    // the search looks for it and the store keeps it
  bool showInFilter = true;     // the views show it when the filter asks
};

class IFileTypeLookup {
 public:
  virtual ~IFileTypeLookup() = default;
  // The type of an object: by its key when it has one, else by its type id (the
  // first type in list order with that id), else (files only, never folders) by
  // the extension of its name. Writes nothing anywhere; safe from any thread.
  virtual bool FindForObject(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name, bool isFolder,
                             FileTypeFacts& out) const = 0;
  virtual bool FindByKey(std::uint32_t key, FileTypeFacts& out) const = 0;
  // The name of the group whose category id is `categoryId`; false when there is none.
  virtual bool GroupName(std::int32_t categoryId, std::u16string& out) const = 0;
};

void SetFileTypeLookup(const IFileTypeLookup* lookup);
const IFileTypeLookup* GetFileTypeLookup();
