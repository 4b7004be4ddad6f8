#include "modes.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "console.h"
#include "meet.h"
#include "network.h"
#include "opponent.h"
#include "pads.h"
#include "replay.h"
#include "router.h"
#include "tournament.h"

namespace {

// The play of this process, as the bout is the one bout: what the key handler, the pads and
// the rows share.
struct Play {
    LocalSides sides;
    std::optional<Opponent> computer;
    std::uint32_t computerSeed = 0; // the seed the computer of --computer was made with
    // The computer waits for its opponent's first key in the window or press on a pad: a lone
    // player answers the console's last question, clicks the window, and only then is on guard.
    bool playerOnGuard = false;
    bool padsOpen = false;
    // False while a club night waits between bouts: keys typed into the window do nothing.
    bool boutRunning = true;
    // A club night's computers fence their bouts between the window's, a piece at a time.
    bool computersFencing = false;
    ConsoleLines console;
    // A replay in the window: the recording read before the window opened and the pace the
    // player sets.
    Recording recording;
    ReplayPace pace;
    void (*windowSpecialKey)(int key, int x, int y) = nullptr;
    int rightArrowKey = -1;
    void (*showInTitle)(const char* words) = nullptr;
};
Play play;

// A key of a side fenced from elsewhere does nothing at all, as if it had not been pressed.
void onLocalKeyPress(unsigned char key, int x, int y) {
    const std::int32_t player = playerOfKey(key);
    if (!play.boutRunning || (player != NO_PLAYER && !isLocalSide(play.sides, player))) {
        return;
    }
    play.playerOnGuard = true;
    if (play.computer) {
        opponentSeesKey(*play.computer, key);
    }
    onKeyPress(key, x, y);
}

LoopSource padsSource() {
    LoopSource pads;
    pads.dueAt = [] { return play.padsOpen ? nextPadLook() : NOTHING_DUE; };
    pads.turn = [] {
        if (play.padsOpen) {
            pollPads(controlHooks.nowMilliseconds());
        }
    };
    return pads;
}

// The computer, once its opponent is on guard.
LoopSource computerSource() {
    LoopSource computer;
    computer.dueAt = [] {
        const bool awake = play.computer && play.playerOnGuard && play.boutRunning;
        return awake ? opponentDueAt(*play.computer) : NOTHING_DUE;
    };
    computer.turn = [] {
        if (play.computer && play.playerOnGuard && play.boutRunning) {
            opponentStep(*play.computer);
        }
    };
    return computer;
}

// The bout's clock, stopped while a club night waits between bouts.
LoopSource clockSource(std::function<void()> afterIdle, std::function<void()> boutEnded) {
    LoopSource clock =
        boutClockSource(millisecondsToNextSecond, std::move(afterIdle), std::move(boutEnded));
    clock.dueAt = [due = clock.dueAt] { return play.boutRunning ? due() : NOTHING_DUE; };
    clock.turn = [turn = clock.turn] {
        if (play.boutRunning) {
            turn();
        }
    };
    return clock;
}

// How long a piece of the computers' bouts may keep the window from its events.
constexpr Milliseconds COMPUTERS_PIECE_MILLISECONDS = 10;

void endGame() {
    controlHooks.endProcess(0);
}

// In a club night each bout seats its own computer, if any, on the side its number gives it;
// the players here fence the other side, and the pads are taken again for it.
void seatForBout(std::optional<Opponent> next) {
    play.computer = std::move(next);
    play.playerOnGuard = false;
    play.sides = {};
    if (play.computer) {
        (play.computer->playerNumber == LEFT_PLAYER ? play.sides.left : play.sides.right) = false;
    }
    if (play.padsOpen) {
        closePads();
    }
    play.padsOpen = openPads(play.sides, onLocalKeyPress);
}

void startAnnounced() {
    play.console.listening = false;
    seatForBout(startAnnouncedBout().computer);
    play.boutRunning = true;
}

// What the night does next, while the window goes on showing the bout just fenced: the
// computers fence on, or the next bout waits for its go-ahead from the console.
void followTheNight(NightTurn turn) {
    play.boutRunning = false;
    play.computersFencing = false;
    switch (turn) {
    case NightTurn::computersFencing:
        play.computersFencing = true;
        break;
    case NightTurn::goAheadAsked:
        play.console.listening = true;
        break;
    case NightTurn::finalShown:
        seatForBout(std::nullopt);
        play.boutRunning = true;
        break;
    case NightTurn::over:
        endGame();
        break;
    }
}

void endClubNightBout() {
    followTheNight(finishWindowBout(COMPUTERS_PIECE_MILLISECONDS));
}

LoopSource computersSource() {
    LoopSource computers;
    computers.dueAt = [] {
        return play.computersFencing ? controlHooks.nowMilliseconds() : NOTHING_DUE;
    };
    computers.turn = [] {
        if (play.computersFencing) {
            followTheNight(fenceComputersOn(COMPUTERS_PIECE_MILLISECONDS));
        }
    };
    return computers;
}

// A replay in the window: the recording's presses at its own pace, which the player sets; no
// key or pad moves a fencer.
void showReplayPace() {
    if (play.showInTitle != nullptr) {
        play.showInTitle((std::string(": replay, ") + replayPaceName(play.pace)).c_str());
    }
}

void onReplayKey(unsigned char key, int, int) {
    if (changeReplayPace(play.pace, key, controlHooks.nowMilliseconds())) {
        showReplayPace();
    }
}

void onReplaySpecialKey(int key, int x, int y) {
    if (key != play.rightArrowKey) {
        if (play.windowSpecialKey != nullptr) {
            play.windowSpecialKey(key, x, y);
        }
        return;
    }
    play.pace.boutAnchor = skipToNextHalt();
    play.pace.realAnchor = controlHooks.nowMilliseconds();
    controlHooks.requestRedraw();
}

bool replayOver() {
    return replayStopped() && boutHasEnded();
}

// Plays the recording up to the bout's time now; the game ends once the replay has stopped
// and the bout has ended.
LoopSource replaySource() {
    LoopSource replayed;
    replayed.dueAt = [] {
        if (replayOver()) {
            return controlHooks.nowMilliseconds();
        }
        const std::optional<Milliseconds> next = nextReplayMoment();
        const std::optional<Milliseconds> real = next ? realTimeOf(play.pace, *next) : std::nullopt;
        return real ? *real : NOTHING_DUE;
    };
    replayed.turn = [] {
        replayUntil(boutTimeAt(play.pace, controlHooks.nowMilliseconds()));
        if (replayOver()) {
            endGame();
        }
    };
    return replayed;
}

// --record=FILE: the bout from here on, with its names and the computer's level and seed.
// The host records every bout over the network, for the joiner's --record.
void startBoutRecording(const Mode& mode) {
    const GameOptions& options = mode.options;
    if (mode.way == WayOfPlaying::host) {
        copyRecordingLines(sendRecordingLine);
    } else if (!options.recordPath || mode.way == WayOfPlaying::join) {
        return;
    }
    Recording header;
    header.leftName = bout.leftFencer->name;
    header.rightName = bout.rightFencer->name;
    header.touchLimit = bout.touchLimit;
    if (play.computer) {
        header.computers.push_back(
            {play.computer->playerNumber, play.computer->level, play.computerSeed});
    }
    const std::string fault =
        startRecording(options.recordPath ? options.recordPath->c_str() : "/dev/null", header);
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        std::exit(EXIT_FAILURE);
    }
}

// The joiner's --record keeps the lines the host's recorder sends.
void keepCopiedRecording(const GameOptions& options) {
    if (!options.recordPath) {
        return;
    }
    const std::string fault = startCopiedRecording(options.recordPath->c_str());
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        std::exit(EXIT_FAILURE);
    }
    takeRecordingLines(writeCopiedLine);
}

// Both names from the way of playing's console set-up, then both fencers on their lines.
void setUpBout(const Mode& mode) {
    char* firstName = nullptr;
    char* secondName = nullptr;
    const GameOptions& options = mode.options;
    bout.touchLimit = 0;
    if (!options.meetServer.empty() && !useMeetServer(options.meetServer.c_str())) {
        std::fprintf(stderr, "The Lamevo cannot find the meet server %s.\n",
                     options.meetServer.c_str());
        std::exit(CONNECTION_LOST_STATUS);
    }
    if (mode.way == WayOfPlaying::host && !options.noRouter) {
        startOpeningRouter(*options.hostPort);
    }
    if (mode.way == WayOfPlaying::host) {
        bout.touchLimit = hostSetup(stdin, *options.hostPort, &firstName, &secondName);
    } else if (mode.way == WayOfPlaying::join) {
        keepCopiedRecording(options);
        joinSetup(stdin, options.joinAddress.c_str(), options.joinPort, &firstName, &secondName);
    } else {
        bout.touchLimit = runSetupDialogue(stdin, &firstName, &secondName, bout.touchLimit);
    }
    bout.leftFencer = createFencer(firstName, LEFT_PLAYER);
    bout.rightFencer = createFencer(secondName, RIGHT_PLAYER);
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    startBoutRecording(mode);
    if (mode.way != WayOfPlaying::join) {
        printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
    }
}

} // namespace

Mode buildMode(const GameOptions& options) {
    Mode mode;
    mode.options = options;
    mode.keyPress = onLocalKeyPress;
    mode.boutEnded = endGame;
    if (!options.replayPath.empty()) {
        // A recording to replay is read, or refused, before any window opens.
        mode.way = WayOfPlaying::replay;
        mode.keyPress = onReplayKey;
        mode.sides = {.left = false, .right = false};
        const std::string fault = readRecording(options.replayPath.c_str(), play.recording);
        if (!fault.empty()) {
            std::fprintf(stderr, "%s\n", fault.c_str());
            std::exit(EXIT_FAILURE);
        }
        if (options.check) {
            std::exit(checkReplay(
                play.recording, options.expectPath.empty() ? nullptr : options.expectPath.c_str()));
        }
    } else if (options.tournament) {
        mode.way = WayOfPlaying::clubNight;
        mode.boutEnded = endClubNightBout;
        prepareClubNight({options.resultsPath, options.seed, options.recordPath.has_value()});
    } else if (options.hostPort) {
        mode.way = WayOfPlaying::host;
        mode.sides.right = false;
        mode.keyPress = onOwnKeyPress;
    } else if (!options.joinAddress.empty()) {
        mode.way = WayOfPlaying::join;
        mode.sides.left = false;
        mode.keyPress = onOwnKeyPress;
    } else if (options.computer) {
        mode.way = WayOfPlaying::computer;
        mode.sides.right = false;
        play.computerSeed = options.seed ? *options.seed : std::random_device{}();
        play.computer = createOpponent(RIGHT_PLAYER, *options.computer, play.computerSeed);
    }
    play.sides = mode.sides;
    return mode;
}

void startMode(Mode& mode) {
    play.windowSpecialKey = mode.windowSpecialKey;
    play.rightArrowKey = mode.rightArrowKey;
    play.showInTitle = mode.showInTitle;
    mode.specialKey = mode.windowSpecialKey;
    if (mode.way == WayOfPlaying::replay) {
        mode.specialKey = onReplaySpecialKey;
        showReplayPace();
        beginReplay(play.recording, true);
        play.pace.realAnchor = controlHooks.nowMilliseconds();
        mode.sources = {replaySource()};
        return;
    }
    if (mode.way == WayOfPlaying::clubNight) {
        // The first bout's go-ahead comes through the console row, as every later one does.
        followTheNight(beginClubNight(stdin));
        play.console.onLine = [](const std::string&) { startAnnounced(); };
        play.console.onEnd = endNightAtEndOfInput;
        mode.sources = {consoleSource(play.console), computersSource(), padsSource(),
                        computerSource(), clockSource(recordWindowBoutOnceWon, mode.boutEnded)};
        return;
    }
    setUpBout(mode);
    if (mode.way == WayOfPlaying::host || mode.way == WayOfPlaying::join) {
        // Over the network the host runs the bout, and the joiner prints what the host prints.
        play.padsOpen = openPads(mode.sides, onOwnKeyPress);
        LoopSource network;
        network.descriptor = networkSocket;
        network.onReadable = readNetwork;
        network.dueAt = nextNetworkTurn;
        network.turn = [ended = mode.boutEnded, hosting = mode.way == WayOfPlaying::host] {
            serviceNetwork();
            if (hosting && boutHasEnded()) {
                ended();
            }
        };
        mode.sources = {padsSource(), network};
        return;
    }
    // Opened only now, so that nothing pressed on a pad during the set-up acts in the bout.
    play.padsOpen = openPads(mode.sides, onLocalKeyPress);
    mode.sources = {padsSource(), computerSource(), clockSource({}, mode.boutEnded)};
}
