// The game's entry point: reads the options, opens the window with its callbacks and the sound
// output, builds the way of playing asked for and runs the game's loop with its rows.
#include <GL/freeglut.h>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "audio.h"
#include "commandLine.h"
#include "control.h"
#include "display.h"
#include "modes.h"

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

// The window's title: the game's name and then words.
void showInTitle(const char* words) {
    glutSetWindowTitle((std::string(WINDOW_TITLE) + words).c_str());
}

// The window with its callbacks, the hooks that reach it, the sound output (unless muted) and
// both fencers' first sprites. The clocks and the silence stay as control has them, unless the
// sound output opens.
void openWindow(int& argc, char** argv, const GameOptions& options) {
    // A player's -geometry is the toolkit's to apply; without one the window fits the screen.
    const bool geometryGiven = std::any_of(
        argv, argv + argc, [](const char* word) { return std::string_view(word) == "-geometry"; });
    glutInitErrorFunc(reportWindowFailure);
    glutInit(&argc, argv);
    // Closing the window ends the game at once, with the status of a normal end.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutInitDisplayMode(GLUT_DOUBLE);
    if (!geometryGiven) {
        const ScreenArea place =
            windowPlace(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
        glutInitWindowPosition(place.left, place.top);
        glutInitWindowSize(place.width, place.height);
    }
    glutCreateWindow(WINDOW_TITLE);
    if (options.fullScreen) {
        switchFullScreen();
    }
    glutDisplayFunc(drawFrame);
    glutReshapeFunc(reshapeScene);
    glutSpecialFunc(onSpecialKey);

    controlHooks.requestRedraw = requestFrame;
    controlHooks.showPose = loadPoseTexture;
    controlHooks.endProcess = endProcess;
    if (!options.mute && openBoutSounds()) {
        controlHooks.playSound = playBoutSound;
    }
    resetSprites();
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
    Mode mode = buildMode(commandLine.options);
    openWindow(argc, argv, commandLine.options);
    mode.windowSpecialKey = onSpecialKey;
    mode.rightArrowKey = GLUT_KEY_RIGHT;
    mode.showInTitle = showInTitle;
    glutKeyboardFunc(mode.keyPress);
    startMode(mode);
    glutSpecialFunc(mode.specialKey);
    runEventLoop(mode.sources);
}
