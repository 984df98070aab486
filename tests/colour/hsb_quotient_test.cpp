// HSB's divisions by a multiplication: exact for every dividend and divisor
// the conversion can meet (divisor 1..255, dividend up to 255 x divisor).
#include <gtest/gtest.h>

#include "effects/colour/hsb.h"

namespace vx {
namespace {

TEST(HsbQuotient, EveryQuotientTheConversionMeetsIsExact) {
  std::int64_t wrong = 0;
  for (std::int32_t d = 1; d < 256; ++d)
    for (std::int32_t n = 0; n <= 255 * d; ++n) {
      wrong += hsb_detail::Quotient(n, d) != n / d;
      wrong += hsb_detail::SignedQuotient(-n, d) != -n / d;
    }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace vx
