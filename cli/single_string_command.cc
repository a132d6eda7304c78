// normalize, soundex, metaphone, dmetaphone, distance, difference, compare.
#include <istream>
#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "vexlor/platform/coerce.h"
#include "vexlor/text.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::cli {

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

std::vector<OptionSpec> SpecsFor(const std::string& name) {
  if (name == "normalize") return {{"mixed-case", false}};
  if (name == "soundex") return {{"length", true}, {"firstchar", false}};
  if (name == "metaphone" || name == "dmetaphone") return {{"length", true}};
  if (name == "compare") return {{"ignore-case", false, false, "i"}};
  return {};
}

// The names to code: the arguments, or with "-" one name per line of
// standard input (a trailing CR is dropped).
std::vector<std::string> Inputs(const std::vector<std::string>& positional,
                                std::istream& in) {
  if (positional.size() == 1 && positional[0] == "-") {
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  return positional;
}

int RunCoder(const std::string& name, const Arguments& a, Io io) {
  CVexlorCtrl control;
  long long length = 4;
  if (!ParseInt(a.Get("length", "4"), -32768, 32767, &length)) {
    return Complain(io, kExitUsage,
                    "--length takes a whole number from -32768 to 32767");
  }
  if (a.positional().empty()) {
    return Complain(io, kExitUsage, name + " needs a name, or - for stdin");
  }
  auto len = static_cast<int16_t>(length);
  for (const std::string& text : Inputs(a.positional(), io.in)) {
    std::u16string s = Utf8ToUtf16(text);
    std::u16string code;
    if (name == "normalize") {
      code = control.Normalize(s, !a.Has("mixed-case"));
    } else if (name == "soundex") {
      code = control.soundex(s, len, a.Has("firstchar"));
    } else if (name == "metaphone") {
      code = control.metaphone(s, len);
    } else {
      code = control.dmetaphone(s, len);
    }
    io.out << Utf16ToUtf8(code) << "\n";
  }
  return kExitOk;
}

int RunPair(const std::string& name, const Arguments& a, Io io) {
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage, name + " takes exactly two texts");
  }
  CVexlorCtrl control;
  std::u16string s1 = Utf8ToUtf16(a.positional()[0]);
  std::u16string s2 = Utf8ToUtf16(a.positional()[1]);
  if (name == "distance") {
    io.out << control.EditDistance(s1, s2) << "\n";
  } else if (name == "difference") {
    io.out << platform::ShortestNumberText(control.Difference(s1, s2)) << "\n";
  } else {
    io.out << control.CompareStrings(s1, s2, a.Has("ignore-case")) << "\n";
  }
  return kExitOk;
}

}  // namespace

int RunSingleString(const std::string& name,
                    const std::vector<std::string>& args, Io io) {
  Arguments a(args, SpecsFor(name));
  if (!a.ok()) return Complain(io, kExitUsage, name + ": " + a.error());
  if (name == "distance" || name == "difference" || name == "compare") {
    return RunPair(name, a, io);
  }
  return RunCoder(name, a, io);
}

}  // namespace vexlor::cli
