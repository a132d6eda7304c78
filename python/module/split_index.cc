// The split index (split_index.h).
#include "python/module/split_index.h"

#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "python/module/control.h"
#include "python/module/conversion.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/distributed/block_pair_finder.h"
#include "vexlor/tables/distributed/block_words.h"
#include "vexlor/text.h"

namespace vexlor::python {

using platform::Variant;

namespace {

class BlockFinder {
 public:
  BlockFinder(const Control& control, py::handle rows, uint32_t first_row,
              int32_t id_column, double threshold, double cluster_threshold,
              const std::string& options) {
    Arena arena;
    bool exact = false;
    const Variant block = ArgumentFromPython(rows, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kDupeSearch);
    py::gil_scoped_release release;
    finder_ = std::make_unique<BlockPairFinder>(control.column_options(), block,
                                                first_row, id_column, threshold,
                                                cluster_threshold, parsed);
  }

  uint32_t first_row() const { return finder_->first_row(); }
  uint32_t rows() const { return finder_->rows(); }

  py::bytes CommonKeys(uint32_t blocks) {
    std::vector<uint64_t> keys;
    {
      py::gil_scoped_release release;
      finder_->CommonKeys(blocks, &keys);
    }
    return WordsToBytes(keys);
  }

  py::bytes KeyRows(const py::bytes& keys) {
    const std::vector<uint64_t> asked = BytesToWords<uint64_t>(keys);
    std::vector<uint32_t> rows;
    {
      py::gil_scoped_release release;
      finder_->KeyRows(asked, &rows);
    }
    return WordsToBytes(rows);
  }

  void SkipKeys(const py::bytes& keys) {
    finder_->SkipKeys(BytesToWords<uint64_t>(keys));
  }

  py::bytes Shortlist(py::handle records, uint32_t first) {
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(records, &arena, &exact);
    std::vector<uint32_t> words;
    {
      py::gil_scoped_release release;
      finder_->Shortlist(table, first, &words);
    }
    return WordsToBytes(words);
  }

  py::bytes Find(py::handle records, uint32_t first, const py::bytes& cuts) {
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(records, &arena, &exact);
    const std::vector<uint32_t> taken = BytesToWords<uint32_t>(cuts);
    std::vector<uint32_t> words;
    {
      py::gil_scoped_release release;
      finder_->Find(table, first, taken, &words);
    }
    return WordsToBytes(words);
  }

 private:
  std::unique_ptr<BlockPairFinder> finder_;
};

// The blocks' words of `records` records, the blocks in row order.
std::vector<std::vector<uint32_t>> BlocksWords(
    const std::vector<py::bytes>& blocks) {
  std::vector<std::vector<uint32_t>> words;
  for (const py::bytes& b : blocks) words.push_back(BytesToWords<uint32_t>(b));
  return words;
}

// Every block's cuts (block_words.h) from every block's shortlist words.
std::vector<py::bytes> Cuts(const std::vector<py::bytes>& blocks,
                            uint32_t records) {
  const std::vector<std::vector<uint32_t>> words = BlocksWords(blocks);
  std::vector<std::span<const uint32_t>> spans(words.begin(), words.end());
  std::vector<std::vector<uint32_t>> cuts;
  {
    py::gil_scoped_release release;
    BlockCuts(spans, records, &cuts);
  }
  std::vector<py::bytes> out;
  for (const std::vector<uint32_t>& c : cuts) out.push_back(WordsToBytes(c));
  return out;
}

// The found words of `records` records from every block's entry words.
py::bytes MergeBlocks(const std::vector<py::bytes>& blocks, uint32_t records) {
  const std::vector<std::vector<uint32_t>> words = BlocksWords(blocks);
  std::vector<std::span<const uint32_t>> spans(words.begin(), words.end());
  std::vector<uint32_t> found;
  {
    py::gil_scoped_release release;
    MergeBlockWords(spans, records, &found);
  }
  return WordsToBytes(found);
}

// Sums per key the rows of every block (KeyRows' answers) and gives the
// keys that more than the bucket of rows share.
py::bytes KeysOverBucket(const py::bytes& keys,
                         const std::vector<py::bytes>& rows) {
  const std::vector<uint64_t> asked = BytesToWords<uint64_t>(keys);
  std::vector<std::vector<uint32_t>> counts;
  for (const py::bytes& b : rows) counts.push_back(BytesToWords<uint32_t>(b));
  return WordsToBytes(vexlor::KeysOverBucket(asked, counts));
}

}  // namespace

void DefineSplitIndex(py::module_& m) {
  py::class_<BlockFinder>(m, "_BlockPairFinder")
      .def(py::init<const Control&, py::handle, uint32_t, int32_t, double,
                    double, const std::string&>())
      .def_property_readonly("first_row", &BlockFinder::first_row)
      .def_property_readonly("rows", &BlockFinder::rows)
      .def("common_keys", &BlockFinder::CommonKeys)
      .def("key_rows", &BlockFinder::KeyRows)
      .def("skip_keys", &BlockFinder::SkipKeys)
      .def("shortlist", &BlockFinder::Shortlist)
      .def("find", &BlockFinder::Find);
  m.def("_block_cuts", &Cuts);
  m.def("_merge_block_words", &MergeBlocks);
  m.def("_keys_over_bucket", &KeysOverBucket);
}

}  // namespace vexlor::python
