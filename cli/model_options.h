// Scoring=Estimated on the command line: --scoring, --model FILE (score
// with a saved model, no estimation), --model-out FILE (save the model that
// scored, as JSON) and --explain FILE (for each pair that reached
// Threshold, each column's comparison level and match weight).
#ifndef VEXLOR_CLI_MODEL_OPTIONS_H_
#define VEXLOR_CLI_MODEL_OPTIONS_H_

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/table_io.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/scoring/fs_model.h"

namespace vexlor::cli {

std::vector<OptionSpec> ModelOptionSpecs();

class ModelSettings : public PairObserver {
 public:
  // Reads --scoring mean|estimated (over the Options text's Scoring) and
  // --model FILE, which implies estimated, into `options`, and makes this
  // the options' pair observer, passing pairs on to the one it had. False
  // with a message for a bad value, an unreadable or malformed model file,
  // or --model-out / --explain without estimated scoring.
  bool Read(const Arguments& args, MatchOptions* options, std::string* error);

  // After the call: writes --model-out and --explain. `records` holds the
  // pairs' records, `others` the rows they were compared with. False with
  // a message on a failed write.
  bool Write(const Arguments& args, const InputTable& records,
             const InputTable& others, int id_column, std::string* error);

  // Keeps the pairs for ExplainTable without --explain; call after Read.
  void KeepPairs() { explain_ = true; }

  // What --explain writes, and its column names: each kept pair's ids (the
  // `id_column` cell, else the row number from 1), score, and per model
  // column its level and weight.
  void ExplainTable(const InputTable& records, const InputTable& others,
                    int id_column, platform::Variant* table,
                    std::vector<std::u16string>* names) const;

  void OnPair(const MatchedPair& pair) override;

 private:
  FsModel given_;
  FsModel used_;
  PairObserver* next_ = nullptr;
  bool explain_ = false;
  std::vector<MatchedPair> pairs_;
};

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_MODEL_OPTIONS_H_
