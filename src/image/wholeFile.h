// Getting at a bitmap file for the loader: the whole file in memory at once, released when it
// goes out of scope.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Files up to this size are read into a buffer of their own; larger ones are mapped. Reading a
// pose picture costs a fraction of mapping and releasing a view of it, while a buffer larger
// than this comes fresh from the system on every load, and faulting in its pages costs many
// times the mapping.
inline constexpr std::size_t LARGEST_READ_FILE_BYTES = std::size_t{128} << 10;

struct WholeFile {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::unique_ptr<std::uint8_t[]> readBytes; // a read file's buffer; empty for a mapped one

    WholeFile() = default;
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;
    ~WholeFile();
};

enum class FileReading { done, cannotOpen, outOfMemory };

// Puts the whole of the regular file fileName into file (which must hold nothing yet) and
// returns done, with file.bytes and file.size set. A read file that shrinks meanwhile gives the
// bytes it still had, one that grows the size it had when opened. Returns cannotOpen where the
// file cannot be opened, read or mapped, is not a regular file or holds no bytes, and
// outOfMemory where no buffer can be had for it; file then holds nothing.
FileReading readWholeFile(const char* fileName, WholeFile& file);
