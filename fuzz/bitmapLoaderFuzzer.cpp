// Feeds arbitrary bytes to the loader as if they were a pose picture on disk. Besides the
// sanitizers' checks it holds the loader to its word: a refused picture shows exactly one
// message, a loaded one shows none and has every byte of its rows in place.
#include "dib.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

int messagesShown = 0;

void countMessage(const char* message) {
    if (std::strlen(message) == 0) {
        __builtin_trap();
    }
    ++messagesShown;
}

std::uint64_t readLittleEndian(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int byte = count - 1; byte >= 0; --byte) {
        value = value << 8 | bytes[byte];
    }
    return value;
}

// A run-length picture of a quarter gigabyte fits in a few bytes; decoding one takes thousands of
// times longer than a small picture and reaches no new code, so pictures beyond 16384 pixels are
// passed over (the unit tests hold the loader to its size limits).
bool claimsHugePicture(const std::uint8_t* data, std::size_t size) {
    const std::size_t at = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
    if (size < at + 12) {
        return false;
    }
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (readLittleEndian(data + at, 4) == CORE_HEADER_BYTES) {
        width = static_cast<std::int64_t>(readLittleEndian(data + at + 4, 2));
        height = static_cast<std::int64_t>(readLittleEndian(data + at + 6, 2));
    } else {
        width = static_cast<std::int32_t>(readLittleEndian(data + at + 4, 4));
        height = static_cast<std::int32_t>(readLittleEndian(data + at + 8, 4));
    }
    constexpr std::int64_t LARGEST_PIXELS = std::int64_t{1} << 14;
    return width > 0 && height != 0 && width * (height < 0 ? -height : height) > LARGEST_PIXELS;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (claimsHugePicture(data, size)) {
        return -1;
    }
    showLoaderMessage = countMessage;
    messagesShown = 0;
    // An exact-size copy, so that the sanitizer sees the end of the "file".
    std::unique_ptr<std::uint8_t[]> file(new std::uint8_t[size]);
    if (size > 0) {
        std::memcpy(file.get(), data, size);
    }
    const std::unique_ptr<RgbImage> image = loadBitmapFromMemory(file.get(), size);
    if (!image) {
        if (messagesShown != 1) {
            __builtin_trap();
        }
        return 0;
    }
    if (messagesShown != 0 || image->width <= 0 || image->height <= 0) {
        __builtin_trap();
    }
    // The last byte of the rows must lie inside the buffer; the sanitizer checks that it does.
    const std::size_t bytes = std::size_t{3} * image->width * image->height;
    volatile std::uint8_t last = image->pixels[bytes - 1];
    (void)last;
    return 0;
}
