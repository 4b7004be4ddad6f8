#include "dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Where the decoded pixels go: the byte of each channel within a pixel, and the bytes from one
// row to the next.
struct PaddedBlueGreenRed {
    static constexpr int RED = 2;
    static constexpr int BLUE = 0;
    static std::size_t rowBytes(std::int32_t width) { return workingRowBytes(width); }
};

struct RedGreenBlue {
    static constexpr int RED = 0;
    static constexpr int BLUE = 2;
    static std::size_t rowBytes(std::int32_t width) {
        return std::size_t{3} * static_cast<std::uint32_t>(width);
    }
};

template <typename Layout> void putColour(std::uint8_t* pixel, DibColour colour) {
    pixel[Layout::BLUE] = colour.blue;
    pixel[1] = colour.green;
    pixel[Layout::RED] = colour.red;
}

template <typename Layout>
void putChannels(std::uint8_t* pixel, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    putColour<Layout>(pixel, {blue, green, red, 0});
}

// Stored blue, green, red to red, green, blue.
void swapRedAndBlue(const std::uint8_t* in, std::int32_t width, std::uint8_t* out) {
    std::int32_t x = 0;
#if defined(__SSE2__)
    // Five pixels per 16 bytes: red and blue trade places by shifting the whole block two
    // bytes either way. The sixteenth byte written is wrong and is rewritten next, so the
    // loop keeps a whole pixel beyond the block inside the row.
    const __m128i greens = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0);
    const __m128i reds = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
    const __m128i blues = _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0);
    for (; x + 6 <= width; x += 5) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i swapped =
            _mm_or_si128(_mm_and_si128(block, greens),
                         _mm_or_si128(_mm_and_si128(_mm_srli_si128(block, 2), reds),
                                      _mm_and_si128(_mm_slli_si128(block, 2), blues)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), swapped);
        in += 15;
        out += 15;
    }
#endif
    for (; x < width; ++x) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        in += 3;
        out += 3;
    }
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
// its padding. decodeRow(source, row) fills one row of the result.
template <typename Layout, typename DecodeRow>
int decodeRows(const DibDescription& description, const std::uint8_t* pixelData,
               std::size_t pixelBytes, std::uint8_t* rows, DecodeRow decodeRow) {
    if (leastPixelBytes(description) > pixelBytes) {
        return 0;
    }
    const std::uint64_t sourceRowBytes = sourceRowBytesOf(description);
    const auto rowTotal = static_cast<std::int32_t>(rowCount(description));
    const std::size_t stride = Layout::rowBytes(description.width);
    const bool topDown = description.height < 0;
    for (std::int32_t row = 0; row < rowTotal; ++row) {
        const std::int32_t resultRow = topDown ? rowTotal - 1 - row : row;
        decodeRow(pixelData + row * sourceRowBytes, rows + resultRow * stride);
    }
    return rowTotal;
}

// 1 or 4 bits per index, the leftmost pixel in the highest bits of each byte.
template <typename Layout, int BITS>
int decodeIndexed(const DibDescription& description, const std::uint8_t* pixelData,
                  std::size_t pixelBytes, std::uint8_t* rows) {
    const ColourLookup lookup = makeColourLookup(description);
    const std::int32_t width = description.width;
    return decodeRows<Layout>(description, pixelData, pixelBytes, rows,
                              [&](const std::uint8_t* source, std::uint8_t* row) {
                                  constexpr int perByte = 8 / BITS;
                                  constexpr unsigned indexMask = (1u << BITS) - 1;
                                  for (std::int32_t x = 0; x < width; ++x) {
                                      const int shift = 8 - BITS * (x % perByte + 1);
                                      const unsigned index =
                                          (source[x / perByte] >> shift) & indexMask;
                                      putColour<Layout>(row + 3 * x, lookup[index]);
                                  }
                              });
}

template <typename Layout>
int decode8(const DibDescription& description, const std::uint8_t* pixelData,
            std::size_t pixelBytes, std::uint8_t* rows) {
    const ColourLookup lookup = makeColourLookup(description);
    // Each colour as one word in the order of the result: a pixel is one 4-byte store whose
    // fourth byte the next pixel overwrites; only the last pixel of a row is written bytewise.
    static_assert(std::endian::native == std::endian::little);
    std::array<std::uint32_t, 256> words{};
    for (std::size_t index = 0; index < words.size(); ++index) {
        std::uint8_t bytes[4] = {};
        putColour<Layout>(bytes, lookup[index]);
        std::memcpy(&words[index], bytes, sizeof bytes);
    }
    const std::int32_t last = description.width - 1;
    return decodeRows<Layout>(description, pixelData, pixelBytes, rows,
                              [&](const std::uint8_t* source, std::uint8_t* row) {
                                  for (std::int32_t x = 0; x < last; ++x) {
                                      const std::uint32_t word = words[source[x]];
                                      std::memcpy(row + 3 * x, &word, sizeof word);
                                  }
                                  putColour<Layout>(row + 3 * last, lookup[source[last]]);
                              });
}

template <typename Layout>
int decode24(const DibDescription& description, const std::uint8_t* pixelData,
             std::size_t pixelBytes, std::uint8_t* rows) {
    const std::int32_t width = description.width;
    return decodeRows<Layout>(description, pixelData, pixelBytes, rows,
                              [&](const std::uint8_t* source, std::uint8_t* row) {
                                  if constexpr (Layout::RED == 2) {
                                      std::memcpy(row, source, std::size_t{3} * width);
                                  } else {
                                      swapRedAndBlue(source, width, row);
                                  }
                              });
}

template <typename Layout>
int decodeMasked(const DibDescription& description, const std::uint8_t* pixelData,
                 std::size_t pixelBytes, std::uint8_t* rows) {
    const PixelMasks masks = makePixelMasks(description);
    const std::int32_t width = description.width;
    const int pixelBytesEach = description.bitsPerPixel / 8;
    return decodeRows<Layout>(
        description, pixelData, pixelBytes, rows,
        [&](const std::uint8_t* source, std::uint8_t* row) {
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint8_t* at = source + pixelBytesEach * x;
                const std::uint32_t pixel = pixelBytesEach == 2 ? read16(at) : read32(at);
                putChannels<Layout>(row + 3 * x, scaleChannel(pixel, masks.blue),
                                    scaleChannel(pixel, masks.green),
                                    scaleChannel(pixel, masks.red));
            }
        });
}

// 32 bits as blue, green, red and an ignored fourth byte: no scaling needed.
template <typename Layout>
int decode32Plain(const DibDescription& description, const std::uint8_t* pixelData,
                  std::size_t pixelBytes, std::uint8_t* rows) {
    const std::int32_t width = description.width;
    return decodeRows<Layout>(description, pixelData, pixelBytes, rows,
                              [&](const std::uint8_t* source, std::uint8_t* row) {
                                  for (std::int32_t x = 0; x < width; ++x) {
                                      const std::uint8_t* at = source + 4 * x;
                                      putChannels<Layout>(row + 3 * x, at[0], at[1], at[2]);
                                  }
                              });
}

// Run-length data: pairs of (count, value); a count of 0 starts an escape: 0 end of line,
// 1 end of bitmap, 2 a move right and up by the next two bytes, 3 or more a run of that many
// literal indices padded to a 2-byte boundary. RLE4 packs two indices per byte, high nibble
// first. Pixels outside the picture are dropped; pixels never set stay black.
template <typename Layout, bool FOUR_BITS>
int decodeRunLength(const DibDescription& description, const std::uint8_t* pixelData,
                    std::size_t pixelBytes, std::uint8_t* rows) {
    const ColourLookup lookup = makeColourLookup(description);
    const std::int64_t width = description.width;
    const std::int64_t rowTotal = description.height;
    const std::size_t stride = Layout::rowBytes(description.width);
    std::memset(rows, 0, stride * static_cast<std::size_t>(rowTotal));

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
    auto pixelAt = [&](std::int64_t column) { return rows + y * stride + 3 * column; };
    auto pixelsInRow = [&](std::int64_t count) {
        return y < rowTotal && x < width ? std::min(count, width - x) : std::int64_t{0};
    };

    std::size_t at = 0;
    while (pixelBytes - at >= 2) {
        const std::uint8_t count = pixelData[at];
        const std::uint8_t value = pixelData[at + 1];
        at += 2;
        if (count > 0) {
            const std::int64_t shown = pixelsInRow(count);
            for (std::int64_t i = 0; i < shown; ++i) {
                putColour<Layout>(pixelAt(x + i), lookup[indexAt(value, i)]);
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return static_cast<int>(rowTotal);
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
                putColour<Layout>(pixelAt(x + i), lookup[indexAt(packed, i)]);
            }
            x += value;
            at += std::min(pixelBytes - at, (literalBytes + 1) & ~std::size_t{1});
        }
    }
    // A stream that ends without its end-of-bitmap mark is cut short, unless every row was done.
    return y >= rowTotal ? static_cast<int>(rowTotal) : 0;
}

template <typename Layout>
int decodeInLayout(const DibDescription& description, const std::uint8_t* pixelData,
                   std::size_t pixelBytes, std::uint8_t* rows) {
    const bool bottomUp = description.height > 0;
    switch (description.compression) {
    case DIB_UNCOMPRESSED:
        switch (description.bitsPerPixel) {
        case 1:
            return decodeIndexed<Layout, 1>(description, pixelData, pixelBytes, rows);
        case 4:
            return decodeIndexed<Layout, 4>(description, pixelData, pixelBytes, rows);
        case 8:
            return decode8<Layout>(description, pixelData, pixelBytes, rows);
        case 16:
            return decodeMasked<Layout>(description, pixelData, pixelBytes, rows);
        case 24:
            return decode24<Layout>(description, pixelData, pixelBytes, rows);
        case 32:
            return decode32Plain<Layout>(description, pixelData, pixelBytes, rows);
        default:
            return 0;
        }
    case DIB_BIT_FIELDS:
        if (description.bitsPerPixel == 32 && hasPlainMasks(description)) {
            return decode32Plain<Layout>(description, pixelData, pixelBytes, rows);
        }
        if (description.bitsPerPixel == 16 || description.bitsPerPixel == 32) {
            return decodeMasked<Layout>(description, pixelData, pixelBytes, rows);
        }
        return 0;
    // Run-length pictures are always stored from the bottom up.
    case DIB_RLE8:
        if (description.bitsPerPixel == 8 && bottomUp) {
            return decodeRunLength<Layout, false>(description, pixelData, pixelBytes, rows);
        }
        return 0;
    case DIB_RLE4:
        if (description.bitsPerPixel == 4 && bottomUp) {
            return decodeRunLength<Layout, true>(description, pixelData, pixelBytes, rows);
        }
        return 0;
    default:
        return 0;
    }
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

std::uint64_t mostPixelBytes(const DibDescription& description) {
    constexpr std::uint64_t RUN_BYTES_PER_PIXEL = 4;
    constexpr std::uint64_t RUN_BYTES_PER_ROW = 2;
    constexpr std::uint64_t END_MARK_BYTES = 2;
    if (!fitsWorkingImage(description)) {
        return 0;
    }
    const auto rows = static_cast<std::uint64_t>(rowCount(description));
    if (description.compression == DIB_RLE8 || description.compression == DIB_RLE4) {
        const std::uint64_t pixels =
            std::uint64_t{static_cast<std::uint32_t>(description.width)} * rows;
        return pixels * RUN_BYTES_PER_PIXEL + rows * RUN_BYTES_PER_ROW + END_MARK_BYTES;
    }
    if (description.bitsPerPixel == 0 || description.bitsPerPixel > 32) {
        return 0;
    }
    return rows * sourceRowBytesOf(description);
}

int decodeDibPixels(const DibDescription& description, const std::uint8_t* pixelData,
                    std::size_t pixelBytes, std::uint8_t* rows, RowLayout layout) {
    if (!fitsWorkingImage(description)) {
        return 0;
    }
    if (layout == RowLayout::redGreenBlue) {
        return decodeInLayout<RedGreenBlue>(description, pixelData, pixelBytes, rows);
    }
    return decodeInLayout<PaddedBlueGreenRed>(description, pixelData, pixelBytes, rows);
}
