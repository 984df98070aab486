#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "framework/row_kernels.h"

namespace vx {
namespace {

constexpr RowVariant kVariants[] = {RowVariant::kPlain, RowVariant::kSse2, RowVariant::kAvx2};

// The rule, one component: d + (((c - d) x k) >> 8), arithmetic shift.
int Rule(int d, int c, int k) { return d + (((c - d) * k) >> 8); }

// Every variant this processor runs, rows of every length up to past two
// of the widest vectors, random colours, weights and destinations (the
// weights' ends 0 and 255 often), against the rule worked out here.
TEST(RowKernels, EveryVariantBlendsByTheRule) {
  const RowVariant before = Rows().variant;
  std::mt19937 rng(77);
  const auto weight = [&] {
    const unsigned pick = rng() % 4;
    return pick == 0 ? 0u : pick == 1 ? 255u : rng() % 256;
  };
  int ran = 0;
  for (RowVariant v : kVariants) {
    if (!UseRows(v)) continue;
    ++ran;
    SCOPED_TRACE(RowVariantName(v));
    for (int n = 0; n <= 40; ++n) {
      std::vector<std::uint32_t> cw(n), cw555(n);
      std::vector<std::uint8_t> d(4 * n + 4), d555(2 * n + 2);
      for (auto& b : d) b = static_cast<std::uint8_t>(rng());
      for (auto& b : d555) b = static_cast<std::uint8_t>(rng());
      for (int i = 0; i < n; ++i) {
        cw[i] = BlendWord(rng(), weight());
        cw555[i] = BlendWord555(rng(), weight());
      }
      // The masked kernels: colours as pixels, weights from mask bytes
      // scaled by a blend level (256: the mask byte itself), or 256 (the
      // colour whole) at or above an upper level (256: none).
      std::vector<std::uint8_t> dm(4 * n + 4), c(4 * n), m(n);
      for (auto& b : dm) b = static_cast<std::uint8_t>(rng());
      for (auto& b : c) b = static_cast<std::uint8_t>(rng());
      for (auto& b : m) b = static_cast<std::uint8_t>(weight());
      const int scale = n % 3 == 0 ? 256 : static_cast<int>(rng() % 257);
      const int upper = n % 4 == 0 ? 256 : n % 4 == 1 ? 255 : static_cast<int>(rng() % 257);
      const auto masked = [&](int i) { return m[i] >= upper ? 256 : (m[i] * scale) >> 8; };
      std::vector<std::uint8_t> du = dm, c5(2 * n), dm5(2 * n + 2);
      for (auto& b : c5) b = static_cast<std::uint8_t>(rng());
      for (auto& b : dm5) b = static_cast<std::uint8_t>(rng());
      std::vector<std::uint8_t> du5 = dm5;
      const int ku = static_cast<int>(weight());
      const std::vector<std::uint8_t> d0 = d, d5550 = d555, dm0 = dm, dm50 = dm5;
      Rows().blendBgrx(d.data(), cw.data(), n);
      Rows().blend555(d555.data(), cw555.data(), n);
      Rows().blendBgrxMasked(dm.data(), c.data(), m.data(), scale, upper, n);
      Rows().blendBgrxUniform(du.data(), c.data(), ku, n);
      Rows().blend555Masked(dm5.data(), c5.data(), m.data(), scale, upper, n);
      Rows().blend555Uniform(du5.data(), c5.data(), ku, n);
      for (int i = 0; i < n; ++i) {
        const int k = static_cast<int>(cw[i] >> 24);
        for (int b = 0; b < 3; ++b)
          ASSERT_EQ(d[4 * i + b], Rule(d0[4 * i + b], (cw[i] >> (8 * b)) & 255, k))
              << "n " << n << " pixel " << i << " byte " << b;
        ASSERT_EQ(d[4 * i + 3], d0[4 * i + 3]) << "n " << n << " pixel " << i;
        for (int b = 0; b < 3; ++b)
          ASSERT_EQ(dm[4 * i + b], Rule(dm0[4 * i + b], c[4 * i + b], masked(i)))
              << "masked, n " << n << " pixel " << i << " byte " << b << " scale " << scale
              << " upper " << upper;
        ASSERT_EQ(dm[4 * i + 3], dm0[4 * i + 3]) << "masked, n " << n << " pixel " << i;
        for (int b = 0; b < 4; ++b)
          ASSERT_EQ(du[4 * i + b], b == 3 ? dm0[4 * i + b] : Rule(dm0[4 * i + b], c[4 * i + b], ku))
              << "uniform, n " << n << " pixel " << i << " byte " << b << " weight " << ku;
        // 5-5-5: each field by the rule, bit 15 cleared.
        const auto word = [](const std::vector<std::uint8_t>& v, int at) {
          return v[2 * at] | (v[2 * at + 1] << 8);
        };
        const auto rule555 = [](int o, int c, int k) {
          int out = 0;
          for (int shift : {0, 5, 10}) out |= Rule((o >> shift) & 31, (c >> shift) & 31, k) << shift;
          return out;
        };
        ASSERT_EQ(word(d555, i), rule555(word(d5550, i), static_cast<int>(cw555[i] & 0xFFFF),
                                         static_cast<int>((cw555[i] >> 16) & 255)))
            << "n " << n << " pixel " << i;
        ASSERT_EQ(word(dm5, i), rule555(word(dm50, i), word(c5, i), masked(i)))
            << "5-5-5 masked, n " << n << " pixel " << i << " scale " << scale << " upper "
            << upper;
        ASSERT_EQ(word(du5, i), rule555(word(dm50, i), word(c5, i), ku))
            << "5-5-5 uniform, n " << n << " pixel " << i << " weight " << ku;
      }
      // Nothing past the row.
      ASSERT_EQ(0, std::memcmp(d.data() + 4 * n, d0.data() + 4 * n, 4));
      ASSERT_EQ(0, std::memcmp(dm.data() + 4 * n, dm0.data() + 4 * n, 4));
      ASSERT_EQ(0, std::memcmp(du.data() + 4 * n, dm0.data() + 4 * n, 4));
      ASSERT_EQ(0, std::memcmp(dm5.data() + 2 * n, dm50.data() + 2 * n, 2));
      ASSERT_EQ(0, std::memcmp(du5.data() + 2 * n, dm50.data() + 2 * n, 2));
      ASSERT_EQ(0, std::memcmp(d555.data() + 2 * n, d5550.data() + 2 * n, 2));
    }
  }
  UseRows(before);
  EXPECT_GE(ran, 1);
}

// VORNIX_ROWS names a variant; one the processor lacks gives the best one
// below it, and a missing or unknown name the best there is.
TEST(RowKernels, RequestedVariantFallsBackToTheBestBelowIt) {
  const auto sse2Only = [](RowVariant v) { return v != RowVariant::kAvx2; };
  const auto all = [](RowVariant) { return true; };
  const auto none = [](RowVariant v) { return v == RowVariant::kPlain; };
  struct Case {
    const char* request;
    bool (*supported)(RowVariant);
    RowVariant expected;
  } cases[] = {
      {"plain", all, RowVariant::kPlain},   {"sse2", all, RowVariant::kSse2},
      {"avx2", all, RowVariant::kAvx2},     {nullptr, all, RowVariant::kAvx2},
      {"fast", all, RowVariant::kAvx2},     {"avx2", sse2Only, RowVariant::kSse2},
      {nullptr, sse2Only, RowVariant::kSse2}, {"sse2", none, RowVariant::kPlain},
      {nullptr, none, RowVariant::kPlain},
  };
  for (const Case& c : cases)
    EXPECT_EQ(row_detail::PickVariant(c.request, c.supported), c.expected)
        << (c.request ? c.request : "(none)");
  EXPECT_TRUE(RowsSupported(RowVariant::kPlain));
}

}  // namespace
}  // namespace vx
