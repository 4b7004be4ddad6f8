#include "raster.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <utility>

namespace {

float length(Vec2 v) {
    return std::sqrt(dot(v, v));
}

float distanceToSegment(Vec2 p, Vec2 a, Vec2 b) {
    const Vec2 ab = b - a;
    const float t = std::clamp(dot(p - a, ab) / dot(ab, ab), 0.0f, 1.0f);
    return length(p - (a + ab * t));
}

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

} // namespace

Raster makeRaster(int width, int height, Rgb background) {
    return {width, height, std::vector<Rgb>(static_cast<std::size_t>(width) * height, background)};
}

Shape circle(Vec2 centre, float radius) {
    return [=](Vec2 p) { return length(p - centre) - radius; };
}

Shape ellipse(Vec2 centre, float rx, float ry, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return [=](Vec2 p) {
        const Vec2 d = p - centre;
        const Vec2 local{(d.x * c + d.y * s) / rx, (-d.x * s + d.y * c) / ry};
        return (length(local) - 1.0f) * std::min(rx, ry);
    };
}

Shape capsule(Vec2 a, Vec2 b, float ra, float rb) {
    return [=](Vec2 p) {
        const Vec2 ab = b - a;
        const float t = std::clamp(dot(p - a, ab) / dot(ab, ab), 0.0f, 1.0f);
        return length(p - (a + ab * t)) - (ra + (rb - ra) * t);
    };
}

Shape polygon(std::vector<Vec2> corners) {
    if (corners.size() < 3) {
        return [](Vec2) { return 1.0f; };
    }
    return [corners = std::move(corners)](Vec2 p) {
        float nearest = INFINITY;
        bool inside = false;
        for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
            const Vec2 a = corners[i];
            const Vec2 b = corners[j];
            nearest = std::min(nearest, distanceToSegment(p, a, b));
            if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (b.x - a.x) * (p.y - a.y) / (b.y - a.y)) {
                inside = !inside;
            }
        }
        return inside ? -nearest : nearest;
    };
}

Shape unite(Shape a, Shape b) {
    return [a = std::move(a), b = std::move(b)](Vec2 p) { return std::min(a(p), b(p)); };
}

Shape intersect(Shape a, Shape b) {
    return [a = std::move(a), b = std::move(b)](Vec2 p) { return std::max(a(p), b(p)); };
}

Shape band(Vec2 a, Vec2 b, float from, float to) {
    const Vec2 ab = b - a;
    const float len = length(ab);
    return [=](Vec2 p) {
        const float along = dot(p - a, ab) / len;
        return std::max(from * len - along, along - to * len);
    };
}

void paint(Raster& raster, const Shape& shape, Rgb fill, Rgb outline, float outlineWidth) {
    for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x) {
            const float d = shape({static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f});
            Rgb& pixel = raster.pixels[static_cast<std::size_t>(y) * raster.width + x];
            if (d <= 0.0f) {
                pixel = fill;
            } else if (d <= outlineWidth) {
                pixel = outline;
            }
        }
    }
}

void mirror(Raster& raster) {
    for (int y = 0; y < raster.height; ++y) {
        const auto row = raster.pixels.begin() + static_cast<std::ptrdiff_t>(y) * raster.width;
        std::reverse(row, row + raster.width);
    }
}

std::vector<std::uint8_t> encodeBmp(const Raster& raster) {
    constexpr std::uint32_t headersSize = 14 + 40;
    const std::uint32_t rowSize = (static_cast<std::uint32_t>(raster.width) * 3 + 3) / 4 * 4;
    const std::uint32_t imageSize = rowSize * static_cast<std::uint32_t>(raster.height);
    std::vector<std::uint8_t> out;
    out.reserve(headersSize + imageSize);
    out.push_back('B');
    out.push_back('M');
    putLittleEndian(out, headersSize + imageSize, 4);
    putLittleEndian(out, 0, 4); // reserved
    putLittleEndian(out, headersSize, 4);
    putLittleEndian(out, 40, 4);
    putLittleEndian(out, static_cast<std::uint32_t>(raster.width), 4);
    putLittleEndian(out, static_cast<std::uint32_t>(raster.height), 4); // positive: bottom-up
    putLittleEndian(out, 1, 2);                                         // planes
    putLittleEndian(out, 24, 2);                                        // bits per pixel
    putLittleEndian(out, 0, 4);                                         // uncompressed
    putLittleEndian(out, imageSize, 4);
    putLittleEndian(out, 2835, 4); // 72 dots per inch, in dots per metre
    putLittleEndian(out, 2835, 4);
    putLittleEndian(out, 0, 4); // no palette
    putLittleEndian(out, 0, 4);
    for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x) {
            const Rgb p = raster.pixels[static_cast<std::size_t>(y) * raster.width + x];
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        out.resize(out.size() + (rowSize - static_cast<std::uint32_t>(raster.width) * 3), 0);
    }
    return out;
}

bool writeBmp(const Raster& raster, const std::string& path) {
    const std::vector<std::uint8_t> bytes = encodeBmp(raster);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}
