// Reading a bitmap file for the loader: the whole file as one read-only view, released when
// the view goes out of scope.
#pragma once

#include <cstddef>
#include <cstdint>

struct MappedFile {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;

    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();
};

// Maps the whole of the regular file fileName read-only into file (which must hold nothing
// yet). Returns true with file.bytes and file.size set; returns false, holding nothing, where
// the file cannot be opened for reading, is not a regular file, is empty or cannot be mapped.
bool mapWholeFile(const char* fileName, MappedFile& file);
