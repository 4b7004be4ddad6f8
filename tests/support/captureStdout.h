// What the game says on the console, caught for the tests: standard output (file descriptor 1)
// is sent into a temporary file around a call and the bytes come back as a string.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// A temporary file to receive standard output; aborts the test program if none can be made.
inline std::FILE* openOutputSink() {
    std::FILE* sink = std::tmpfile();
    if (sink == nullptr) {
        std::perror("captureStdout: tmpfile");
        std::abort();
    }
    return sink;
}

// Points file descriptor 1 at the sink for good. Meant for the child of a death test: the
// file offset is shared with the parent, which reads the sink once the child has exited.
inline void sendStdoutTo(std::FILE* sink) {
    std::fflush(stdout);
    if (dup2(fileno(sink), STDOUT_FILENO) < 0) {
        std::perror("captureStdout: dup2");
        std::abort();
    }
}

// Everything written into the sink so far; closes it.
inline std::string readAndCloseSink(std::FILE* sink) {
    std::string bytes;
    std::rewind(sink);
    char chunk[4096];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, sink)) > 0) {
        bytes.append(chunk, count);
    }
    std::fclose(sink);
    return bytes;
}

// Runs the action with standard output caught and returns exactly the bytes it printed.
template <typename Action> std::string captureStdout(Action&& action) {
    std::FILE* sink = openOutputSink();
    std::fflush(stdout);
    const int savedStdout = dup(STDOUT_FILENO);
    if (savedStdout < 0) {
        std::perror("captureStdout: dup");
        std::abort();
    }
    sendStdoutTo(sink);
    action();
    std::fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    return readAndCloseSink(sink);
}
