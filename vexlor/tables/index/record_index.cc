#include "vexlor/tables/index/record_index.h"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

#include "vexlor/tables/cell_text.h"
#include "vexlor/text.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

// Stored records are read and filed this many at a time.
constexpr uint32_t kReadChunk = 8192;

// A 64-bit mix (the finaliser of MurmurHash3).
uint64_t Mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  return x ^ (x >> 33);
}

}  // namespace

bool RecordIndex::Create(const std::string& path, const IndexSettings& settings,
                         const VariantArray& table,
                         std::span<const std::string> labels,
                         std::string* error) {
  return IndexStore::Create(path, settings, table, labels, error);
}

RecordIndex::RecordIndex(std::unique_ptr<IndexStore> store,
                         std::optional<uint64_t> label_seed)
    : store_(std::move(store)) {
  if (label_seed) {
    // The seed's own sequence gave the labels the index was made with (a
    // batch run with that seed) or an earlier add: a sequence of its own
    // for each state of the index keeps new ids apart from those.
    const uint64_t state = Mix(
        *label_seed ^ Mix(uint64_t{store_->groups()} + 0x9e3779b97f4a7c15ULL));
    guids_ = std::make_unique<platform::SeededGuidSource>(state);
  } else {
    guids_ = std::make_unique<platform::RandomGuidSource>();
  }
}

std::unique_ptr<RecordIndex> RecordIndex::Open(
    const std::string& path, std::optional<uint64_t> label_seed,
    std::string* error) {
  std::unique_ptr<IndexStore> store = IndexStore::Open(path, true, error);
  if (store == nullptr) return nullptr;
  std::unique_ptr<RecordIndex> index(
      new RecordIndex(std::move(store), label_seed));
  try {
    if (!index->Build(error)) return nullptr;
  } catch (const std::invalid_argument& e) {
    *error = path + ": " + e.what();
    return nullptr;
  } catch (const std::bad_alloc&) {
    *error = path + ": out of memory";
    return nullptr;
  }
  return index;
}

// Reading and decoding the records runs on a thread of its own while this
// one files them, so that opening a large index takes the longer of the two
// rather than both.
bool RecordIndex::Build(std::string* error) {
  matcher_ = std::make_unique<IndexMatcher>(settings());
  const IndexSettings& s = settings();
  // Only what the search reads: the compared columns and the id.
  std::unique_ptr<bool[]> wanted(new bool[s.names.size() + 1]);
  for (size_t c = 0; c < s.names.size(); ++c) {
    wanted[c] = s.columns.cluster[c] || s.columns.dupe_search[c] ||
                static_cast<int>(c) == s.id_column;
  }
  const std::span<const bool> only(wanted.get(), s.names.size());

  struct Chunk {
    Variant rows;
    std::vector<StoredPlace> places;
  };
  struct Stopped {};
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Chunk> chunks;
  bool done = false, stop = false, read = false;
  std::string read_error;
  std::thread reader([&] {
    try {
      read = store_->ReadRecords(
          kReadChunk, only,
          [&](Variant& rows, uint32_t, std::span<const StoredPlace> places) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return stop || chunks.size() < 3; });
            if (stop) throw Stopped();
            chunks.push_back({Variant(), {places.begin(), places.end()}});
            chunks.back().rows.Swap(rows);
            changed.notify_all();
          },
          &read_error);
    } catch (const Stopped&) {
    } catch (const std::bad_alloc&) {
      read_error = "out of memory";
    }
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    changed.notify_all();
  });
  try {
    for (;;) {
      Chunk chunk;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return done || !chunks.empty(); });
        if (chunks.empty()) break;
        chunk = std::move(chunks.front());
        chunks.pop_front();
        changed.notify_all();
      }
      matcher_->File(*chunk.rows.AsArray(), chunk.places);
      KeepIds(*chunk.rows.AsArray());
    }
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
      changed.notify_all();
    }
    reader.join();
    throw;
  }
  reader.join();
  if (!read) {
    *error = read_error;
    return false;
  }
  WarmUp();
  return true;
}

// The first search builds the candidate lists; one now spares the first
// question asked of the index that wait.
void RecordIndex::WarmUp() {
  const IndexSettings& s = settings();
  Variant probe =
      VariantArray::NewTable(static_cast<uint32_t>(s.names.size()), 1);
  for (uint32_t c = 0; c < probe.AsArray()->columns(); ++c) {
    probe.AsArray()->cell(c, 0) = Variant::String(u"WARM UP");
  }
  matcher_->Search(*probe.AsArray(), 0, &answer_);
}

IndexInfo RecordIndex::Info() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {store_->records(), store_->groups(), store_->FileBytes()};
}

std::string RecordIndex::NewLabel() {
  platform::Guid guid;
  guids_->Create(&guid);
  return platform::FormatGuid(guid);
}

std::string RecordIndex::CellId(const Variant& cell) const {
  if (cell.IsString()) return platform::Utf16ToUtf8(cell.AsString());
  std::string text;
  CellText(cell, &text);
  return platform::AnsiToUtf8(text);
}

void RecordIndex::KeepIds(const VariantArray& records) {
  const int id = settings().id_column;
  if (id < 0 || static_cast<uint32_t>(id) >= records.columns()) return;
  for (uint32_t r = 0; r < records.rows(); ++r) {
    ids_.push_back(CellId(records.cell(static_cast<uint32_t>(id), r)));
  }
}

std::string RecordIndex::IdOf(uint32_t row, const VariantArray& records) const {
  const int id = settings().id_column;
  const uint32_t stored = matcher_->rows();
  if (id >= 0 && static_cast<uint32_t>(id) < records.columns()) {
    if (row < stored) return ids_[row];
    return CellId(records.cell(static_cast<uint32_t>(id), row - stored));
  }
  // The number the record has, or would have, in the index.
  return std::to_string(uint64_t{row} + 1);
}

bool RecordIndex::Add(const VariantArray& records,
                      std::vector<RecordResult>* results, std::string* error) {
  return Search(records, true, results, error);
}

bool RecordIndex::Match(const VariantArray& records,
                        std::vector<RecordResult>* results,
                        std::string* error) {
  return Search(records, false, results, error);
}

bool RecordIndex::Search(const VariantArray& records, bool store,
                         std::vector<RecordResult>* results,
                         std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  results->clear();
  if (records.columns() != settings().names.size()) {
    *error = "the records do not have the index's columns";
    return false;
  }
  try {
    matcher_->Search(records, kMaxMatches, &answer_);
    const uint32_t groups = matcher_->groups();
    // Ids of the groups the call opens; a match leaves out the groups no
    // other record of the call joins.
    std::vector<std::string> new_labels;
    std::vector<uint32_t> joiners;
    for (const IndexPlacement& place : answer_.records) {
      if (place.opens) {
        joiners.push_back(0);
      } else if (place.group >= groups) {
        ++joiners[place.group - groups];
      }
    }
    for (uint32_t joined : joiners) {
      new_labels.push_back(store || joined > 0 ? NewLabel() : std::string());
    }
    auto label = [&](uint32_t group) -> const std::string& {
      return group < groups ? store_->labels()[group]
                            : new_labels[group - groups];
    };
    // Call records' groups as they are placed, for their matches' groups.
    const uint32_t first_row = matcher_->rows();
    results->resize(answer_.records.size());
    for (size_t i = 0; i < answer_.records.size(); ++i) {
      const IndexPlacement& place = answer_.records[i];
      RecordResult& result = (*results)[i];
      result.group = label(place.group);
      result.new_group = place.group >= groups;
      result.similarity = place.similarity;
      for (uint32_t m = place.matches_begin; m < place.matches_end; ++m) {
        const IndexMatch& match = answer_.matches[m];
        const uint32_t group =
            match.row < first_row
                ? matcher_->GroupOf(match.row)
                : answer_.records[match.row - first_row].group;
        result.matches.push_back(
            {IdOf(match.row, records), label(group), match.similarity});
      }
    }
    if (!store) return true;
    std::vector<StoredPlace> places;
    places.reserve(answer_.records.size());
    for (const IndexPlacement& place : answer_.records) {
      places.push_back({place.group, place.similarity});
    }
    if (!store_->Append(records, places, new_labels, error)) {
      results->clear();
      return false;
    }
    matcher_->Keep(records, answer_);
    KeepIds(records);
    return true;
  } catch (const std::bad_alloc&) {
    results->clear();
    *error = "out of memory";
    return false;
  }
}

bool RecordIndex::Export(
    uint32_t chunk,
    const std::function<void(const VariantArray&,
                             std::span<const std::string* const>)>& on_rows,
    std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<const std::string*> groups;
  return store_->ReadRecords(
      chunk, {},
      [&](Variant& rows, uint32_t, std::span<const StoredPlace> places) {
        groups.clear();
        for (const StoredPlace& place : places) {
          groups.push_back(&store_->labels()[place.group]);
        }
        on_rows(*rows.AsArray(), groups);
      },
      error);
}

}  // namespace vexlor
