// Writing a recording while the bout is fenced.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "recordingLines.h"

namespace {

struct Recorder {
    std::FILE* file = nullptr;
    std::string path;
    bool clockStarted = false;
    WholeSeconds firstSecond = 0;
    // The second of the latest idle turn heard: a press after it in the same second must come
    // after that turn in the replay too.
    WholeSeconds idleSecond = 0;
    bool idleHeard = false;
    Milliseconds latest = 0; // the latest time written: presses never go back
};
Recorder recorder;

// Where in its whole second the bout's clock stands, 0 to 999. The system clock's whole
// seconds are std::time's, which turns a few milliseconds after the precise clock: until it
// has, the precise clock's new second still belongs to the old one. Simulated clocks keep
// their whole seconds on the thousands of their milliseconds.
Milliseconds millisecondsIntoSecond(WholeSeconds second) {
    if (controlHooks.now != systemClock) {
        const Milliseconds now = controlHooks.nowMilliseconds();
        return ((now % 1000) + 1000) % 1000;
    }
    timespec precise{};
    clock_gettime(CLOCK_REALTIME, &precise);
    if (precise.tv_sec > second) {
        return 999;
    }
    return precise.tv_sec < second ? 0 : precise.tv_nsec / 1'000'000;
}

WholeSeconds startClock() {
    const WholeSeconds second = controlHooks.now();
    if (!recorder.clockStarted) {
        recorder.clockStarted = true;
        recorder.firstSecond = second;
    }
    return second;
}

void closeFile() {
    if (recorder.file != nullptr) {
        std::fclose(recorder.file);
    }
    recorder.file = nullptr;
    boutListener = {nullptr, nullptr};
}

bool written(const std::string& text) {
    return std::fputs(text.c_str(), recorder.file) >= 0 && std::fflush(recorder.file) == 0;
}

void write(const std::string& line) {
    if (!written(line)) {
        std::fprintf(stderr,
                     "The Lamevo could not write the recording %s: %s. The bout goes on "
                     "unrecorded from here.\n",
                     recorder.path.c_str(), std::strerror(errno));
        closeFile();
    }
}

Milliseconds boutTime(WholeSeconds second, Milliseconds intoSecond) {
    return std::max(recorder.latest, (second - recorder.firstSecond) * 1000 + intoSecond);
}

// Once a fencer has won, the end line closes the recording.
void endOnceWon() {
    if (recorder.file == nullptr || (bout.leftWon != 1 && bout.rightWon != 1)) {
        return;
    }
    const WholeSeconds second = controlHooks.now();
    const Milliseconds at = boutTime(second, millisecondsIntoSecond(second));
    write(endText(at, bout.leftFencer->touches, bout.rightFencer->touches));
    closeFile();
}

void hearKey(unsigned char key) {
    endOnceWon();
    const std::int32_t player = playerOfKey(key);
    if (recorder.file == nullptr || player == NO_PLAYER) {
        return;
    }
    const WholeSeconds second = startClock();
    Milliseconds into = millisecondsIntoSecond(second);
    const bool idleTurnedThisSecond = recorder.idleHeard && recorder.idleSecond == second;
    if (!idleTurnedThisSecond && waitsForTheClock()) {
        into = 0; // the loop had yet to let this second's time pass: the key came first
    } else if (idleTurnedThisSecond && into == 0) {
        into = 1;
    }
    const Milliseconds at = boutTime(second, into);
    const unsigned char lowerKey = key == ':' ? ';' : static_cast<unsigned char>(std::tolower(key));
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (commandKey(player, keys.command) == lowerKey) {
            recorder.latest = at;
            write(pressText({at, player, keys.command}));
            return;
        }
    }
}

void hearIdleTurn() {
    endOnceWon();
    if (recorder.file == nullptr) {
        return;
    }
    recorder.idleSecond = startClock();
    recorder.idleHeard = true;
}

} // namespace

std::string startRecording(const char* path, const Recording& header) {
    stopRecording();
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        return "The Lamevo cannot write the recording " + std::string(path) + ": " +
               std::strerror(errno) + ".";
    }
    recorder = Recorder{};
    recorder.file = file;
    recorder.path = path;
    if (!written(headerText(header))) {
        const std::string fault = "The Lamevo cannot write the recording " + std::string(path) +
                                  ": " + std::strerror(errno) + ".";
        closeFile();
        return fault;
    }
    boutListener = {hearKey, hearIdleTurn};
    return "";
}

void stopRecording() {
    if (recorder.file != nullptr) {
        endOnceWon();
    }
    closeFile();
}

bool recordingOpen() {
    return recorder.file != nullptr;
}
