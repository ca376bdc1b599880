// The hostile cases the Windows end-to-end test runs through the real
// installer, checked here against the two other judges of a package: a
// quiet run under the installer's own reading rules (the functions the
// reader calls, over the bytes in memory), which must end with each case's
// expected code, and the package verifier (sspack verify), whose verdict must
// be the installer's: a fault for every case the installer refuses, naming the
// code it stops with, and none for every case it installs. The run also must
// never write outside its directories, whatever the case.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/hostile/HostileCases.h"
#include "tests/fuzz/package/ReadingRun.h"
#include "tests/support/PackFixtures.h"
#include "tools/check/Verify.h"

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
  int onPlayer = 0;
  for (const HostileCase& c : Cases()) {
    ++groups[c.group];
    EXPECT_EQ(++names[c.group + " " + c.name], 1) << "duplicate case " << c.name;
    EXPECT_FALSE(c.why.empty()) << c.name;
    if (c.restsOnPlayer) ++onPlayer;
  }
  for (const char* g : {"valid", "truncate", "header", "segment", "datafile"}) EXPECT_GT(groups[g], 0) << g;
  EXPECT_EQ(onPlayer, 1);
}

// Every case ends with its own code when the reading rules judge it; a case
// whose code rests on the installed player is a sound package to them.
TEST(HostileCases, TheReadingRulesGiveEveryCaseItsCodeAndStayInside) {
  std::map<ss::Result, int> byCode;
  for (const HostileCase& c : Cases()) {
    ++byCode[c.code];
    reading::Run r;
    const ss::Result rc = reading::QuietRun(c.image, kStubSize, &r);
    for (const reading::Written& f : r.written) {
      EXPECT_TRUE(reading::StaysInside(f.path, f.dir, f.nested)) << c.name << ": " << f.path;
    }
    EXPECT_EQ(rc, c.restsOnPlayer ? ss::kOk : c.code) << "[" << c.group << "] " << c.name << ": " << c.why;
  }
  std::printf("%zu cases, expected codes:", Cases().size());
  for (const auto& [code, count] : byCode) std::printf(" %d x%d", code, count);
  std::printf("\n");
}

// sspack verify refuses exactly what the installer refuses, and one of its
// faults names the code the installer stops with (the first refusal of the
// run; the others may name theirs). A case whose code no reading rule gives
// says why verify cannot name it, and verify must not claim it either.
TEST(HostileCases, TheVerifierAgreesWithTheInstallerOnEveryCase) {
  size_t agree = 0;
  size_t judged = 0;
  size_t onPlayer = 0;
  size_t named = 0;
  size_t unnamed = 0;
  for (const HostileCase& c : Cases()) {
    const std::string faults = Faults(c.image);
    if (c.restsOnPlayer) {
      // A sound package to every reading; the installed player refuses it.
      EXPECT_EQ(faults, "") << c.name;
      ++onPlayer;
      continue;
    }
    const bool refuses = c.code != ss::kOk;
    ++judged;
    if (refuses == !faults.empty()) {
      ++agree;
    } else if (refuses) {
      ADD_FAILURE() << "[" << c.group << "] " << c.name << ": the installer ends with " << c.code
                    << ", verify finds no fault";
    } else {
      ADD_FAILURE() << "[" << c.group << "] " << c.name << ": the installer accepts it, verify finds:" << faults;
    }
    if (!refuses) continue;
    const bool names = faults.find("(the installer stops with code " + std::to_string(c.code) + ")") != std::string::npos;
    if (c.verifyCannotName.empty()) {
      EXPECT_TRUE(names) << "[" << c.group << "] " << c.name << ": the installer stops with " << c.code
                         << ", which no fault of verify names:" << faults;
      named += names ? 1 : 0;
    } else {
      EXPECT_FALSE(names) << c.name << ": verify names its code after all; it needs no reason ("
                          << c.verifyCannotName << ")";
      ++unnamed;
    }
  }
  std::printf("verify and installer: %zu of %zu agree (%zu more rests on the installed Flash player); "
              "verify names the code of %zu refusals, %zu have a reason why it cannot\n",
              agree, judged, onPlayer, named, unnamed);
}

// The containment check that the fuzzers rely on, on names whose fate is
// known: it must refuse each way out of a folder and accept plain names.
TEST(StaysInside, RefusesEveryWayOutAndAcceptsPlainNames) {
  const std::string dir = "C:\\SYS\\T dir\\";
  for (const char* bad : {"..\\x", "a\\..\\..\\x", "C:\\x", "C:x", "\\\\srv\\share\\x", "\\x", "/x", "a/../../x",
                          "CON", "nul.txt", "COM1", "LPT9.x", "con .txt", "a:b", "x.", "x ", "a\\\\b", "a\\",
                          "."}) {
    EXPECT_FALSE(reading::StaysInside(dir + bad, dir, true)) << bad;
  }
  for (const char* good : {"x", "a\\b\\c.txt", "COM10", "CONSOLE.txt", "...x", "a b", "lpt"}) {
    EXPECT_TRUE(reading::StaysInside(dir + good, dir, true)) << good;
  }
  EXPECT_FALSE(reading::StaysInside(dir + "a\\b", dir, false));
  EXPECT_FALSE(reading::StaysInside("C:\\SYS\\x", dir, true));
}

}  // namespace
}  // namespace hostile
