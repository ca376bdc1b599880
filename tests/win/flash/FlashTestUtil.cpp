#include "tests/win/flash/FlashTestUtil.h"

#include <zlib.h>

#include <cstring>

#include "flash/FlashIds.h"
#include "flash/FlashPlayer.h"
#include "tests/support/WinSystem.h"

namespace flashtest {

std::string ControlPath(int major, int minor) {
  return sstest::WinePath(SS_FLASHCTL_DIR "/flashctl_" + std::to_string(major) + "_" + std::to_string(minor) + ".dll");
}

void RemoveControlRegistration() {
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ss::kFlashInprocKey);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + ss::kFlashClsidText).c_str());
}

ControlRegistration::ControlRegistration(const std::string& dllPath) {
  RemoveControlRegistration();
  if (dllPath.empty()) return;
  sstest::RegPut(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, nullptr, dllPath);
  sstest::RegPut(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, "ThreadingModel", "Apartment");
}

ControlRegistration::~ControlRegistration() { RemoveControlRegistration(); }

swftest::Bytes Compress(const swftest::Bytes& fws) {
  uLongf size = compressBound(static_cast<uLong>(fws.size() - 8));
  swftest::Bytes out(8 + size);
  std::copy(fws.begin(), fws.begin() + 8, out.begin());
  out[0] = 'C';
  compress2(out.data() + 8, &size, fws.data() + 8, static_cast<uLong>(fws.size() - 8), 9);
  out.resize(8 + size);
  return out;
}

ShortProbes::ShortProbes() {
  saved_ = ss::flashProbeTiming();
  ss::FlashProbeTiming& t = ss::flashProbeTiming();
  t.pauseMs = 20;
  t.panelProbeAttempts = 10;
  t.quietProbeAttempts = 5;
  t.createAttempts = 100;
  ss::resetCachedFlashMajor();
}

ShortProbes::~ShortProbes() {
  ss::flashProbeTiming() = saved_;
  ss::resetCachedFlashMajor();
}

}  // namespace flashtest
