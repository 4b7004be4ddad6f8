// Playing a recording back: the bout's own rules on the replay's clock, with the recorded
// presses given to onKeyPress at their times.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "console.h"
#include "recordingLines.h"

namespace {

struct Replay {
    const Recording* recording = nullptr;
    std::size_t nextPress = 0;
    Milliseconds now = 0;
    bool begun = false; // the moment at millisecond 0 has been played
    bool stopped = false;
    bool cutShort = false;
    bool sayCutShort = true;
    // The fencers and their names live as long as the replay.
    std::string leftName;
    std::string rightName;
    Fencer left{};
    Fencer right{};
};
Replay replay;

WholeSeconds replaySeconds() {
    return REPLAY_FIRST_SECOND + replay.now / 1000;
}

bool someoneWon() {
    return bout.leftWon == 1 || bout.rightWon == 1;
}

// The bout record and both fencers, as bytes, to see whether a step changed anything.
using BoutBytes = std::array<unsigned char, sizeof(BoutState) + 2 * sizeof(Fencer)>;
BoutBytes boutBytes() {
    BoutBytes bytes{};
    std::memcpy(bytes.data(), &bout, sizeof(BoutState));
    std::memcpy(bytes.data() + sizeof(BoutState), bout.leftFencer, sizeof(Fencer));
    std::memcpy(bytes.data() + sizeof(BoutState) + sizeof(Fencer), bout.rightFencer,
                sizeof(Fencer));
    return bytes;
}

// The idle step until it changes nothing more, as the game's loop runs it after every key and
// at every turn of the second.
void settle() {
    BoutBytes before{};
    do {
        before = boutBytes();
        onIdle();
    } while (boutBytes() != before);
}

bool pressDue() {
    const Recording& recording = *replay.recording;
    return replay.nextPress < recording.presses.size() &&
           recording.presses[replay.nextPress].at == replay.now;
}

void press() {
    const RecordedPress& next = replay.recording->presses[replay.nextPress++];
    onKeyPress(commandKey(next.playerNumber, next.command), 0, 0);
}

// Everything that happens at replay.now: the presses of this millisecond, which reached the
// bout together, then the idle step as the bout's loop ran it.
void playMoment() {
    while (pressDue()) {
        press();
    }
    if (replay.recording->simulatedClock) {
        onIdle();
    } else {
        settle();
    }
    replay.begun = true;
    const Recording& recording = *replay.recording;
    const bool cutShortAndPlayed = !recording.won && !someoneWon() &&
                                   replay.nextPress == recording.presses.size() &&
                                   (!recording.stopped || replay.now >= recording.stoppedAt);
    // A recording whose win does not come in the replay stops a second after its end line.
    const bool winMissed = recording.won && !someoneWon() && replay.now > recording.wonAt + 1000;
    if (cutShortAndPlayed && !replay.cutShort && replay.sayCutShort) {
        announce("%s", CUT_SHORT_NOTE);
    }
    replay.cutShort = replay.cutShort || cutShortAndPlayed;
    // A bout fenced in the game's loop goes on after its win until the game would end (a lunge
    // in flight still travels); a simulated one stopped at its win.
    const bool over = someoneWon() && (recording.simulatedClock || boutHasEnded());
    replay.stopped = replay.stopped || cutShortAndPlayed || winMissed || over;
}

// After a win the clock goes on turning (the game ends ten seconds later); otherwise nothing
// happens once the replay has stopped.
bool turnsGoOn() {
    return !replay.stopped || someoneWon();
}

} // namespace

void beginReplay(const Recording& recording, bool sayCutShort) {
    replay = Replay{};
    replay.recording = &recording;
    replay.sayCutShort = sayCutShort;
    controlHooks.now = replaySeconds;
    bout = BoutState{};
    bout.touchLimit = recording.touchLimit;
    replay.leftName = recording.leftName;
    replay.rightName = recording.rightName;
    replay.left = Fencer{replay.leftName.data(), LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    replay.right = Fencer{replay.rightName.data(), RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout.leftFencer = &replay.left;
    bout.rightFencer = &replay.right;
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    resetSprites();
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
}

std::optional<Milliseconds> nextReplayMoment() {
    if (!turnsGoOn()) {
        return std::nullopt;
    }
    if (!replay.begun || pressDue()) {
        return replay.now;
    }
    const Milliseconds step = replay.recording->simulatedClock ? 1 : 1000 - replay.now % 1000;
    Milliseconds next = replay.now + step;
    const Recording& recording = *replay.recording;
    if (!replay.stopped && replay.nextPress < recording.presses.size()) {
        next = std::min(next, recording.presses[replay.nextPress].at);
    } else if (!replay.stopped && recording.stopped) {
        next = std::min(next, std::max(replay.now, recording.stoppedAt));
    }
    return next;
}

void replayUntil(Milliseconds until) {
    for (std::optional<Milliseconds> next = nextReplayMoment(); next && *next <= until;
         next = nextReplayMoment()) {
        replay.now = *next;
        playMoment();
    }
}

Milliseconds replayNow() {
    return replay.now;
}

bool replayStopped() {
    return replay.stopped;
}

Milliseconds skipToNextHalt() {
    bool halted = bout.halted == 1;
    for (std::optional<Milliseconds> next = nextReplayMoment(); next && !replay.stopped;
         next = nextReplayMoment()) {
        replay.now = *next;
        playMoment();
        if (bout.halted == 1 && !halted) {
            break;
        }
        halted = bout.halted == 1;
    }
    return replay.now;
}

std::string firstDifference(std::string_view expected, std::string_view replayed) {
    std::size_t at = 0;
    while (at < expected.size() && at < replayed.size() && expected[at] == replayed[at]) {
        ++at;
    }
    if (at == expected.size() && at == replayed.size()) {
        return "";
    }
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t index = 0; index < at; ++index) {
        if (expected[index] == '\n') {
            ++line;
            lineStart = index + 1;
        }
    }
    const auto describe = [at](std::string_view text) {
        if (at >= text.size()) {
            return std::string("its end");
        }
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\n') {
            return std::string("a line end");
        }
        char shown[16];
        std::snprintf(shown, sizeof shown, byte >= ' ' && byte < 0x7f ? "'%c'" : "byte 0x%02x",
                      byte);
        return std::string(shown);
    };
    return "byte " + std::to_string(at) + " (line " + std::to_string(line) + ", column " +
           std::to_string(at - lineStart + 1) + "): the transcript has " + describe(expected) +
           ", the replay " + describe(replayed);
}

namespace {

// The whole of a transcript, or the reason it could not be read.
std::string readTranscript(const char* path, std::string& text) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return std::strerror(errno);
    }
    std::string fault;
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        fault = "not a file";
    } else if (static_cast<std::uint64_t>(status.st_size) > 4 * LONGEST_RECORDING_BYTES) {
        fault = "too large";
    } else {
        text.resize(static_cast<std::size_t>(status.st_size));
        text.resize(std::fread(text.data(), 1, text.size(), file));
        fault = std::ferror(file) != 0 ? "a read failed" : "";
    }
    std::fclose(file);
    return fault;
}

// Standard output sent into a temporary file while the replay runs, to compare its bytes.
struct CaughtOutput {
    std::FILE* sink = nullptr;
    int saved = -1;
};

CaughtOutput catchOutput() {
    std::fflush(stdout);
    CaughtOutput caught{std::tmpfile(), dup(STDOUT_FILENO)};
    if (caught.sink == nullptr || caught.saved < 0 ||
        dup2(fileno(caught.sink), STDOUT_FILENO) < 0) {
        std::perror("The Lamevo could not keep the replay's console text");
        std::exit(EXIT_FAILURE);
    }
    return caught;
}

std::string releaseOutput(CaughtOutput caught) {
    std::fflush(stdout);
    dup2(caught.saved, STDOUT_FILENO);
    close(caught.saved);
    std::string bytes;
    std::rewind(caught.sink);
    char chunk[4096];
    for (std::size_t count = 0; (count = std::fread(chunk, 1, sizeof chunk, caught.sink)) > 0;) {
        bytes.append(chunk, count);
    }
    std::fclose(caught.sink);
    return bytes;
}

} // namespace

int checkReplay(const Recording& recording, const char* expectPath) {
    std::string expected;
    if (expectPath != nullptr) {
        const std::string fault = readTranscript(expectPath, expected);
        if (!fault.empty()) {
            std::fprintf(stderr, "The Lamevo cannot read the transcript %s: %s.\n", expectPath,
                         fault.c_str());
            return EXIT_FAILURE;
        }
    }
    const CaughtOutput caught = expectPath != nullptr ? catchOutput() : CaughtOutput{};
    beginReplay(recording, false);
    while (!replayStopped()) {
        replayUntil(*nextReplayMoment());
    }
    int status = EXIT_SUCCESS;
    if (expectPath != nullptr) {
        const std::string replayed = releaseOutput(caught);
        std::fwrite(replayed.data(), 1, replayed.size(), stdout);
        const std::string difference = firstDifference(expected, replayed);
        if (!difference.empty()) {
            std::fprintf(stderr, "The console text differs from %s first at %s.\n", expectPath,
                         difference.c_str());
            status = EXIT_FAILURE;
        }
    }
    if (replay.cutShort) {
        std::fputs(CUT_SHORT_NOTE, stdout);
    }
    const Fencer& left = *bout.leftFencer;
    const Fencer& right = *bout.rightFencer;
    std::printf("\nFinal score: %s %d VS. %d %s\n", left.name, left.touches, right.touches,
                right.name);
    std::fflush(stdout);
    if (recording.won &&
        (left.touches != recording.leftTouches || right.touches != recording.rightTouches)) {
        std::fprintf(stderr, "The replay ends %d to %d, but the recording ends %d to %d.\n",
                     left.touches, right.touches, recording.leftTouches, recording.rightTouches);
        status = EXIT_FAILURE;
    }
    return status;
}

Milliseconds boutTimeAt(const ReplayPace& pace, Milliseconds realNow) {
    if (pace.paused) {
        return pace.boutAnchor;
    }
    return pace.boutAnchor + (realNow - pace.realAnchor) * REPLAY_SPEEDS_IN_HALVES[pace.speed] / 2;
}

std::optional<Milliseconds> realTimeOf(const ReplayPace& pace, Milliseconds boutTime) {
    if (pace.paused) {
        return std::nullopt;
    }
    if (boutTime <= pace.boutAnchor) {
        return pace.realAnchor;
    }
    const Milliseconds halves = REPLAY_SPEEDS_IN_HALVES[pace.speed];
    return pace.realAnchor + ((boutTime - pace.boutAnchor) * 2 + halves - 1) / halves;
}

bool changeReplayPace(ReplayPace& pace, unsigned char key, Milliseconds realNow) {
    const ReplayPace before = pace;
    pace.boutAnchor = boutTimeAt(pace, realNow);
    pace.realAnchor = realNow;
    if (key == ' ') {
        pace.paused = !pace.paused;
    } else if ((key == '+' || key == '=') && pace.speed + 1 < std::size(REPLAY_SPEEDS_IN_HALVES)) {
        ++pace.speed;
    } else if ((key == '-' || key == '_') && pace.speed > 0) {
        --pace.speed;
    }
    return pace.paused != before.paused || pace.speed != before.speed;
}

const char* replayPaceName(const ReplayPace& pace) {
    constexpr const char* SPEED_NAMES[] = {"½×", "1×", "2×", "4×"};
    static_assert(std::size(SPEED_NAMES) == std::size(REPLAY_SPEEDS_IN_HALVES));
    return pace.paused ? "paused" : SPEED_NAMES[pace.speed];
}
