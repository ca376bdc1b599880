#include <gtest/gtest.h>
#include <windows.h>
#include <unknwn.h>

#include <utility>

#include "core/WinHandles.h"

namespace ss {
namespace {

// A COM object that counts its references and how often it was released.
struct Counted : IUnknown {
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ++releases;
    return --refs;
  }
  ULONG refs = 1;
  int releases = 0;
};

TEST(ComPtr, ReleasesEachReferenceOnce) {
  Counted a, b;
  {
    ComPtr<Counted> first(&a);
    ComPtr<Counted> second(std::move(first));  // the moved-from owner holds nothing
    EXPECT_FALSE(first);
    first = std::move(second);
    EXPECT_EQ(first.get(), &a);
    EXPECT_EQ(a.releases, 0);
    // An out-parameter: the old reference goes before the new one arrives.
    ASSERT_EQ(b.QueryInterface(IID{}, first.putVoid()), S_OK);
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(first->refs, 2u);
    ComPtr<Counted> kept(first.release());
    EXPECT_FALSE(first);
  }
  EXPECT_EQ(a.releases, 1);
  EXPECT_EQ(a.refs, 0u);
  EXPECT_EQ(b.releases, 1);
  EXPECT_EQ(b.refs, 1u);
}

TEST(LibraryHandle, FreesTheLibraryOnce) {
  // A library the test program does not import, so that this owner holds
  // its only load.
  constexpr char kName[] = "msimg32.dll";
  ASSERT_EQ(GetModuleHandleA(kName), nullptr);
  {
    LibraryHandle library(LoadLibraryA(kName));
    ASSERT_TRUE(library);
    LibraryHandle moved(std::move(library));
    EXPECT_FALSE(library);
    EXPECT_EQ(GetModuleHandleA(kName), moved.get());
  }
  EXPECT_EQ(GetModuleHandleA(kName), nullptr);
}

}  // namespace
}  // namespace ss
