// The game's entry point: the window and its callbacks, the sound output, the first sprites,
// the console set-up, the two fencers on their lines, then the event loop for the rest of the
// bout.
#include <GL/freeglut.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string_view>

#include "audio.h"
#include "bout.h"
#include "commandLine.h"
#include "console.h"
#include "control.h"
#include "display.h"
#include "opponent.h"
#include "pads.h"
#include "tournament.h"

namespace {

constexpr int WINDOW_LEFT = 100;
constexpr int WINDOW_TOP = 100;
constexpr int WINDOW_WIDTH = 1600;
constexpr int WINDOW_HEIGHT = 320;
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

void onKeyPressFacingTheComputer(unsigned char key, int x, int y) {
    playerOnGuard = true;
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

// In a club night the end of a bout moves on to the next one; the game ends after the final.
void clubNightIdleStep() {
    idleStep();
    recordWindowBoutOnceWon();
}

void endClubNightBout(int status) {
    std::optional<WindowBout> next = finishWindowBout(stdin);
    if (!next) {
        std::exit(status);
    }
    computer = std::move(next->computer);
    playerOnGuard = false;
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

    if (commandLine.options.tournament) {
        prepareClubNight({commandLine.options.resultsPath, commandLine.options.seed});
    }
    char* firstName = nullptr;
    char* secondName = nullptr;
    bout.touchLimit = 0;

    glutInitErrorFunc(reportWindowFailure);
    glutInit(&argc, argv);
    // Closing the window ends the bout at once, with the status of a normal end.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowPosition(WINDOW_LEFT, WINDOW_TOP);
    glutInitWindowSize(WINDOW_WIDTH, WINDOW_HEIGHT);
    glutCreateWindow(WINDOW_TITLE);
    if (commandLine.options.tournament) {
        glutIdleFunc(clubNightIdleStep);
    } else if (commandLine.options.computer) {
        const std::optional<std::uint32_t> seed = commandLine.options.seed;
        computer = createOpponent(RIGHT_PLAYER, *commandLine.options.computer,
                                  seed ? *seed : std::random_device{}());
        glutIdleFunc(idleStep);
    } else {
        glutIdleFunc(onIdle);
    }
    glutDisplayFunc(drawFrame);
    glutKeyboardFunc(computer || commandLine.options.tournament ? onKeyPressFacingTheComputer
                                                                : onKeyPress);

    // The clocks and the silence stay as control has them, unless the sound output opens.
    controlHooks.requestRedraw = glutPostRedisplay;
    controlHooks.showPose = loadPoseTexture;
    controlHooks.endProcess = endProcess;
    if (!commandLine.options.mute && openBoutSounds()) {
        controlHooks.playSound = playBoutSound;
    }
    resetSprites();

    if (commandLine.options.tournament) {
        controlHooks.endProcess = endClubNightBout;
        computer = beginClubNight(stdin).computer;
        padsOpen = openPads();
        glutMainLoop();
        return 0;
    }
    bout.touchLimit = runSetupDialogue(stdin, &firstName, &secondName, bout.touchLimit);
    bout.leftFencer = createFencer(firstName, LEFT_PLAYER);
    bout.rightFencer = createFencer(secondName, RIGHT_PLAYER);
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);

    // Opened only now, so that nothing pressed on a pad during the set-up acts in the bout.
    padsOpen = openPads();
    if (padsOpen) {
        glutIdleFunc(idleStep);
    }
    glutMainLoop();
    return 0;
}
