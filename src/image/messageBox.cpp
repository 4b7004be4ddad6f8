#include "image.h"

#include <SDL.h>
#include <cstdio>
#include <cstring>

namespace {

void writeToStandardError(const char* message) {
    const std::size_t length = std::strlen(message);
    const bool endsLine = length > 0 && message[length - 1] == '\n';
    std::fprintf(stderr, "Error: %s%s", message, endsLine ? "" : "\n");
}

// SDL's video is brought up only to learn whether a display can be opened, and taken down
// again before the box: with its X11 driver running, SDL tries the box through the driver and,
// when that fails, once more on its own, so a box whose helper process failed after the player
// had dismissed it would come up a second time. Down between messages, SDL also holds no display
// connection beside the game window's.
void showMessageBox(const char* message) {
    // Without this SDL would take over Ctrl-C and the game would no longer stop on it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        writeToStandardError(message);
        return;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", message, nullptr) != 0) {
        writeToStandardError(message);
    }
}

} // namespace

void (*showLoaderMessage)(const char* message) = showMessageBox;
