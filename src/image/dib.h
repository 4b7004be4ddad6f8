// Bitmap decoding: the steps loadBitmapImage is built from, working on bytes already in
// memory, so that the fuzzer and the tests reach them without the file system.
#pragma once

#include "image.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Compression values of the 40-byte info header; a 12-byte core header is always uncompressed.
inline constexpr std::uint32_t DIB_UNCOMPRESSED = 0;
inline constexpr std::uint32_t DIB_RLE8 = 1;
inline constexpr std::uint32_t DIB_RLE4 = 2;
inline constexpr std::uint32_t DIB_BIT_FIELDS = 3;

inline constexpr std::uint32_t CORE_HEADER_BYTES = 12;
inline constexpr std::uint32_t INFO_HEADER_BYTES = 40;
inline constexpr std::size_t FILE_HEADER_BYTES = 14;

// The loader refuses, with "Out of memory.", any picture whose rows, padded as a 24-bit bitmap
// stores them, would take more.
inline constexpr std::uint64_t LARGEST_WORKING_IMAGE_BYTES = std::uint64_t{256} << 20;

struct DibColour {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
    std::uint8_t reserved;
};

// A bitmap header in info-header form, whichever kind the file holds, with its colour table.
struct DibDescription {
    std::uint32_t headerSize;
    std::int32_t width;
    std::int32_t height; // negative: rows stored from the top of the picture down
    std::uint16_t planes;
    std::uint16_t bitsPerPixel;
    std::uint32_t compression;
    std::uint32_t imageSize;
    std::int32_t horizontalResolution;
    std::int32_t verticalResolution;
    std::uint32_t coloursUsed;
    std::uint32_t coloursImportant;
    // The masks stored after an info header with bit-field compression; 0 otherwise.
    std::uint32_t redMask;
    std::uint32_t greenMask;
    std::uint32_t blueMask;
    // paletteEntryCount entries; an index past the last one stands for black.
    std::uint32_t colourCount;
    std::unique_ptr<DibColour[]> colours;
};

// The number of colour-table entries that follow the bitmap header at `header`, of which
// `bytes` bytes are readable: colours used where an info header gives it (its low 16 bits
// only), otherwise 2, 16 or 256 for 1, 4 or 8 bits per pixel and 0 for every other depth.
// Returns 0 where the fields it needs lie beyond `bytes`.
int paletteEntryCount(const std::uint8_t* header, std::size_t bytes);

// Bytes in one row of a 24-bit picture as a bitmap stores it: 3 per pixel (blue, green, red),
// padded to a multiple of 4.
constexpr std::size_t workingRowBytes(std::int32_t width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

// The fewest bytes of pixel data that can fill a picture so described: every row for
// uncompressed layouts (the last row may lack its padding), 2 for run-length data (an
// end-of-bitmap mark alone leaves the picture black). Returns 0 for a layout the decoder does not
// know (decodeDibPixels refuses those itself), and more than any file holds for a picture
// that is empty or larger than LARGEST_WORKING_IMAGE_BYTES.
std::uint64_t leastPixelBytes(const DibDescription& description);

// The most bytes of pixel data the decoder can use for a picture so described: every row for
// uncompressed layouts; for run-length data 4 bytes a pixel, 2 a row and the end mark, more than
// a stream needs whose every mark sets or skips pixels (a move of one and a run of one take 6
// bytes for two pixels). What a file holds beyond that is never read. 0 for a layout the decoder
// does not know.
std::uint64_t mostPixelBytes(const DibDescription& description);

// How decodeDibPixels lays out its rows: as a bitmap stores 24-bit pixels (blue, green, red,
// each row padded to workingRowBytes(width)), or as an RgbImage holds them (red, green, blue,
// rows of 3 * width bytes).
enum class RowLayout { paddedBlueGreenRed, redGreenBlue };

// Decodes the pixel data (`pixelBytes` bytes from `pixelData`, never read past) into `rows`:
// |height| rows in the given layout, the bottom row of the picture first, also for pictures
// stored from the top down. Decodes 1, 4 and 8 bits through the colour table, 16 bits (5-5-5
// unless bit fields give masks), 24 bits, 32 bits (8-8-8 unless bit fields give masks), RLE8 and
// RLE4; pixels a run-length stream leaves unset are black. Returns the number of rows
// converted: |height|, or 0 for a layout it does not decode, a width or height it cannot hold,
// or pixel data that ends before the picture does.
int decodeDibPixels(const DibDescription& description, const std::uint8_t* pixelData,
                    std::size_t pixelBytes, std::uint8_t* rows,
                    RowLayout layout = RowLayout::paddedBlueGreenRed);

// loadBitmapImage for a file already in memory (`fileBytes` bytes from `file`): returns the
// decoded image, or shows exactly one of "Unknown DIB file format.", "Out of memory." or
// "Image file conversion error." through showLoaderMessage, releases everything and returns null.
std::unique_ptr<RgbImage> loadBitmapFromMemory(const std::uint8_t* file, std::size_t fileBytes);
