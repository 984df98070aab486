// The speck map: its committed bytes, and the copy the module carries (the
// Linux resource table, or the Win32 resources of the DLL), have the
// character the effects rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "framework/resource_access.h"
#include "tests/descriptions/module_resources.h"

namespace vx {
namespace {

constexpr int kColumns = 320;
constexpr int kRows = 200;

struct MapCharacter {
  std::size_t size = 0;
  int otherValues = 0;                 // bytes neither 0 nor 255
  int specks = 0;
  std::array<int, 9> byNeighbours{};   // specks by how many of the 8 around are specks
  int fewestInRow = 0, mostInRow = 0;
  int fewestInColumn = 0, mostInColumn = 0;
};

MapCharacter Measure(const std::vector<std::uint8_t>& bytes) {
  MapCharacter m;
  m.size = bytes.size();
  if (bytes.size() != static_cast<std::size_t>(kColumns * kRows)) return m;
  auto speck = [&](int r, int c) {
    return r >= 0 && r < kRows && c >= 0 && c < kColumns && bytes[r * kColumns + c] == 255;
  };
  std::vector<int> rows(kRows), columns(kColumns);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      const std::uint8_t b = bytes[r * kColumns + c];
      if (b != 0 && b != 255) ++m.otherValues;
      if (!speck(r, c)) continue;
      ++m.specks;
      ++rows[r];
      ++columns[c];
      int around = 0;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) around += (dr != 0 || dc != 0) && speck(r + dr, c + dc);
      ++m.byNeighbours[around];
    }
  m.fewestInRow = *std::min_element(rows.begin(), rows.end());
  m.mostInRow = *std::max_element(rows.begin(), rows.end());
  m.fewestInColumn = *std::min_element(columns.begin(), columns.end());
  m.mostInColumn = *std::max_element(columns.begin(), columns.end());
  return m;
}

void ExpectSpeckMapCharacter(const std::vector<std::uint8_t>& bytes) {
  const MapCharacter m = Measure(bytes);
  ASSERT_EQ(m.size, 64000u);
  EXPECT_EQ(m.otherValues, 0);
  EXPECT_EQ(m.specks, 1853);
  const std::array<int, 9> expected = {1438, 387, 27, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(m.byNeighbours, expected);
  EXPECT_GE(m.fewestInRow, 1);
  EXPECT_LE(m.mostInRow, 20);
  EXPECT_GE(m.fewestInColumn, 1);
  EXPECT_LE(m.mostInColumn, 13);
}

TEST(SpeckMap, CommittedBytesHaveTheMapsCharacter) {
  std::ifstream in(VX_PLASMAMAP_FILE, std::ios::binary);
  ASSERT_TRUE(in.good()) << VX_PLASMAMAP_FILE;
  ExpectSpeckMapCharacter({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

TEST(SpeckMap, TheModuleCarriesItAsPlasmaMap110) {
  UseBuiltModuleResources();
  RawResource found;
  ASSERT_TRUE(FindRawResource(ModuleHandle(), "PLASMAMAP", 110, &found));
  const std::vector<std::uint8_t> bytes(found.bytes, found.bytes + found.size);
  ReleaseRawResource(&found);
  ExpectSpeckMapCharacter(bytes);
}

}  // namespace
}  // namespace vx
