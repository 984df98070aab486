// Writes the speck map: 320 x 200 bytes, 0 for empty and 255 for a speck.
//
// The specks are scattered singly, with a few touching pairs, short chains
// and one star, every group clear of every other by at least one cell (also
// across the map's wrapping edges, since the layers walk it as a torus), so
// the neighbour counts are exactly those of the groups: 1438 specks with no
// neighbour, 387 with one, 27 with two and 1 with three, 1853 in all. Every
// row holds 1 to 20 specks and every column 1 to 13.
//
// Deterministic: the same program always writes the same bytes. Usage:
//   make_plasmamap OUT
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kMaxPerRow = 20;
constexpr int kMaxPerColumn = 13;

struct Offset {
  int row, column;
};
using Shape = std::vector<Offset>;

// Two specks touching, sideways, downwards or diagonally.
const Shape kPairs[] = {{{0, 0}, {0, 1}}, {{0, 0}, {1, 0}}, {{0, 0}, {1, 1}}, {{0, 0}, {1, -1}}};
// Three specks whose ends do not touch: the middle one has two neighbours.
const Shape kChains[] = {{{0, 0}, {0, 1}, {0, 2}},
                         {{0, 0}, {1, 0}, {2, 0}},
                         {{0, 0}, {1, 1}, {2, 2}},
                         {{0, 0}, {1, 1}, {1, 2}},
                         {{0, 0}, {1, 0}, {2, 1}}};
// A centre with three leaves that do not touch each other.
const Shape kStar = {{0, 0}, {-1, -1}, {-1, 1}, {1, 0}};

class Map {
 public:
  Map() : cells_(kWidth * kHeight, 0) {}

  // Places `shape` with its first cell at (row, column) when it lies inside
  // the map, every cell and its eight neighbours are still empty and no row
  // or column goes over its limit.
  bool TryPlace(const Shape& shape, int row, int column) {
    std::array<int, kHeight> rows{};
    std::array<int, kWidth> columns{};
    for (const Offset& o : shape) {
      const int r = row + o.row, c = column + o.column;
      if (r < 0 || r >= kHeight || c < 0 || c >= kWidth) return false;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
          if (At(r + dr, c + dc) != 0) return false;
      ++rows[r];
      ++columns[c];
    }
    for (int r = 0; r < kHeight; ++r)
      if (rowCount_[r] + rows[r] > kMaxPerRow) return false;
    for (int c = 0; c < kWidth; ++c)
      if (columnCount_[c] + columns[c] > kMaxPerColumn) return false;
    for (const Offset& o : shape) {
      const int r = row + o.row, c = column + o.column;
      cells_[r * kWidth + c] = 255;
      ++rowCount_[r];
      ++columnCount_[c];
    }
    return true;
  }

  std::uint8_t At(int row, int column) const {
    return cells_[Wrap(row, kHeight) * kWidth + Wrap(column, kWidth)];
  }
  int RowCount(int r) const { return rowCount_[r]; }
  int ColumnCount(int c) const { return columnCount_[c]; }
  const std::vector<std::uint8_t>& Bytes() const { return cells_; }

 private:
  static int Wrap(int v, int n) { return ((v % n) + n) % n; }
  std::vector<std::uint8_t> cells_;
  std::array<int, kHeight> rowCount_{};
  std::array<int, kWidth> columnCount_{};
};

// A fixed linear congruential sequence.
class Random {
 public:
  int Below(int n) {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<int>((state_ >> 8) % static_cast<std::uint32_t>(n));
  }

 private:
  std::uint32_t state_ = 110;
};

void PlaceAnywhere(Map& map, Random& random, const Shape& shape) {
  while (!map.TryPlace(shape, random.Below(kHeight), random.Below(kWidth))) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_plasmamap OUT\n");
    return 2;
  }
  Map map;
  Random random;
  PlaceAnywhere(map, random, kStar);
  for (int i = 0; i < 27; ++i) PlaceAnywhere(map, random, kChains[random.Below(5)]);
  for (int i = 0; i < 165; ++i) PlaceAnywhere(map, random, kPairs[random.Below(4)]);
  const Shape single = {{0, 0}};
  int singles = 1438;
  // Every row and column gets at least one speck before the rest fall freely.
  for (int r = 0; r < kHeight; ++r)
    if (map.RowCount(r) == 0) {
      while (!map.TryPlace(single, r, random.Below(kWidth))) {
      }
      --singles;
    }
  for (int c = 0; c < kWidth; ++c)
    if (map.ColumnCount(c) == 0) {
      while (!map.TryPlace(single, random.Below(kHeight), c)) {
      }
      --singles;
    }
  for (; singles > 0; --singles) PlaceAnywhere(map, random, single);

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const std::vector<std::uint8_t>& bytes = map.Bytes();
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
