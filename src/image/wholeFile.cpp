#include "wholeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor closed when it goes out of scope.
struct OpenFile {
    int descriptor;
    explicit OpenFile(int opened) : descriptor(opened) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
};

FileReading readIntoBuffer(int descriptor, std::size_t size, WholeFile& file) {
    file.readBytes.reset(new (std::nothrow) std::uint8_t[size]);
    if (!file.readBytes) {
        return FileReading::outOfMemory;
    }
    std::size_t got = 0;
    while (got < size) {
        const ssize_t now = read(descriptor, file.readBytes.get() + got, size - got);
        if (now > 0) {
            got += static_cast<std::size_t>(now);
        } else if (now == 0) {
            break; // the file has shrunk since it was opened
        } else if (errno != EINTR) {
            got = 0;
            break;
        }
    }
    if (got == 0) {
        file.readBytes.reset();
        return FileReading::cannotOpen;
    }
    file.bytes = file.readBytes.get();
    file.size = got;
    return FileReading::done;
}

FileReading mapView(int descriptor, std::size_t size, WholeFile& file) {
    // A shared read-only view: a private one costs many times more to map and release.
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor, 0);
    if (view == MAP_FAILED) {
        return FileReading::cannotOpen;
    }
    file.bytes = static_cast<const std::uint8_t*>(view);
    file.size = size;
    return FileReading::done;
}

} // namespace

WholeFile::~WholeFile() {
    if (bytes != nullptr && !readBytes) {
        munmap(const_cast<std::uint8_t*>(bytes), size);
    }
}

FileReading readWholeFile(const char* fileName, WholeFile& file) {
    // Non-blocking, so that a pipe put in a picture's place is refused rather than waited on.
    const OpenFile opened(open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (opened.descriptor < 0 || fstat(opened.descriptor, &status) != 0 ||
        !S_ISREG(status.st_mode) || status.st_size <= 0) {
        return FileReading::cannotOpen;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    return size <= LARGEST_READ_FILE_BYTES ? readIntoBuffer(opened.descriptor, size, file)
                                           : mapView(opened.descriptor, size, file);
}
