#include "scene.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vx::preview {

namespace {

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// Hue in turns, full saturation and value.
void HueToRgb(double hue, double value, std::uint8_t* out) {
  hue -= std::floor(hue);
  const double h = hue * 6.0;
  const int sector = static_cast<int>(h) % 6;
  const double f = h - std::floor(h);
  double r = 0, g = 0, b = 0;
  switch (sector) {
    case 0: r = 1, g = f, b = 0; break;
    case 1: r = 1 - f, g = 1, b = 0; break;
    case 2: r = 0, g = 1, b = f; break;
    case 3: r = 0, g = 1 - f, b = 1; break;
    case 4: r = f, g = 0, b = 1; break;
    default: r = 1, g = 0, b = 1 - f; break;
  }
  out[0] = static_cast<std::uint8_t>(std::lround(255 * r * value));
  out[1] = static_cast<std::uint8_t>(std::lround(255 * g * value));
  out[2] = static_cast<std::uint8_t>(std::lround(255 * b * value));
}

}  // namespace

Image MakeSampleSprite() {
  const int width = 160, height = 120;
  const double pi = 3.14159265358979323846;
  Image sprite(width, height);
  const double cx = width / 2.0, cy = height / 2.0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      // Pixel centre relative to the middle, squashed to the 4:3 frame.
      const double dx = (x + 0.5 - cx) / (width / 2.0), dy = (y + 0.5 - cy) / (height / 2.0);
      const double r = std::hypot(dx, dy), angle = std::atan2(dy, dx);
      // Five rounded petals; the edge is where r crosses `edge`.
      const double edge = 0.78 + 0.16 * std::cos(5 * angle);
      // One pixel of the shorter side spans about 2/height in r.
      const double alpha = Clamp01((edge - r) * height / 2.0 + 0.5);
      std::uint8_t* p = sprite.At(x, y);
      HueToRgb(angle / (2 * pi) + 0.5 * r, 1.0 - 0.45 * (y / double(height)), p);
      // A light centre and dark stripes make tiles, shifts and twists visible.
      const double glow = Clamp01(1.0 - r / 0.35);
      const double stripe = (static_cast<int>((dx + 2) * 6) % 2) ? 0.85 : 1.0;
      for (int c = 0; c < 3; ++c)
        p[c] = static_cast<std::uint8_t>(std::lround(std::min(255.0, p[c] * stripe + 255 * glow * 0.6)));
      p[3] = static_cast<std::uint8_t>(std::lround(255 * alpha));
    }
  return sprite;
}

int DefaultStageSide(const Image& sprite) {
  return static_cast<int>(std::ceil(std::hypot(sprite.width, sprite.height))) + 32;
}

Image MakeCheckerboard(int width, int height) {
  Image board(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t v = ((x / 8) + (y / 8)) % 2 ? 204 : 153;
      std::uint8_t* p = board.At(x, y);
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
    }
  return board;
}

Image MakeSolid(int width, int height, Rgb colour) {
  Image image(width, height);
  for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
    image.rgba[i] = colour.r;
    image.rgba[i + 1] = colour.g;
    image.rgba[i + 2] = colour.b;
    image.rgba[i + 3] = 255;
  }
  return image;
}

Image TileOverCheckerboard(const Image& picture, int width, int height) {
  Image stage = MakeCheckerboard(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = picture.At(x % picture.width, y % picture.height);
      std::uint8_t* s = stage.At(x, y);
      for (int c = 0; c < 3; ++c) s[c] = static_cast<std::uint8_t>((p[c] * p[3] + s[c] * (255 - p[3]) + 127) / 255);
    }
  return stage;
}

namespace {

struct NamedColour {
  const char* name;
  Rgb colour;
};
constexpr NamedColour kNamedColours[] = {
    {"black", {0, 0, 0}},       {"white", {255, 255, 255}}, {"grey", {128, 128, 128}},
    {"gray", {128, 128, 128}},  {"red", {255, 0, 0}},       {"green", {0, 128, 0}},
    {"lime", {0, 255, 0}},      {"blue", {0, 0, 255}},      {"yellow", {255, 255, 0}},
    {"cyan", {0, 255, 255}},    {"magenta", {255, 0, 255}}, {"orange", {255, 165, 0}},
    {"purple", {128, 0, 128}},  {"navy", {0, 0, 128}},      {"teal", {0, 128, 128}},
    {"silver", {192, 192, 192}}, {"maroon", {128, 0, 0}},   {"olive", {128, 128, 0}},
};

}  // namespace

std::string ColourNames() {
  std::string names;
  for (const NamedColour& n : kNamedColours) names += std::string(names.empty() ? "" : ", ") + n.name;
  return names;
}

std::optional<Rgb> ParseColour(const std::string& text) {
  std::string t;
  for (char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!t.empty() && t[0] == '#') {
    const std::string hex = t.substr(1);
    if ((hex.size() != 6 && hex.size() != 3) ||
        !std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
      return std::nullopt;
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    if (hex.size() == 3)
      return Rgb{static_cast<std::uint8_t>(digit(hex[0]) * 17), static_cast<std::uint8_t>(digit(hex[1]) * 17),
                 static_cast<std::uint8_t>(digit(hex[2]) * 17)};
    return Rgb{static_cast<std::uint8_t>(digit(hex[0]) * 16 + digit(hex[1])),
               static_cast<std::uint8_t>(digit(hex[2]) * 16 + digit(hex[3])),
               static_cast<std::uint8_t>(digit(hex[4]) * 16 + digit(hex[5]))};
  }
  for (const NamedColour& n : kNamedColours)
    if (t == n.name) return n.colour;
  return std::nullopt;
}

}  // namespace vx::preview
