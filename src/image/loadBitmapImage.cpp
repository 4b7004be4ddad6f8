#include "dib.h"
#include "image.h"
#include "pictureFile.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>

namespace {

constexpr const char* UNKNOWN_FORMAT = "Unknown DIB file format.";
constexpr const char* OUT_OF_MEMORY = "Out of memory.";
constexpr const char* CONVERSION_ERROR = "Image file conversion error.";
constexpr std::size_t MASK_BYTES = 12;

// Files up to this size are read whole at once. Of a larger one this much is read first and,
// for an uncompressed picture whose pixel data begins there, the rows follow a band of about
// BAND_BYTES at a time through one small buffer: a buffer the size of a large file would come
// fresh from the system on every load, and faulting in its pages costs many times the decoding.
constexpr std::size_t HEAD_BYTES = std::size_t{128} << 10;
constexpr std::size_t BAND_BYTES = std::size_t{64} << 10;

// Shows the one message of a failure; converts to an empty result of either step.
struct Refusal {
    operator std::unique_ptr<RgbImage>() const { return nullptr; }
    operator std::optional<std::size_t>() const { return std::nullopt; }
    operator std::unique_ptr<std::uint8_t[]>() const { return nullptr; }
};

Refusal refuse(const char* message) {
    showLoaderMessage(message);
    return {};
}

std::uint16_t read16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t read32(const std::uint8_t* bytes) {
    return read16(bytes) | static_cast<std::uint32_t>(read16(bytes + 2)) << 16;
}

// The info-header fields of a core header: its 16-bit sizes are unsigned.
void describeCoreHeader(const std::uint8_t* header, DibDescription& description) {
    description.width = read16(header + 4);
    description.height = read16(header + 6);
    description.planes = read16(header + 8);
    description.bitsPerPixel = read16(header + 10);
    description.compression = DIB_UNCOMPRESSED;
    description.coloursUsed = description.colourCount;
    description.coloursImportant = description.colourCount;
}

void describeInfoHeader(const std::uint8_t* header, DibDescription& description) {
    description.width = static_cast<std::int32_t>(read32(header + 4));
    description.height = static_cast<std::int32_t>(read32(header + 8));
    description.planes = read16(header + 12);
    description.bitsPerPixel = read16(header + 14);
    description.compression = read32(header + 16);
    description.imageSize = read32(header + 20);
    description.horizontalResolution = static_cast<std::int32_t>(read32(header + 24));
    description.verticalResolution = static_cast<std::int32_t>(read32(header + 28));
    description.coloursUsed = read32(header + 32);
    description.coloursImportant = read32(header + 36);
}

// Fills description from the headers, masks and colour table at the start of a file of
// fileBytes bytes, of which the first bufferBytes are in memory at file, and finds its pixel data.
// Returns the offset of the pixel data, or shows the message for the failure and returns nothing.
std::optional<std::size_t> describeBitmap(const std::uint8_t* file, std::size_t bufferBytes,
                                          std::uint64_t fileBytes, DibDescription& description) {
    // With a file header, its pixel-data offset alone says where the pixels begin.
    const bool hasFileHeader = bufferBytes >= 2 && file[0] == 'B' && file[1] == 'M';
    if (hasFileHeader && bufferBytes < FILE_HEADER_BYTES) {
        return refuse(UNKNOWN_FORMAT);
    }
    const std::size_t headerAt = hasFileHeader ? FILE_HEADER_BYTES : 0;
    const std::uint8_t* header = file + headerAt;
    const std::size_t headerBytes = bufferBytes - headerAt;
    const std::uint32_t headerSize = headerBytes >= 4 ? read32(header) : 0;
    if ((headerSize != CORE_HEADER_BYTES && headerSize != INFO_HEADER_BYTES) ||
        headerBytes < headerSize) {
        return refuse(UNKNOWN_FORMAT);
    }

    description.colourCount = static_cast<std::uint32_t>(paletteEntryCount(header, headerBytes));
    description.colours.reset(new (std::nothrow) DibColour[description.colourCount]);
    if (!description.colours) {
        return refuse(OUT_OF_MEMORY);
    }
    description.headerSize = INFO_HEADER_BYTES;
    const bool coreHeader = headerSize == CORE_HEADER_BYTES;
    if (coreHeader) {
        describeCoreHeader(header, description);
    } else {
        describeInfoHeader(header, description);
    }

    // Bit-field masks sit between an info header and its colour table.
    std::size_t tableAt = headerSize;
    if (!coreHeader && description.compression == DIB_BIT_FIELDS) {
        if (headerBytes - tableAt < MASK_BYTES) {
            return refuse(UNKNOWN_FORMAT);
        }
        description.redMask = read32(header + tableAt);
        description.greenMask = read32(header + tableAt + 4);
        description.blueMask = read32(header + tableAt + 8);
        tableAt += MASK_BYTES;
    }
    const std::size_t entryBytes = coreHeader ? 3 : 4;
    const std::size_t tableBytes = entryBytes * description.colourCount;
    if (headerBytes - tableAt < tableBytes) {
        return refuse(UNKNOWN_FORMAT);
    }
    for (std::uint32_t entry = 0; entry < description.colourCount; ++entry) {
        const std::uint8_t* colour = header + tableAt + entryBytes * entry;
        description.colours[entry] = {colour[0], colour[1], colour[2],
                                      coreHeader ? std::uint8_t{0} : colour[3]};
    }
    if (description.imageSize == 0) {
        // Kept in 32 bits as the format has it; the decoder bounds itself by the file instead.
        description.imageSize =
            (static_cast<std::uint32_t>(description.width) * description.bitsPerPixel + 7) / 8 *
            static_cast<std::uint32_t>(description.height);
    }
    if (description.coloursUsed == 0) {
        description.coloursUsed = description.colourCount;
    }

    if (!hasFileHeader) {
        return headerAt + tableAt + tableBytes;
    }
    const std::uint32_t pixelOffset = read32(file + 10);
    if (pixelOffset < headerAt + tableAt || pixelOffset > fileBytes) {
        return refuse(CONVERSION_ERROR);
    }
    return pixelOffset;
}

std::int64_t rowsOf(const DibDescription& description) {
    return description.height < 0 ? -std::int64_t{description.height} : description.height;
}

// The result's rows for the picture so described, of whose pixel data the file holds
// pixelBytes. A damaged file that claims a huge picture is refused before anything is reserved.
// Whether the picture so described has a size the loader takes; shows the message if not.
bool sizeIsTaken(const DibDescription& description) {
    if (description.width <= 0 || description.height == 0) {
        refuse(CONVERSION_ERROR);
        return false;
    }
    if (workingRowBytes(description.width) * rowsOf(description) > LARGEST_WORKING_IMAGE_BYTES) {
        refuse(OUT_OF_MEMORY);
        return false;
    }
    return true;
}

std::unique_ptr<std::uint8_t[]> reserveRows(const DibDescription& description,
                                            std::uint64_t pixelBytes) {
    if (!sizeIsTaken(description)) {
        return nullptr;
    }
    if (pixelBytes < leastPixelBytes(description)) {
        return refuse(CONVERSION_ERROR);
    }
    std::unique_ptr<std::uint8_t[]> rows(
        new (std::nothrow) std::uint8_t[std::size_t{3} * description.width * rowsOf(description)]);
    if (!rows) {
        return refuse(OUT_OF_MEMORY);
    }
    return rows;
}

std::unique_ptr<RgbImage> imageOf(const DibDescription& description,
                                  std::unique_ptr<std::uint8_t[]> rows) {
    std::unique_ptr<RgbImage> image(new (std::nothrow) RgbImage{
        description.width, static_cast<std::int32_t>(rowsOf(description)), std::move(rows)});
    if (!image) {
        return refuse(OUT_OF_MEMORY);
    }
    return image;
}

// A file header, an info header, uncompressed rows of a depth the decoder knows and pixel data
// that begins within head: what loadInBands reads. Anything else is read whole, and described
// and refused as ever.
bool readsInBands(const std::uint8_t* head, std::size_t headBytes) {
    if (headBytes < FILE_HEADER_BYTES + INFO_HEADER_BYTES || head[0] != 'B' || head[1] != 'M' ||
        read32(head + FILE_HEADER_BYTES) != INFO_HEADER_BYTES) {
        return false;
    }
    const std::uint8_t* header = head + FILE_HEADER_BYTES;
    const std::uint32_t compression = read32(header + 16);
    const std::uint16_t bitsPerPixel = read16(header + 14);
    const bool knownDepth = bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ||
                            bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    const std::size_t tableEnd =
        FILE_HEADER_BYTES + INFO_HEADER_BYTES + MASK_BYTES +
        std::size_t{4} * paletteEntryCount(header, headBytes - FILE_HEADER_BYTES);
    return (compression == DIB_UNCOMPRESSED || compression == DIB_BIT_FIELDS) && knownDepth &&
           tableEnd <= headBytes && read32(head + 10) <= headBytes;
}

std::unique_ptr<RgbImage> loadInBands(const PictureFile& file, const std::uint8_t* head,
                                      std::size_t headBytes) {
    DibDescription description{};
    const std::optional<std::size_t> pixelsAt =
        describeBitmap(head, headBytes, file.size, description);
    if (!pixelsAt) {
        return nullptr;
    }
    std::unique_ptr<std::uint8_t[]> rows = reserveRows(description, file.size - *pixelsAt);
    if (!rows) {
        return nullptr;
    }
    const std::int64_t rowTotal = rowsOf(description);
    const std::size_t sourceRowBytes =
        (std::size_t{static_cast<std::uint32_t>(description.width)} * description.bitsPerPixel +
         31) /
        32 * 4;
    const std::int64_t bandRows =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(BAND_BYTES / sourceRowBytes));
    std::unique_ptr<std::uint8_t[]> band(new (std::nothrow)
                                             std::uint8_t[bandRows * sourceRowBytes]);
    if (!band) {
        return refuse(OUT_OF_MEMORY);
    }
    // A band of rows stored from the top down fills the result from its top band down.
    const bool topDown = description.height < 0;
    const std::size_t resultRowBytes = std::size_t{3} * description.width;
    for (std::int64_t first = 0; first < rowTotal; first += bandRows) {
        const std::int64_t count = std::min(bandRows, rowTotal - first);
        const std::size_t got = readPictureBytes(file, *pixelsAt + first * sourceRowBytes,
                                                 band.get(), count * sourceRowBytes);
        description.height = static_cast<std::int32_t>(topDown ? -count : count);
        const std::int64_t resultRow = topDown ? rowTotal - first - count : first;
        if (decodeDibPixels(description, band.get(), got, rows.get() + resultRow * resultRowBytes,
                            RowLayout::redGreenBlue) == 0) {
            return refuse(CONVERSION_ERROR);
        }
    }
    description.height = static_cast<std::int32_t>(rowTotal);
    return imageOf(description, std::move(rows));
}

// Reads the picture's bytes and decodes them; reading is set to what went wrong with the file.
std::unique_ptr<RgbImage> readAndDecode(const PictureFile& file, FileReading& reading) {
    const std::size_t headBytes = std::min(file.size, HEAD_BYTES);
    std::unique_ptr<std::uint8_t[]> head(new (std::nothrow) std::uint8_t[headBytes]);
    if (!head) {
        reading = FileReading::outOfMemory;
        return nullptr;
    }
    const std::size_t headGot = readPictureBytes(file, 0, head.get(), headBytes);
    if (headGot == 0) {
        reading = FileReading::cannotOpen;
        return nullptr;
    }
    if (headGot == file.size) {
        return loadBitmapFromMemory(head.get(), headGot);
    }
    if (readsInBands(head.get(), headGot)) {
        return loadInBands(file, head.get(), headGot);
    }
    // The header decides first: a file that is no bitmap, or a picture too large, is refused
    // before anything sized from the file is reserved, and of the rest no more is read than
    // the picture so described can use, however long the file.
    DibDescription description{};
    const std::optional<std::size_t> pixelsAt =
        describeBitmap(head.get(), headGot, file.size, description);
    if (!pixelsAt || !sizeIsTaken(description)) {
        return nullptr;
    }
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(file.size, *pixelsAt + mostPixelBytes(description)));
    head.reset();
    description.colours.reset();
    std::unique_ptr<std::uint8_t[]> whole(new (std::nothrow) std::uint8_t[wanted]);
    if (!whole) {
        reading = FileReading::outOfMemory;
        return nullptr;
    }
    const std::size_t wholeGot = readPictureBytes(file, 0, whole.get(), wanted);
    if (wholeGot == 0) {
        reading = FileReading::cannotOpen;
        return nullptr;
    }
    return loadBitmapFromMemory(whole.get(), wholeGot);
}

} // namespace

std::unique_ptr<RgbImage> loadBitmapFromMemory(const std::uint8_t* file, std::size_t fileBytes) {
    DibDescription description{};
    const std::optional<std::size_t> pixelsAt =
        describeBitmap(file, fileBytes, fileBytes, description);
    if (!pixelsAt) {
        return nullptr;
    }
    // Decoded straight into the result's rows: one allocation, one pass over the pixels.
    std::unique_ptr<std::uint8_t[]> rows = reserveRows(description, fileBytes - *pixelsAt);
    if (!rows) {
        return nullptr;
    }
    if (decodeDibPixels(description, file + *pixelsAt, fileBytes - *pixelsAt, rows.get(),
                        RowLayout::redGreenBlue) == 0) {
        return refuse(CONVERSION_ERROR);
    }
    return imageOf(description, std::move(rows));
}

std::unique_ptr<RgbImage> loadBitmapImage(const char* fileName) {
    FileReading reading = FileReading::cannotOpen;
    {
        PictureFile file;
        if (fileName != nullptr) {
            reading = openPictureFile(fileName, file);
        }
        if (reading == FileReading::done) {
            std::unique_ptr<RgbImage> image = readAndDecode(file, reading);
            if (reading == FileReading::done) {
                return image;
            }
        }
    }
    // Shown only once nothing of the attempt is held any more.
    if (reading == FileReading::outOfMemory) {
        return refuse(OUT_OF_MEMORY);
    }
    char message[256];
    std::snprintf(message, sizeof message, "Failed to open DIB file %s.\n",
                  fileName != nullptr ? fileName : "");
    showLoaderMessage(message);
    return nullptr;
}
