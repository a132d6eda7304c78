#include "vexlor/resources.h"

#include <cstdlib>

#include "vexlor/tables/string_ids.h"

namespace vexlor {

namespace {

struct StringEntry {
  int id;
  std::string_view english;
  std::string_view german;
};

constexpr StringEntry kStrings[] = {
    {kStrComputingClusters, "Computing Clusters...", "Cluster berechnen..."},
    {kStrSearchingDuplicates, "Searching Duplicates...", "Dubletten suchen..."},
    {kStrCleaningUp, "Cleaning up...", "Aufr\u00e4umen..."},
    {kStrFuzzyMerge, "Fuzzy Merge", "Unscharfes Zusammenf\u00fchren"},
    {kStrMergeData, "Merge data...", "Daten zusammenf\u00fchren..."},
    {kStrRejected, "Rejected", "Verworfen"},
    {kStrFound, "Found", "Gefunden"},
    {kStrFuzzyDuplicateSearch, "Fuzzy Duplicate Search",
     "Unscharfe Dublettensuche"},
    {kStrDeletingDuplicates, "Delete Duplicates...",
     "Dubletten l\u00f6schen..."},
    {kStrDeleteDuplicates, "Delete Duplicates", "Dubletten l\u00f6schen"},
    {kStrInitializing, "Initializing...", "Initialisierung..."},
    {kStrFuzzyMatch, "Fuzzy Match", "Unscharfer Abgleich"},
    {kStrMatchData, "Match data...", "Daten abgleichen..."},
};

using K = ItemKind;

constexpr DialogItem kProgressEnglish[] = {
    {kItemCancel, K::kButton, "&Cancel", 78, 120, 55, 14},
    {kItemBar, K::kProgressBar, "", 10, 20, 190, 15},
    {kItemStatus, K::kStatus, "Status", 10, 10, 190, 9},
    {kItemStatic, K::kGroupBox, "Cluster Size", 10, 45, 65, 60},
    {kItemStatic, K::kLabel, "cur.", 15, 60, 30, 10},
    {kItemStatic, K::kLabel, "max.", 15, 75, 20, 10},
    {kItemStatic, K::kLabel, "\u00d8", 15, 90, 15, 10},
    {kItemClusterCurrent, K::kValue, "-", 35, 60, 30, 10},
    {kItemClusterMax, K::kValue, "-", 35, 75, 30, 10},
    {kItemClusterAverage, K::kValue, "-", 35, 90, 30, 10},
    {kItemStatic, K::kLabel, "Elapsed", 90, 50, 35, 10},
    {kItemStatic, K::kLabel, "ETA", 90, 65, 35, 10},
    {kItemStatic, K::kLabel, "Record", 90, 80, 30, 10},
    {kItemFoundLabel, K::kLabel, "Found", 90, 95, 40, 10},
    {kItemElapsed, K::kValue, "-", 120, 50, 70, 10},
    {kItemEta, K::kValue, "-", 120, 65, 70, 10},
    {kItemRecord, K::kValue, "-", 120, 80, 70, 10},
    {kItemFound, K::kValue, "-", 118, 95, 72, 24},
};

constexpr DialogItem kProgressGerman[] = {
    {kItemCancel, K::kButton, "A&bbrechen", 78, 120, 55, 14},
    {kItemBar, K::kProgressBar, "", 10, 20, 190, 15},
    {kItemStatus, K::kStatus, "Status", 10, 10, 190, 9},
    {kItemStatic, K::kGroupBox, "Clustergr\u00f6\u00dfe", 10, 45, 65, 60},
    {kItemStatic, K::kLabel, "akt.", 15, 60, 30, 10},
    {kItemStatic, K::kLabel, "max.", 15, 75, 20, 10},
    {kItemStatic, K::kLabel, "\u00d8", 15, 90, 15, 10},
    {kItemClusterCurrent, K::kValue, "-", 35, 60, 30, 10},
    {kItemClusterMax, K::kValue, "-", 35, 75, 30, 10},
    {kItemClusterAverage, K::kValue, "-", 35, 90, 30, 10},
    {kItemStatic, K::kLabel, "Dauer", 90, 50, 35, 10},
    {kItemStatic, K::kLabel, "ETA", 90, 65, 35, 10},
    {kItemStatic, K::kLabel, "Satz", 90, 80, 35, 10},
    {kItemFoundLabel, K::kLabel, "Gefunden", 90, 95, 45, 10},
    {kItemElapsed, K::kValue, "-", 120, 50, 70, 10},
    {kItemEta, K::kValue, "-", 120, 65, 70, 10},
    {kItemRecord, K::kValue, "-", 110, 80, 80, 10},
    {kItemFound, K::kValue, "-", 126, 95, 64, 24},
};

constexpr DialogItem kWaitEnglish[] = {
    {kItemCancel, K::kButton, "&Cancel", 76, 74, 55, 14},
    {kItemBar, K::kProgressBar, "", 10, 20, 190, 15},
    {kItemStatus, K::kStatus, "Initializing", 10, 10, 190, 9},
    {kItemStatic, K::kLabel, "Elapsed", 81, 42, 35, 10},
    {kItemStatic, K::kLabel, "ETA", 81, 57, 35, 10},
    {kItemElapsed, K::kValue, "-", 111, 42, 70, 10},
    {kItemEta, K::kValue, "-", 111, 57, 70, 10},
};

constexpr DialogItem kWaitGerman[] = {
    {kItemCancel, K::kButton, "A&bbrechen", 76, 74, 55, 14},
    {kItemBar, K::kProgressBar, "", 10, 20, 190, 15},
    {kItemStatus, K::kStatus, "Initialisierung", 10, 10, 190, 9},
    {kItemStatic, K::kLabel, "Dauer", 81, 42, 35, 10},
    {kItemStatic, K::kLabel, "ETA", 81, 57, 35, 10},
    {kItemElapsed, K::kValue, "-", 111, 42, 70, 10},
    {kItemEta, K::kValue, "-", 111, 57, 70, 10},
};

const DialogTemplate kProgressDialogs[] = {
    {kDialogProgress, "Duplicate Search", 211, 141, false, kProgressEnglish},
    {kDialogProgress, "Dublettensuche", 211, 141, false, kProgressGerman},
};

const DialogTemplate kWaitDialogs[] = {
    {kDialogWait, "Please Wait", 210, 95, true, kWaitEnglish},
    {kDialogWait, "Bitte Warten", 210, 95, true, kWaitGerman},
};

bool StartsWithDe(const char* value) {
  return value[0] == 'd' && value[1] == 'e';
}

}  // namespace

Language UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      return StartsWithDe(value) ? Language::kGerman : Language::kEnglish;
    }
  }
  return Language::kEnglish;
}

std::string_view ResourceString(int id, Language language) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) {
      return language == Language::kGerman ? entry.german : entry.english;
    }
  }
  return {};
}

std::string_view ResourceString(int id) {
  return ResourceString(id, UserLanguage());
}

const DialogTemplate& Dialog(int id, Language language) {
  int which = language == Language::kGerman ? 1 : 0;
  return id == kDialogWait ? kWaitDialogs[which] : kProgressDialogs[which];
}

std::string_view ItemText(const DialogTemplate& dialog, int id) {
  for (const DialogItem& item : dialog.items) {
    if (item.id == id) return item.text;
  }
  return {};
}

}  // namespace vexlor
