// The colour functions' fast forms against their one-pixel rules: HSB's
// divisions by multiplication, and the runs of HSB and RGB coloured in
// vector lanes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "effects/colour/hsb.h"
#include "effects/colour/rgb.h"

namespace vx {
namespace {

TEST(HsbQuotient, EveryQuotientTheConversionMeetsIsExact) {
  // Divisors 1..255, dividends up to 255 x the divisor.
  std::int64_t wrong = 0;
  for (std::int32_t d = 1; d < 256; ++d)
    for (std::int32_t n = 0; n <= 255 * d; ++n) {
      wrong += hsb_detail::Quotient(n, d) != n / d;
      wrong += hsb_detail::SignedQuotient(-n, d) != -n / d;
    }
  EXPECT_EQ(wrong, 0);
}

// Random pixels, greys and extremes among them, of odd run lengths.
std::vector<Bgrx> Pixels(std::mt19937& rng, std::int32_t n) {
  std::vector<Bgrx> c(static_cast<std::size_t>(n));
  for (Bgrx& p : c) {
    const auto pick = [&] {
      const int k = static_cast<int>(rng() % 8);
      return static_cast<std::uint8_t>(k == 0 ? 0 : k == 1 ? 255 : rng());
    };
    p = Bgrx{pick(), pick(), pick(), static_cast<std::uint8_t>(rng())};
    if (rng() % 8 == 0) p.g = p.b = p.r;
  }
  return c;
}

TEST(PixelRuns, HsbRunsGiveEachPixelItsOwnColour) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 400; ++trial) {
    HsbShiftSetting k;
    k.hueForced = rng() % 3 == 0;
    k.satForced = rng() % 3 == 0;
    k.brightForced = rng() % 3 == 0;
    k.hue = k.hueForced ? static_cast<std::int32_t>(rng() % 360)
                        : static_cast<std::int32_t>(rng() % 719) - 359;
    k.sat = k.satForced ? static_cast<std::int32_t>(rng() % 256)
                        : static_cast<std::int32_t>(rng() % 511) - 255;
    k.bright = k.brightForced ? static_cast<std::int32_t>(rng() % 256)
                              : static_cast<std::int32_t>(rng() % 511) - 255;
    std::vector<Bgrx> run = Pixels(rng, static_cast<std::int32_t>(rng() % 70));
    const std::vector<Bgrx> in = run;
    HsbShiftRun(k, run.data(), static_cast<std::int32_t>(run.size()));
    for (std::size_t i = 0; i < in.size(); ++i) {
      const Bgrx e = HsbShiftPixel(k, in[i]);
      ASSERT_TRUE(run[i].r == e.r && run[i].g == e.g && run[i].b == e.b)
          << "trial " << trial << " pixel " << int{in[i].r} << "," << int{in[i].g} << ","
          << int{in[i].b} << " hue " << k.hue << " sat " << k.sat << " bright " << k.bright;
    }
  }
}

TEST(PixelRuns, RgbRunsGiveEachPixelItsOwnColour) {
  std::mt19937 rng(37);
  for (int trial = 0; trial < 400; ++trial) {
    const RgbShiftSetting k{static_cast<std::int32_t>(rng() % 511) - 255,
                            static_cast<std::int32_t>(rng() % 511) - 255,
                            static_cast<std::int32_t>(rng() % 511) - 255};
    const bool five = trial % 2 == 1;
    std::vector<Bgrx> run = Pixels(rng, static_cast<std::int32_t>(rng() % 40));
    if (five)
      for (Bgrx& p : run) p = Bgrx{static_cast<std::uint8_t>(p.b & 31),
                                   static_cast<std::uint8_t>(p.g & 31),
                                   static_cast<std::uint8_t>(p.r & 31), p.x};
    const std::vector<Bgrx> in = run;
    RgbShiftRun(k, five ? 31 : 255, run.data(), static_cast<std::int32_t>(run.size()));
    for (std::size_t i = 0; i < in.size(); ++i) {
      const Bgrx e = five ? RgbShiftPixel<31>(k, in[i]) : RgbShiftPixel<255>(k, in[i]);
      ASSERT_TRUE(run[i].r == e.r && run[i].g == e.g && run[i].b == e.b) << "trial " << trial;
    }
  }
}

}  // namespace
}  // namespace vx
