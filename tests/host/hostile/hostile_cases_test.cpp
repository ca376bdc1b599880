// The hostile cases the Windows end-to-end test runs through the real
// installer, checked here against two other judges of a package: the
// package verifier (sspack verify) and the model of the installer's reading
// rules that the fuzzers use. A case that must fail and that either judge
// accepts shows a gap in that judge; a valid case that either refuses shows
// a judge that is too strict. The model also must never write outside its
// directories, whatever the case.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/hostile/HostileCases.h"
#include "tests/fuzz/package/InstallWalk.h"
#include "tools/PackFixtures.h"
#include "tools/PackageCheck.h"

namespace hostile {
namespace {

constexpr size_t kStubSize = 1024;

const std::vector<HostileCase>& Cases() {
  static const std::vector<HostileCase> cases = [] {
    std::vector<HostileCase> out;
    std::string error;
    const std::vector<uint8_t> library = ss::pack::MakeStandInLibrary();
    EXPECT_TRUE(MakeHostileCases(ss::pack::MakeFakeStub(kStubSize), library, &out, &error)) << error;
    return out;
  }();
  return cases;
}

std::string Faults(const std::vector<uint8_t>& image) {
  std::string out;
  for (const ss::pack::Finding& f : ss::pack::VerifyInstaller(image)) {
    if (f.fault) out += "\n  " + f.text;
  }
  return out;
}

TEST(HostileCases, CoverEveryGroupWithUniqueNames) {
  std::map<std::string, int> groups;
  std::map<std::string, int> names;
  for (const HostileCase& c : Cases()) {
    ++groups[c.group];
    EXPECT_EQ(++names[c.group + " " + c.name], 1) << "duplicate case " << c.name;
    EXPECT_FALSE(c.why.empty()) << c.name;
  }
  for (const char* g : {"valid", "truncate", "header", "segment", "datafile"}) EXPECT_GT(groups[g], 0) << g;
}

// The verifier may be stricter than the installer on damaged packages (it
// refuses names the installer would never use), but it must pass every
// package the builder makes.
TEST(HostileCases, TheVerifierRefusesWhatMustFailAndPassesWhatTheBuilderMade) {
  for (const HostileCase& c : Cases()) {
    if (c.outsideModel) continue;
    const std::string faults = Faults(c.image);
    if (c.expect == Expect::kFail) {
      EXPECT_FALSE(faults.empty()) << "[" << c.group << "] " << c.name << ": verify finds no fault";
    } else if (c.group == "valid") {
      EXPECT_TRUE(faults.empty()) << "[" << c.group << "] " << c.name << ":" << faults;
    }
  }
}

TEST(HostileCases, TheReadingModelAgreesAndStaysInside) {
  for (const HostileCase& c : Cases()) {
    walk::Walk w;
    const ss::Result rc = walk::WalkInstaller(c.image, kStubSize, &w);
    for (const walk::Written& f : w.written) {
      EXPECT_TRUE(walk::StaysInside(f.path, f.dir, f.nested)) << c.name << ": " << f.path;
    }
    if (c.outsideModel) continue;
    if (c.expect == Expect::kFail) {
      EXPECT_NE(rc, ss::kOk) << "[" << c.group << "] " << c.name;
    } else if (c.expect == Expect::kSucceed) {
      EXPECT_EQ(rc, ss::kOk) << "[" << c.group << "] " << c.name;
    }
  }
}

// The containment check that the fuzzers rely on, on names whose fate is
// known: it must refuse each way out of a folder and accept plain names.
TEST(StaysInside, RefusesEveryWayOutAndAcceptsPlainNames) {
  const std::string dir = "C:\\SYS\\T dir\\";
  for (const char* bad : {"..\\x", "a\\..\\..\\x", "C:\\x", "C:x", "\\\\srv\\share\\x", "\\x", "/x", "a/../../x",
                          "CON", "nul.txt", "COM1", "LPT9.x", "con .txt", "a:b", "x.", "x ", "a\\\\b", "a\\",
                          "."}) {
    EXPECT_FALSE(walk::StaysInside(dir + bad, dir, true)) << bad;
  }
  for (const char* good : {"x", "a\\b\\c.txt", "COM10", "CONSOLE.txt", "...x", "a b", "lpt"}) {
    EXPECT_TRUE(walk::StaysInside(dir + good, dir, true)) << good;
  }
  EXPECT_FALSE(walk::StaysInside(dir + "a\\b", dir, false));
  EXPECT_FALSE(walk::StaysInside("C:\\SYS\\x", dir, true));
}

}  // namespace
}  // namespace hostile
