// The texts the control shows: its string table and the two progress dialog
// templates, in English and German.
//
// German is chosen when the user's language (the first of LC_ALL,
// LC_MESSAGES, LANG that is set and not empty) starts with "de", English
// otherwise. The texts are UTF-8, since they go to a display, never into a
// comparison.
//
// Everything here is static and read-only: no ownership, no errors, any
// thread.
#ifndef VEXLOR_RESOURCES_H_
#define VEXLOR_RESOURCES_H_

#include <span>
#include <string_view>

#include "vexlor/export.h"

namespace vexlor {

enum class Language { kEnglish, kGerman };

// The user's language, read from the environment at each call. O(1).
VEXLOR_EXPORT Language UserLanguage();

// Returns the text of string `id` (one of the kStr* ids of string_ids.h)
// in `language`, or "" for an id the table does not have. O(1).
VEXLOR_EXPORT std::string_view ResourceString(int id, Language language);
// The same in UserLanguage().
VEXLOR_EXPORT std::string_view ResourceString(int id);

// Dialog templates and the ids of their items.
inline constexpr int kDialogProgress = 202;  // CProgressDlg
inline constexpr int kDialogWait = 203;      // CWaitDlg
inline constexpr int kItemCancel = 2;
inline constexpr int kItemBar = 201;
inline constexpr int kItemClusterCurrent = 202;
inline constexpr int kItemClusterMax = 203;
inline constexpr int kItemClusterAverage = 204;
inline constexpr int kItemElapsed = 205;
inline constexpr int kItemEta = 206;
inline constexpr int kItemRecord = 207;
inline constexpr int kItemFound = 208;
inline constexpr int kItemStatus = 209;
inline constexpr int kItemFoundLabel = 210;
// Labels and the group box carry no id of their own.
inline constexpr int kItemStatic = -1;

enum class ItemKind {
  kButton,
  kProgressBar,
  kStatus,
  kGroupBox,
  kLabel,
  kValue
};

// One item of a template; position and size in dialog units.
struct DialogItem {
  int id;
  ItemKind kind;
  std::string_view text;
  int x, y, width, height;
};

struct DialogTemplate {
  int id;
  std::string_view caption;  // replaced by the method's title when shown
  int width, height;
  bool close_box;  // a system menu with a close box
  std::span<const DialogItem> items;
};

// Returns template 202 or 203 in `language`; any other id gives 202. O(1).
VEXLOR_EXPORT const DialogTemplate& Dialog(int id, Language language);

// The text of item `id` of a template, or "" when it has none (the first
// item with that id; labels share kItemStatic). O(items).
VEXLOR_EXPORT std::string_view ItemText(const DialogTemplate& dialog, int id);

}  // namespace vexlor

#endif  // VEXLOR_RESOURCES_H_
