// The control wrapper of the Python module: vexlor.Control's `_c`. Every
// member by dispatch identifier, strict (a direct member call) or loose (as
// late binding converts), the events' sinks, the estimated model, and the
// labelling of vexlor.distributed from the pairs its workers found.
#ifndef VEXLOR_PYTHON_MODULE_CONTROL_H_
#define VEXLOR_PYTHON_MODULE_CONTROL_H_

#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "python/module/conversion.h"
#include "python/module/events.h"
#include "vexlor/member_table.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::python {

class Control {
 public:
  // label_seed: None for random labels, else the seed of reproducible ones.
  explicit Control(py::object label_seed);
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // A call by dispatch identifier. `strict`: the arguments are Python
  // values of the parameters' types (a direct member call); otherwise they
  // are converted as late binding converts. `put`: a property's new value.
  // Raises DispatchError when the dispatch refuses the call, and whatever a
  // sink or Ctrl-C raised during it.
  py::object Call(int32_t dispid, py::tuple args, bool strict, bool put);

  // DupeSearch labelling from `words`, the found words of every range of
  // records (found_pairs.h) concatenated in record order, through the
  // control's member as any DupeSearch. Returns (result, missed): with
  // missed the result is not to be used.
  py::tuple ReplayDupes(py::handle rows, int32_t id_column, double threshold,
                        double cluster_threshold, const std::string& options,
                        int16_t return_results, py::bytes words);
  // FuzzyMatch labelling from the words of every range of `others`, without
  // logs; as ReplayDupes.
  py::tuple ReplayMatch(py::handle rows, py::handle others, int32_t id_column,
                        double threshold, double cluster_threshold,
                        const std::string& options, int16_t return_results,
                        py::bytes words);

  const ColumnOptions& column_options() const {
    return control_->column_options();
  }

  // Scoring=Estimated for the calls that follow: `model` is the JSON of a
  // saved model to score with (None: estimate one); after each call the
  // model that scored is ModelOut's JSON. ValueError for a malformed model.
  void SetModel(py::object model);
  std::string ModelOut() const { return used_.ToJson(); }

  void Connect(py::object sink);
  // Disconnects the earliest connection of `sink` (compared by identity);
  // safe from inside an event, the running sink's own included.
  void Disconnect(py::object sink);

 private:
  class Occupancy;

  // Runs `body` (a batch call) without the interpreter lock and with Ctrl-C
  // watched, then raises what a sink or the signal handler raised.
  template <typename Body>
  void RunUnlocked(Body&& body);
  void RaisePending();

  platform::Variant StrictArgument(const MemberInfo& m, const ParamInfo& p,
                                   py::handle value, Arena* arena, bool* exact);

  // Scoring=Estimated: the model given and the one that scored (SetModel);
  // before control_, which points at them, so that they outlive it.
  std::unique_ptr<FsModel> given_;
  FsModel used_;
  std::unique_ptr<CVexlorCtrl> control_;
  std::vector<std::unique_ptr<PythonSink>> sinks_;
  // Disconnected inside a call, freed when it ends.
  std::vector<std::unique_ptr<PythonSink>> retired_;
  py::object pending_ = py::none();
  std::mutex busy_;
  std::atomic<std::thread::id> owner_{};
};

// vexlor._vexlor._Control.
void DefineControl(py::module_& m);

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_CONTROL_H_
