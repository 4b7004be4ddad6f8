// For bench/loopMeasurements.py only, preloaded into the game: plugs two SDL virtual pads in as
// soon as the game starts SDL's pad support, and says on standard error which pads it opens.
#include <SDL.h>
#include <cstdio>
#include <dlfcn.h>

#include "../tests/support/virtualPad.h"

extern "C" int SDL_InitSubSystem(Uint32 flags) {
    auto real = reinterpret_cast<int (*)(Uint32)>(dlsym(RTLD_NEXT, "SDL_InitSubSystem"));
    const int status = real(flags);
    static bool plugged = false;
    if (status == 0 && (flags & SDL_INIT_GAMECONTROLLER) != 0 && !plugged) {
        plugged = true;
        plugInVirtualPad();
        plugInVirtualPad();
    }
    return status;
}

extern "C" SDL_GameController* SDL_GameControllerOpen(int index) {
    auto real =
        reinterpret_cast<SDL_GameController* (*)(int)>(dlsym(RTLD_NEXT, "SDL_GameControllerOpen"));
    SDL_GameController* pad = real(index);
    std::fprintf(stderr, "measure: pad %d %s\n", index, pad != nullptr ? "open" : "failed");
    return pad;
}
