// Builds bitmap files byte by byte for the loader's tests, its benchmark and its fuzzing seeds,
// so that each case states its picture in a few lines instead of living in a binary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void put32(Bytes& bytes, std::uint32_t value) {
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

struct BitmapLayout {
    bool fileHeader = true;
    std::uint32_t headerSize = 40; // 12 for a core header; anything else is written as 40 bytes
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> colours{}; // 0xRRGGBB each
    std::vector<std::uint32_t> masks{};   // written between the info header and the colour table
    std::size_t gapBeforePixels = 0;      // bytes of filler between the colour table and the pixels
    Bytes pixels{};                       // the pixel data exactly as stored
};

// Offset of the pixel data in the file buildBitmap makes.
inline std::size_t pixelDataOffset(const BitmapLayout& layout) {
    const bool core = layout.headerSize == 12;
    return (layout.fileHeader ? 14 : 0) + (core ? 12 : 40) + 4 * layout.masks.size() +
           (core ? 3 : 4) * layout.colours.size() + layout.gapBeforePixels;
}

inline Bytes buildBitmap(const BitmapLayout& layout) {
    Bytes bytes;
    if (layout.fileHeader) {
        bytes.push_back('B');
        bytes.push_back('M');
        put32(bytes, static_cast<std::uint32_t>(pixelDataOffset(layout) + layout.pixels.size()));
        put32(bytes, 0);
        put32(bytes, static_cast<std::uint32_t>(pixelDataOffset(layout)));
    }
    const bool core = layout.headerSize == 12;
    put32(bytes, layout.headerSize);
    if (core) {
        put16(bytes, static_cast<std::uint32_t>(layout.width));
        put16(bytes, static_cast<std::uint32_t>(layout.height));
        put16(bytes, 1);
        put16(bytes, layout.bitsPerPixel);
    } else {
        put32(bytes, static_cast<std::uint32_t>(layout.width));
        put32(bytes, static_cast<std::uint32_t>(layout.height));
        put16(bytes, 1);
        put16(bytes, layout.bitsPerPixel);
        put32(bytes, layout.compression);
        put32(bytes, layout.imageSize);
        put32(bytes, 2835);
        put32(bytes, 2835);
        put32(bytes, layout.coloursUsed);
        put32(bytes, 0);
    }
    for (std::uint32_t mask : layout.masks) {
        put32(bytes, mask);
    }
    for (std::uint32_t colour : layout.colours) {
        bytes.push_back(static_cast<std::uint8_t>(colour));
        bytes.push_back(static_cast<std::uint8_t>(colour >> 8));
        bytes.push_back(static_cast<std::uint8_t>(colour >> 16));
        if (!core) {
            bytes.push_back(0);
        }
    }
    bytes.insert(bytes.end(), layout.gapBeforePixels, 0xEE);
    bytes.insert(bytes.end(), layout.pixels.begin(), layout.pixels.end());
    return bytes;
}

// Uncompressed rows as stored, each padded to 4 bytes. Each value is an index for 1, 4 and
// 8 bits, a pixel word for 16 and 32 bits, and 0xRRGGBB for 24 bits.
inline Bytes packRows(int bitsPerPixel, const std::vector<std::vector<std::uint32_t>>& rows) {
    Bytes bytes;
    for (const auto& row : rows) {
        Bytes packed((row.size() * bitsPerPixel + 31) / 32 * 4, 0);
        for (std::size_t x = 0; x < row.size(); ++x) {
            const std::uint32_t value = row[x];
            switch (bitsPerPixel) {
            case 1:
            case 4: {
                const std::size_t bit = x * bitsPerPixel;
                packed[bit / 8] |= static_cast<std::uint8_t>(value << (8 - bitsPerPixel - bit % 8));
                break;
            }
            case 8:
                packed[x] = static_cast<std::uint8_t>(value);
                break;
            default:
                for (int byte = 0; byte < bitsPerPixel / 8; ++byte) {
                    packed[x * (bitsPerPixel / 8) + byte] =
                        static_cast<std::uint8_t>(value >> (8 * byte));
                }
            }
        }
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }
    return bytes;
}
