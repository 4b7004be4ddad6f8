#include "dib.h"
#include "image.h"
#include "wholeFile.h"

#include <cstdio>
#include <new>
#include <optional>

namespace {

constexpr const char* UNKNOWN_FORMAT = "Unknown DIB file format.";
constexpr const char* OUT_OF_MEMORY = "Out of memory.";
constexpr const char* CONVERSION_ERROR = "Image file conversion error.";
constexpr std::size_t MASK_BYTES = 12;

// Shows the one message of a failure; converts to an empty result of either step.
struct Refusal {
    operator std::unique_ptr<RgbImage>() const { return nullptr; }
    operator std::optional<std::size_t>() const { return std::nullopt; }
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

// Fills description from the headers, masks and colour table of the file and finds its pixel
// data. Returns the offset of the pixel data, or shows the message for the failure and returns
// nothing.
std::optional<std::size_t> describeBitmap(const std::uint8_t* file, std::size_t fileBytes,
                                          DibDescription& description) {
    // With a file header, its pixel-data offset alone says where the pixels begin.
    const bool hasFileHeader = fileBytes >= 2 && file[0] == 'B' && file[1] == 'M';
    if (hasFileHeader && fileBytes < FILE_HEADER_BYTES) {
        return refuse(UNKNOWN_FORMAT);
    }
    const std::size_t headerAt = hasFileHeader ? FILE_HEADER_BYTES : 0;
    const std::uint8_t* header = file + headerAt;
    const std::size_t headerBytes = fileBytes - headerAt;
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

} // namespace

std::unique_ptr<RgbImage> loadBitmapFromMemory(const std::uint8_t* file, std::size_t fileBytes) {
    DibDescription description{};
    const std::optional<std::size_t> pixelsAt = describeBitmap(file, fileBytes, description);
    if (!pixelsAt) {
        return nullptr;
    }
    if (description.width <= 0 || description.height == 0) {
        return refuse(CONVERSION_ERROR);
    }
    const std::int64_t rows =
        description.height < 0 ? -std::int64_t{description.height} : description.height;
    const std::uint64_t workingBytes = workingRowBytes(description.width) * rows;
    if (workingBytes > LARGEST_WORKING_IMAGE_BYTES) {
        return refuse(OUT_OF_MEMORY);
    }
    // A damaged file that claims a huge picture is refused before anything is reserved for it.
    if (fileBytes - *pixelsAt < leastPixelBytes(description)) {
        return refuse(CONVERSION_ERROR);
    }
    // Decoded straight into the result's rows: one allocation, one pass over the pixels.
    const auto height = static_cast<std::int32_t>(rows);
    std::unique_ptr<std::uint8_t[]> pixels(
        new (std::nothrow) std::uint8_t[std::size_t{3} * description.width * rows]);
    if (!pixels) {
        return refuse(OUT_OF_MEMORY);
    }
    if (decodeDibPixels(description, file + *pixelsAt, fileBytes - *pixelsAt, pixels.get(),
                        RowLayout::redGreenBlue) == 0) {
        return refuse(CONVERSION_ERROR);
    }
    std::unique_ptr<RgbImage> image(new (std::nothrow)
                                        RgbImage{description.width, height, std::move(pixels)});
    if (!image) {
        return refuse(OUT_OF_MEMORY);
    }
    return image;
}

std::unique_ptr<RgbImage> loadBitmapImage(const char* fileName) {
    FileReading reading = FileReading::cannotOpen;
    {
        WholeFile file;
        if (fileName != nullptr) {
            reading = readWholeFile(fileName, file);
        }
        if (reading == FileReading::done) {
            return loadBitmapFromMemory(file.bytes, file.size);
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
