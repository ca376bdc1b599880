// Reports what this process learns about the running Windows: exit code
// (kind + 1) + 16 when a Flash 8 setup is refused + 32 when a Flash 7 setup
// is refused. The Windows tests run it under the versions Wine can report.
#include "flash/FlashPlayer.h"

int main() {
  int code = ss::getOSKind() + 1;
  if (ss::verifyFlashAXInstallerCanRunOnThisMachine(8) == ss::kErrFlashNotOnNT) code += 16;
  if (ss::verifyFlashAXInstallerCanRunOnThisMachine(7) == ss::kErrFlashNotOnNT) code += 32;
  return code;
}
