#pragma once
// The store of found objects of one volume: every record the parsers and the
// signature search produce, indexed by id, by parent id and (on demand) by data
// offset. It names nameless carved objects, makes placeholder folders for parents
// that were never found, and posts WM_FOUND_OBJECT for every change.
//
// Threads: several search workers may add at once while the user interface reads.
// Adds take the store's lock exclusively; every find takes it shared. Records never
// move once handed out and live until Clear(). Their flags are atomic (see
// ObjectFlags) and may be changed from any thread without the lock. The other fields
// of a record may still change while a pass runs (a placeholder replaced by its
// folder, a carved hit merged, raw sizes fixed up): a thread other than the adding
// one reads them under a ReadView or through Snapshot(). The tree item and the
// checked count are the user interface's own: it sets them through the store.
//
// Messages: WM_FOUND_OBJECT carries in wParam a handle of the record (see
// FromHandle), never a pointer, and is posted after the store's lock is released
// and the record is complete. A handle stops resolving once the store is cleared.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "engine/store/FoundObject.h"

class FoundObjectStore {
 public:
  struct Impl;

  FoundObjectStore();
  ~FoundObjectStore();
  FoundObjectStore(const FoundObjectStore&) = delete;
  FoundObjectStore& operator=(const FoundObjectStore&) = delete;

  // ---- Producers ------------------------------------------------------------------

  // Adds a copy of a parsed record (its name is copied too). A file whose type is
  // known and not searchEnabled is dropped (null); the type found by the extension is
  // written into the copy. A folder is never typed nor dropped. A folder whose id has
  // a lost-folder placeholder replaces it: the placeholder takes the folder's fields
  // (its address, tree item and children stay) and is returned. A record whose parent
  // folder is unknown gets one (a placeholder under the lost folders, -18). Posts
  // (record, 1), after (record, 16) for a new placeholder and (record, 32) for a
  // replaced one. Null when the record was dropped or memory ran out.
  FoundObject* AddParsedObject(const FoundObject& templ);
  // Adds a signature-search hit. A hit at the offset of a file record already stored
  // (offset index on) merges into it: OBJ_CARVED, and the hit's type when known;
  // posts (record, 4). Otherwise a new record (dropped when its type is not
  // searchEnabled): parent = the type's category, a generated name when it has none,
  // OBJ_CARVED, and the type's folder under the lost files (-19) made when missing;
  // posts (record, 2). Null when dropped.
  FoundObject* AddCarvedObject(const FoundObject& hit);
  // Registers a copy of a record as it is (the parser's root folder, the lost roots).
  FoundObject* RegisterObject(const FoundObject& record);
  // Registers a record owned elsewhere (a volume's device node); the store keeps a
  // reference, so the record outlives the store's use of it.
  FoundObject* RegisterObject(std::shared_ptr<FoundObject> external);

  // Switches the offset index on (flag nonzero) and in any case rebuilds it from
  // every record; returns 1.
  int EnableOffsetIndex(int flag);
  bool KeepsOffsetIndex() const;
  void SetRootFolderId(std::int32_t id);
  std::int32_t RootFolderId() const;
  // The number that names this store in its handles; a new one after each Clear.
  // Takes no lock.
  std::uint32_t Serial() const;
  // The serial a handle names (its upper half); 0 for no handle.
  static std::uint32_t SerialOfHandle(std::int64_t handle) {
    return handle < 0 ? 0 : static_cast<std::uint32_t>(handle >> 32);
  }
  // Frees every record (device nodes are only let go) and empties the indexes. Only
  // while no pass adds to the store; handles of the old records stop resolving.
  void Clear();

  // ---- Updates from the user interface --------------------------------------------

  // Marks a folder and the folders above it as lying on the way to a deleted object.
  void MarkFolderChain(FoundObject* record);
  // The same for many records under one look at the store (the views mark the
  // deleted objects of a burst of messages at once).
  void MarkFolderChains(const std::vector<FoundObject*>& records);
  void SetTreeItem(FoundObject* record, std::uintptr_t item);
  void SetCheckedCount(FoundObject* record, std::int32_t count);
  // The recovery settles the size of a carved object.
  void SetSize(FoundObject* record, std::int64_t size);

  // ---- Readers --------------------------------------------------------------------

  // Holds the store's lock shared for its lifetime; its finders take no further lock.
  // Never add to the store from a thread that holds a ReadView.
  class ReadView {
   public:
    // Iterate the records of one id or parent id in the order they were added; the
    // cookie is -1 to start and is advanced by each call; null at the end.
    FoundObject* FindById(std::int32_t id, std::int64_t& cookie) const;
    FoundObject* FindByParent(std::int32_t parentId, std::int64_t& cookie) const;
    // The first folder added with this id (ids are shared: FAT start clusters of
    // deleted and live entries, carved records).
    FoundObject* FindFolderById(std::int32_t id) const;
    void CollectChildren(std::int32_t parentId, std::vector<FoundObject*>& out) const;
    // Offset index: the first record at exactly that offset, or null.
    FoundObject* FindByOffset(std::int64_t offset) const;
    // The first record at a greater offset than `offset`, when a record lies at
    // `offset`; null otherwise.
    FoundObject* FindNextByOffset(std::int64_t offset) const;
    // The first record at a greater offset than the record's with the same type (by
    // key when the record has one, else by type id).
    FoundObject* FindNextOfSameType(const FoundObject& record) const;
    std::size_t Count() const;
    // Entries of the offset index (one per record while it is kept).
    std::size_t OffsetIndexSize() const;
    FoundObject* At(std::size_t index) const;
    // The handle that WM_FOUND_OBJECT carries for the record at `index`.
    std::int64_t HandleAt(std::size_t index) const;
    FoundObject* FromHandle(std::int64_t handle) const;
    // The handle of a record of this store (the one WM_FOUND_OBJECT carries for
    // it); -1 for a record this store does not hold.
    std::int64_t HandleOf(const FoundObject* record) const;
    // How many folders have this parent id now (a placeholder counts under the
    // parent it has, as in FindByParent): an answer in constant time for the tree's
    // "has children" over a folder of many files.
    std::uint32_t ChildFolderCount(std::int32_t parentId) const;
    // The names of the folders above a record, outermost first: up to the root
    // folder (returns true) or to a lost root, a missing parent or a cycle (false).
    // The root folder itself gives no parts and true.
    bool PathParts(const FoundObject& record, std::vector<std::u16string>& parts) const;
    std::int32_t RootFolderId() const;

   private:
    friend class FoundObjectStore;
    explicit ReadView(const Impl* impl);
    std::shared_lock<std::shared_mutex> lock_;
    const Impl* impl_;
  };
  // Waits for an add in progress (briefly spinning first).
  ReadView Read() const;

  // The same finders, each under the lock for the one call.
  FoundObject* FindById(std::int32_t id, std::int64_t& cookie) const { return Read().FindById(id, cookie); }
  FoundObject* FindByParent(std::int32_t parentId, std::int64_t& cookie) const {
    return Read().FindByParent(parentId, cookie);
  }
  FoundObject* FindFolderById(std::int32_t id) const { return Read().FindFolderById(id); }
  void CollectChildren(std::int32_t parentId, std::vector<FoundObject*>& out) const {
    Read().CollectChildren(parentId, out);
  }
  FoundObject* FindByOffset(std::int64_t offset) const { return Read().FindByOffset(offset); }
  FoundObject* FindNextByOffset(std::int64_t offset) const { return Read().FindNextByOffset(offset); }
  FoundObject* FindNextOfSameType(const FoundObject& record) const { return Read().FindNextOfSameType(record); }
  std::size_t Count() const { return Read().Count(); }
  FoundObject* At(std::size_t index) const { return Read().At(index); }
  FoundObject* FromHandle(std::int64_t handle) const { return Read().FromHandle(handle); }
  bool PathParts(const FoundObject& record, std::vector<std::u16string>& parts) const {
    return Read().PathParts(record, parts);
  }
  std::int64_t HandleOf(const FoundObject* record) const { return Read().HandleOf(record); }
  std::uint32_t ChildFolderCount(std::int32_t parentId) const { return Read().ChildFolderCount(parentId); }
  // A consistent copy of a record (its name still points into the store).
  FoundObject Snapshot(const FoundObject& record) const;

 private:
  std::unique_ptr<Impl> impl_;
};
