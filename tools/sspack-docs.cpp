// sspack-docs: writes sspack's manual page or its bash completion from the
// command table (tools/CommandTable.h), at build time.
// Usage: sspack-docs man VERSION DATE OUT | sspack-docs bash OUT
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/CommandDocs.h"

namespace {

int Write(const char* path, const std::string& text) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "sspack-docs: %s: cannot write\n", path);
    return 3;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    std::fprintf(stderr, "sspack-docs: %s: cannot write\n", path);
    return 3;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "man") == 0) {
    return Write(argv[4], ss::pack::ManualPage(argv[2], argv[3]));
  }
  if (argc == 3 && std::strcmp(argv[1], "bash") == 0) return Write(argv[2], ss::pack::BashCompletion());
  std::fprintf(stderr, "usage: sspack-docs man VERSION DATE OUT | sspack-docs bash OUT\n");
  return 2;
}
