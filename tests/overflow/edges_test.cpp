// Every operation of every effect with numbers from the ends of 32 bits:
// views and updates placed anywhere in the plane, property values, script
// argument counts and values, hit-test points. The sanitizer build makes
// any overflow fatal; every build checks statuses, guard bytes, and that a
// picture or a hit does not depend on where in the plane it is made.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "stage.h"

namespace vx::host {
namespace {

// INT_MIN, INT_MIN + 1, -2^30, -1, 0, 1, 2^30, INT_MAX - 1, INT_MAX and the
// sums of two of them that are int32 values.
const std::vector<std::int32_t>& EdgeValues() {
  static const std::vector<std::int32_t> values = [] {
    const std::int64_t edges[] = {kMin, kMin + 1, -(1 << 30), -1, 0, 1, 1 << 30, kMax - 1, kMax};
    std::set<std::int32_t> all;
    for (std::int64_t a : edges)
      for (std::int64_t b : edges)
        for (std::int64_t v : {a, a + b})
          if (v >= kMin && v <= kMax) all.insert(static_cast<std::int32_t>(v));
    return std::vector<std::int32_t>(all.begin(), all.end());
  }();
  return values;
}

// `v` as the start of a span of `size`: itself where the span fits.
std::int32_t StartAt(std::int32_t v, std::int32_t size) { return std::min(v, kMax - size); }

struct Effect {
  const Guid* classId;
  bool changesAlpha, placeFree;  // placeFree: draws the same anywhere
  Driver::Entries (*drawing)(Driver&);
};

// Each effect with a list that makes it change the sprite. The noise
// effects draw from a shared random sequence, so two of them never draw
// alike; line skip's bands are fixed to stage rows.
const Effect kEffects[] = {
    {&kRotateClassId, true, true, [](Driver& d) -> Driver::Entries { return {{"degrees", d.Int(30)}}; }},
    {&kRgbClassId, false, true, [](Driver& d) -> Driver::Entries { return {{"redShift", d.Int(90)}}; }},
    {&kMosaicClassId, false, true, [](Driver& d) -> Driver::Entries { return {{"xResolution", d.Int(3)}, {"yResolution", d.Int(2)}}; }},
    {&kSwirlClassId, true, true, [](Driver& d) -> Driver::Entries { return {{"degrees", d.Int(200)}}; }},
    {&kMagnifyClassId, false, true, [](Driver& d) -> Driver::Entries { return {{"percentage", d.Int(250)}}; }},
    {&kLineSkipClassId, true, false, [](Driver& d) -> Driver::Entries { return {{"linesToSkip", d.Int(2)}}; }},
    {&kHsbClassId, false, true, [](Driver& d) -> Driver::Entries { return {{"hueShift", d.Int(100)}}; }},
    {&kPointelClassId, true, false, [](Driver& d) -> Driver::Entries { return {{"intensity", d.Int(60)}}; }},
    {&kSnowClassId, false, false, [](Driver& d) -> Driver::Entries { return {{"intensity", d.Int(60)}}; }},
};

// What the class answers without a list; a failure (and nothing) for a
// class missing there, rather than another class's keys.
const ExpectedEffect& Expected(const Guid* classId) {
  for (const ExpectedEffect& e : ExpectedEffects())
    if (e.classId == classId) return e;
  ADD_FAILURE() << ClassName(*classId) << " is not among the expected effects";
  static const ExpectedEffect none{};
  return none;
}

// The stage at (x, y), its alpha and the source anywhere: the same picture
// as at the origin, also through an update spanning the whole plane.
TEST(EdgesProperty, ViewsAnywhereInThePlane) {
  const auto& values = EdgeValues();
  const AreaRect plane = glissade::HostRect(kMin, kMin, kMax, kMax);
  for (const Effect& effect : kEffects) {
    Driver near(*effect.classId), far(*effect.classId);
    for (std::size_t i = 0; i < values.size(); ++i) {
      // Every other stage is smaller than the sprite, which then hangs over
      // its edges, and at the ends of the plane over those too.
      const Sizes sizes = i % 2 == 0 ? Sizes{} : Sizes{10, 8, 20, 16};
      const At stage{StartAt(values[i], sizes.stageW),
                     effect.placeFree ? StartAt(values[(i * 7) % values.size()], sizes.stageH) : 0};
      const At alpha{StartAt(values[(i * 3) % values.size()], sizes.stageW),
                     StartAt(values[(i * 5) % values.size()], sizes.stageH)};
      const At source{StartAt(values[(i * 11) % values.size()], sizes.spriteW),
                      StartAt(values[(i * 13) % values.size()], sizes.spriteH)};
      SCOPED_TRACE(::testing::Message() << ClassName(*effect.classId) << " stage " << stage.x
                                        << "," << stage.y << " alpha " << alpha.x << ","
                                        << alpha.y << " source " << source.x << "," << source.y);
      near.Reopen();
      far.Reopen();
      ASSERT_EQ(near.Set(effect.drawing(near)), kOk);
      ASSERT_EQ(far.Set(effect.drawing(far)), kOk);
      for (bool withAlpha : {false, true}) {
        if (withAlpha && !effect.changesAlpha) continue;
        Stage origin(sizes, At{}, At{}, At{}, At{});
        Stage placed(sizes, stage, alpha, source, At{});
        const auto before = origin.Drawn();
        const AreaRect update = i % 2 == 0 ? placed.Whole() : plane;
        if (withAlpha) {
          ASSERT_EQ(origin.RenderWithAlpha(near.fx(), origin.Whole()), kOk);
          ASSERT_EQ(placed.RenderWithAlpha(far.fx(), update), kOk);
        } else {
          ASSERT_EQ(origin.Render(near.fx(), origin.Whole()), kOk);
          ASSERT_EQ(placed.Render(far.fx(), update), kOk);
        }
        EXPECT_TRUE(placed.GuardsIntact());
        EXPECT_TRUE(origin.Drawn() != before) << "the effect draws";
        if (effect.placeFree) {
          EXPECT_TRUE(placed.Drawn() == origin.Drawn());
        }
      }
    }
  }
}

// Updates and mask rectangles with edges anywhere, crossed or not, at every
// align flag: nothing outside the views is touched and every call succeeds.
TEST(EdgesProperty, UpdatesAndMasksAnywhere) {
  const Sizes sizes;
  const auto& values = EdgeValues();
  const std::size_t n = values.size();
  for (const Effect& effect : kEffects) {
    Driver driver(*effect.classId);
    ASSERT_EQ(driver.Set(effect.drawing(driver)), kOk);
    for (std::size_t i = 0; i < n; ++i) {
      SCOPED_TRACE(::testing::Message() << ClassName(*effect.classId) << " case " << i);
      const At mask{StartAt(values[(i * 17) % n], sizes.spriteW),
                    StartAt(values[(i * 19) % n], sizes.spriteH)};
      Stage stage(sizes, At{StartAt(values[i], sizes.stageW), 0}, At{}, At{}, mask);
      const AreaRect update = glissade::HostRect(values[(i * 3) % n], values[(i * 5) % n],
                                                 values[(i * 7) % n], values[(i * 11) % n]);
      for (std::int32_t align : {0, 1, 2}) {
        ASSERT_EQ(stage.Render(driver.fx(), update, align), kOk);
        ASSERT_EQ(stage.RenderWithAlpha(driver.fx(), update, align), kOk);
      }
      EXPECT_TRUE(stage.GuardsIntact());

      // One view without memory whose bounds, pixel size and row length are
      // edge values: the others are left alone.
      Stage hostile(sizes, At{}, At{}, At{}, At{});
      Image* views[] = {&hostile.destination, &hostile.source, &hostile.mask, &hostile.alpha};
      Image& odd = *views[i % 4];
      const auto before = hostile.destination.Memory();
      odd.DropMemory();
      PixelView* v = odd.View();
      v->bounds = glissade::HostRect(values[(i * 13) % n], values[(i * 17) % n],
                                     values[(i * 19) % n], values[(i * 23) % n]);
      v->clip = glissade::HostRect(values[(i * 29) % n], values[(i * 31) % n],
                                   values[(i * 37) % n], values[(i * 41) % n]);
      v->bytesPerPixel = values[(i * 43) % n];
      v->rowLength = values[(i * 47) % n];
      v->rowStep = -(v->rowLength / 2);
      for (std::int32_t align : {0, 2}) {
        EXPECT_EQ(hostile.Render(driver.fx(), update, align), kOk);
        // Pointel answers an alpha stage without memory with its status.
        const Status s = hostile.RenderWithAlpha(driver.fx(), update, align);
        EXPECT_TRUE(s == kOk || (s == kViewNoMemory && &odd == &hostile.alpha)) << s;
      }
      if (&odd == &hostile.source || &odd == &hostile.mask) {
        EXPECT_TRUE(hostile.destination.Memory() == before) << "drawn without a sprite";
      }
    }
  }
}

// Every property the effect lists, set to each edge value under each mode
// with an edge frame count, then frames drawn and the animation operations
// run with edge reasons.
TEST(EdgesProperty, PropertyValuesAtTheEdges) {
  const auto& values = EdgeValues();
  const std::size_t n = values.size();
  const char* const modes[] = {"static", "range", "infinite", "pendulum", "follow",
                               "relativeToPoint"};
  for (const Effect& effect : kEffects) {
    Driver d(*effect.classId);
    Stage stage({}, At{}, At{}, At{}, At{});
    std::size_t k = 0;
    for (const ExpectedRow& row : Expected(effect.classId).rows) {
      if (row.key == nullptr || row.type == kSym || row.type == kLst) continue;
      for (std::size_t i = 0; i < n; ++i, ++k) {
        SCOPED_TRACE(::testing::Message() << ClassName(*effect.classId) << " #" << row.key
                                          << ": " << values[i]);
        const std::int32_t v = values[i], other = values[(k * 7) % n];
        const HostValue value = row.type == kPnt   ? d.values().Point(v, other)
                                : row.type == kFlt ? d.values().Float(v * 1e3)
                                                   : d.Int(v);
        ASSERT_EQ(d.Set({{"animMode", d.Sym(modes[k % 6])},
                         {"numFrames", d.Int(values[(k * 5) % n])},
                         {row.key, value}}),
                  kOk);
        std::int32_t out = 0, a = 0, b = 0;
        for (int frame = 0; frame < 2; ++frame) {
          ASSERT_EQ(stage.Render(d.fx(), stage.Whole()), kOk);
          ASSERT_EQ(d.fx()->ops->NeedsRedraw(d.fx(), &out, values[(k + frame) % n]), kOk);
          ASSERT_EQ(d.fx()->ops->IsStill(d.fx(), &out, values[(k * 3 + frame) % n]), kOk);
        }
        ASSERT_EQ(stage.RenderWithAlpha(d.fx(), stage.Whole()), kOk);
        const Status paused = k % 3 == 0   ? d.fx()->ops->Stop(d.fx(), 0, &out)
                              : k % 3 == 1 ? d.fx()->ops->Resume(d.fx(), 0, &out)
                                           : kOk;
        ASSERT_EQ(paused, kOk);
        if (k % 7 == 2) {
          Services services = d.host().MakeServices();
          ASSERT_EQ(d.fx()->ops->Reset(d.fx(), &services, &a, &b), kOk);
        }
      }
    }
    EXPECT_TRUE(stage.GuardsIntact());
  }
}

// Script calls: a count that does not reach the first argument answers as
// a call without arguments; edge values in every argument slot are taken
// or refused with a script status.
TEST(EdgesProperty, ScriptCallsAtTheEdges) {
  const auto& values = EdgeValues();
  const std::size_t n = values.size();
  auto scriptStatus = [](Status s) { return s == kOk || (s & 0xFFFFF000u) == 0x80040000u; };
  for (const Effect& effect : kEffects) {
    Driver counted(*effect.classId), bare(*effect.classId), d(*effect.classId);
    const std::vector<std::string> names = d.Functions();
    EXPECT_EQ(!names.empty(), Expected(effect.classId).hasScriptFunctions)
        << ClassName(*effect.classId) << " describes script functions";
    for (const std::string& name : names) {
      for (std::size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(::testing::Message() << ClassName(*effect.classId) << " " << name << " "
                                          << values[i]);
        // No arguments: a count at or below the first index, the first anywhere.
        for (std::int32_t first : {kMin, -1, 1, 2, 3, 1 << 30, kMax}) {
          const std::int32_t count = std::min(values[i], std::max(first, 0));
          counted.Reopen();
          bare.Reopen();
          const std::vector<HostValue> two = {counted.Int(1), counted.Sym("effect")};
          const std::vector<HostValue> none = {bare.Int(1), bare.Sym("effect")};
          HostValue r1{}, r2{};
          EXPECT_EQ(counted.Call(name, two, count, first, &r1), bare.Call(name, none, 2, 2, &r2))
              << "count " << count << " from " << first;
        }

        // Arguments from the edges: integers, a point and a rectangle.
        const std::int32_t v = values[i], w = values[(i * 3) % n], u = values[(i * 5) % n];
        const std::vector<HostValue> args = {
            d.Int(1), d.Sym("effect"), d.Int(v), d.Int(w),
            d.values().Point(v, w), d.values().Rect(u, v, w, values[(i * 11) % n]), d.Int(u)};
        for (std::int32_t c = 3; c <= 7; ++c) {
          HostValue result{};
          EXPECT_TRUE(scriptStatus(d.Call(name, args, c, 2, &result)));
        }
        const std::vector<HostValue> placed = {d.Int(1), d.Sym("effect"),
                                               d.values().Point(v, w), d.Int(v),
                                               d.values().Rect(v, w, u, v)};
        for (std::int32_t c = 3; c <= 5; ++c) {
          HostValue result{};
          EXPECT_TRUE(scriptStatus(d.Call(name, placed, c, 2, &result)));
        }
      }
    }
  }
}

// Hit tests: a sprite anywhere answers as at the origin for the same point
// within it; points at the edges of the plane answer a byte.
TEST(EdgesProperty, HitTestsAnywhere) {
  const auto& values = EdgeValues();
  const std::size_t n = values.size();
  for (const Effect& effect : kEffects) {
    if (!effect.changesAlpha) continue;
    Driver d(*effect.classId);
    ASSERT_EQ(d.Set(effect.drawing(d)), kOk);
    Stage stage({}, At{}, At{}, At{}, At{});
    auto hit = [&](AreaRect sprite, std::int32_t x, std::int32_t y) {
      SpriteDescription description{};
      description.words[kSpriteRectWord] = reinterpret_cast<Word>(&sprite);
      std::int32_t out = -1;
      EXPECT_EQ(d.fx()->ops->GetAlphaAt(d.fx(), stage.mask.View(), y, x, &out, &description),
                kOk);
      EXPECT_TRUE(out >= 0 && out <= 255);
      return out;
    };
    const AreaRect home = glissade::HostRect(0, 0, 30, 24);
    std::int32_t atHome[24][30];
    std::int32_t opaque = 0;
    for (std::int32_t py = 0; py < 24; ++py)
      for (std::int32_t px = 0; px < 30; ++px) opaque += (atHome[py][px] = hit(home, px, py)) == 255;
    EXPECT_GT(opaque, 0) << "the sprite is hit somewhere";
    for (std::size_t i = 0; i < n; ++i) {
      const std::int32_t x = StartAt(values[i], 30);
      const std::int32_t y = effect.placeFree ? StartAt(values[(i * 7) % n], 24) : 0;
      SCOPED_TRACE(::testing::Message() << ClassName(*effect.classId) << " at " << x << "," << y);
      const AreaRect away = glissade::HostRect(x, y, x + 30, y + 24);
      for (std::int32_t py = 0; py < 24; py += 5)
        for (std::int32_t px = 0; px < 30; px += 3)
          EXPECT_EQ(hit(away, x + px, y + py), atHome[py][px]);
      hit(home, values[i], values[(i * 3) % n]);
      hit(glissade::HostRect(values[i], values[(i * 3) % n], values[(i * 5) % n],
                             values[(i * 7) % n]),
          values[(i * 11) % n], values[(i * 13) % n]);
    }
  }
}

}  // namespace
}  // namespace vx::host
