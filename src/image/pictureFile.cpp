#include "pictureFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PictureFile::~PictureFile() {
    if (descriptor >= 0) {
        close(descriptor);
    }
}

FileReading openPictureFile(const char* fileName, PictureFile& file) {
    // Non-blocking, so that a pipe put in a picture's place is refused rather than waited on.
    file.descriptor = open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (file.descriptor < 0 || fstat(file.descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size <= 0) {
        return FileReading::cannotOpen;
    }
    file.size = static_cast<std::size_t>(status.st_size);
    return FileReading::done;
}

std::size_t readPictureBytes(const PictureFile& file, std::size_t offset, std::uint8_t* into,
                             std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t now =
            pread(file.descriptor, into + got, count - got, static_cast<off_t>(offset + got));
        if (now > 0) {
            got += static_cast<std::size_t>(now);
        } else if (now == 0) {
            break; // the file has shrunk since it was opened
        } else if (errno != EINTR) {
            return 0;
        }
    }
    return got;
}
