#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <vector>

#include "display.h"

namespace {

bool frameAsked = false;

// Runs the step, and draws at once what it asked for. A key read while drawing asks for a
// frame too; the step runs again after it, as it would after any key.
void stepAndDraw(void (*step)()) {
    do {
        frameAsked = false;
        step();
        if (!frameAsked) {
            return;
        }
        frameAsked = false;
        glutMainLoopEvent();
    } while (frameAsked);
}

int pollTimeout(Milliseconds wakeAt) {
    if (wakeAt == NOTHING_DUE) {
        return -1;
    }
    const Milliseconds left = wakeAt - controlHooks.nowMilliseconds();
    return static_cast<int>(std::clamp<Milliseconds>(left, 0, INT_MAX));
}

} // namespace

void requestFrame() {
    frameAsked = true;
    glutPostRedisplay();
}

void runEventLoop(void (*step)(), Milliseconds (*wakeAt)(), std::span<const LoopWatch> watches) {
    Display* const display = glXGetCurrentDisplay();
    std::vector<pollfd> waitingOn;
    waitingOn.push_back({ConnectionNumber(display), POLLIN, 0});
    for (const LoopWatch& watch : watches) {
        waitingOn.push_back({watch.fileDescriptor, POLLIN, 0});
    }
    for (;;) {
        glutMainLoopEvent();
        stepAndDraw(step);
        // Xlib may have read events into its own queue already, which no poll would see; this
        // also sends what is still buffered (the frame just drawn) to the server.
        if (XPending(display) > 0) {
            continue;
        }
        const int ready = poll(waitingOn.data(), waitingOn.size(), pollTimeout(wakeAt()));
        if (ready < 0 && errno != EINTR) {
            std::perror("The Lamevo could not wait for the window's events");
            std::exit(EXIT_FAILURE);
        }
        for (std::size_t row = 0; ready > 0 && row < watches.size(); ++row) {
            if ((waitingOn[row + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                watches[row].onReadable();
            }
        }
    }
}
