// Invalid streams: every truncated prefix and thousands of single-byte
// corruptions of valid streams. Run under AddressSanitizer and
// UndefinedBehaviorSanitizer in the sanitizer build; here we check that
// every call ends, with a nonzero code for truncations, and that the output
// stays within its limit.
#include <gtest/gtest.h>

#include "tests/host/codec/CodecTestSupport.h"

namespace ss::codec::test {
namespace {

bool IsPrefix(const Bytes& a, const Bytes& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

std::vector<std::pair<Bytes, Bytes>> Streams() {  // (data, stream)
  std::vector<std::pair<Bytes, Bytes>> v;
  const Bytes inputs[] = {PseudoText(6000, 41), PseudoBinary(6000, 42), Random(700, 43),
                          Periodic(1500, 3, 44)};
  unsigned i = 0;
  for (const Bytes& d : inputs) {
    Bytes s;
    unsigned mode = i % 2 == 0 ? kCmpAscii : kCmpBinary;
    unsigned dict = 1024u << (i % 3);
    EXPECT_EQ(ImplodeBuffer(d.data(), d.size(), mode, dict, &s), kCmpNoError);
    v.emplace_back(d, s);
    ++i;
  }
  return v;
}

TEST(CodecRobustness, EveryTruncatedPrefixFails) {
  for (const auto& [data, stream] : Streams()) {
    for (size_t n = 0; n < stream.size(); ++n) {
      Bytes prefix(stream.begin(), stream.begin() + n), out;
      unsigned rc = ExplodeWithChunk(prefix, n % 3 == 0 ? 1 : n % 3 == 1 ? 7 : SIZE_MAX, &out);
      ASSERT_NE(rc, kCmpNoError) << "prefix " << n << " of " << stream.size();
      ASSERT_TRUE(IsPrefix(out, data)) << "prefix " << n;
    }
  }
}

TEST(CodecRobustness, SingleByteCorruptions) {
  Rng rng(2024);
  unsigned failures = 0, total = 0;
  for (const auto& [data, stream] : Streams()) {
    const size_t limit = data.size() * 2 + 100;
    for (int k = 0; k < 1000; ++k) {
      Bytes bad = stream;
      size_t at = rng.Below(static_cast<unsigned>(bad.size()));
      bad[at] ^= static_cast<uint8_t>(1 + rng.Below(255));
      Bytes out;
      unsigned rc = ExplodeBothWidths(bad, k % 4 == 0 ? 1 : k % 4 == 1 ? 5 : SIZE_MAX, limit, &out);
      ASSERT_LE(rc, kCmpAbort);
      ASSERT_LE(out.size(), limit);
      if (rc != kCmpNoError) ++failures;
      ++total;
      if (at < 2 && rc == kCmpNoError) ADD_FAILURE() << "a damaged header was accepted";
    }
  }
  // Part of the damage is noticed by the decoder; the rest decodes to other
  // bytes (the fixed codes leave no redundancy), which the installer's size
  // check catches.
  EXPECT_GT(failures, total / 10);
}

TEST(CodecRobustness, RandomGarbageEnds) {
  Rng rng(99);
  for (int k = 0; k < 300; ++k) {
    Bytes junk = Random(1 + rng.Below(3000), 1000 + k);
    junk[0] = static_cast<uint8_t>(rng.Below(2));
    junk[1] = static_cast<uint8_t>(4 + rng.Below(3));
    Bytes out;
    unsigned rc = ExplodeBothWidths(junk, SIZE_MAX, 1 << 20, &out);
    EXPECT_LE(rc, kCmpAbort);
    EXPECT_LE(out.size(), size_t(1) << 20);
  }
}

}  // namespace
}  // namespace ss::codec::test
