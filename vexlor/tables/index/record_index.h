// A persisted index of records with stable group ids: the store
// (index_store.h) and its search (index_matcher.h) together, for the
// command line, the lookup service and the Python module.
//
// Records are added and matched in calls; Add stores a call's records in one
// transaction and only then lets later searches see them, so that a failed
// or interrupted add leaves the index as it was. A stored record's group id
// never changes. Calls may come from several threads: they take turns.
#ifndef VEXLOR_TABLES_INDEX_RECORD_INDEX_H_
#define VEXLOR_TABLES_INDEX_RECORD_INDEX_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vexlor/platform/guid.h"
#include "vexlor/tables/index/index_matcher.h"
#include "vexlor/tables/index/index_settings.h"
#include "vexlor/tables/index/index_store.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// A stored record (or an earlier record of the same call) that a record
// reached Threshold with: its id, its group id, the similarity.
struct RecordMatch {
  std::string id;
  std::string group;
  double similarity;
};

// What Add or Match says of one record: its group id (empty where Match
// finds it would be alone), whether that group is new, the similarity of the
// match that placed it (NaN when it opens a group), and its matches best
// first. Texts are UTF-8.
struct RecordResult {
  std::string group;
  bool new_group = false;
  double similarity = 0.0;
  std::vector<RecordMatch> matches;
};

struct IndexInfo {
  uint32_t records = 0;
  uint32_t groups = 0;
  uint64_t file_bytes = 0;
};

class RecordIndex {
 public:
  // How many matches a record's answer lists at most.
  static constexpr uint32_t kMaxMatches = 10;

  // IndexStore::Create.
  static bool Create(const std::string& path, const IndexSettings& settings,
                     const platform::VariantArray& table,
                     std::span<const std::string> labels, std::string* error);

  // Opens the index and builds its search. New group ids come from
  // `label_seed`'s sequence when given, else at random. Null with a
  // message. Cost: one read of every record, and filing it as the
  // duplicate search's first stage does.
  static std::unique_ptr<RecordIndex> Open(const std::string& path,
                                           std::optional<uint64_t> label_seed,
                                           std::string* error);

  const IndexSettings& settings() const { return store_->settings(); }
  IndexInfo Info();

  // Searches `records` (the index's columns, in its order) and stores them
  // in their groups, in one transaction. False with a message, and nothing
  // stored, when the store refuses.
  bool Add(const platform::VariantArray& records,
           std::vector<RecordResult>* results, std::string* error);

  // The answer Add would give, storing nothing: a record that would open a
  // group has one only when a later record of the call would join it (an
  // id made for this answer only).
  bool Match(const platform::VariantArray& records,
             std::vector<RecordResult>* results, std::string* error);

  // Calls on_rows for every record in order, chunk by chunk, with its group
  // id; as IndexStore::ReadRecords.
  bool Export(
      uint32_t chunk,
      const std::function<void(const platform::VariantArray& rows,
                               std::span<const std::string* const> groups)>&
          on_rows,
      std::string* error);

 private:
  RecordIndex(std::unique_ptr<IndexStore> store,
              std::optional<uint64_t> label_seed);
  bool Build(std::string* error);
  void WarmUp();
  bool Search(const platform::VariantArray& records, bool store,
              std::vector<RecordResult>* results, std::string* error);
  std::string NewLabel();
  std::string IdOf(uint32_t row, const platform::VariantArray& records) const;
  void KeepIds(const platform::VariantArray& records);
  std::string CellId(const platform::Variant& cell) const;

  std::mutex mutex_;
  std::unique_ptr<IndexStore> store_;
  std::unique_ptr<platform::GuidSource> guids_;
  std::unique_ptr<IndexMatcher> matcher_;
  // With an id column: per stored record its cell's text.
  std::vector<std::string> ids_;
  IndexAnswer answer_;  // reused by every call
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_INDEX_RECORD_INDEX_H_
