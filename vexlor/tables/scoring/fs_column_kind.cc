#include "vexlor/tables/scoring/fs_column_kind.h"

#include <algorithm>

namespace vexlor {
namespace {

// Fewer values than this say too little: the column stays text.
constexpr uint64_t kFewestValues = 20;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}

// At most 15 digits: no overflow.
uint64_t Number(std::string_view s) {
  uint64_t n = 0;
  for (char c : s) n = n * 10 + static_cast<uint64_t>(c - '0');
  return n;
}

int Digits(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

struct Date {
  int year = 0, month = 0, day = 0;
};

bool Valid(const Date& d) {
  return d.year >= 1800 && d.year <= 2199 && d.month >= 1 && d.month <= 12 &&
         d.day >= 1 && d.day <= 31;
}

// Reads 19790512, 12051979, 1979 05 12 and 12 5 1979 (the normaliser has
// made the separators blanks); day-first where the order is open.
bool ParseDate(std::string_view s, Date* d) {
  std::string_view parts[3];
  int n = 0;
  size_t at = 0;
  while (at < s.size()) {
    if (s[at] == ' ') {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < s.size() && IsDigit(s[end])) ++end;
    if (end == at || n == 3) return false;
    parts[n++] = s.substr(at, end - at);
    at = end;
  }
  if (n == 1 && parts[0].size() == 8) {
    const std::string_view p = parts[0];
    *d = {Digits(p.substr(0, 4)), Digits(p.substr(4, 2)),
          Digits(p.substr(6, 2))};
    if (Valid(*d)) return true;
    *d = {Digits(p.substr(4, 4)), Digits(p.substr(2, 2)),
          Digits(p.substr(0, 2))};
    return Valid(*d);
  }
  if (n != 3) return false;
  if (parts[0].size() == 4 && parts[1].size() <= 2 && parts[2].size() <= 2) {
    *d = {Digits(parts[0]), Digits(parts[1]), Digits(parts[2])};
  } else if (parts[2].size() == 4 && parts[0].size() <= 2 &&
             parts[1].size() <= 2) {
    *d = {Digits(parts[2]), Digits(parts[1]), Digits(parts[0])};
  } else {
    return false;
  }
  return Valid(*d);
}

bool LooksLikeCode(std::string_view s) {
  if (s.size() > 10) return false;
  bool digit = false;
  int blanks = 0;
  for (char c : s) {
    if (c == ' ') {
      ++blanks;
    } else if (!IsAlnum(c)) {
      return false;
    }
    digit = digit || IsDigit(c);
  }
  return digit && blanks <= 1;
}

}  // namespace

const char* FsKindName(FsKind kind) {
  switch (kind) {
    case FsKind::kCode:
      return "code";
    case FsKind::kNumber:
      return "number";
    case FsKind::kDate:
      return "date";
    default:
      return "gestalt";
  }
}

bool FsKindOfName(std::string_view name, FsKind* kind) {
  for (FsKind k :
       {FsKind::kText, FsKind::kCode, FsKind::kNumber, FsKind::kDate}) {
    if (name == FsKindName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

void FsKindVote::Add(std::string_view value) {
  if (value.empty()) return;
  ++values_;
  Date date;
  if (ParseDate(value, &date)) ++dates_;
  if (AllDigits(value) && value.size() <= 15) {
    ++numbers_;
    ++width_counts_[value.size()];
  }
  if (LooksLikeCode(value)) ++codes_;
}

FsKind FsKindVote::Kind() const {
  if (values_ < kFewestValues) return FsKind::kText;
  const auto most = [this](uint64_t n) { return n * 10 >= values_ * 9; };
  if (most(dates_)) return FsKind::kDate;
  if (most(numbers_)) {
    const uint64_t widest =
        *std::max_element(std::begin(width_counts_), std::end(width_counts_));
    return widest * 10 >= numbers_ * 9 ? FsKind::kCode : FsKind::kNumber;
  }
  return most(codes_) ? FsKind::kCode : FsKind::kText;
}

bool OneEditApart(std::string_view a, std::string_view b) {
  if (a.size() > b.size()) std::swap(a, b);
  if (b.size() - a.size() > 1) return false;
  size_t i = 0;
  while (i < a.size() && a[i] == b[i]) ++i;
  if (a.size() == b.size()) {
    if (a.substr(i + 1) == b.substr(i + 1)) return true;  // one changed
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] &&
           a.substr(i + 2) == b.substr(i + 2);
  }
  return a.substr(i) == b.substr(i + 1);  // one added
}

bool NearNumbers(std::string_view a, std::string_view b) {
  if (OneEditApart(a, b)) return true;
  if (!AllDigits(a) || !AllDigits(b) || a.size() > 15 || b.size() > 15) {
    return false;
  }
  const uint64_t x = Number(a), y = Number(b);
  return (std::max(x, y) - std::min(x, y)) * 10 <= std::max(x, y);
}

bool NearDates(std::string_view a, std::string_view b) {
  if (OneEditApart(a, b)) return true;
  Date x, y;
  if (!ParseDate(a, &x) || !ParseDate(b, &y)) return false;
  return x.year == y.year && x.month == y.day && x.day == y.month;
}

}  // namespace vexlor
