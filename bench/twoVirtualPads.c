// For bench/loopMeasurements.py only, preloaded into the game: plugs two SDL virtual pads in as
// soon as the game starts SDL's pad support.
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
int SDL_InitSubSystem(Uint32 flags) {
    int (*real)(Uint32) = (int (*)(Uint32))dlsym(RTLD_NEXT, "SDL_InitSubSystem");
    int status = real(flags);
    static int plugged = 0;
    if (status == 0 && (flags & SDL_INIT_GAMECONTROLLER) && !plugged) {
        plugged = 1;
        for (int i = 0; i < 2; ++i) {
            SDL_VirtualJoystickDesc pad = {0};
            pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
            pad.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
            pad.naxes = SDL_CONTROLLER_AXIS_MAX;
            pad.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
            pad.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
            pad.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
            SDL_JoystickAttachVirtualEx(&pad);
        }
    }
    return status;
}
SDL_GameController* SDL_GameControllerOpen(int index) {
    SDL_GameController* (*real)(int) =
        (SDL_GameController * (*)(int)) dlsym(RTLD_NEXT, "SDL_GameControllerOpen");
    SDL_GameController* pad = real(index);
    fprintf(stderr, "measure: pad %d %s\n", index, pad ? "open" : "failed");
    return pad;
}
