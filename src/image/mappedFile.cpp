#include "mappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::~MappedFile() {
    if (bytes != nullptr) {
        munmap(const_cast<std::uint8_t*>(bytes), size);
    }
}

bool mapWholeFile(const char* fileName, MappedFile& file) {
    // Non-blocking, so that a pipe put in a picture's place is refused rather than waited on.
    const int descriptor = open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    void* view = MAP_FAILED;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        // A shared read-only view, like the file mappings of other systems: a private one
        // costs many times more to map and release here, which dominates a pose picture.
        view = mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_SHARED,
                    descriptor, 0);
    }
    // The view stays valid once the descriptor is closed.
    close(descriptor);
    if (view == MAP_FAILED) {
        return false;
    }
    file.bytes = static_cast<const std::uint8_t*>(view);
    file.size = static_cast<std::size_t>(status.st_size);
    return true;
}
