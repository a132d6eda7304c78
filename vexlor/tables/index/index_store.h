// The records of a persisted index, their group ids and the settings they
// are matched by, in an SQLite database file.
//
// The file is written in write-ahead-log mode, so that readers go on while
// one writer appends, and each Append is one transaction: a process that
// dies in the middle leaves all of the call's records or none. A file is
// made under a temporary name beside its final one and renamed when it is
// complete. The format carries an application id and a version number;
// Open refuses, without writing anything, a file that is not a database,
// another program's database, a newer format or a damaged file.
#ifndef VEXLOR_TABLES_INDEX_INDEX_STORE_H_
#define VEXLOR_TABLES_INDEX_INDEX_STORE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "vexlor/tables/index/index_settings.h"
#include "vexlor/variant_array.h"

struct sqlite3;

namespace vexlor {

// The format this code writes and the newest it reads.
inline constexpr int kIndexFormatVersion = 1;

// One record's place as stored: its group's number (0-based, in the order
// groups were first stored) and the similarity that placed it there (NaN
// for a record that opened its group or came with its group).
struct StoredPlace {
  uint32_t group;
  double similarity;
};

class IndexStore {
 public:
  ~IndexStore();
  IndexStore(const IndexStore&) = delete;
  IndexStore& operator=(const IndexStore&) = delete;

  // Makes the index file `path` from `table` (its columns those of
  // settings.names, its rows the records in order), each row in the group
  // `labels[row]` names (38-character ids or any other text; rows with the
  // same text share a group). Refuses a `path` that exists. False with a
  // one-line message; nothing is left at `path` then. Cost: one insert per
  // record and group, in one transaction.
  static bool Create(const std::string& path, const IndexSettings& settings,
                     const platform::VariantArray& table,
                     std::span<const std::string> labels, std::string* error);

  // Opens an index for reading, or for appending too. Null with a message
  // naming the file and what is wrong with it.
  static std::unique_ptr<IndexStore> Open(const std::string& path,
                                          bool writable, std::string* error);

  const IndexSettings& settings() const { return settings_; }
  uint32_t records() const { return records_; }
  uint32_t groups() const { return static_cast<uint32_t>(labels_.size()); }
  // Group number to its id text.
  const std::vector<std::string>& labels() const { return labels_; }
  // The file's size in bytes, with its write-ahead log.
  uint64_t FileBytes() const;

  // Calls on_rows(rows, first, places) for the records in order, up to
  // `chunk` rows at a time: `rows` is a table of its own for each call (the
  // callee may take it with Swap, and must not copy it: the reference count
  // of a table is not shared between threads) holding their cells (columns as settings().names;
  // Null for a missing value), `first` the number of the first (0-based).
  // With `only`, the columns it says false for are left Null, not read.
  // False with a message when the file turns out damaged.
  bool ReadRecords(
      uint32_t chunk, std::span<const bool> only,
      const std::function<void(platform::Variant& rows, uint32_t first,
                               std::span<const StoredPlace> places)>& on_rows,
      std::string* error);

  // Appends the rows of `table` with their places in one transaction; the
  // groups numbered groups() and on are new, with ids `new_labels`. Refuses,
  // changing nothing, when another process appended since this one opened
  // or last appended (its view would be out of date). False with a message.
  bool Append(const platform::VariantArray& table,
              std::span<const StoredPlace> places,
              std::span<const std::string> new_labels, std::string* error);

 private:
  IndexStore(sqlite3* db, std::string path);
  bool Load(std::string* error);

  sqlite3* db_;
  std::string path_;
  IndexSettings settings_;
  std::vector<std::string> labels_;
  uint32_t records_ = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_INDEX_INDEX_STORE_H_
