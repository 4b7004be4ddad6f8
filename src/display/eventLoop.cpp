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
// What the last frame drawn showed.
ShownBout lastFrame{};

// Draws the frame asked for, at once. The halts' timers ask for one on every turn while they
// run, though nothing changes between the turns of the second: such a frame would be the
// last one again, and is left out. Returns whether a frame was drawn.
bool drawFrameAsked() {
    if (!frameAsked) {
        return false;
    }
    frameAsked = false;
    const ShownBout shown = shownBout(bout);
    if (shown == lastFrame) {
        return false;
    }
    lastFrame = shown;
    glutPostRedisplay();
    glutMainLoopEvent();
    return true;
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

// Waits in poll() on every row's descriptor. The window's row comes last; Xlib may have read
// its events into its own queue already, which no poll would see, so the window is readable at
// once then. XPending also sends what is still buffered (the frame just drawn) to the server.
void waitOnDescriptors(Display* display, std::span<const int> descriptors, Milliseconds until,
                       std::span<bool> readable) {
    if (XPending(display) > 0) {
        readable.back() = true;
        return;
    }
    std::vector<pollfd> waitingOn;
    std::vector<std::size_t> rowOf;
    for (std::size_t row = 0; row < descriptors.size(); ++row) {
        if (descriptors[row] != NO_DESCRIPTOR) {
            waitingOn.push_back({descriptors[row], POLLIN, 0});
            rowOf.push_back(row);
        }
    }
    const int ready = poll(waitingOn.data(), waitingOn.size(), pollTimeout(until));
    if (ready < 0 && errno != EINTR) {
        std::perror("The Lamevo could not wait for the window's events");
        std::exit(EXIT_FAILURE);
    }
    for (std::size_t index = 0; ready > 0 && index < waitingOn.size(); ++index) {
        if ((waitingOn[index].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            readable[rowOf[index]] = true;
        }
    }
}

} // namespace

void requestFrame() {
    frameAsked = true;
}

void runEventLoop(std::span<const LoopSource> sources) {
    Display* const display = glXGetCurrentDisplay();
    std::vector<LoopSource> rows(sources.begin(), sources.end());
    LoopSource window;
    const int connection = ConnectionNumber(display);
    window.descriptor = [connection] { return connection; };
    // Keys, redraws; closing the window ends the process.
    window.onReadable = [] { glutMainLoopEvent(); };
    rows.push_back(window);
    // A key read while a frame was drawn asks for another frame: the turns come again after it,
    // as after any key.
    const LoopClock realClock{
        [display](std::span<const int> descriptors, Milliseconds until, std::span<bool> readable) {
            waitOnDescriptors(display, descriptors, until, readable);
        },
        [] { return drawFrameAsked() && frameAsked; }};
    runLoop(rows, realClock, [] { return false; });
    std::abort(); // the loop above never finishes
}
