#include "raster.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <utility>
#include <zlib.h>

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

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

bool operator==(Rgb a, Rgb b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

// A PNG chunk: its length, type and data, and the CRC of type and data.
void putChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
              const std::vector<std::uint8_t>& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, static_cast<std::uint32_t>(
                          crc32(0, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt))));
}

// The shrunk picture's rows, top row first, each led by filter type 0 (none), as PNG stores them.
std::vector<std::uint8_t> shrunkRows(const Raster& raster, Rgb transparent, int shrink) {
    const int width = raster.width / shrink;
    const int height = raster.height / shrink;
    const int blockPixels = shrink * shrink;
    std::vector<std::uint8_t> rows;
    rows.reserve(static_cast<std::size_t>(height) * (1 + 4 * static_cast<std::size_t>(width)));
    for (int row = height - 1; row >= 0; --row) {
        rows.push_back(0);
        for (int column = 0; column < width; ++column) {
            int opaque = 0, r = 0, g = 0, b = 0;
            for (int y = row * shrink; y < (row + 1) * shrink; ++y) {
                for (int x = column * shrink; x < (column + 1) * shrink; ++x) {
                    const Rgb p = raster.pixels[static_cast<std::size_t>(y) * raster.width + x];
                    if (!(p == transparent)) {
                        ++opaque;
                        r += p.r;
                        g += p.g;
                        b += p.b;
                    }
                }
            }
            const int divisor = std::max(opaque, 1);
            for (int channel : {r, g, b}) {
                rows.push_back(static_cast<std::uint8_t>((channel + divisor / 2) / divisor));
            }
            rows.push_back(
                static_cast<std::uint8_t>((opaque * 255 + blockPixels / 2) / blockPixels));
        }
    }
    return rows;
}

} // namespace

Raster makeRaster(int width, int height, Rgb background, float pixelsPerUnit) {
    return {width, height, pixelsPerUnit,
            std::vector<Rgb>(static_cast<std::size_t>(width) * height, background)};
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
            const float d = shape({(static_cast<float>(x) + 0.5f) / raster.pixelsPerUnit,
                                   (static_cast<float>(y) + 0.5f) / raster.pixelsPerUnit});
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

void raise(Raster& raster, int rows, Rgb background) {
    const auto shifted =
        static_cast<std::ptrdiff_t>(std::clamp(rows, 0, raster.height)) * raster.width;
    std::move_backward(raster.pixels.begin(), raster.pixels.end() - shifted, raster.pixels.end());
    std::fill(raster.pixels.begin(), raster.pixels.begin() + shifted, background);
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
    return writeFile(encodeBmp(raster), path);
}

std::vector<std::uint8_t> encodePng(const Raster& raster, Rgb transparent, int shrink) {
    if (shrink < 1 || raster.width < shrink || raster.height < shrink ||
        raster.width % shrink != 0 || raster.height % shrink != 0) {
        return {};
    }
    const std::vector<std::uint8_t> rows = shrunkRows(raster, transparent, shrink);
    uLongf deflatedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> deflated(deflatedSize);
    if (compress2(deflated.data(), &deflatedSize, rows.data(), static_cast<uLong>(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    deflated.resize(deflatedSize);

    std::vector<std::uint8_t> header;
    putBigEndian(header, static_cast<std::uint32_t>(raster.width / shrink));
    putBigEndian(header, static_cast<std::uint32_t>(raster.height / shrink));
    // 8 bits per channel, colour type 6 (RGBA), deflate, adaptive filtering, not interlaced.
    header.insert(header.end(), {8, 6, 0, 0, 0});

    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", deflated);
    putChunk(out, "IEND", {});
    return out;
}

bool writeFile(const std::vector<std::uint8_t>& bytes, const std::string& path) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}
