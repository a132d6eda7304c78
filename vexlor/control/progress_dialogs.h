// The two window models the batch methods' reporter creates: CProgressDlg
// (template 202) for the search-type methods and CWaitDlg (template 203)
// for DeleteDupes. Hosts see them as ProgressWindow through their
// presenter.
#ifndef VEXLOR_CONTROL_PROGRESS_DIALOGS_H_
#define VEXLOR_CONTROL_PROGRESS_DIALOGS_H_

#include <string_view>

#include "vexlor/export.h"
#include "vexlor/progress_window.h"
#include "vexlor/resources.h"
#include "vexlor/tables/batch_context.h"

namespace vexlor {

// Template 202: the window of the search-type methods.
class VEXLOR_EXPORT CProgressDlg : public ProgressWindow {
 public:
  explicit CProgressDlg(WindowPresenter* presenter = nullptr,
                        Language language = UserLanguage());
  // Creation: caption = `title`, found label = `found_label`, then shown.
  void Create(std::string_view title, std::string_view found_label);
  // Sets the label of the found counter (item 210).
  void SetFoundLabel(std::string_view text);
  // Bar, the seven value fields ("-" for a negative value), then the
  // message pump.
  void UpdateProgress(double percent, const ProgressFields& fields,
                      std::string_view elapsed, std::string_view eta);
};

// Template 203: the window of DeleteDupes.
class VEXLOR_EXPORT CWaitDlg : public ProgressWindow {
 public:
  explicit CWaitDlg(WindowPresenter* presenter = nullptr,
                    Language language = UserLanguage());
  // Creation: caption = `title`, status = string 211, then shown.
  void Create(std::string_view title);
  // Bar, elapsed and ETA texts, then the message pump.
  void UpdateProgress(double percent, std::string_view elapsed,
                      std::string_view eta);
};

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_PROGRESS_DIALOGS_H_
