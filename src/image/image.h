// Image loading: reads one bitmap (BMP/DIB) file, as the pose pictures are stored,
// into 24-bit red-green-blue rows, bottom row first; failures are shown to the player.
#pragma once

#include <cstdint>
#include <memory>

// A decoded picture: width x height pixels, 3 bytes each (red, green, blue), rows from the
// bottom of the picture upwards with no padding between them. height is never negative.
struct RgbImage {
    std::int32_t width;
    std::int32_t height;
    std::unique_ptr<std::uint8_t[]> pixels;
};

// Reads the file fileName (a path, resolved against the working directory) and returns the
// decoded image. On any failure it shows exactly one message through showLoaderMessage
// ("Failed to open DIB file <name>.\n", "Unknown DIB file format.", "Out of memory." or
// "Image file conversion error."), releases everything it used and returns null.
// The header is looked at before anything sized from the file is reserved: memory stays
// bounded by the picture the header describes (its rows at most 256 MiB as a 24-bit bitmap
// stores them), never by the file's length.
std::unique_ptr<RgbImage> loadBitmapImage(const char* fileName);

// How the loader shows a failure. The game's default is a modal box with the caption "Error"
// and one OK button, returning only when the player dismisses it; where no display can be
// opened it writes "Error: " and the message to standard error instead. Tests replace it.
extern void (*showLoaderMessage)(const char* message);
