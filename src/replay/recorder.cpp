// Writing a recording while the bout is fenced.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    bool idleSincePress = true; // an idle turn has been heard since the latest press
    bool pressed = false;       // a press has been written
    Milliseconds latest = 0;    // the latest time written: presses never go back
    Milliseconds lastHeard = 0; // the bout's time at the latest press or idle turn heard
};
Recorder recorder;

void (*copyLine)(std::string_view line) = nullptr;
std::FILE* copiedFile = nullptr;
std::string copiedPath;

// The bout's clock is read once between two idle turns: the first reading is kept up to the
// end of the next idle turn. A command or an idle turn reads the clock after its output and its
// pictures, and the second must not turn between two readings, or what happened in one second
// would replay split across two.
struct ClockPin {
    WholeSeconds (*unpinned)() = nullptr;
    bool pinned = false;
    WholeSeconds second = 0;
};
ClockPin pin;

WholeSeconds pinnedClock() {
    if (!pin.pinned) {
        pin.second = pin.unpinned();
        pin.pinned = true;
    }
    return pin.second;
}

// Where in its whole second the bout's clock stands, 0 to 999. The system clock's whole
// seconds are std::time's, which turns a few milliseconds after the precise clock: until it
// has, the precise clock's new second still belongs to the old one. Simulated clocks keep
// their whole seconds on the thousands of their milliseconds.
Milliseconds millisecondsIntoSecond(WholeSeconds second) {
    const bool systemSeconds = controlHooks.now == systemClock ||
                               (controlHooks.now == pinnedClock && pin.unpinned == systemClock);
    if (!systemSeconds) {
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
    if (controlHooks.now == pinnedClock) {
        controlHooks.now = pin.unpinned;
    }
    pin.pinned = false;
}

bool written(const std::string& text) {
    return std::fputs(text.c_str(), recorder.file) >= 0 && std::fflush(recorder.file) == 0;
}

void write(const std::string& line) {
    if (copyLine != nullptr) {
        copyLine(line);
    }
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
    }
    Milliseconds at = boutTime(second, into);
    // Presses replayed at one millisecond reach the bout together, with no idle turn between:
    // so are those that came so here, and those with a turn between are kept apart.
    const bool sameSecondAsLatest = at / 1000 == recorder.latest / 1000;
    if (recorder.pressed && sameSecondAsLatest && !recorder.idleSincePress) {
        at = recorder.latest;
    } else if ((idleTurnedThisSecond && at % 1000 == 0) ||
               (recorder.pressed && at == recorder.latest && at % 1000 != 999)) {
        at += 1; // after the turn the replay lets pass at the second's first millisecond
    }
    const unsigned char lowerKey = key == ':' ? ';' : static_cast<unsigned char>(std::tolower(key));
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (commandKey(player, keys.command) == lowerKey) {
            recorder.latest = at;
            recorder.pressed = true;
            recorder.idleSincePress = false;
            write(pressText({at, player, keys.command}));
            return;
        }
    }
}

void hearIdleTurn() {
    endOnceWon();
    if (recorder.file != nullptr) {
        recorder.idleSecond = startClock();
        recorder.idleHeard = true;
        recorder.idleSincePress = true;
        recorder.lastHeard =
            boutTime(recorder.idleSecond, millisecondsIntoSecond(recorder.idleSecond));
    }
    pin.pinned = false;
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
    const std::string headerLines = headerText(header);
    for (std::size_t start = 0; copyLine != nullptr && start < headerLines.size();) {
        const std::size_t end = headerLines.find('\n', start) + 1;
        copyLine(std::string_view(headerLines).substr(start, end - start));
        start = end;
    }
    if (!written(headerLines)) {
        const std::string fault = "The Lamevo cannot write the recording " + std::string(path) +
                                  ": " + std::strerror(errno) + ".";
        closeFile();
        return fault;
    }
    boutListener = {hearKey, hearIdleTurn};
    pin.pinned = false;
    if (controlHooks.now != pinnedClock) {
        pin.unpinned = controlHooks.now;
        controlHooks.now = pinnedClock;
    }
    static const bool stopsAtExit = std::atexit(stopRecording) == 0;
    (void)stopsAtExit;
    return "";
}

void stopRecording() {
    endOnceWon();
    // Nothing in the bout changes between the latest turn or press and the end of the game.
    if (recorder.file != nullptr && recorder.clockStarted) {
        write(stopText(std::max(recorder.lastHeard, recorder.latest)));
    }
    closeFile();
}

bool recordingOpen() {
    return recorder.file != nullptr;
}

std::string clubBoutRecordingPath(const std::string& resultsPath, std::int32_t boutNumber,
                                  const std::string& stage, const std::string& leftName,
                                  const std::string& rightName) {
    const std::size_t folderEnd = resultsPath.rfind('/');
    const std::size_t nameStart = folderEnd == std::string::npos ? 0 : folderEnd + 1;
    std::string stem = resultsPath.substr(nameStart);
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        stem.erase(dot);
    }
    const auto safe = [](const std::string& name) {
        std::string kept = name;
        for (char& byte : kept) {
            const auto code = static_cast<unsigned char>(byte);
            const bool allowed = std::isalnum(code) != 0 || code >= 0x80 ||
                                 std::strchr("()+,.-_=@", byte) != nullptr;
            byte = allowed && code != 0 ? byte : '_';
        }
        return kept;
    };
    char number[16];
    std::snprintf(number, sizeof number, "%02d", boutNumber);
    return resultsPath.substr(0, nameStart) + safe(stem) + "-" + number + "-" + stage + "-" +
           safe(leftName) + "-" + safe(rightName) + ".lamevo";
}

void copyRecordingLines(void (*copy)(std::string_view line)) {
    copyLine = copy;
}

std::string startCopiedRecording(const char* path) {
    copiedFile = std::fopen(path, "w");
    copiedPath = path;
    return copiedFile != nullptr ? ""
                                 : "The Lamevo cannot write the recording " + copiedPath + ": " +
                                       std::strerror(errno) + ".";
}

void writeCopiedLine(std::string_view line) {
    if (copiedFile == nullptr) {
        return;
    }
    if (std::fwrite(line.data(), 1, line.size(), copiedFile) != line.size() ||
        std::fflush(copiedFile) != 0) {
        std::fprintf(stderr,
                     "The Lamevo could not write the recording %s: %s. The bout goes on "
                     "unrecorded from here.\n",
                     copiedPath.c_str(), std::strerror(errno));
        std::fclose(copiedFile);
        copiedFile = nullptr;
    }
}
