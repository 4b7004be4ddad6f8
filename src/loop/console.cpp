#include "loop.h"

namespace {

// Whether stdio has bytes of input read ahead already, which no wait on the descriptor sees.
bool bufferedAhead(std::FILE* input) {
#if defined(__GLIBC__)
    return input->_IO_read_ptr < input->_IO_read_end;
#else
    return false;
#endif
}

// The first character may read the descriptor once, which the loop found readable, so it does
// not block; the rest are taken only while stdio holds them. Stops after a line that ends the
// listening, leaving what follows for the next time.
void readLines(ConsoleLines& console) {
    do {
        const int character = std::getc(console.input);
        if (character == EOF) {
            console.ended = true;
            if (!console.partial.empty()) {
                const std::string line = std::move(console.partial);
                console.partial.clear();
                if (console.onLine) {
                    console.onLine(line);
                }
            }
            if (console.listening && console.onEnd) {
                console.onEnd();
            }
            return;
        }
        if (character != '\n') {
            console.partial.push_back(static_cast<char>(character));
            continue;
        }
        const std::string line = std::move(console.partial);
        console.partial.clear();
        if (console.onLine) {
            console.onLine(line);
        }
    } while (console.listening && bufferedAhead(console.input));
}

} // namespace

LoopSource consoleSource(ConsoleLines& console) {
    LoopSource source;
    source.descriptor = [&console] {
        return console.listening && !console.ended ? fileno(console.input) : NO_DESCRIPTOR;
    };
    source.onReadable = [&console] {
        if (console.listening && !console.ended) {
            readLines(console);
        }
    };
    source.dueAt = [&console] {
        const bool waiting = console.ended || bufferedAhead(console.input);
        return console.listening && waiting ? controlHooks.nowMilliseconds() : NOTHING_DUE;
    };
    source.turn = [&console] {
        if (console.listening && console.ended && console.onEnd) {
            console.onEnd();
        } else if (console.listening && bufferedAhead(console.input)) {
            readLines(console);
        }
    };
    return source;
}
