#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <vector>

#include "display.h"

namespace {

bool frameAsked = false;

// Everything a frame shows, as bytes: the bout record, and the fencers' cells and scores.
using ShownState = std::array<unsigned char, sizeof(BoutState) + 2 * sizeof(Fencer)>;
ShownState lastFrame{};

ShownState shownState() {
    ShownState shown{};
    std::memcpy(shown.data(), &bout, sizeof(BoutState));
    if (bout.leftFencer != nullptr && bout.rightFencer != nullptr) {
        std::memcpy(shown.data() + sizeof(BoutState), bout.leftFencer, sizeof(Fencer));
        std::memcpy(shown.data() + sizeof(BoutState) + sizeof(Fencer), bout.rightFencer,
                    sizeof(Fencer));
    }
    return shown;
}

// Draws the frame asked for, at once. The halts' timers ask for one on every step while they
// run, though nothing changes between the turns of the second: such a frame would be the
// last one again, and is left out. Returns whether a frame was drawn.
bool drawFrameAsked() {
    if (!frameAsked) {
        return false;
    }
    frameAsked = false;
    const ShownState shown = shownState();
    if (shown == lastFrame) {
        return false;
    }
    lastFrame = shown;
    glutPostRedisplay();
    glutMainLoopEvent();
    return true;
}

// Runs the step again for as long as it changes the bout, as the idle turns that once ran
// without pause did: a lunge's last step and its falling short come at the same moment.
void stepUntilSettled(void (*step)()) {
    ShownState before{};
    do {
        before = shownState();
        step();
    } while (shownState() != before);
}

int pollTimeout(Milliseconds wakeAt) {
    if (wakeAt == NOTHING_DUE) {
        return -1;
    }
    const Milliseconds now = controlHooks.nowMilliseconds();
    if (wakeAt <= now) {
        return 0; // also for a time so far back that the difference would not fit
    }
    return static_cast<int>(std::min<Milliseconds>(wakeAt - now, INT_MAX));
}

} // namespace

void requestFrame() {
    frameAsked = true;
}

void runEventLoop(void (*step)(), Milliseconds (*wakeAt)(), std::span<const LoopWatch> watches) {
    Display* const display = glXGetCurrentDisplay();
    std::vector<pollfd> waitingOn;
    waitingOn.push_back({ConnectionNumber(display), POLLIN, 0});
    for (const LoopWatch& watch : watches) {
        waitingOn.push_back({watch.fileDescriptor, POLLIN, 0});
    }
    bool windowEvents = true;
    for (;;) {
        if (windowEvents) {
            glutMainLoopEvent();
        }
        // A key read while a frame was drawn asks for another frame: the step runs after it,
        // as after any key.
        do {
            stepUntilSettled(step);
        } while (drawFrameAsked() && frameAsked);
        // Xlib may have read events into its own queue already, which no poll would see; this
        // also sends what is still buffered (the frame just drawn) to the server.
        windowEvents = XPending(display) > 0;
        if (windowEvents) {
            continue;
        }
        const int ready = poll(waitingOn.data(), waitingOn.size(), pollTimeout(wakeAt()));
        if (ready < 0 && errno != EINTR) {
            std::perror("The Lamevo could not wait for the window's events");
            std::exit(EXIT_FAILURE);
        }
        windowEvents = ready > 0 && waitingOn[0].revents != 0;
        for (std::size_t row = 0; ready > 0 && row < watches.size(); ++row) {
            if ((waitingOn[row + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                watches[row].onReadable();
            }
        }
    }
}
