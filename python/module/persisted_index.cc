// The persisted index (persisted_index.h).
#include "python/module/persisted_index.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "python/module/control.h"
#include "python/module/conversion.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/index/record_index.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::python {

using platform::Variant;
using platform::VariantArray;

namespace {

class PyIndex {
 public:
  // Makes the index from `rows` (the index's columns) with the groups
  // `labels` and the settings of `control` (column options) and the rest.
  static void Create(const std::string& path, const Control& control,
                     const std::vector<std::string>& names, py::handle rows,
                     const std::vector<std::string>& labels, int id_column,
                     double threshold, double cluster_threshold,
                     const std::string& options,
                     const std::string& model_json) {
    IndexSettings settings;
    for (const std::string& name : names) {
      settings.names.push_back(platform::Utf8ToUtf16(name));
    }
    settings.columns = control.column_options();
    settings.id_column = id_column;
    settings.threshold = threshold;
    settings.cluster_threshold = cluster_threshold;
    settings.options = ParseMatchOptions(platform::Utf8ToUtf16(options),
                                         OptionsReader::kDupeSearch);
    settings.model_json = model_json;
    Variant table =
        TableFromRows(rows, 0, 0, static_cast<int64_t>(names.size()));
    std::string error;
    bool made;
    {
      py::gil_scoped_release release;
      made =
          RecordIndex::Create(path, settings, *table.AsArray(), labels, &error);
    }
    if (!made) throw py::value_error(error);
  }

  PyIndex(const std::string& path, py::object label_seed) {
    std::optional<uint64_t> seed;
    if (!label_seed.is_none()) seed = label_seed.cast<uint64_t>();
    std::string error;
    {
      py::gil_scoped_release release;
      index_ = RecordIndex::Open(path, seed, &error);
    }
    if (index_ == nullptr) throw py::value_error(error);
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const std::u16string& n : Open().settings().names) {
      names.push_back(platform::Utf16ToUtf8(n));
    }
    return names;
  }

  // Per record (group or None, similarity or None, [(id, group,
  // similarity), ...]).
  py::list Search(py::handle rows, bool store) {
    Variant table = TableFromRows(
        rows, 0, 0, static_cast<int64_t>(Open().settings().names.size()));
    std::vector<RecordResult> results;
    std::string error;
    bool done;
    {
      py::gil_scoped_release release;
      done = store ? index_->Add(*table.AsArray(), &results, &error)
                   : index_->Match(*table.AsArray(), &results, &error);
    }
    if (!done) throw py::value_error(error);
    py::list out;
    for (const RecordResult& r : results) {
      py::list matches;
      for (const RecordMatch& m : r.matches) {
        matches.append(py::make_tuple(m.id, m.group, m.similarity));
      }
      out.append(py::make_tuple(
          r.group.empty() ? py::object(py::none()) : py::str(r.group),
          std::isnan(r.similarity) ? py::object(py::none())
                                   : py::float_(r.similarity),
          matches));
    }
    return out;
  }

  // (rows, groups) of every record.
  py::tuple Export() {
    py::list rows, groups;
    std::string error;
    const bool read = Open().Export(
        8192,
        [&](const VariantArray& chunk,
            std::span<const std::string* const> labels) {
          for (uint32_t r = 0; r < chunk.rows(); ++r) {
            py::list row;
            for (uint32_t c = 0; c < chunk.columns(); ++c) {
              row.append(CellToPython(chunk.cell(c, r), false));
            }
            rows.append(row);
            groups.append(py::str(*labels[r]));
          }
        },
        &error);
    if (!read) throw py::value_error(error);
    return py::make_tuple(rows, groups);
  }

  py::dict Info() {
    const IndexInfo info = Open().Info();
    const IndexSettings& s = Open().settings();
    py::dict out;
    out["records"] = info.records;
    out["groups"] = info.groups;
    out["file_bytes"] = info.file_bytes;
    out["threshold"] = s.threshold;
    out["cluster_threshold"] = s.cluster_threshold;
    out["options"] = SettingsOptionsText(s);
    return out;
  }

  void Close() { index_.reset(); }

 private:
  RecordIndex& Open() const {
    if (index_ == nullptr) throw py::value_error("the index is closed");
    return *index_;
  }
  std::unique_ptr<RecordIndex> index_;
};
}  // namespace

void DefinePersistedIndex(py::module_& m) {
  py::class_<PyIndex>(m, "_Index")
      .def(py::init<const std::string&, py::object>())
      .def_static("create", &PyIndex::Create)
      .def_property_readonly("names", &PyIndex::Names)
      .def("search", &PyIndex::Search)
      .def("export", &PyIndex::Export)
      .def("info", &PyIndex::Info)
      .def("close", &PyIndex::Close);
}

}  // namespace vexlor::python
