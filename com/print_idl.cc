// Writes the type library's IDL, as the module describes it, to the file
// named by the first argument; the build compiles it into the type library
// that the server embeds.
#include <cstdio>
#include <string>

#include "vexlor/control/module.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: print_idl FILE\n");
    return 2;
  }
  const std::string idl = vexlor::TypeLibraryIdl();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = std::fwrite(idl.data(), 1, idl.size(), out) == idl.size();
  ok = std::fclose(out) == 0 && ok;
  return ok ? 0 : 1;
}
