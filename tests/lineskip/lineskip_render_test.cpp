// Line skip's drawing and hit test through the operation table.
#include <gtest/gtest.h>

#include "lineskip_host.h"

namespace vx::host {
namespace {

using LineSkipRender = LineSkipHost;

TEST_F(LineSkipRender, HitTestAnswersTheAlphaOfDrawnRowsOnly) {
  Image alpha(ImageKind::kIndexed8, 0, 0, 6, 4);
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 6; ++x)
      *alpha.Pixel(x, y) = static_cast<std::uint8_t>(10 * y + x + 1);
  // The 6 x 4 view centred in the sprite's rectangle: its top-left at (22, 13).
  const AreaRect sprite = RectOf(20, 10, 30, 20);
  ASSERT_EQ(Set({{"linesToSkip", Int(1)}, {"linesToDraw", Int(1)}}), kOk);
  EXPECT_EQ(AlphaAt(alpha, sprite, 25, 13), 4);  // odd stage row: drawn
  EXPECT_EQ(AlphaAt(alpha, sprite, 27, 15), 26);
  EXPECT_EQ(AlphaAt(alpha, sprite, 25, 14), 0);  // even: skipped, though its byte is 14
  EXPECT_EQ(AlphaAt(alpha, sprite, 21, 13), 0);  // left of the view
  EXPECT_EQ(AlphaAt(alpha, sprite, 28, 13), 0);  // right of it
  EXPECT_EQ(AlphaAt(alpha, sprite, 22, 17), 0);  // below it
  SpriteDescription none{};
  std::int32_t out = -1;
  EXPECT_EQ(fx->ops->GetAlphaAt(fx.get(), alpha.View(), 13, 25, &out, &none), kOk);
  EXPECT_EQ(out, 0);
  alpha.DropMemory();
  EXPECT_EQ(AlphaAt(alpha, sprite, 25, 13), 0);
  EXPECT_TRUE(alpha.GuardsIntact());
}

}  // namespace
}  // namespace vx::host
