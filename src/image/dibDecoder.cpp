#include "dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

using ColourLookup = std::array<DibColour, 256>;

// Every index a pixel can hold gets an entry; those past the file's table stay black.
ColourLookup makeColourLookup(const DibDescription& description) {
    ColourLookup lookup{};
    const std::uint32_t entries = std::min<std::uint32_t>(description.colourCount, 256);
    if (description.colours) {
        std::copy_n(description.colours.get(), entries, lookup.begin());
    }
    return lookup;
}

void putColour(std::uint8_t* pixel, DibColour colour) {
    pixel[0] = colour.blue;
    pixel[1] = colour.green;
    pixel[2] = colour.red;
}

std::uint32_t read16(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8;
}

std::uint32_t read32(const std::uint8_t* bytes) {
    return read16(bytes) | read16(bytes + 2) << 16;
}

// One colour channel of a bit-field pixel, scaled to 8 bits with rounding.
struct ChannelMask {
    std::uint32_t mask;
    int shift;
    std::uint32_t largest;
};

ChannelMask makeChannelMask(std::uint32_t mask) {
    if (mask == 0) {
        return {0, 0, 0};
    }
    const int shift = std::countr_zero(mask);
    return {mask, shift, mask >> shift};
}

std::uint8_t scaleChannel(std::uint32_t pixel, const ChannelMask& channel) {
    if (channel.largest == 0) {
        return 0;
    }
    const std::uint64_t value = (pixel & channel.mask) >> channel.shift;
    return static_cast<std::uint8_t>((value * 255 + channel.largest / 2) / channel.largest);
}

struct PixelMasks {
    ChannelMask red;
    ChannelMask green;
    ChannelMask blue;
};

PixelMasks makePixelMasks(const DibDescription& description) {
    if (description.compression == DIB_BIT_FIELDS) {
        return {makeChannelMask(description.redMask), makeChannelMask(description.greenMask),
                makeChannelMask(description.blueMask)};
    }
    if (description.bitsPerPixel == 16) {
        return {makeChannelMask(0x7C00), makeChannelMask(0x03E0), makeChannelMask(0x001F)};
    }
    return {makeChannelMask(0xFF0000), makeChannelMask(0xFF00), makeChannelMask(0xFF)};
}

// Bit fields that say what 32 bits mean anyway: blue, green, red and an unused fourth byte.
bool hasPlainMasks(const DibDescription& description) {
    return description.redMask == 0xFF0000 && description.greenMask == 0xFF00 &&
           description.blueMask == 0xFF;
}

std::int64_t rowCount(const DibDescription& description) {
    return description.height < 0 ? -std::int64_t{description.height} : description.height;
}

bool fitsWorkingImage(const DibDescription& description) {
    return description.width > 0 && description.height != 0 &&
           workingRowBytes(description.width) * static_cast<std::uint64_t>(rowCount(description)) <=
               LARGEST_WORKING_IMAGE_BYTES;
}

std::uint64_t sourceRowBytesOf(const DibDescription& description) {
    const std::uint64_t rowBits =
        std::uint64_t{static_cast<std::uint32_t>(description.width)} * description.bitsPerPixel;
    return (rowBits + 31) / 32 * 4;
}

// Uncompressed rows: each row of the file is padded to 4 bytes; only the last row may lack
// its padding. decodeRow(source, working) fills one working row.
template <typename DecodeRow>
int decodeRows(const DibDescription& description, const std::uint8_t* pixelData,
               std::size_t pixelBytes, std::uint8_t* workingImage, DecodeRow decodeRow) {
    if (leastPixelBytes(description) > pixelBytes) {
        return 0;
    }
    const std::uint64_t sourceRowBytes = sourceRowBytesOf(description);
    const auto rows = static_cast<std::int32_t>(rowCount(description));
    const std::size_t workingStride = workingRowBytes(description.width);
    const bool topDown = description.height < 0;
    for (std::int32_t row = 0; row < rows; ++row) {
        const std::int32_t workingRow = topDown ? rows - 1 - row : row;
        decodeRow(pixelData + row * sourceRowBytes, workingImage + workingRow * workingStride);
    }
    return rows;
}

// 1 or 4 bits per index, the leftmost pixel in the highest bits of each byte.
template <int BITS>
int decodeIndexed(const DibDescription& description, const std::uint8_t* pixelData,
                  std::size_t pixelBytes, std::uint8_t* workingImage) {
    const ColourLookup lookup = makeColourLookup(description);
    const std::int32_t width = description.width;
    return decodeRows(description, pixelData, pixelBytes, workingImage,
                      [&](const std::uint8_t* source, std::uint8_t* working) {
                          constexpr int perByte = 8 / BITS;
                          constexpr unsigned indexMask = (1u << BITS) - 1;
                          for (std::int32_t x = 0; x < width; ++x) {
                              const int shift = 8 - BITS * (x % perByte + 1);
                              const unsigned index = (source[x / perByte] >> shift) & indexMask;
                              putColour(working + 3 * x, lookup[index]);
                          }
                      });
}

int decode8(const DibDescription& description, const std::uint8_t* pixelData,
            std::size_t pixelBytes, std::uint8_t* workingImage) {
    const ColourLookup lookup = makeColourLookup(description);
    // Each colour as one word, blue in the lowest byte: a pixel is one 4-byte store whose
    // fourth byte the next pixel overwrites; only the last pixel of a row is written bytewise.
    static_assert(std::endian::native == std::endian::little);
    std::array<std::uint32_t, 256> words{};
    for (std::size_t index = 0; index < words.size(); ++index) {
        const DibColour colour = lookup[index];
        words[index] =
            colour.blue | std::uint32_t{colour.green} << 8 | std::uint32_t{colour.red} << 16;
    }
    const std::int32_t last = description.width - 1;
    return decodeRows(description, pixelData, pixelBytes, workingImage,
                      [&](const std::uint8_t* source, std::uint8_t* working) {
                          for (std::int32_t x = 0; x < last; ++x) {
                              const std::uint32_t word = words[source[x]];
                              std::memcpy(working + 3 * x, &word, sizeof word);
                          }
                          putColour(working + 3 * last, lookup[source[last]]);
                      });
}

int decode24(const DibDescription& description, const std::uint8_t* pixelData,
             std::size_t pixelBytes, std::uint8_t* workingImage) {
    const std::size_t rowBytes = std::size_t{3} * static_cast<std::uint32_t>(description.width);
    return decodeRows(description, pixelData, pixelBytes, workingImage,
                      [&](const std::uint8_t* source, std::uint8_t* working) {
                          std::memcpy(working, source, rowBytes);
                      });
}

int decodeMasked(const DibDescription& description, const std::uint8_t* pixelData,
                 std::size_t pixelBytes, std::uint8_t* workingImage) {
    const PixelMasks masks = makePixelMasks(description);
    const std::int32_t width = description.width;
    const int pixelBytesEach = description.bitsPerPixel / 8;
    return decodeRows(description, pixelData, pixelBytes, workingImage,
                      [&](const std::uint8_t* source, std::uint8_t* working) {
                          for (std::int32_t x = 0; x < width; ++x) {
                              const std::uint8_t* at = source + pixelBytesEach * x;
                              const std::uint32_t pixel =
                                  pixelBytesEach == 2 ? read16(at) : read32(at);
                              working[3 * x] = scaleChannel(pixel, masks.blue);
                              working[3 * x + 1] = scaleChannel(pixel, masks.green);
                              working[3 * x + 2] = scaleChannel(pixel, masks.red);
                          }
                      });
}

// 32 bits as blue, green, red and an ignored fourth byte: no scaling needed.
int decode32Plain(const DibDescription& description, const std::uint8_t* pixelData,
                  std::size_t pixelBytes, std::uint8_t* workingImage) {
    const std::int32_t width = description.width;
    return decodeRows(description, pixelData, pixelBytes, workingImage,
                      [&](const std::uint8_t* source, std::uint8_t* working) {
                          for (std::int32_t x = 0; x < width; ++x) {
                              working[3 * x] = source[4 * x];
                              working[3 * x + 1] = source[4 * x + 1];
                              working[3 * x + 2] = source[4 * x + 2];
                          }
                      });
}

// Run-length data: pairs of (count, value); a count of 0 starts an escape: 0 end of line,
// 1 end of bitmap, 2 a move right and up by the next two bytes, 3 or more a run of that many
// literal indices padded to a 2-byte boundary. RLE4 packs two indices per byte, high nibble
// first. Pixels outside the picture are dropped; pixels never set stay black.
template <bool FOUR_BITS>
int decodeRunLength(const DibDescription& description, const std::uint8_t* pixelData,
                    std::size_t pixelBytes, std::uint8_t* workingImage) {
    const ColourLookup lookup = makeColourLookup(description);
    const std::int64_t width = description.width;
    const std::int64_t rows = description.height;
    const std::size_t workingStride = workingRowBytes(description.width);
    std::memset(workingImage, 0, workingStride * static_cast<std::size_t>(rows));

    std::int64_t x = 0;
    std::int64_t y = 0;
    auto indexAt = [](std::uint8_t packed, std::int64_t i) -> unsigned {
        if constexpr (FOUR_BITS) {
            return (i & 1) ? packed & 0x0F : packed >> 4;
        } else {
            (void)i;
            return packed;
        }
    };
    auto pixelAt = [&](std::int64_t column) {
        return workingImage + y * workingStride + 3 * column;
    };
    auto pixelsInRow = [&](std::int64_t count) {
        return y < rows && x < width ? std::min(count, width - x) : std::int64_t{0};
    };

    std::size_t at = 0;
    while (pixelBytes - at >= 2) {
        const std::uint8_t count = pixelData[at];
        const std::uint8_t value = pixelData[at + 1];
        at += 2;
        if (count > 0) {
            const std::int64_t shown = pixelsInRow(count);
            for (std::int64_t i = 0; i < shown; ++i) {
                putColour(pixelAt(x + i), lookup[indexAt(value, i)]);
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return static_cast<int>(rows);
        } else if (value == 2) {
            if (pixelBytes - at < 2) {
                return 0;
            }
            x += pixelData[at];
            y += pixelData[at + 1];
            at += 2;
        } else {
            const std::size_t literalBytes = FOUR_BITS ? (value + 1u) / 2 : value;
            if (pixelBytes - at < literalBytes) {
                return 0;
            }
            const std::int64_t shown = pixelsInRow(value);
            for (std::int64_t i = 0; i < shown; ++i) {
                const std::uint8_t packed = pixelData[at + (FOUR_BITS ? i / 2 : i)];
                putColour(pixelAt(x + i), lookup[indexAt(packed, i)]);
            }
            x += value;
            at += std::min(pixelBytes - at, (literalBytes + 1) & ~std::size_t{1});
        }
    }
    // A stream that ends without its end-of-bitmap mark is cut short, unless every row was done.
    return y >= rows ? static_cast<int>(rows) : 0;
}

} // namespace

int paletteEntryCount(const std::uint8_t* header, std::size_t bytes) {
    if (bytes < 4) {
        return 0;
    }
    std::uint32_t bitsPerPixel = 0;
    if (read32(header) == CORE_HEADER_BYTES) {
        if (bytes < 12) {
            return 0;
        }
        bitsPerPixel = read16(header + 10);
    } else {
        if (bytes < 36) {
            return 0;
        }
        const std::uint32_t coloursUsed = read32(header + 32);
        if (coloursUsed != 0) {
            return static_cast<int>(coloursUsed & 0xFFFF);
        }
        bitsPerPixel = read16(header + 14);
    }
    switch (bitsPerPixel) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

std::uint64_t leastPixelBytes(const DibDescription& description) {
    if (description.compression == DIB_RLE8 || description.compression == DIB_RLE4) {
        return 2;
    }
    if (!fitsWorkingImage(description)) {
        return UINT64_MAX;
    }
    if (description.bitsPerPixel == 0 || description.bitsPerPixel > 32) {
        return 0;
    }
    const std::uint64_t rowBits =
        std::uint64_t{static_cast<std::uint32_t>(description.width)} * description.bitsPerPixel;
    const auto rows = static_cast<std::uint64_t>(rowCount(description));
    return (rows - 1) * sourceRowBytesOf(description) + (rowBits + 7) / 8;
}

int decodeDibPixels(const DibDescription& description, const std::uint8_t* pixelData,
                    std::size_t pixelBytes, std::uint8_t* workingImage) {
    if (!fitsWorkingImage(description)) {
        return 0;
    }
    const bool bottomUp = description.height > 0;
    switch (description.compression) {
    case DIB_UNCOMPRESSED:
        switch (description.bitsPerPixel) {
        case 1:
            return decodeIndexed<1>(description, pixelData, pixelBytes, workingImage);
        case 4:
            return decodeIndexed<4>(description, pixelData, pixelBytes, workingImage);
        case 8:
            return decode8(description, pixelData, pixelBytes, workingImage);
        case 16:
            return decodeMasked(description, pixelData, pixelBytes, workingImage);
        case 24:
            return decode24(description, pixelData, pixelBytes, workingImage);
        case 32:
            return decode32Plain(description, pixelData, pixelBytes, workingImage);
        default:
            return 0;
        }
    case DIB_BIT_FIELDS:
        if (description.bitsPerPixel == 32 && hasPlainMasks(description)) {
            return decode32Plain(description, pixelData, pixelBytes, workingImage);
        }
        if (description.bitsPerPixel == 16 || description.bitsPerPixel == 32) {
            return decodeMasked(description, pixelData, pixelBytes, workingImage);
        }
        return 0;
    // Run-length pictures are always stored from the bottom up.
    case DIB_RLE8:
        if (description.bitsPerPixel == 8 && bottomUp) {
            return decodeRunLength<false>(description, pixelData, pixelBytes, workingImage);
        }
        return 0;
    case DIB_RLE4:
        if (description.bitsPerPixel == 4 && bottomUp) {
            return decodeRunLength<true>(description, pixelData, pixelBytes, workingImage);
        }
        return 0;
    default:
        return 0;
    }
}
