#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>

#include "display.h"

namespace {

constexpr int WINDOW_LEFT = 100;
constexpr int WINDOW_TOP = 100;
constexpr int WINDOW_WIDTH = 1600;
constexpr int WINDOW_HEIGHT = 320;
// Room left all round a window made smaller for the screen: for a panel, a dock, a title bar.
constexpr int SCREEN_MARGIN = 50;

constexpr int SCENE_SHAPE = static_cast<int>(SCENE_WIDTH / SCENE_HEIGHT);

bool fullScreen = false;
ScreenArea windowBeforeFullScreen{};

// Whether the window manager says it makes windows full screen (_NET_WM_STATE_FULLSCREEN in
// the root window's _NET_SUPPORTED). Without one, freeglut's stand-in moves the window off
// the screen by its own offset and never puts it back, so the game does that part itself.
bool windowManagerDoesFullScreen() {
    Display* const display = glXGetCurrentDisplay();
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", True);
    const Atom fullScreenState = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", True);
    if (supported == None || fullScreenState == None) {
        return false;
    }
    constexpr long MOST_ATOMS = 4096;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), supported, 0, MOST_ATOMS, False,
                           XA_ATOM, &type, &format, &count, &left, &data) != Success ||
        data == nullptr) {
        return false;
    }
    const Atom* const atoms = reinterpret_cast<const Atom*>(data);
    const bool found =
        format == 32 && std::find(atoms, atoms + count, fullScreenState) != atoms + count;
    XFree(data);
    return found;
}

ScreenArea currentWindow() {
    return {glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y), glutGet(GLUT_WINDOW_WIDTH),
            glutGet(GLUT_WINDOW_HEIGHT)};
}

void placeWindow(const ScreenArea& area) {
    glutPositionWindow(area.left, area.top);
    glutReshapeWindow(area.width, area.height);
}

} // namespace

ScreenArea largestSceneIn(int width, int height) {
    const int sceneWidth = std::max(0, std::min(width, height * SCENE_SHAPE));
    const int fitted = sceneWidth - sceneWidth % SCENE_SHAPE;
    return {(width - fitted) / 2, (height - fitted / SCENE_SHAPE) / 2, fitted,
            fitted / SCENE_SHAPE};
}

ScreenArea windowPlace(int screenWidth, int screenHeight) {
    const ScreenArea usual = {WINDOW_LEFT, WINDOW_TOP, WINDOW_WIDTH, WINDOW_HEIGHT};
    const bool unknownScreen = screenWidth <= 0 || screenHeight <= 0;
    if (unknownScreen ||
        (usual.left + usual.width <= screenWidth && usual.top + usual.height <= screenHeight)) {
        return usual;
    }
    ScreenArea fitted = largestSceneIn(std::max(screenWidth - 2 * SCREEN_MARGIN, SCENE_SHAPE),
                                       std::max(screenHeight - 2 * SCREEN_MARGIN, 1));
    fitted.left = (screenWidth - fitted.width) / 2;
    fitted.top = (screenHeight - fitted.height) / 2;
    return fitted;
}

void switchFullScreen() {
    const bool byWindowManager = windowManagerDoesFullScreen();
    fullScreen = !fullScreen;
    if (fullScreen) {
        windowBeforeFullScreen = currentWindow();
        if (byWindowManager) {
            glutFullScreen();
        } else {
            placeWindow({0, 0, glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT)});
        }
    } else if (byWindowManager) {
        glutLeaveFullScreen();
    } else {
        placeWindow(windowBeforeFullScreen);
    }
}

void reshapeScene(int width, int height) {
    if (fullScreen) {
        const ScreenArea scene = largestSceneIn(width, height);
        // glViewport counts from the bottom; the scene is centred, so only a remainder differs.
        glViewport(scene.left, height - scene.top - scene.height, scene.width, scene.height);
    } else {
        glViewport(0, 0, width, height);
    }
}

void onSpecialKey(int key, int /*x*/, int /*y*/) {
    if (key == GLUT_KEY_F11) {
        switchFullScreen();
    }
}
