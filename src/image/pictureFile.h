// Getting at a bitmap file for the loader: an open file read piece by piece with plain reads.
// Nothing is mapped: a mapped file that another program saves over (truncates) while the loader
// reads it would kill the game with SIGBUS, where a read merely comes short.
#pragma once

#include <cstddef>
#include <cstdint>

// An open regular file and its size when opened; closed when it goes out of scope.
struct PictureFile {
    int descriptor = -1;
    std::size_t size = 0;

    PictureFile() = default;
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    ~PictureFile();
};

enum class FileReading { done, cannotOpen, outOfMemory };

// Opens fileName for reading into file (which must hold nothing yet) and returns done, or
// cannotOpen where it cannot be opened, is not a regular file or holds no bytes.
FileReading openPictureFile(const char* fileName, PictureFile& file);

// Reads up to count bytes from offset on into `into` and returns how many it got: fewer where
// the file has shrunk since it was opened, 0 where nothing can be read there.
std::size_t readPictureBytes(const PictureFile& file, std::size_t offset, std::uint8_t* into,
                             std::size_t count);
