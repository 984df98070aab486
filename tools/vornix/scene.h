// What the previewer draws with when the author gives no files: a sample
// sprite and a stage backdrop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image.h"

namespace vx::preview {

struct Rgb {
  std::uint8_t r, g, b;
};

// A colourful 160x120 flower-like shape with a gradient and a soft,
// antialiased alpha edge; its alpha is the sprite's mask.
Image MakeSampleSprite();

// The side of the square stage that holds the sprite turned at any angle:
// its diagonal and a margin.
int DefaultStageSide(const Image& sprite);

// A grey checkerboard of 8-pixel squares.
Image MakeCheckerboard(int width, int height);

Image MakeSolid(int width, int height, Rgb colour);

// `picture` repeated from the top left over a width x height checkerboard,
// which shows through where the picture is not opaque.
Image TileOverCheckerboard(const Image& picture, int width, int height);

// "#rrggbb", "#rgb" or a colour name ("white", "black", "red", ...), in any
// case.
std::optional<Rgb> ParseColour(const std::string& text);

// The colour names ParseColour knows, comma-separated.
std::string ColourNames();

}  // namespace vx::preview
