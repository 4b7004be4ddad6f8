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
        view = mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ,
                    MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
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
