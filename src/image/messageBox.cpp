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

// SDL is brought up only for the box and taken down after it, so that it holds no display
// connection beside the game window's between messages.
void showMessageBox(const char* message) {
    // Without this SDL would take over Ctrl-C and the game would no longer stop on it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        writeToStandardError(message);
        return;
    }
    const int failed = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", message, nullptr);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (failed != 0) {
        writeToStandardError(message);
    }
}

} // namespace

void (*showLoaderMessage)(const char* message) = showMessageBox;
