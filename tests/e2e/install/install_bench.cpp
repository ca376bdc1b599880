// Benchmark (not part of the test run): a quiet install of a package of
// about 64 MiB, once with its items imploded and once stored, each against a
// plain copy of the installer file made in the same run; and the installer's
// peak memory against the largest compressed item.
//
//   e2e_install_bench.exe [MiB]     (under Wine, with a display)
//
// Prints one line per variant (a 1 MiB baseline first, for the cost of
// starting a program under Wine): seconds for the install and for the copy,
// their ratio, the peak working set and peak private bytes of the installer,
// and the largest item's expanded and stored sizes.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/PackageRecords.h"
#include "tests/e2e/install/E2eUtil.h"
#include "tests/support/PackFixtures.h"
#include "tools/build/PackageBuilder.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"

using namespace e2e;
using ss::pack::Compression;

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

struct Item {
  size_t original = 0;
  size_t packed = 0;
};

// The package: the fixture's small files plus a data file of `mib` MiB in
// entries of 8 MiB, text that implodes well and one of noise that does not.
bool BuildPackage(size_t mib, Compression how, Bytes* installer, Item* largest, std::string* error) {
  ss::pack::FixtureOptions o;
  o.title = "E2E Bench";
  o.displayMode = ss::dmSilent;
  o.license = false;
  o.document = false;
  o.showDisplayProperties = false;
  o.library = ReadAll(sstest::WinePath(SS_IMPBORL_PATH));
  ss::pack::PackageInput input = ss::pack::MakeFixtureInput(o);

  ss::pack::DataFileInput data;
  const size_t entrySize = 8u << 20;
  size_t left = mib << 20;
  for (int i = 0; left > 0; ++i) {
    ss::pack::DataEntryInput e;
    e.name = "media\\item" + std::to_string(i) + ".bin";
    const size_t n = left < entrySize ? left : entrySize;
    e.data = i == 1 ? ss::pack::MakeNoiseBytes(n, 900 + i) : ss::pack::MakeTextBytes(n, 900 + i);
    e.compression = how;
    e.source = e.name;
    if (n > largest->original) {
      Bytes packed;
      bool compressed = false;
      const ss::pack::ToolResult done = ss::pack::PackBytes(e.data, how, &packed, &compressed);
      if (!done.ok()) {
        *error = done.message();
        return false;
      }
      largest->original = n;
      largest->packed = packed.size();
    }
    data.entries.push_back(std::move(e));
    left -= n;
  }
  Bytes dataBytes;
  if (const ss::pack::ToolResult built = ss::pack::BuildSaverDataFile(data, &dataBytes); !built.ok()) {
    *error = built.message();
    return false;
  }
  input.segments[ss::kSegDataFile]->data = std::move(dataBytes);
  // The data file's entries carry their own compression; the segment around
  // them is stored.
  input.segments[ss::kSegDataFile]->compression = Compression::kStore;
  const ss::pack::ToolResult built =
      ss::pack::BuildInstaller(ReadAll(sstest::WinePath(SS_STUB_PATH)), input, installer);
  *error = built.message();
  return built.ok();
}

void CleanUp() {
  const std::string sys = SystemDir();
  DeleteFileA((sys + "E2E Bench.scr").c_str());
  ss::RemoveDirectoryTree(sys + "E2E Bench dir\\");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath("E2E Bench").c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, ss::UninstallKeyPath("E2E Bench").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 64;
  const std::string dir = TempDir() + "e2e-bench\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string saverBefore = ScreenSaverSetting();
  // Every install checks the Flash player first: the stand-in control.
  const std::string inproc = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";
  RegPut(HKEY_CLASSES_ROOT, inproc, nullptr, sstest::WinePath(SS_FLASHCTL_PATH));
  RegPut(HKEY_CLASSES_ROOT, inproc, "ThreadingModel", "Apartment");
  int failures = 0;
  struct Variant {
    const char* name;
    size_t mib;
    Compression how;
  };
  // The 1 MiB run shows what starting the installer under Wine costs alone.
  const Variant variants[] = {{"baseline", 1, Compression::kCompress},
                              {"compressed", mib, Compression::kCompress},
                              {"stored", mib, Compression::kStore}};
  for (const Variant& v : variants) {
    const char* name = v.name;
    const Compression how = v.how;
    Bytes installer;
    Item largest;
    std::string error;
    if (!BuildPackage(v.mib, how, &installer, &largest, &error)) {
      std::printf("%s: build failed: %s\n", name, error.c_str());
      ++failures;
      continue;
    }
    const std::string exe = dir + "Setup.exe";
    WriteAll(exe, installer);
    CleanUp();

    // The plain copy of the same bytes first, so that both read a file the
    // system has just written.
    LARGE_INTEGER t0, t1, t2, t3;
    QueryPerformanceCounter(&t0);
    CopyFileA(exe.c_str(), (dir + "copy.bin").c_str(), FALSE);
    QueryPerformanceCounter(&t1);
    DeleteFileA((dir + "copy.bin").c_str());

    ChildProcess child;
    QueryPerformanceCounter(&t2);
    if (!child.Start(exe, "/q")) {
      std::printf("%s: installer did not start\n", name);
      ++failures;
      continue;
    }
    // Peak figures are sampled while the installer runs: a finished
    // process's counters are not always kept.
    PROCESS_MEMORY_COUNTERS peak = {};
    HANDLE query = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, child.pid());
    while (child.Running()) {
      PROCESS_MEMORY_COUNTERS pmc = {};
      pmc.cb = sizeof pmc;
      if (query != nullptr && GetProcessMemoryInfo(query, &pmc, sizeof pmc)) {
        if (pmc.PeakWorkingSetSize > peak.PeakWorkingSetSize) peak.PeakWorkingSetSize = pmc.PeakWorkingSetSize;
        if (pmc.PeakPagefileUsage > peak.PeakPagefileUsage) peak.PeakPagefileUsage = pmc.PeakPagefileUsage;
      }
      Sleep(5);
    }
    child.Wait(600000);
    QueryPerformanceCounter(&t3);
    if (query != nullptr) CloseHandle(query);

    const double copy = Seconds(t0, t1), install = Seconds(t2, t3);
    std::printf(
        "%-10s package %6.1f MiB  install %6.2f s  copy %6.3f s  ratio %6.1f  exit %ld  "
        "peak working set %6.1f MiB  peak private %6.1f MiB  largest item %5.1f MiB stored as %5.1f MiB\n",
        name, installer.size() / 1048576.0, install, copy, copy > 0 ? install / copy : 0.0,
        static_cast<long>(child.exitCode()), peak.PeakWorkingSetSize / 1048576.0, peak.PeakPagefileUsage / 1048576.0,
        largest.original / 1048576.0, largest.packed / 1048576.0);
    if (child.exitCode() != 0) ++failures;
    CleanUp();
  }
  SetScreenSaverSetting(saverBefore);
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
  ss::RemoveDirectoryTree(dir);
  return failures == 0 ? 0 : 1;
}
