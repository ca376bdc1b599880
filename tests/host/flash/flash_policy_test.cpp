#include "flash/FlashVersionPolicy.h"

#include <gtest/gtest.h>

using namespace ss;

TEST(FlashPolicy, RequiredVersionTable) {
  RequiredFlashVersion r{-1, -1};
  ASSERT_EQ(requiredFlashVersion(0, r), kOk);
  EXPECT_EQ(r.major, 7);
  EXPECT_EQ(r.minor, 19);
  ASSERT_EQ(requiredFlashVersion(1, r), kOk);
  EXPECT_EQ(r.major, 8);
  EXPECT_EQ(r.minor, 22);
  for (int bad : {2, -1, 255}) {
    EXPECT_EQ(requiredFlashVersion(bad, r), kErrBadFlashIndex) << bad;
    EXPECT_EQ(r.major, 8);  // untouched
  }
}

TEST(FlashPolicy, DecisionTable) {
  struct Row {
    bool found;
    int major, minor, index;
    bool carries;
    FlashDecision expected;
  } rows[] = {
      {true, 7, 19, 0, true, FlashDecision::Current},
      {true, 7, 14, 0, true, FlashDecision::MinorUpdate},
      {true, 7, 14, 0, false, FlashDecision::MinorUpdate},
      {true, 6, 79, 0, true, FlashDecision::MajorUpdate},
      {true, 8, 22, 0, true, FlashDecision::Current},
      {true, 8, 0, 0, false, FlashDecision::Current},
      {true, 7, 0, 0, true, FlashDecision::Current},  // release 0 counts as current
      {true, 7, 25, 0, true, FlashDecision::Current},
      {true, 7, 19, 1, true, FlashDecision::MajorUpdate},
      {true, 8, 21, 1, true, FlashDecision::MinorUpdate},
      {true, 9, 1, 1, true, FlashDecision::Current},
      {false, 0, 0, 0, true, FlashDecision::CleanInstall},
      {false, 0, 0, 1, false, FlashDecision::DownloadRequired},
  };
  for (const Row& row : rows) {
    RequiredFlashVersion required;
    ASSERT_EQ(requiredFlashVersion(row.index, required), kOk);
    EXPECT_EQ(decideFlashPlayer(row.found, row.major, row.minor, required, row.carries), row.expected)
        << row.major << "." << row.minor << " index " << row.index << " carries " << row.carries;
  }
}

TEST(FlashPolicy, OsKindsAndTheNtCheck) {
  struct Row {
    unsigned platform, major, minor;
    const char* csd;
    int32_t kind;
  } rows[] = {
      {1, 4, 0, "", kOsWin95},           {1, 4, 10, "", kOsWin98},         {1, 4, 10, " A ", kOsWin98SE},
      {1, 4, 10, "A", kOsWin98},         {1, 4, 10, " B", kOsWin98},       {1, 4, 90, "", kOsWinMe},
      {2, 4, 0, "Service Pack 6a", kOsWinNt}, {2, 3, 51, "", kOsWinNt},   {2, 5, 0, "", kOsWin2000},
      {2, 5, 1, "Service Pack 3", kOsWinXp},  {2, 6, 1, "", kOsUnknown},  {1, 5, 0, "", kOsUnknown},
      {0, 3, 10, "", kOsUnknown},
  };
  for (const Row& row : rows)
    EXPECT_EQ(classifyOSKind(row.platform, row.major, row.minor, row.csd), row.kind)
        << row.platform << " " << row.major << "." << row.minor << " '" << row.csd << "'";

  RequiredFlashVersion index0, index1;
  ASSERT_EQ(requiredFlashVersion(0, index0), kOk);
  ASSERT_EQ(requiredFlashVersion(1, index1), kOk);
  const int32_t nt4 = classifyOSKind(2, 4, 0, "Service Pack 6a");
  EXPECT_EQ(verifyFlashAXInstallerCanRunOnOSKind(nt4, index1.major), kErrFlashNotOnNT);
  EXPECT_EQ(verifyFlashAXInstallerCanRunOnOSKind(nt4, index0.major), kOk);
  EXPECT_EQ(verifyFlashAXInstallerCanRunOnOSKind(kOsWinXp, index1.major), kOk);
  EXPECT_EQ(verifyFlashAXInstallerCanRunOnOSKind(kOsWin98SE, index1.major), kOk);
}
