#include "vexlor/strings/double_metaphone.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <memory>

namespace vexlor {
namespace {

// Upper-case mapping of Windows-1252: a-z, the accented small letters
// 0xE0-0xFE (except the division sign), and the four small letters that
// live in 0x80-0x9F or at 0xFF. Only A-Z, Ç and Ñ matter to the rules, but a
// complete mapping keeps the key stable if rules for more letters appear.
constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c)
    table[c] = static_cast<unsigned char>(c - 32);
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) table[c] = static_cast<unsigned char>(c - 32);
  }
  table[0x9A] = 0x8A;  // š
  table[0x9C] = 0x8C;  // œ
  table[0x9E] = 0x8E;  // ž
  table[0xFF] = 0x9F;  // ÿ
  return table;
}

constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();

constexpr char kCCedilla = static_cast<char>(0xC7);
constexpr char kNTilde = static_cast<char>(0xD1);

// Blanks after the name, so that every look-ahead of the rules (at most five
// bytes past the current position) reads a blank instead of leaving the
// buffer, and tests such as "JOSE followed by a blank" work at the end.
constexpr int kPad = 5;

// Names up to this size (with padding) are prepared on the stack.
constexpr size_t kStackBuffer = 96;

// Codes one prepared name. `w` holds the upper-cased name followed by kPad
// blanks; `n` is the length of the name itself.
class Encoder {
 public:
  Encoder(const char* w, int n, bool slavo_germanic, size_t limit,
          std::string* key)
      : w_(w),
        n_(n),
        last_(n - 1),
        slavo_germanic_(slavo_germanic),
        limit_(limit),
        key_(key) {}

  void Run();

 private:
  char At(int i) const { return i >= 0 ? w_[i] : '\0'; }

  // True when the bytes at `start` spell `lit`. A window that starts before
  // the name or runs past the padding matches nothing.
  template <size_t N>
  bool Is(int start, const char (&lit)[N]) const {
    constexpr int kLen = static_cast<int>(N - 1);
    return start >= 0 && start + kLen <= n_ + kPad &&
           std::memcmp(w_ + start, lit, kLen) == 0;
  }
  template <size_t... N>
  bool IsAny(int start, const char (&... lits)[N]) const {
    return (Is(start, lits) || ...);
  }

  // Vowels count only inside the name, never in the padding, and accented
  // vowels are not vowels.
  bool IsVowel(int i) const {
    if (i < 0 || i >= n_) return false;
    const char c = w_[i];
    return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U' || c == 'Y';
  }

  void Add(const char* code) { key_->append(code); }

  // Each returns the number of positions consumed.
  int CodeC(int at);
  int CodeD(int at);
  int CodeG(int at);
  int CodeJ(int at);
  int CodeS(int at);
  int CodeT(int at);
  int CodeW(int at);

  const char* w_;
  const int n_;
  const int last_;
  const bool slavo_germanic_;
  const size_t limit_;
  std::string* key_;
};

void Encoder::Run() {
  int current = 0;
  // Silent first letter of GN, KN, PN, WR and PS.
  if (IsAny(0, "GN", "KN", "PN", "WR", "PS")) current = 1;
  // An initial X sounds as Z (Xavier).
  if (w_[0] == 'X') {
    Add("S");
    current = 1;
  }

  while (key_->size() < limit_ && current < n_) {
    const char c = w_[current];
    switch (c) {
      case 'A':
      case 'E':
      case 'I':
      case 'O':
      case 'U':
      case 'Y':
        // Only an initial vowel is coded, and always as A.
        if (current == 0) Add("A");
        current += 1;
        break;
      case 'B':
        // A silent B after M ("dumb") is consumed by the M rule.
        Add("P");
        current += At(current + 1) == 'B' ? 2 : 1;
        break;
      case kCCedilla:
        Add("S");
        current += 1;
        break;
      case 'C':
        current += CodeC(current);
        break;
      case 'D':
        current += CodeD(current);
        break;
      case 'F':
        current += At(current + 1) == 'F' ? 2 : 1;
        Add("F");
        break;
      case 'G':
        current += CodeG(current);
        break;
      case 'H':
        // H is sounded only first or between vowels, and before a vowel.
        if ((current == 0 || IsVowel(current - 1)) && IsVowel(current + 1)) {
          Add("H");
          current += 2;
        } else {
          current += 1;
        }
        break;
      case 'J':
        current += CodeJ(current);
        break;
      case 'K':
        current += At(current + 1) == 'K' ? 2 : 1;
        Add("K");
        break;
      case 'L':
        // The Spanish LL of cabrillo and gallegos differs only in the
        // secondary key.
        current += At(current + 1) == 'L' ? 2 : 1;
        Add("L");
        break;
      case 'M':
        // "dumb", "thumb", "plumber": the B after UM is silent.
        if ((Is(current - 1, "UMB") &&
             (current + 1 == last_ || Is(current + 2, "ER"))) ||
            At(current + 1) == 'M') {
          current += 2;
        } else {
          current += 1;
        }
        Add("M");
        break;
      case 'N':
        current += At(current + 1) == 'N' ? 2 : 1;
        Add("N");
        break;
      case kNTilde:
        current += 1;
        Add("N");
        break;
      case 'P':
        if (At(current + 1) == 'H') {
          Add("F");
          current += 2;
          break;
        }
        // "campbell", "raspberry": the following B is silent.
        current += IsAny(current + 1, "P", "B") ? 2 : 1;
        Add("P");
        break;
      case 'Q':
        current += At(current + 1) == 'Q' ? 2 : 1;
        Add("K");
        break;
      case 'R':
        // A final R after IE is silent in French names (Rogier), but not
        // after MEIE/MAIE (Hochmeier) or in Slavic and Germanic names.
        if (!(current == last_ && !slavo_germanic_ && Is(current - 2, "IE") &&
              !IsAny(current - 4, "ME", "MA"))) {
          Add("R");
        }
        current += At(current + 1) == 'R' ? 2 : 1;
        break;
      case 'S':
        current += CodeS(current);
        break;
      case 'T':
        current += CodeT(current);
        break;
      case 'V':
        current += At(current + 1) == 'V' ? 2 : 1;
        Add("F");
        break;
      case 'W':
        current += CodeW(current);
        break;
      case 'X':
        // Silent final X after IAU, EAU, AU or OU (Breaux).
        if (!(current == last_ && (IsAny(current - 3, "IAU", "EAU") ||
                                   IsAny(current - 2, "AU", "OU")))) {
          Add("KS");
        }
        current += IsAny(current + 1, "C", "X") ? 2 : 1;
        break;
      case 'Z':
        // Pinyin ZH (Zhao).
        if (At(current + 1) == 'H') {
          Add("J");
          current += 2;
          break;
        }
        Add("S");
        current += At(current + 1) == 'Z' ? 2 : 1;
        break;
      default:
        current += 1;
        break;
    }
  }
}

int Encoder::CodeC(int at) {
  // Germanic ACH not followed by I or E (except BACHER, MACHER).
  if (at > 1 && !IsVowel(at - 2) && Is(at - 1, "ACH") && At(at + 2) != 'I' &&
      (At(at + 2) != 'E' || IsAny(at - 2, "BACHER", "MACHER"))) {
    Add("K");
    return 2;
  }
  if (at == 0 && Is(at, "CAESAR")) {
    Add("S");
    return 2;
  }
  if (Is(at, "CHIA")) {  // Italian: chianti
    Add("K");
    return 2;
  }
  if (Is(at, "CH")) {
    if (at > 0 && Is(at, "CHAE")) {  // michael
      Add("K");
      return 2;
    }
    // Greek roots: chemistry, chorus, but not chore.
    if (at == 0 &&
        (IsAny(at + 1, "HARAC", "HARIS") ||
         IsAny(at + 1, "HOR", "HYM", "HIA", "HEM")) &&
        !Is(0, "CHORE")) {
      Add("K");
      return 2;
    }
    // Germanic or Greek CH for the KH sound: architect, orchestra, orchid,
    // wachtler, wechsler, but not tichner.
    if (IsAny(0, "VAN ", "VON ") || Is(0, "SCH") ||
        IsAny(at - 2, "ORCHES", "ARCHIT", "ORCHID") ||
        IsAny(at + 2, "T", "S") ||
        ((IsAny(at - 1, "A", "O", "U", "E") || at == 0) &&
         IsAny(at + 2, "L", "R", "N", "M", "B", "H", "F", "V", "W", " "))) {
      Add("K");
    } else if (at > 0) {
      Add(Is(0, "MC") ? "K" : "X");  // McHugh
    } else {
      Add("X");
    }
    return 2;
  }
  if (Is(at, "CZ") && !Is(at - 2, "WICZ")) {  // czerny
    Add("S");
    return 2;
  }
  if (Is(at + 1, "CIA")) {  // focaccia
    Add("X");
    return 3;
  }
  // Double C, but not in McClellan.
  if (Is(at, "CC") && !(at == 1 && At(0) == 'M')) {
    // bellocchio, but not bacchus
    if (IsAny(at + 2, "I", "E", "H") && !Is(at + 2, "HU")) {
      // accident, accede, succeed
      if ((at == 1 && At(at - 1) == 'A') || IsAny(at - 1, "UCCEE", "UCCES")) {
        Add("KS");
      } else {  // bacci, bertucci
        Add("X");
      }
      return 3;
    }
    Add("K");  // Pierce's rule
    return 2;
  }
  if (IsAny(at, "CK", "CG", "CQ")) {
    Add("K");
    return 2;
  }
  if (IsAny(at, "CI", "CE", "CY")) {
    Add("S");  // Italian CIO/CIE/CIA differ only in the secondary key
    return 2;
  }
  Add("K");
  // Names written apart: Mac Caffrey, Mac Gregor.
  if (IsAny(at + 1, " C", " Q", " G")) return 3;
  if (IsAny(at + 1, "C", "K", "Q") && !IsAny(at + 1, "CE", "CI")) return 2;
  return 1;
}

int Encoder::CodeD(int at) {
  if (Is(at, "DG")) {
    if (IsAny(at + 2, "I", "E", "Y")) {  // edge
      Add("J");
      return 3;
    }
    Add("TK");  // edgar
    return 2;
  }
  Add("T");
  return IsAny(at, "DT", "DD") ? 2 : 1;
}

int Encoder::CodeG(int at) {
  if (At(at + 1) == 'H') {
    if (at > 0 && !IsVowel(at - 1)) {
      Add("K");
      return 2;
    }
    if (at == 0) {  // ghislane, ghiradelli
      Add(At(at + 2) == 'I' ? "J" : "K");
      return 2;
    }
    // Parker's rule: hugh, bough, broughton.
    if ((at > 1 && IsAny(at - 2, "B", "H", "D")) ||
        (at > 2 && IsAny(at - 3, "B", "H", "D")) ||
        (at > 3 && IsAny(at - 4, "B", "H"))) {
      return 2;
    }
    // laugh, McLaughlin, cough, gough, rough, tough
    if (at > 2 && At(at - 1) == 'U' && IsAny(at - 3, "C", "G", "L", "R", "T")) {
      Add("F");
    } else if (at > 0 && At(at - 1) != 'I') {
      Add("K");
    }
    return 2;
  }
  if (At(at + 1) == 'N') {
    if (at == 1 && IsVowel(0) && !slavo_germanic_) {
      Add("KN");
    } else if (!Is(at + 2, "EY") && At(at + 1) != 'Y' && !slavo_germanic_) {
      Add("N");
    } else {
      Add("KN");  // cagney
    }
    return 2;
  }
  if (Is(at + 1, "LI") && !slavo_germanic_) {  // tagliaro
    Add("KL");
    return 2;
  }
  // GES, GEP, GEB, GEL, GEY, GIB, GIL, GIN, GIE, GEI, GER and GY at the
  // start.
  if (at == 0 &&
      (At(at + 1) == 'Y' || IsAny(at + 1, "ES", "EP", "EB", "EL", "EY", "IB",
                                  "IL", "IN", "IE", "EI", "ER"))) {
    Add("K");
    return 2;
  }
  // -GER-, -GY-
  if ((Is(at + 1, "ER") || At(at + 1) == 'Y') &&
      !IsAny(0, "DANGER", "RANGER", "MANGER") && !IsAny(at - 1, "E", "I") &&
      !IsAny(at - 1, "RGY", "OGY")) {
    Add("K");
    return 2;
  }
  // Italian: biaggi
  if (IsAny(at + 1, "E", "I", "Y") || IsAny(at - 1, "AGGI", "OGGI")) {
    // Obviously Germanic names keep the hard G.
    if (IsAny(0, "VAN ", "VON ") || Is(0, "SCH") || Is(at + 1, "ET")) {
      Add("K");
    } else {
      Add("J");  // soft, above all before a French -IER ending
    }
    return 2;
  }
  Add("K");
  return At(at + 1) == 'G' ? 2 : 1;
}

int Encoder::CodeJ(int at) {
  // Obviously Spanish: jose, san jacinto.
  if (Is(at, "JOSE") || Is(0, "SAN ")) {
    if ((at == 0 && At(at + 4) == ' ') || Is(0, "SAN ")) {
      Add("H");
    } else {
      Add("J");
    }
    return 1;
  }
  if (at == 0) {
    Add("J");  // Yankelovich / Jankelowicz
  } else if (IsVowel(at - 1) && !slavo_germanic_ &&
             (At(at + 1) == 'A' || At(at + 1) == 'O')) {
    Add("J");  // Spanish bajador
  } else if (at == last_) {
    Add("J");
  } else if (!IsAny(at + 1, "L", "T", "K", "S", "N", "M", "B", "Z") &&
             !IsAny(at - 1, "S", "K", "L")) {
    Add("J");
  }
  return At(at + 1) == 'J' ? 2 : 1;
}

int Encoder::CodeS(int at) {
  // island, isle, carlisle, carlysle
  if (IsAny(at - 1, "ISL", "YSL")) return 1;
  if (at == 0 && Is(at, "SUGAR")) {
    Add("X");
    return 1;
  }
  if (Is(at, "SH")) {
    // Germanic: -sheim, -shoek, -sholm, -sholz
    Add(IsAny(at + 1, "HEIM", "HOEK", "HOLM", "HOLZ") ? "S" : "X");
    return 2;
  }
  // Italian and Armenian: SIO, SIA, SIAN
  if (IsAny(at, "SIO", "SIA") || Is(at, "SIAN")) {
    Add("S");
    return 3;
  }
  // German and anglicised names (smith ~ schmidt, snider ~ schneider), and
  // the Slavic SZ.
  if ((at == 0 && IsAny(at + 1, "M", "N", "L", "W")) || Is(at + 1, "Z")) {
    Add("S");
    return Is(at + 1, "Z") ? 2 : 1;
  }
  if (Is(at, "SC")) {
    // Schlesinger's rule.
    if (At(at + 2) == 'H') {
      // Dutch: school, schooner, schermerhorn, schenker
      if (IsAny(at + 3, "OO", "ER", "EN", "UY", "ED", "EM")) {
        Add(IsAny(at + 3, "ER", "EN") ? "X" : "SK");
        return 3;
      }
      Add("X");
      return 3;
    }
    Add(IsAny(at + 2, "I", "E", "Y") ? "S" : "SK");
    return 3;
  }
  // A final S after AI or OI is silent in French names (resnais, artois).
  if (!(at == last_ && IsAny(at - 2, "AI", "OI"))) Add("S");
  return IsAny(at + 1, "S", "Z") ? 2 : 1;
}

int Encoder::CodeT(int at) {
  if (Is(at, "TION") || IsAny(at, "TIA", "TCH")) {
    Add("X");
    return 3;
  }
  if (Is(at, "TH") || Is(at, "TTH")) {
    // thomas, thames, and Germanic names keep the T.
    if (IsAny(at + 2, "OM", "AM") || IsAny(0, "VAN ", "VON ") || Is(0, "SCH")) {
      Add("T");
    } else {
      Add("0");
    }
    return 2;
  }
  Add("T");
  return IsAny(at + 1, "T", "D") ? 2 : 1;
}

int Encoder::CodeW(int at) {
  // WR can also be inside a name.
  if (Is(at, "WR")) {
    Add("R");
    return 2;
  }
  // Wasserman ~ Vasserman, Uomo ~ Womo.
  if (at == 0 && (IsVowel(at + 1) || Is(at, "WH"))) Add("A");
  // Arnow ~ Arnoff, -ewski, -owsky: the W is a secondary F only.
  if ((at == last_ && IsVowel(at - 1)) ||
      IsAny(at - 1, "EWSKI", "EWSKY", "OWSKI", "OWSKY") || Is(0, "SCH")) {
    return 1;
  }
  if (IsAny(at, "WICZ", "WITZ")) {  // Polish: filipowicz
    Add("TS");
    return 4;
  }
  return 1;
}

}  // namespace

std::string DoubleMetaphone(std::string_view s, int length) {
  if (length <= 0 || s.empty()) return std::string();

  const size_t n = s.size();
  const size_t padded = n + kPad;
  char stack[kStackBuffer];
  std::unique_ptr<char[]> heap;
  char* w = stack;
  if (padded > kStackBuffer) {
    heap = std::make_unique<char[]>(padded);
    w = heap.get();
  }
  // Upper-case once and look for the Slavic/Germanic marks on the way: a W
  // or K anywhere, or CZ (WITZ contains a W).
  bool slavo_germanic = false;
  char previous = '\0';
  for (size_t i = 0; i < n; ++i) {
    const char c = static_cast<char>(kUpper[static_cast<unsigned char>(s[i])]);
    w[i] = c;
    slavo_germanic |= c == 'W' || c == 'K' || (c == 'Z' && previous == 'C');
    previous = c;
  }
  std::memset(w + n, ' ', kPad);

  const size_t limit = static_cast<size_t>(length);
  std::string key;
  // A key has at most two characters per byte of the name, and coding
  // stops once `limit` exist, after adding at most two more.
  key.reserve(limit + 1 < 2 * n ? limit + 1 : 2 * n);
  Encoder(w, static_cast<int>(n), slavo_germanic, limit, &key).Run();
  if (key.size() > limit) key.resize(limit);
  return key;
}

}  // namespace vexlor
