// Damaged installers run quietly: each ends with its own code as the exit
// code, shows no box, and leaves nothing installed. A failed activation
// alone is the exception: the files and the uninstall entry stay.
#include <functional>

#include "core/ResultCodes.h"
#include "tests/e2e/install/InstallFixture.h"

namespace e2e {
namespace {

using ss::pack::Compression;

class DamagedInstaller : public InstallE2e {
 protected:
  // Builds, damages, runs with "/q" (the run stays in `child_`); returns the
  // exit code as the program's signed result.
  int32_t RunDamaged(const Package& package, const std::function<void(Bytes&)>& damage) {
    child_ = RunToEnd(WriteInstaller(package, "Setup.exe", damage), "/q");
    return static_cast<int32_t>(child_->exitCode());
  }
  // The same with the package header changed (`change` is given the
  // installer's size).
  int32_t RunWithHeader(const Package& package, const std::function<void(ss::TPackageHeader&, int64_t)>& change) {
    return RunDamaged(package, [&](Bytes& b) {
      ss::TPackageHeader h = HeaderOf(b);
      change(h, static_cast<int64_t>(b.size()));
      PutHeader(b, h);
    });
  }
  std::unique_ptr<ChildProcess> child_;
};

TEST_F(DamagedInstaller, ShortPackageEndsAtStartUpWithItsCode) {
  PackagePlan plan;
  const Package package = MakePackage(plan);
  const size_t stub = Stub().size();
  for (size_t keep : {stub, stub + 100, stub + ss::kPackageHeaderSize - 1}) {
    SCOPED_TRACE(keep - stub);
    EXPECT_EQ(RunDamaged(package, [&](Bytes& b) { b.resize(keep); }), ss::kErrShortHeader) << child_->LogText();
    EXPECT_TRUE(child_->Logged("install error: -31"));
    ExpectNothingInstalled(plan.title);
  }
}

// Damage found while installing: whatever was written before it is removed
// again.
TEST_F(DamagedInstaller, DamagedSegmentsRemoveThePartialInstall) {
  struct Case {
    const char* what;
    int segment;
    Compression compression;
    std::function<void(ss::TSegmentEntry&, int64_t fileSize)> damage;
    int32_t expected;
  };
  const Case cases[] = {
      {"end past the file", ss::kSegSupportLib2, Compression::kStore,
       [](ss::TSegmentEntry& e, int64_t size) { e.endOffset = static_cast<int32_t>(size + 1000); },
       ss::kErrShortSegment},
      {"negative start", ss::kSegSupportFile, Compression::kStore,
       [](ss::TSegmentEntry& e, int64_t) { e.startOffset = -5; }, ss::kErrShortSegment},
      {"start after end", ss::kSegSupportLib1, Compression::kStore,
       [](ss::TSegmentEntry& e, int64_t) { e.startOffset = e.endOffset + 10; }, ss::kErrShortSegment},
      {"wrong expanded size", ss::kSegSupportLib2, Compression::kCompress,
       [](ss::TSegmentEntry& e, int64_t) { e.originalSize += 1; }, ss::kErrWrongSize},
      {"data file without name", ss::kSegDataFile, Compression::kAuto,
       [](ss::TSegmentEntry& e, int64_t) { e.name.clear(); }, ss::kErrSegmentNoName},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PackagePlan plan;
    plan.title = "E2E Damaged " + std::to_string(++n);
    plan.compression = c.compression;
    const Package package = MakePackage(plan);
    const auto damage = [&](ss::TPackageHeader& h, int64_t size) { c.damage(h.segments[c.segment], size); };
    EXPECT_EQ(RunWithHeader(package, damage), c.expected) << child_->LogText();
    // The engine comes first: a stored one is logged as written before the
    // damage was met, and must be gone again.
    if (c.compression == Compression::kStore) {
      EXPECT_TRUE(child_->Logged("file created: " + EnginePath(plan.title)));
    }
    ExpectNothingInstalled(plan.title);
    EXPECT_EQ(ScreenSaverSetting(), screenSaverBefore_);
  }
}

// A data file whose own content is damaged: an entry's stored bytes cut
// short of what the entry table announces.
TEST_F(DamagedInstaller, DamagedDataFileRemovesThePartialInstall) {
  PackagePlan plan;
  plan.compression = Compression::kStore;
  Package package = MakePackage(plan);
  Bytes& data = package.input.segments[ss::kSegDataFile]->data;
  data.resize(data.size() - 100);
  EXPECT_EQ(RunDamaged(package, nullptr), ss::kIoReadPastEnd) << child_->LogText();
  // The data file is closed again after the failed read, so that it can be
  // deleted and the work directory goes with it.
  EXPECT_FALSE(child_->Logged("work directory not removed")) << child_->LogText();
  ExpectNothingInstalled(plan.title);
}

TEST_F(DamagedInstaller, UnknownFlashVersionIndexIsADamagedPackage) {
  PackagePlan plan;
  const Package package = MakePackage(plan);
  EXPECT_EQ(RunWithHeader(package, [](ss::TPackageHeader& h, int64_t) { h.flashVersionIndex = 2; }),
            ss::kErrBadFlashIndex)
      << child_->LogText();
  ExpectNothingInstalled(plan.title);
}

// system.ini held open without sharing: only the activation fails. The
// installed files and the uninstall entry stay, and the run reports the
// activation's code.
TEST_F(DamagedInstaller, FailedActivationAloneKeepsTheInstall) {
  PackagePlan plan;
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);
  const std::string ini = WindowsDir() + "system.ini";
  HANDLE lock = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE) << GetLastError();
  auto child = RunToEnd(exe, "/q");
  CloseHandle(lock);
  EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kOsSharingViolation) << child->LogText();
  EXPECT_TRUE(child->Logged("Unable to write to system.ini"));
  EXPECT_TRUE(ReadAll(EnginePath(plan.title)) == package.segment(ss::kSegEngine));
  for (const auto& [name, bytes] : package.dataEntries) EXPECT_TRUE(ReadAll(InstallDir(plan.title) + name) == bytes);
  EXPECT_TRUE(UninstallEntryExists(plan.title));
  EXPECT_EQ(ScreenSaverSetting(), screenSaverBefore_);
  EXPECT_TRUE(NewWorkDirs().empty());
}

}  // namespace
}  // namespace e2e
