// The game's entry point: the window and its callbacks, the sound output, the first sprites,
// the console set-up, the two fencers on their lines, then the event loop for the rest of the
// bout.
#include <GL/freeglut.h>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "audio.h"
#include "bout.h"
#include "commandLine.h"
#include "console.h"
#include "control.h"
#include "display.h"
#include "network.h"
#include "opponent.h"
#include "pads.h"
#include "replay.h"
#include "tournament.h"

namespace {

constexpr const char* WINDOW_TITLE = "Tavrin's Lamevo";

constexpr int STARTUP_FAILURE = 1;
// How freeglut's note begins when there is no display to open.
constexpr std::string_view NO_DISPLAY_NOTE = "failed to open display";

// freeglut would print its own terse note and exit; the players get one plain line instead.
void reportWindowFailure(const char* format, va_list arguments) {
    char detail[512];
    std::vsnprintf(detail, sizeof detail, format, arguments);
    if (std::string_view(detail).starts_with(NO_DISPLAY_NOTE)) {
        std::fputs("The Lamevo needs a graphical display: none could be opened. Run it on a "
                   "desktop, or set DISPLAY (for example DISPLAY=:0).\n",
                   stderr);
    } else {
        std::fprintf(stderr, "The Lamevo could not open its window: %s.\n", detail);
    }
    std::exit(STARTUP_FAILURE);
}

void endProcess(int status) {
    std::exit(status);
}

// With --computer the computer fences the right fencer, and game pads fence when SDL can look
// for them; both act on each idle turn before time passes for the bout. With neither, the idle
// step is the bout's own.
std::optional<Opponent> computer;
bool padsOpen = false;
// The computer waits for its opponent's first key in the window or press on a pad: a lone
// player answers the console's last question, clicks the window, and only then is on guard.
bool playerOnGuard = false;

// With --computer the players here fence the left side alone.
LocalSides localSides;

// A key of a side fenced from elsewhere does nothing at all, as if it had not been pressed.
void onLocalKeyPress(unsigned char key, int x, int y) {
    const std::int32_t player = playerOfKey(key);
    if (player != NO_PLAYER && !isLocalSide(localSides, player)) {
        return;
    }
    playerOnGuard = true;
    if (computer) {
        opponentSeesKey(*computer, key);
    }
    onKeyPress(key, x, y);
}

void idleStep() {
    if (padsOpen && pollPads(controlHooks.nowMilliseconds()) > 0) {
        playerOnGuard = true;
    }
    if (computer && playerOnGuard) {
        opponentStep(*computer);
    }
    onIdle();
}

// The earliest of what comes without a key: the next turn of the clock's second while the
// bout waits for it, the pads' next look, the computer's next decision.
Milliseconds wakeAt() {
    const Milliseconds now = controlHooks.nowMilliseconds();
    Milliseconds due = NOTHING_DUE;
    if (waitsForTheClock()) {
        due = now + millisecondsToNextSecond();
    }
    if (padsOpen) {
        due = std::min(due, nextPadLook());
    }
    if (computer && playerOnGuard) {
        due = std::min(due, computer->dueAt);
    }
    return due;
}

// Over the network the pads' presses go the way of this machine's keys.
void networkedStep() {
    if (padsOpen) {
        pollPads(controlHooks.nowMilliseconds());
    }
    serviceNetwork();
}

Milliseconds networkedWakeAt() {
    return std::min(nextNetworkTurn(), padsOpen ? nextPadLook() : NOTHING_DUE);
}

// In a club night each bout seats its own computer, if any, on the side its number gives it;
// the players here fence the other side, and the pads are taken again for it.
void seatForBout(std::optional<Opponent> next) {
    computer = std::move(next);
    playerOnGuard = false;
    localSides = {};
    if (computer) {
        (computer->playerNumber == LEFT_PLAYER ? localSides.left : localSides.right) = false;
    }
    if (padsOpen) {
        closePads();
    }
    padsOpen = openPads(localSides, onLocalKeyPress);
}

// In a club night the end of a bout moves on to the next one; the game ends after the final.
void clubNightStep() {
    idleStep();
    recordWindowBoutOnceWon();
}

void endClubNightBout(int status) {
    std::optional<WindowBout> next = finishWindowBout(stdin);
    if (!next) {
        std::exit(status);
    }
    seatForBout(std::move(next->computer));
}

// A replay in the window: the recording's presses at its own pace, which the player sets; no
// key or pad moves a fencer.
ReplayPace replayPace;

void showReplayPace() {
    const std::string title = std::string(WINDOW_TITLE) + ": replay, " + replayPaceName(replayPace);
    glutSetWindowTitle(title.c_str());
}

void onReplayKey(unsigned char key, int, int) {
    if (changeReplayPace(replayPace, key, monotonicMilliseconds())) {
        showReplayPace();
    }
}

void onReplaySpecialKey(int key, int x, int y) {
    if (key != GLUT_KEY_RIGHT) {
        onSpecialKey(key, x, y);
        return;
    }
    replayPace.boutAnchor = skipToNextHalt();
    replayPace.realAnchor = monotonicMilliseconds();
    requestFrame();
}

void replayStep() {
    replayUntil(boutTimeAt(replayPace, monotonicMilliseconds()));
}

Milliseconds replayWakeAt() {
    const std::optional<Milliseconds> next = nextReplayMoment();
    const std::optional<Milliseconds> real = next ? realTimeOf(replayPace, *next) : std::nullopt;
    return real ? *real : NOTHING_DUE;
}

[[noreturn]] void runWindowReplay(const Recording& recording) {
    glutKeyboardFunc(onReplayKey);
    glutSpecialFunc(onReplaySpecialKey);
    showReplayPace();
    beginReplay(recording, true);
    replayPace.realAnchor = monotonicMilliseconds();
    runEventLoop(replayStep, replayWakeAt, {});
    std::exit(0);
}

// --record=FILE: the bout from here on, with its names and the computer's level and seed.
// The host records every bout over the network, for the joiner's --record.
void startBoutRecording(const GameOptions& options, std::uint32_t computerSeed) {
    if (options.hostPort) {
        copyRecordingLines(sendRecordingLine);
    } else if (!options.recordPath || !options.joinAddress.empty()) {
        return;
    }
    Recording header;
    header.leftName = bout.leftFencer->name;
    header.rightName = bout.rightFencer->name;
    header.touchLimit = bout.touchLimit;
    if (computer) {
        header.computers.push_back({computer->playerNumber, computer->level, computerSeed});
    }
    const std::string fault =
        startRecording(options.recordPath ? options.recordPath->c_str() : "/dev/null", header);
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        std::exit(STARTUP_FAILURE);
    }
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = readCommandLine(argc, argv);
    if (!commandLine.refusal.empty()) {
        std::fprintf(stderr, "%s\n", commandLine.refusal.c_str());
        return USAGE_ERROR_STATUS;
    }
    if (commandLine.options.showHelp) {
        printUsage(stdout);
        return 0;
    }
    if (commandLine.options.showVersion) {
        printVersion(stdout);
        return 0;
    }

    // A recording to replay is read, or refused, before any window opens.
    Recording replayed;
    if (!commandLine.options.replayPath.empty()) {
        const std::string fault = readRecording(commandLine.options.replayPath.c_str(), replayed);
        if (!fault.empty()) {
            std::fprintf(stderr, "%s\n", fault.c_str());
            return STARTUP_FAILURE;
        }
        if (commandLine.options.check) {
            const std::string& expect = commandLine.options.expectPath;
            return checkReplay(replayed, expect.empty() ? nullptr : expect.c_str());
        }
    }

    if (commandLine.options.tournament) {
        prepareClubNight({commandLine.options.resultsPath, commandLine.options.seed,
                          commandLine.options.recordPath.has_value()});
    }
    char* firstName = nullptr;
    char* secondName = nullptr;
    bout.touchLimit = 0;

    // A player's -geometry is the toolkit's to apply; without one the window fits the screen.
    const bool geometryGiven = std::any_of(
        argv, argv + argc, [](const char* word) { return std::string_view(word) == "-geometry"; });
    glutInitErrorFunc(reportWindowFailure);
    glutInit(&argc, argv);
    // Closing the window ends the bout at once, with the status of a normal end.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutInitDisplayMode(GLUT_DOUBLE);
    if (!geometryGiven) {
        const ScreenArea place =
            windowPlace(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
        glutInitWindowPosition(place.left, place.top);
        glutInitWindowSize(place.width, place.height);
    }
    glutCreateWindow(WINDOW_TITLE);
    if (commandLine.options.fullScreen) {
        switchFullScreen();
    }
    const std::optional<std::uint32_t> seed = commandLine.options.seed;
    const std::uint32_t computerSeed = seed ? *seed : std::random_device{}();
    if (commandLine.options.computer) {
        localSides.right = false;
        computer = createOpponent(RIGHT_PLAYER, *commandLine.options.computer, computerSeed);
    }
    glutDisplayFunc(drawFrame);
    glutReshapeFunc(reshapeScene);
    glutSpecialFunc(onSpecialKey);
    glutKeyboardFunc(onLocalKeyPress);

    // The clocks and the silence stay as control has them, unless the sound output opens.
    controlHooks.requestRedraw = requestFrame;
    controlHooks.showPose = loadPoseTexture;
    controlHooks.endProcess = endProcess;
    if (!commandLine.options.mute && openBoutSounds()) {
        controlHooks.playSound = playBoutSound;
    }
    resetSprites();

    if (!commandLine.options.replayPath.empty()) {
        runWindowReplay(replayed);
    }

    if (commandLine.options.tournament) {
        controlHooks.endProcess = endClubNightBout;
        seatForBout(beginClubNight(stdin).computer);
        runEventLoop(clubNightStep, wakeAt, {});
    }
    // Over the network the host runs the bout, and the joiner prints what the host prints.
    const GameOptions& options = commandLine.options;
    const bool networked = options.hostPort || !options.joinAddress.empty();
    if (options.hostPort) {
        bout.touchLimit = hostSetup(stdin, *options.hostPort, &firstName, &secondName);
    } else if (networked) {
        if (options.recordPath) {
            const std::string fault = startCopiedRecording(options.recordPath->c_str());
            if (!fault.empty()) {
                std::fprintf(stderr, "%s\n", fault.c_str());
                return STARTUP_FAILURE;
            }
            takeRecordingLines(writeCopiedLine);
        }
        joinSetup(stdin, options.joinAddress.c_str(), options.joinPort, &firstName, &secondName);
    } else {
        bout.touchLimit = runSetupDialogue(stdin, &firstName, &secondName, bout.touchLimit);
    }
    bout.leftFencer = createFencer(firstName, LEFT_PLAYER);
    bout.rightFencer = createFencer(secondName, RIGHT_PLAYER);
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    startBoutRecording(options, computerSeed);
    if (networked) {
        if (options.hostPort) {
            printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
        }
        glutKeyboardFunc(onOwnKeyPress);
        const bool hosting = options.hostPort.has_value();
        padsOpen = openPads({.left = hosting, .right = !hosting}, onOwnKeyPress);
        const LoopWatch watches[] = {{networkSocket(), readNetwork}};
        runEventLoop(networkedStep, networkedWakeAt, watches);
    }
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);

    // Opened only now, so that nothing pressed on a pad during the set-up acts in the bout.
    padsOpen = openPads(localSides);
    // What the loop waits on besides the window, one row per descriptor.
    const std::vector<LoopWatch> watches;
    runEventLoop(idleStep, wakeAt, watches);
}
