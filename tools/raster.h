// Tools: a small RGB raster with filled, outlined shapes, written out as 24-bit BMP files or,
// shrunk with smooth edges, as PNG files with a transparent ground. drawPoses uses it to draw
// the six pose pictures of the fencers and the game's icon.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

struct Vec2 {
    float x;
    float y;
};

constexpr Vec2 operator+(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
constexpr Vec2 operator-(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
constexpr Vec2 operator*(Vec2 a, float s) {
    return {a.x * s, a.y * s};
}
constexpr float dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}

// Row 0 is the bottom row and y grows upwards, as in a bottom-up BMP file. Shapes are given
// in drawing units; pixel (x, y) covers the square from (x, y) to (x + 1, y + 1) divided by
// pixelsPerUnit.
struct Raster {
    int width;
    int height;
    float pixelsPerUnit;
    std::vector<Rgb> pixels;
};

// Returns a raster of the given size in pixels filled with the background colour.
Raster makeRaster(int width, int height, Rgb background, float pixelsPerUnit = 1.0f);

// A shape is its signed distance function: negative inside, positive outside, roughly in
// pixels, so that painting can give it an outline of a chosen width.
using Shape = std::function<float(Vec2)>;

// Returns a filled circle.
Shape circle(Vec2 centre, float radius);
// Returns a filled ellipse with radii rx and ry, turned anticlockwise by angle (radians).
Shape ellipse(Vec2 centre, float rx, float ry, float angle);
// Returns a segment from a to b thickened to radius ra at a and rb at b (a limb).
Shape capsule(Vec2 a, Vec2 b, float ra, float rb);
// Returns a filled polygon with the given corners in order; empty if it has fewer than three.
Shape polygon(std::vector<Vec2> corners);
// Returns the shape covering both a and b, outlined as one (a limb without a seam at its joint).
Shape unite(Shape a, Shape b);
// Returns the part of a that is also inside b.
Shape intersect(Shape a, Shape b);
// Returns the slab of points whose projection on the line from a to b lies between the
// fractions from and to of that segment (0 at a, 1 at b); used to cut bands from limbs.
Shape band(Vec2 a, Vec2 b, float from, float to);

// Paints the shape: pixels whose centre lies inside get the fill colour, those within
// outlineWidth (in drawing units) outside it get the outline colour (none when outlineWidth is 0).
// Later shapes cover earlier ones, so painting from back to front outlines each part against the
// rest.
void paint(Raster& raster, const Shape& shape, Rgb fill, Rgb outline = {0, 0, 0},
           float outlineWidth = 0.0f);

// Mirrors the raster left to right in place.
void mirror(Raster& raster);

// Moves the picture up by rows pixels in place; the rows uncovered at the bottom get the
// background colour.
void raise(Raster& raster, int rows, Rgb background);

// Returns the bytes of a 24-bit uncompressed BMP file of the raster: a 14-byte file header,
// a 40-byte info header, then bottom-up rows of B, G, R bytes, each padded to 4 bytes.
std::vector<std::uint8_t> encodeBmp(const Raster& raster);

// Writes encodeBmp(raster) to the file at path; returns false if it cannot be written whole.
bool writeBmp(const Raster& raster, const std::string& path);

// Returns the bytes of an 8-bit RGBA PNG file (rows top down, deflated by zlib) of the raster
// shrunk by shrink in each direction, which must divide its width and height: each pixel is
// the mean of a shrink x shrink block, where pixels of the transparent colour count as
// transparent, so that outlines get smooth edges against any ground.
std::vector<std::uint8_t> encodePng(const Raster& raster, Rgb transparent, int shrink);

// Writes the bytes to the file at path; returns false if they cannot be written whole.
bool writeFile(const std::vector<std::uint8_t>& bytes, const std::string& path);
