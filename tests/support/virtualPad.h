// Game pads made up inside the process with SDL's virtual joysticks: every button and axis of
// the standard layout, so SDL maps them as a game controller. Needs openPads first.
#pragma once

#include <SDL.h>

// Plugs in a pad and returns it open, for setting its buttons and axes.
inline SDL_Joystick* plugInVirtualPad() {
    SDL_VirtualJoystickDesc pad{};
    pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    pad.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    pad.naxes = SDL_CONTROLLER_AXIS_MAX;
    pad.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    pad.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    pad.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    return SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&pad));
}

inline void unplugVirtualPad(SDL_Joystick* pad) {
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
        if (SDL_JoystickGetDeviceInstanceID(index) == SDL_JoystickInstanceID(pad)) {
            SDL_JoystickDetachVirtual(index);
        }
    }
    SDL_JoystickClose(pad);
}
